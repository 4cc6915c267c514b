#include "dialogs/LogListBox.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace kovrel {

CLogListBox::CLogListBox(QWidget* pParent) : QAbstractScrollArea(pParent) {
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    m_nRowHeight = std::max(1, fontMetrics().height());
    verticalScrollBar()->setSingleStep(1);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(),
            qOverload<>(&QWidget::update));
}

void CLogListBox::AddString(const QString& strLine) {
    m_vecLines.push_back(strLine);
    UpdateScrollRange();
    // Repaint only when the new row can be seen; it is painted with the next
    // paint of the view anyway.
    const int nRow = GetCount() - 1 - GetTopIndex();
    if (nRow >= 0 && nRow * m_nRowHeight < viewport()->height()) {
        viewport()->update(0, nRow * m_nRowHeight, viewport()->width(), m_nRowHeight);
    }
}

void CLogListBox::ResetContent() {
    m_vecLines.clear();
    m_vecLines.shrink_to_fit();
    m_nCurSel = -1;
    UpdateScrollRange();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

QString CLogListBox::GetText(int nIndex) const {
    return nIndex >= 0 && nIndex < GetCount() ? m_vecLines[std::size_t(nIndex)] : QString();
}

void CLogListBox::SetTopIndex(int nIndex) {
    verticalScrollBar()->setValue(nIndex); // clamped to the range
}

int CLogListBox::GetTopIndex() const {
    return verticalScrollBar()->value();
}

int CLogListBox::VisibleLineCount() const {
    return std::max(1, viewport()->height() / m_nRowHeight);
}

void CLogListBox::UpdateScrollRange() {
    const int nPage = VisibleLineCount();
    QScrollBar* pBar = verticalScrollBar();
    pBar->setPageStep(nPage);
    pBar->setRange(0, std::max(0, GetCount() - nPage));
}

void CLogListBox::paintEvent(QPaintEvent* pEvent) {
    QPainter painter(viewport());
    const QRect rcDirty = pEvent->rect();
    const int nTop = GetTopIndex();
    const int nFirst = nTop + rcDirty.top() / m_nRowHeight;
    const int nLast = std::min(GetCount() - 1, nTop + rcDirty.bottom() / m_nRowHeight);
    const int nWidth = viewport()->width();
    const QPalette& pal = palette();
    for (int i = nFirst; i <= nLast; ++i) {
        const QRect rcRow(0, (i - nTop) * m_nRowHeight, nWidth, m_nRowHeight);
        const bool bSelected = i == m_nCurSel;
        if (bSelected) {
            painter.fillRect(rcRow, pal.brush(QPalette::Highlight));
        }
        painter.setPen(pal.color(bSelected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawText(rcRow.adjusted(2, 0, 0, 0),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextExpandTabs,
                         m_vecLines[std::size_t(i)]);
        if (bSelected && hasFocus()) {
            painter.setPen(QPen(pal.color(QPalette::HighlightedText), 1, Qt::DotLine));
            painter.drawRect(rcRow.adjusted(0, 0, -1, -1));
        }
    }
}

void CLogListBox::resizeEvent(QResizeEvent* pEvent) {
    QAbstractScrollArea::resizeEvent(pEvent);
    UpdateScrollRange();
}

void CLogListBox::changeEvent(QEvent* pEvent) {
    QAbstractScrollArea::changeEvent(pEvent);
    if (pEvent->type() == QEvent::FontChange) {
        m_nRowHeight = std::max(1, fontMetrics().height());
        UpdateScrollRange();
        viewport()->update();
    }
}

void CLogListBox::SetCurSel(int nIndex) {
    if (GetCount() == 0) {
        return;
    }
    m_nCurSel = std::clamp(nIndex, 0, GetCount() - 1);
    const int nTop = GetTopIndex();
    if (m_nCurSel < nTop) {
        SetTopIndex(m_nCurSel);
    } else if (m_nCurSel >= nTop + VisibleLineCount()) {
        SetTopIndex(m_nCurSel - VisibleLineCount() + 1);
    }
    viewport()->update();
}

void CLogListBox::keyPressEvent(QKeyEvent* pEvent) {
    const int nPage = VisibleLineCount();
    const int nCur = m_nCurSel < 0 ? GetTopIndex() - 1 : m_nCurSel;
    if (pEvent->matches(QKeySequence::Copy)) {
        if (m_nCurSel >= 0) {
            QApplication::clipboard()->setText(GetText(m_nCurSel));
        }
        return;
    }
    switch (pEvent->key()) {
    case Qt::Key_Up:
        SetCurSel(nCur - 1);
        break;
    case Qt::Key_Down:
        SetCurSel(nCur + 1);
        break;
    case Qt::Key_PageUp:
        SetCurSel(nCur - nPage + 1);
        break;
    case Qt::Key_PageDown:
        SetCurSel(nCur + nPage - 1);
        break;
    case Qt::Key_Home:
        SetCurSel(0);
        break;
    case Qt::Key_End:
        SetCurSel(GetCount() - 1);
        break;
    default:
        // Enter and Escape go on to the window: OK and hide.
        QAbstractScrollArea::keyPressEvent(pEvent);
        break;
    }
}

void CLogListBox::mousePressEvent(QMouseEvent* pEvent) {
    if (pEvent->button() == Qt::LeftButton) {
        const int nIndex = GetTopIndex() + pEvent->position().toPoint().y() / m_nRowHeight;
        if (nIndex < GetCount()) {
            SetCurSel(nIndex);
        }
    }
    QAbstractScrollArea::mousePressEvent(pEvent);
}

} // namespace kovrel
