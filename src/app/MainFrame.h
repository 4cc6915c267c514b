// The main window: menus, toolbar, status bar with the lock indicators, the
// shortcuts of every command, placement from and to the profile, and drops
// from the desktop.
#pragma once

#include "app/Profile.h"
#include "grid/KovrelView.h"

#include <QMainWindow>
#include <QMap>
#include <QStringList>

#include <functional>

class QAction;
class QLabel;
class QMenu;
class QToolBar;
class QToolButton;

namespace kovrel::app {

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // The frame hosts view (and takes it over as its central widget); the
    // view's commands appear in the menus as the view's own actions.
    explicit CMainFrame(grid::CKovrelView& view, QWidget* pParent = nullptr);
    ~CMainFrame() override;

    // The action for a command number (the view's for a view command), or null.
    QAction* GetAction(int nCommandId) const;

    grid::CKovrelView& GetView() const { return m_view; }

    // Places the window so that its outer frame covers rc (the size is fixed up
    // once the window system tells the frame's margins).
    void PlaceWindow(const WINRECT& rc);
    // The outer frame rectangle as the profile keeps it.
    WINRECT GetWindowRect() const;

    // The recent file list shown in the File menu.
    void SetRecentFiles(const QStringList& astrPaths);
    QAction* RecentFileAction(int nIndex) const;

    // The message pane's idle text and the four indicator panes, for tests.
    QLabel* IndicatorPane(int nIndex) const { return m_apIndicators[nIndex]; }
    // The status bar's pane that says a run is going on; a click on it asks
    // for the log window (runPaneClicked). Shown only during a run.
    void ShowRunPane(bool bShow);
    QToolButton* RunPane() const { return m_pRunPane; }
    void RefreshIndicators();

    QToolBar* ToolBar() const { return m_pToolBar; }
    QMenu* FileMenu() const { return m_pFileMenu; }
    QMenu* EditMenu() const { return m_pEditMenu; }

    // Asked on every close request after the rectangle has been saved: true
    // lets the window close.
    std::function<bool()> m_fnQueryClose;
    // Drops are refused while this says so (a run is going on).
    std::function<bool()> m_fnDropsRefused;

signals:
    // Files dropped on the grid: the point in the grid's coordinates.
    void filesDroppedOnGrid(QPoint ptGrid, const QStringList& astrPaths);
    // Files dropped anywhere else: each is opened as a document in turn.
    void filesDroppedElsewhere(const QStringList& astrPaths);
    void recentFileChosen(int nIndex);
    // The rectangle was read and saved on a close request.
    void windowRectSaved(const WINRECT& rc);
    void runPaneClicked();

protected:
    void closeEvent(QCloseEvent* pEvent) override;
    void dragEnterEvent(QDragEnterEvent* pEvent) override;
    void dragMoveEvent(QDragMoveEvent* pEvent) override;
    void dropEvent(QDropEvent* pEvent) override;
    bool event(QEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void BuildActions();
    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    void RebuildRecentMenu();
    void FixPlacement();
    bool DropsOnGrid(const QPoint& ptFrame) const;

    grid::CKovrelView& m_view;
    QMap<int, QAction*> m_actions;
    QList<QAction*> m_recentActions;
    QStringList m_astrRecent;
    QMenu* m_pFileMenu = nullptr;
    QMenu* m_pEditMenu = nullptr;
    QAction* m_pRecentTop = nullptr;    // separator before the recent files
    QAction* m_pRecentBottom = nullptr; // separator after them
    QToolBar* m_pToolBar = nullptr;
    QLabel* m_apIndicators[4] = {};
    QToolButton* m_pRunPane = nullptr;
    WINRECT m_rcWanted;
    bool m_bPlacementPending = false;
    int m_nPlacementTries = 0;
};

} // namespace kovrel::app
