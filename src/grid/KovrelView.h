// The document's view: the item grid above the "Synchronize !!" button, and the
// Edit commands on the grid's current item.
#pragma once

#include "grid/ItemGrid.h"
#include "grid/ViewCommands.h"

#include <QPushButton>
#include <QWidget>

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>

class QAction;

namespace kovrel::grid {

// The document as the view sees it: only its modified flag.
class IViewDocument {
public:
    virtual ~IViewDocument() = default;
    virtual void SetModifiedFlag(bool bModified = true) = 0;
};

// Runs the view's modal dialogs. Each returns true when the dialog ended with OK
// and only then has written its out-values.
class IViewDialogs {
public:
    virtual ~IViewDialogs() = default;
    // The detailed settings: the option word and the pattern text (CR LF line
    // breaks) in and out.
    virtual bool RunDetail(QWidget* pParent, std::uint32_t& dwOption, std::string& strPattern) = 0;
    // The directory browser: strPath is the start path (may be empty) and, after
    // OK, the chosen path.
    virtual bool BrowseDir(QWidget* pParent, std::string& strPath) = 0;
    // A file to open, which need not exist yet; the dialog starts in strFolder
    // when it is not empty. strPath receives the file's full path.
    virtual bool BrowseFile(QWidget* pParent, std::string& strPath,
                            const std::string& strFolder) = 0;
};

// The real dialogs (the detailed settings, the directory browser and a file
// dialog); defined in its own source file.
std::unique_ptr<IViewDialogs> CreateStandardViewDialogs();

class CKovrelView;

// One of the view's commands: what the user sees of it, the handler, and
// whether its keys still reach it while the grid's in-place editor has the
// focus (the list commands do, as accelerators would; the clipboard keys stay
// with the editor, which carries them out on itself just as the commands would).
struct VIEWCOMMAND {
    COMMANDDEF def;
    void (CKovrelView::*pfnHandler)();
    bool bPassFromEditor;
};

class CKovrelView : public QWidget, public IGridHost {
    Q_OBJECT
public:
    // The view's commands, in the order of its message map: the one place their
    // texts, prompts and shortcuts are written.
    static std::span<const VIEWCOMMAND> Commands();

    static constexpr int kButtonStrip = 30; // height of the "Synchronize !!" strip

    explicit CKovrelView(QWidget* pParent = nullptr);
    ~CKovrelView() override;

    void SetDocument(IViewDocument* pDoc) noexcept { m_pDoc = pDoc; }
    // Null: the real dialogs.
    void SetDialogs(IViewDialogs* pDialogs) noexcept { m_pDialogs = pDialogs; }

    // After a new or opened document: the focus goes to the Synchronize button,
    // so that Enter starts a run.
    void OnInitialUpdate();

    // The keyboard back in the grid (the log window does this when it is dismissed).
    void SetFocusToGrid() { m_grid.setFocus(Qt::OtherFocusReason); }

    CItemGrid& GetGrid() noexcept { return m_grid; }
    const CItemGrid& GetGrid() const noexcept { return m_grid; }
    QPushButton& GetSyncButton() noexcept { return m_btnSync; }

    // The document was emptied: no items, the blank row current at the top.
    void ResetGrid();
    // Serialisation: a freshly read list is swapped in (items and log setting);
    // the scroll range becomes 0..count. GetList gives the list to save.
    void LoadList(CSyncItemList& list);
    const CSyncItemList& GetList() const noexcept { return m_grid.GetList(); }
    // The document's own log file setting (mode letter and path, or empty).
    void SetDocLog(const std::string& strDocLog) { m_grid.SetDocLog(strDocLog); }

    // A run goes on: every command that would change the list is refused.
    void SetRunning(bool bRunning);
    bool IsRunning() const noexcept { return m_bRunning; }

    // The view's command objects, made from Commands(); the main frame puts these
    // very objects into its menus. Null for an identifier the view has no action for.
    QAction* GetAction(int nCommandId) const;
    bool IsCommandEnabled(int nCommandId) const;
    // Re-evaluates every command's enabled state.
    void UpdateCommands();

    // One file of a drop on the grid; pt in view coordinates, nIndex its place in
    // the drop. Points in the button strip are ignored.
    void OnDropFile(const QPoint& pt, const std::string& strPath, int nIndex);

    // Commands.
    void OnItemChange();
    void OnBrowseFile();
    void OnBrowseDir();
    void BrowseFile1() override { BrowseFile(0); }
    void BrowseFile2() override { BrowseFile(1); }
    void BrowseDir1() override { BrowseDir(0); }
    void BrowseDir2() override { BrowseDir(1); }
    void OnItemDetail() override;
    void OnItemUp();
    void OnItemDown();
    void OnItemInsert();
    void OnItemDelete();
    void OnEditCut();
    void OnEditCopy();
    void OnEditPaste();

    // Where the next browse of each side starts (empty: no start folder).
    const std::string& GetFolder(int nSide) const noexcept {
        return nSide == 0 ? m_strFolder1 : m_strFolder2;
    }

    int m_nFileVersion = 0x100;

signals:
    // The "Synchronize !!" button was pressed (command 104).
    void synchronize();

protected:
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    void SetModifiedFlag() override;
    void BrowseFile(int nSide);
    void BrowseDir(int nSide);
    // After a browse: side 1 goes on to side 2 of the row, side 2 to side 1 of the next.
    void MoveOnAfterBrowse(int nRow, int nSide);
    void PutPath(int nRow, int nSide, const std::string& strPath);
    // A command that changes the list first ends an open edit, keeping its text
    // in the cell it was typed for.
    void CommitEdit();
    bool BeginCommand(int nId);
    void MoveItem(int nId, int nDelta);
    IViewDialogs& Dialogs();
    void Layout();

    CItemGrid m_grid;
    QPushButton m_btnSync;
    std::string m_strFolder1;
    std::string m_strFolder2;
    IViewDocument* m_pDoc = nullptr;
    IViewDialogs* m_pDialogs = nullptr;
    std::unique_ptr<IViewDialogs> m_pStdDialogs;
    std::map<int, QAction*> m_mapActions;
    bool m_bRunning = false;
};

} // namespace kovrel::grid
