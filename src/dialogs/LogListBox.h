// The list of the log window. Lines are kept in a plain vector and only the
// rows in view are painted, so adding a line costs the same however many
// lines there are: no per-row items, no layout of the whole list.
#pragma once

#include <QAbstractScrollArea>
#include <QString>

#include <vector>

namespace kovrel::dialogs {

// A line's mark in a preview: what the line would destroy. Shown as a letter
// in a column left of the text and as the text's colour, so it does not rest
// on the colour alone.
enum class LogLineMark : unsigned char { None, Overwrite, Delete };

class CLogListBox final : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CLogListBox(QWidget* pParent = nullptr);

    void AddString(const QString& strLine); // appends at the end
    // Appends and scrolls as far down as the list goes, so the new line is in
    // view (one scroll of the pixels and one row painted, not the whole view).
    void AddStringAndScroll(const QString& strLine);
    void ResetContent();
    // Marks the last line added. The first mark opens the column the marks
    // are shown in; ResetContent closes it again.
    void MarkLastLine(LogLineMark mark);
    LogLineMark GetMark(int nIndex) const;
    bool HasMarkColumn() const { return m_bMarkColumn; }
    int GetCount() const { return static_cast<int>(m_vecLines.size()); }
    QString GetText(int nIndex) const;
    // Scrolls so that line nIndex is the first shown, as far as the list goes.
    void SetTopIndex(int nIndex);
    int GetTopIndex() const { return m_nTop; }
    int GetCurSel() const { return m_nCurSel; }
    int RowHeight() const { return m_nRowHeight; }
    int VisibleLineCount() const; // whole rows in view

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;
    // The view follows m_nTop, not the scroll bar: moving the bar to match
    // must not repaint everything.
    void scrollContentsBy(int, int) override {}

private:
    int MaxTop() const;
    // The scroll bar follows m_nTop once per pass of the event loop: setting
    // its range posts a relayout of the scroll area each time, which per line
    // would cost more than everything else together.
    void ScheduleScrollBarSync();
    void SyncScrollBar();
    void InvalidateAll();
    void SetCurSel(int nIndex);

    std::vector<QString> m_vecLines;
    std::vector<LogLineMark> m_vecMarks; // up to the last marked line only
    bool m_bMarkColumn = false;
    int m_nTop = 0; // first line in view
    int m_nRowHeight = 1;
    int m_nCurSel = -1;
    bool m_bSyncPending = false;
    bool m_bSyncing = false;
    // What waits to be painted: the whole view, or only a row scrolled in.
    bool m_bAllDirty = false;
    bool m_bSomeDirty = false;
};

} // namespace kovrel::dialogs
