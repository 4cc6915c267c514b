// The grid's in-place editor: a single-line edit laid over the current cell.
#pragma once

#include <QKeyCombination>
#include <QLineEdit>

#include <string>
#include <vector>

namespace kovrel::grid {

class CItemGrid;

class CGridEdit : public QLineEdit {
    Q_OBJECT
public:
    // Longest text typed into the editor, in UTF-8 bytes (the byte length the
    // rest of the program's path buffers allow); a longer text read from a
    // document is still shown and can be shortened.
    static constexpr qsizetype kMaxBytes = 4096;

    explicit CGridEdit(QWidget* pParent = nullptr);
    ~CGridEdit() override;

    // Attaches the editor to its grid, hidden. Keys in vecPassKeys are left to the
    // window's shortcuts even while the editor has the focus.
    void CreateEdit(CItemGrid* pGrid);
    void SetPassKeys(std::vector<QKeyCombination> vecPassKeys);

    // Loads the cell's text (selected, caret in view) for row nRow, side nSide.
    void Load(const std::string& strText, int nRow, int nSide);
    // Whether the user changed the text handed to Load.
    bool IsChanged() const { return text() != m_strGiven; }

    int m_nRow = -1;  // row being edited
    int m_nSide = -1; // side being edited
    bool m_bCancel = false;
    CItemGrid* m_pGrid = nullptr;

protected:
    bool event(QEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void focusOutEvent(QFocusEvent* pEvent) override;

private:
    class CByteLimit;
    friend class CByteLimit;

    QString m_strGiven;
    // The byte length a text may still reach: kMaxBytes, or the length of a
    // longer text handed in, lowered as the user shortens it.
    qsizetype m_nAllowance = kMaxBytes;
    std::vector<QKeyCombination> m_vecPassKeys;
};

} // namespace kovrel::grid
