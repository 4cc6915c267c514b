// The item grid: a custom-painted, vertically scrolling table of the document's
// sync items with a header of five buttons, a middle column of option glyphs and
// an in-place editor. The grid owns the item list.
//
// The widget only turns events into calls: geometry and navigation live in
// CGridNav (plain numbers), drawing one row in CGridPainter.
#pragma once

#include "document/SyncItem.h"
#include "grid/GridEdit.h"
#include "grid/GridNav.h"
#include "grid/GridPainter.h"

#include <QPushButton>
#include <QScrollBar>
#include <QWidget>

#include <cstdint>
#include <string>

namespace kovrel::grid {

// What the grid asks of its view: the commands that need dialogs, and the
// document's modified flag after an in-place edit or a drop.
class IGridHost {
public:
    virtual ~IGridHost() = default;
    virtual void BrowseFile1() = 0;
    virtual void BrowseFile2() = 0;
    virtual void BrowseDir1() = 0;
    virtual void BrowseDir2() = 0;
    virtual void OnItemDetail() = 0;
    virtual void SetModifiedFlag() = 0;
};

class CItemGrid : public QWidget {
    Q_OBJECT
public:
    // Window identifiers, kept for the record and for tests that find children.
    static constexpr int ID_GRID = 111;
    static constexpr int ID_BTN_FILE1 = 108;
    static constexpr int ID_BTN_OPTION = 109;
    static constexpr int ID_BTN_FILE2 = 110;
    static constexpr int ID_SCROLLBAR = 112;
    static constexpr int ID_BTN_DIR1 = 113;
    static constexpr int ID_BTN_DIR2 = 114;
    static constexpr int ID_EDIT = 115;

    explicit CItemGrid(QWidget* pParent = nullptr);
    ~CItemGrid() override;

    // Creates the children (header buttons, scroll bar, hidden editor), measures
    // the font and renders the glyph strip. pView receives the browse and detail
    // requests. 1 when done.
    int CreateGrid(IGridHost* pView);

    int GetCurRow() const noexcept { return m_nav.m_nCurRow; }
    int GetCurSide() const noexcept { return m_nav.m_nCurSide; }
    // Sets the current side (0 or 1) without repainting; SelectRow repaints.
    void SetCurSide(int nSide) noexcept { m_nav.m_nCurSide = nSide == 0 ? 0 : 1; }
    int GetScrollPos() const noexcept { return m_nav.m_nPos; }
    int GetCount() const noexcept { return m_list.GetCount(); }

    // Makes nRow current and scrolls (see CGridNav::SelectRow); returns nRow.
    int SelectRow(int nRow, int nPos);

    // List operations. None marks the document modified: their callers do. None
    // changes the current row. Each repaints.
    int SetCellText(int nRow, int nSide, const std::string& strText);
    int AppendItem(int nSide, const std::string& strText);
    int InsertItem(int nRow, const std::string& strPath1, const std::string& strPath2);
    int RemoveItem(int nRow);
    int SwapItems(int nRow1, int nRow2);
    void ResetList();

    // Takes a freshly read list: its items and log setting are swapped in, the
    // scroll range becomes 0..count.
    void LoadList(CSyncItemList& list);
    const CSyncItemList& GetList() const noexcept { return m_list; }
    // For the commands that change one item's options in place; the caller
    // repaints with Refresh().
    SYNCITEM* GetItem(int nRow) const noexcept { return m_list.GetAt(nRow); }
    void SetPattern(int nRow, const std::string& strPattern);
    void SetDocLog(const std::string& strDocLog) { m_list.m_strDocLog = strDocLog; }

    // In-place editing.
    void BeginEdit();
    void EndEdit(bool bCommit);
    bool IsEditing() const noexcept { return m_bEditing; }

    // A dropped file: the cell under pt (grid window coordinates), nIndex rows
    // further down. Marks the document modified.
    void DropFile(const QPoint& pt, const std::string& strPath, int nIndex);

    // Clipboard commands of the editor; nothing while no cell is being edited.
    void EditCut();
    void EditCopy();
    void EditPaste();

    // While a run goes on the grid refuses editing, header browsing, the middle
    // column's details and drops; navigation and scrolling stay.
    void SetRunning(bool bRunning);
    bool IsRunning() const noexcept { return m_bRunning; }

    void Refresh();

    // The font of the rows and the editor.
    const QFont& GetRowFont() const noexcept { return m_fontRows; }

    // For the view and for tests.
    const CGridNav& GetNav() const noexcept { return m_nav; }
    const CGridPainter& GetPainter() const noexcept { return m_painter; }
    CGridEdit& GetEdit() noexcept { return m_edit; }
    QScrollBar& GetScrollBar() noexcept { return m_scrollBar; }
    QPushButton* GetHeaderButton(int nId) noexcept;
    // The client area's origin inside the widget (inside its thin border).
    QPoint ClientOrigin() const noexcept;

    // Option word of every item the grid creates.
    std::uint32_t m_dwNewOption = 0;

signals:
    // The current cell, the list or the editing state changed: commands that
    // depend on them re-evaluate their enabled state.
    void stateChanged();

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void wheelEvent(QWheelEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;

private:
    void Layout();
    void MeasureFont();
    void Changed(); // scroll bar in step, repaint, tell the view
    void OnScrollAction(int nAction);
    void OnHeader(int nId);
    void ScrollBy(int nLines);

    CGridNav m_nav;
    CGridPainter m_painter;
    QFont m_fontRows;
    CSyncItemList m_list;
    IGridHost* m_pView = nullptr;
    bool m_bCreated = false;
    bool m_bEditing = false;
    bool m_bRunning = false;

    QPushButton m_btnFile1;
    QPushButton m_btnDir1;
    QPushButton m_btnOption;
    QPushButton m_btnFile2;
    QPushButton m_btnDir2;
    QScrollBar m_scrollBar;
    CGridEdit m_edit;
};

} // namespace kovrel::grid
