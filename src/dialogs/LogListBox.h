// The list of the log window. Lines are kept in a plain vector and only the
// rows in view are painted, so adding a line costs the same however many
// lines there are: no per-row items, no layout of the whole list.
#pragma once

#include <QAbstractScrollArea>
#include <QString>

#include <vector>

namespace kovrel {

class CLogListBox final : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CLogListBox(QWidget* pParent = nullptr);

    void AddString(const QString& strLine); // appends at the end
    void ResetContent();
    int GetCount() const { return static_cast<int>(m_vecLines.size()); }
    QString GetText(int nIndex) const;
    // Scrolls so that line nIndex is the first shown, as far as the list goes.
    void SetTopIndex(int nIndex);
    int GetTopIndex() const;
    int GetCurSel() const { return m_nCurSel; }
    int RowHeight() const { return m_nRowHeight; }
    int VisibleLineCount() const; // whole rows in view

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;

private:
    void UpdateScrollRange();
    void SetCurSel(int nIndex);

    std::vector<QString> m_vecLines;
    int m_nRowHeight = 1;
    int m_nCurSel = -1;
};

} // namespace kovrel
