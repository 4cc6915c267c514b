// "Synchronize Log": the modeless window that shows a run's log lines, with
// one button that cancels the run while it works and hides the window after.
#pragma once

#include <QPoint>
#include <QString>

#include <string>

#include "ui/TemplateDialog.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace kovrel::dialogs {

class CLogListBox;
enum class LogLineMark : unsigned char;

// What the log window needs from the document's view: the keyboard focus
// back in the grid when the window is dismissed with OK.
class ISyncLogView {
public:
    virtual void SetFocusToGrid() = 0;

protected:
    ~ISyncLogView() = default;
};

class CSyncLogDlg : public ui::CTemplateDialog {
    Q_OBJECT
public:
    // Created hidden; shown by a run.
    explicit CSyncLogDlg(QWidget* pParent = nullptr);

    ISyncLogView* m_pView = nullptr; // not owned; null: nobody to give the focus to
    bool m_bCancel = false;          // set by the button while it reads "Cancel"

    // What a run calls, in this order at its start: BeginRun (sets m_pView,
    // empties the list, shows the window, button "Cancel", m_bCancel false);
    // AddString for every line; at its end EndRun (button "OK", window on top).
    void BeginRun(ISyncLogView* pView);
    void EndRun();

    // A preview (a dry run) in the same window: its own title, the lines
    // marked, a box of each item's counts under the list, and at its end two
    // buttons instead of the one: "同期を実行" (runRequested) and "閉じる".
    // BeginRun brings back the run's layout.
    void BeginPreview(ISyncLogView* pView);
    void EndPreview();
    bool IsPreview() const { return m_bPreview; }
    // Marks the line added last (a preview's deletions and overwrites).
    void MarkLastLine(LogLineMark mark);
    // One item's counts, in the box under the list.
    void AddCountsLine(const QString& strLine);
    QString CountsText() const;
    QPushButton* RunButton() const { return m_pRunButton; }

    // How far a run or a preview has come, in the button row on either side
    // of the centred button (the list keeps its place): files and bytes done
    // left of it; percent and time left when known, the rate and a large
    // file's percentage right of it. Hidden again by EndRun and
    // EndPreview; empty texts hide it too.
    void SetProgress(const QString& strDone, const QString& strRate);
    void ClearProgress();
    // Both halves as shown, joined by " | "; empty while hidden.
    QString ProgressText() const;
    QPushButton* CloseButton() const { return m_pCloseButton; }

    void ResetContent();                        // empties the list
    void AddString(const QString& strLine);     // appends and scrolls to it
    void AddString(const std::string& strLine); // the same for UTF-8 text
    void SetButtonText(const QString& strText); // "Cancel" or "OK"
    QString GetButtonText() const;
    void BringToTop(); // raise and activate
    // Shows the window again where it was, on top (a run hidden with Escape).
    void ShowAgain();
    // True while the button reads "Cancel": a run is going on.
    bool IsRunShown() const;

    // The list, as the tests and the benchmark read it.
    int GetCount() const;
    QString GetText(int nIndex) const;
    int GetTopIndex() const;
    int GetVisibleLineCount() const; // whole lines the list shows at once
    QPushButton* Button() const { return m_pButton; }
    CLogListBox* ListBox() const { return m_pList; }

signals:
    // "同期を実行" after a preview: an ordinary run of the same list is wanted.
    void runRequested();

public slots:
    void accept() override; // OnOK: the button and Enter
    void reject() override; // Escape: hide, the run goes on

protected:
    void resizeEvent(QResizeEvent* pEvent) override;
    // A close request from the window manager: Cancel during a run (the run
    // must not go on out of sight), OK after it.
    void closeEvent(QCloseEvent* pEvent) override;
    void showEvent(QShowEvent* pEvent) override;
    void hideEvent(QHideEvent* pEvent) override;

private:
    void Relayout();

    void SetPreviewLayout(bool bPreview, bool bDone);

    QPushButton* m_pButton = nullptr;
    QPushButton* m_pRunButton = nullptr;
    QPushButton* m_pCloseButton = nullptr;
    QPlainTextEdit* m_pCounts = nullptr;
    QLabel* m_pProgressDone = nullptr;
    QLabel* m_pProgressRate = nullptr;
    QString m_strRunTitle;
    bool m_bPreview = false;     // the window shows a preview (running or done)
    bool m_bPreviewDone = false; // and it has ended: the two buttons show
    CLogListBox* m_pList = nullptr;
    bool m_bInitialized = false;
    // Where the outer frame was when the window was last hidden: it comes back
    // there, not where the window system would put it anew.
    QPoint m_ptFrame;
    bool m_bHavePlace = false;
};

} // namespace kovrel::dialogs
