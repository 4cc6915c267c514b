#include "grid/GridNav.h"

#include <algorithm>

namespace kovrel::grid {

int CGridNav::VisibleRows() const noexcept {
    const int nRowHeight = std::max(m_nRowHeight, 1);
    return std::max((m_nClientHeight - kHeaderHeight) / nRowHeight, 1);
}

int CGridNav::PaintSlots() const noexcept {
    const int nRowHeight = std::max(m_nRowHeight, 1);
    const int nSpace = m_nClientHeight - kHeaderHeight;
    if (nSpace <= 0) {
        return 0;
    }
    return (nSpace + nRowHeight - 1) / nRowHeight;
}

bool CGridNav::SelectRow(int nRow, int nPos) {
    if (nRow < 0 || nRow > m_nCount) {
        return false;
    }
    const int v = VisibleRows();
    m_nCurRow = nRow;
    if (nPos >= 0) {
        m_nPos = std::min(nPos, m_nCount);
        if (m_nCurRow < m_nPos) {
            m_nCurRow = m_nPos;
        } else if (m_nCurRow >= m_nPos + v) {
            m_nCurRow = std::min(m_nPos + v - 1, m_nCount);
        }
    } else if (nRow < m_nPos) {
        m_nPos = nRow;
    } else if (nRow >= m_nPos + v) {
        m_nPos = nRow - v + 1;
    }
    return true;
}

bool CGridNav::Key(GridKey eKey) {
    const int nHalf = Half();
    switch (eKey) {
    case GridKey::PageUp:
        if (m_nCurRow <= 0) {
            return false;
        }
        m_nPos = std::max(m_nPos - nHalf, 0);
        return SelectRow(std::max(m_nCurRow - nHalf, 0), -1);
    case GridKey::PageDown:
        if (m_nCurRow >= m_nCount) {
            return false;
        }
        m_nPos = std::min(m_nPos + nHalf, m_nCount);
        return SelectRow(std::min(m_nCurRow + nHalf, m_nCount), -1);
    case GridKey::Left:
        if (m_nCurSide == 1) {
            m_nCurSide = 0;
            return SelectRow(m_nCurRow, -1);
        }
        if (m_nCurRow > 0) {
            m_nCurSide = 1;
            return SelectRow(m_nCurRow - 1, -1);
        }
        return false;
    case GridKey::Right:
        if (m_nCurSide == 0) {
            m_nCurSide = 1;
            return SelectRow(m_nCurRow, -1);
        }
        if (m_nCurRow < m_nCount) {
            m_nCurSide = 0;
            return SelectRow(m_nCurRow + 1, -1);
        }
        return false;
    case GridKey::Up:
        return m_nCurRow > 0 && SelectRow(m_nCurRow - 1, -1);
    case GridKey::Down:
        return m_nCurRow < m_nCount && SelectRow(m_nCurRow + 1, -1);
    }
    return false;
}

bool CGridNav::Scroll(GridScroll eCode, int nThumbPos) {
    const int nPos = m_nPos;
    switch (eCode) {
    case GridScroll::LineUp:
        return nPos > 0 && SelectRow(m_nCurRow, nPos - 1);
    case GridScroll::LineDown:
        return nPos < m_nCount && SelectRow(m_nCurRow, nPos + 1);
    case GridScroll::PageUp:
        return nPos > 0 && SelectRow(m_nCurRow, std::max(nPos - Half(), 0));
    case GridScroll::PageDown:
        return nPos < m_nCount && SelectRow(m_nCurRow, std::min(nPos + Half(), m_nCount));
    case GridScroll::ThumbPosition:
    case GridScroll::ThumbTrack:
        return SelectRow(m_nCurRow, std::clamp(nThumbPos, 0, m_nCount));
    }
    return false;
}

void CGridNav::SetCount(int nCount) noexcept {
    m_nCount = std::max(nCount, 0);
    m_nPos = std::clamp(m_nPos, 0, m_nCount);
    m_nCurRow = std::clamp(m_nCurRow, 0, m_nCount);
}

GridHit CGridNav::HitTest(int nX, int nY) const noexcept {
    GridHit hit;
    if (nY < kHeaderHeight) {
        return hit;
    }
    hit.bInList = true;
    hit.nRow = std::min((nY - kHeaderHeight) / std::max(m_nRowHeight, 1) + m_nPos, m_nCount);
    if (nX < Width1()) {
        hit.nSide = 0;
    } else if (nX >= Side2Left()) {
        hit.nSide = 1;
    }
    return hit;
}

GridHit CGridNav::DropTarget(int nX, int nY, int nIndex) const noexcept {
    GridHit hit = HitTest(nX, nY);
    if (hit.bInList) {
        const long long nRow =
            static_cast<long long>((nY - kHeaderHeight) / std::max(m_nRowHeight, 1)) + m_nPos +
            std::max(nIndex, 0);
        hit.nRow = static_cast<int>(std::min<long long>(nRow, m_nCount));
    }
    return hit;
}

} // namespace kovrel::grid
