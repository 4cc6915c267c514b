#include "grid/GridEdit.h"

#include "grid/ItemGrid.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QValidator>

#include <algorithm>

namespace kovrel::grid {

// Refuses any change that would make the text longer than the allowance in UTF-8
// bytes. Qt's own length limit counts UTF-16 units, which lets a Japanese path
// grow to three times the bytes the rest of the program expects.
class CGridEdit::CByteLimit : public QValidator {
public:
    explicit CByteLimit(CGridEdit* pEdit) : QValidator(pEdit), m_pEdit(pEdit) {}

    State validate(QString& strInput, int& /*nPos*/) const override {
        const qsizetype nBytes = strInput.toUtf8().size();
        return nBytes <= std::max(m_pEdit->m_nAllowance, kMaxBytes) ? Acceptable : Invalid;
    }

private:
    CGridEdit* m_pEdit;
};

CGridEdit::CGridEdit(QWidget* pParent) : QLineEdit(pParent) {
    setValidator(new CByteLimit(this));
    connect(this, &QLineEdit::textChanged, this, [this](const QString& str) {
        m_nAllowance = std::min(m_nAllowance, std::max(str.toUtf8().size(), kMaxBytes));
    });
}

CGridEdit::~CGridEdit() = default;

void CGridEdit::CreateEdit(CItemGrid* pGrid) {
    m_pGrid = pGrid;
    // A thin border and no padding, so the text sits where the cell shows it.
    setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid black; padding: 0px; "
                                 "margin: 0px; background: white; color: black; }"));
    setContextMenuPolicy(Qt::DefaultContextMenu);
    hide();
}

void CGridEdit::SetPassKeys(std::vector<QKeyCombination> vecPassKeys) {
    m_vecPassKeys = std::move(vecPassKeys);
}

void CGridEdit::Load(const std::string& strText, int nRow, int nSide) {
    m_strGiven = QString::fromUtf8(strText.data(), qsizetype(strText.size()));
    m_nAllowance = std::max(qsizetype(strText.size()), kMaxBytes);
    setText(m_strGiven);
    selectAll(); // the caret ends at the end of the text, which stays in view
    m_nRow = nRow;
    m_nSide = nSide;
    m_bCancel = false;
}

bool CGridEdit::event(QEvent* pEvent) {
    if (pEvent->type() == QEvent::ShortcutOverride) {
        auto* pKey = static_cast<QKeyEvent*>(pEvent);
        const QKeyCombination combo = pKey->keyCombination();
        if (std::find(m_vecPassKeys.begin(), m_vecPassKeys.end(), combo) != m_vecPassKeys.end()) {
            pKey->ignore(); // the window's shortcut gets it
            return true;
        }
    }
    if (pEvent->type() == QEvent::KeyPress) {
        auto* pKey = static_cast<QKeyEvent*>(pEvent);
        if (pKey->key() == Qt::Key_Tab || pKey->key() == Qt::Key_Backtab) {
            // The editor takes every key: Tab neither moves the focus nor types.
            pKey->accept();
            return true;
        }
    }
    return QLineEdit::event(pEvent);
}

void CGridEdit::keyPressEvent(QKeyEvent* pEvent) {
    switch (pEvent->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        pEvent->accept();
        if (m_pGrid != nullptr) {
            m_pGrid->EndEdit(true);
        }
        return;
    case Qt::Key_Escape:
        pEvent->accept();
        m_bCancel = true;
        if (m_pGrid != nullptr) {
            m_pGrid->EndEdit(false);
        }
        return;
    default:
        QLineEdit::keyPressEvent(pEvent);
    }
}

void CGridEdit::focusOutEvent(QFocusEvent* pEvent) {
    QLineEdit::focusOutEvent(pEvent);
    // A popup menu opened from the editor (its context menu) or the menu bar takes
    // the focus only for a moment and gives it back: the edit goes on.
    if (pEvent->reason() == Qt::PopupFocusReason || pEvent->reason() == Qt::MenuBarFocusReason) {
        return;
    }
    if (m_pGrid != nullptr) {
        m_pGrid->EndEdit(!m_bCancel);
    }
}

} // namespace kovrel::grid
