#include "dialogs/LogListBox.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace kovrel::dialogs {

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
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int nValue) {
        if (!m_bSyncing && nValue != m_nTop) {
            m_nTop = nValue; // the user scrolled
            InvalidateAll();
        }
    });
}

void CLogListBox::AddString(const QString& strLine) {
    m_vecLines.push_back(strLine);
    ScheduleScrollBarSync();
    // Only a new row inside the view needs painting.
    const int nRow = GetCount() - 1 - m_nTop;
    if (!m_bAllDirty && nRow >= 0 && nRow * m_nRowHeight < viewport()->height()) {
        viewport()->update(0, nRow * m_nRowHeight, viewport()->width(), m_nRowHeight);
        m_bSomeDirty = true;
    }
}

void CLogListBox::AddStringAndScroll(const QString& strLine) {
    m_vecLines.push_back(strLine);
    ScheduleScrollBarSync();
    SetTopIndex(GetCount() - 1);
    // The new line's row, wherever the scroll left it (a row that was only
    // partly visible may have moved fully into view unpainted).
    const int nRow = GetCount() - 1 - m_nTop;
    if (!m_bAllDirty && nRow * m_nRowHeight < viewport()->height()) {
        viewport()->update(0, nRow * m_nRowHeight, viewport()->width(), m_nRowHeight);
        m_bSomeDirty = true;
    }
}

void CLogListBox::ResetContent() {
    m_vecLines.clear();
    m_vecLines.shrink_to_fit();
    m_vecMarks.clear();
    m_vecMarks.shrink_to_fit();
    m_bMarkColumn = false;
    m_nCurSel = -1;
    m_nTop = 0;
    SyncScrollBar();
    InvalidateAll();
}

void CLogListBox::MarkLastLine(LogLineMark mark) {
    if (GetCount() == 0 || (mark == LogLineMark::None && !m_bMarkColumn))
        return;
    m_vecMarks.resize(m_vecLines.size(), LogLineMark::None);
    m_vecMarks.back() = mark;
    if (!m_bMarkColumn) {
        m_bMarkColumn = true;
        InvalidateAll();
    } else {
        const int nRow = GetCount() - 1 - m_nTop;
        viewport()->update(0, nRow * m_nRowHeight, viewport()->width(), m_nRowHeight);
    }
}

LogLineMark CLogListBox::GetMark(int nIndex) const {
    return nIndex >= 0 && std::size_t(nIndex) < m_vecMarks.size() ? m_vecMarks[std::size_t(nIndex)]
                                                                  : LogLineMark::None;
}

QString CLogListBox::GetText(int nIndex) const {
    return nIndex >= 0 && nIndex < GetCount() ? m_vecLines[std::size_t(nIndex)] : QString();
}

int CLogListBox::MaxTop() const {
    return std::max(0, GetCount() - VisibleLineCount());
}

void CLogListBox::SetTopIndex(int nIndex) {
    const int nTop = std::clamp(nIndex, 0, MaxTop());
    if (nTop == m_nTop) {
        return;
    }
    const int nDelta = nTop - m_nTop;
    m_nTop = nTop;
    ScheduleScrollBarSync();
    if (m_bAllDirty) {
        return; // the whole view is painted anyway
    }
    if (!m_bSomeDirty && nDelta > 0 && nDelta < VisibleLineCount()) {
        // Scrolled by a few rows with nothing else pending: move the pixels
        // and paint only the rows that come in, which keeps a repaint after
        // every line cheap.
        viewport()->scroll(0, -nDelta * m_nRowHeight);
        m_bSomeDirty = true;
        return;
    }
    InvalidateAll();
}

int CLogListBox::VisibleLineCount() const {
    return std::max(1, viewport()->height() / m_nRowHeight);
}

void CLogListBox::InvalidateAll() {
    m_bAllDirty = true;
    viewport()->update();
}

void CLogListBox::ScheduleScrollBarSync() {
    if (!m_bSyncPending) {
        m_bSyncPending = true;
        QMetaObject::invokeMethod(this, &CLogListBox::SyncScrollBar, Qt::QueuedConnection);
    }
}

void CLogListBox::SyncScrollBar() {
    m_bSyncPending = false;
    m_bSyncing = true;
    QScrollBar* pBar = verticalScrollBar();
    pBar->setPageStep(VisibleLineCount());
    pBar->setRange(0, MaxTop());
    pBar->setValue(m_nTop);
    m_bSyncing = false;
}

void CLogListBox::paintEvent(QPaintEvent* pEvent) {
    m_bAllDirty = false;
    m_bSomeDirty = false;
    QPainter painter(viewport());
    const QRect rcDirty = pEvent->rect();
    const int nTop = m_nTop;
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
        QColor color = pal.color(bSelected ? QPalette::HighlightedText : QPalette::Text);
        int nTextLeft = 2;
        if (m_bMarkColumn) {
            // The column is two full-width letters wide: 削 (deleted) or 上
            // (overwritten), in the line's colour.
            nTextLeft += 2 * m_nRowHeight;
            const LogLineMark mark = GetMark(i);
            if (mark != LogLineMark::None) {
                if (!bSelected)
                    color = mark == LogLineMark::Delete ? QColor(0xc0, 0x10, 0x10)
                                                        : QColor(0xb0, 0x60, 0x00);
                painter.setPen(color);
                painter.drawText(QRect(2, rcRow.top(), 2 * m_nRowHeight, m_nRowHeight),
                                 Qt::AlignCenter | Qt::TextSingleLine,
                                 mark == LogLineMark::Delete ? QString::fromUtf8("削")
                                                             : QString::fromUtf8("上"));
            }
        }
        painter.setPen(color);
        painter.drawText(rcRow.adjusted(nTextLeft, 0, 0, 0),
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
    m_nTop = std::min(m_nTop, MaxTop());
    SyncScrollBar();
    InvalidateAll();
}

void CLogListBox::changeEvent(QEvent* pEvent) {
    QAbstractScrollArea::changeEvent(pEvent);
    if (pEvent->type() == QEvent::FontChange) {
        m_nRowHeight = std::max(1, fontMetrics().height());
        m_nTop = std::min(m_nTop, MaxTop());
        SyncScrollBar();
        InvalidateAll();
    }
}

void CLogListBox::SetCurSel(int nIndex) {
    if (GetCount() == 0) {
        return;
    }
    m_nCurSel = std::clamp(nIndex, 0, GetCount() - 1);
    if (m_nCurSel < m_nTop) {
        SetTopIndex(m_nCurSel);
    } else if (m_nCurSel >= m_nTop + VisibleLineCount()) {
        SetTopIndex(m_nCurSel - VisibleLineCount() + 1);
    }
    InvalidateAll();
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

} // namespace kovrel::dialogs
