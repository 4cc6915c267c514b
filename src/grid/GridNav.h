// Geometry and navigation of the item grid, in plain numbers: no widget, no
// painting, so every rule can be checked with tables.
//
// Rows are list indices 0..count; row count is the blank row where new items are
// typed, browsed or dropped. A side is 0 (the side-1 cell) or 1 (the side-2 cell).
// Coordinates are client coordinates of the grid: the header is at the top, the
// scroll bar runs down the right edge.
#pragma once

namespace kovrel::grid {

// What a click or a drop landed on.
struct GridHit {
    bool bInList = false; // false: on the header (nothing happens)
    int nRow = 0;         // list row, already clamped to the blank row
    int nSide = -1;       // 0, 1, or -1 for the middle column
};

// The keys the grid itself handles.
enum class GridKey { PageUp, PageDown, Left, Right, Up, Down };

// The scroll bar's actions, numbered as the platform numbers them.
enum class GridScroll {
    LineUp = 0,
    LineDown = 1,
    PageUp = 2,
    PageDown = 3,
    ThumbPosition = 4,
    ThumbTrack = 5,
};

class CGridNav {
public:
    static constexpr int kHeaderHeight = 25;
    static constexpr int kGlyphSize = 16;
    static constexpr int kGlyphMargin = 2;
    static constexpr int kGlyphSlots = 5;
    static constexpr int kMidWidth = kGlyphSlots * kGlyphSize + 2 * kGlyphMargin; // 84

    // --- state ---------------------------------------------------------------
    int m_nCount = 0;   // number of items
    int m_nCurRow = 0;  // 0..count
    int m_nCurSide = 0; // 0 or 1
    int m_nPos = 0;     // scroll position, 0..count

    // --- geometry inputs -----------------------------------------------------
    int m_nClientWidth = 0;
    int m_nClientHeight = 0;
    int m_nRowHeight = 1;
    int m_nScrollWidth = 0;

    // --- geometry ------------------------------------------------------------
    int Width1() const noexcept { return (m_nClientWidth - m_nScrollWidth - kMidWidth) / 2; }
    int Width2() const noexcept { return Width1(); }
    int Side2Left() const noexcept { return Width1() + kMidWidth; }
    int RightEdge() const noexcept { return m_nClientWidth - m_nScrollWidth; }
    int GlyphTop() const noexcept { return (m_nRowHeight - kGlyphSize) / 2; }
    // Whole rows that fit below the header; at least one, so that a window too
    // small for a row still keeps the current row at the scroll position.
    int VisibleRows() const noexcept;
    // Row slots to paint: whole rows plus one cut off at the bottom.
    int PaintSlots() const noexcept;
    int Half() const noexcept { return VisibleRows() / 2 + 1; }
    // Top of a list row in client coordinates (may lie outside the window).
    int RowTop(int nRow) const noexcept { return kHeaderHeight + (nRow - m_nPos) * m_nRowHeight; }
    int CellLeft(int nSide) const noexcept { return nSide == 0 ? 0 : Side2Left(); }

    // --- navigation (each returns whether the state changed or was applied) --
    // Makes nRow current (0..count, else nothing) and scrolls: to nPos when it is
    // not negative, moving the current row along into the window; otherwise just
    // far enough to show the row.
    bool SelectRow(int nRow, int nPos);
    bool Key(GridKey eKey);
    bool Scroll(GridScroll eCode, int nThumbPos);
    // Sets the count after the list changed; the scroll position and the current
    // row are kept within 0..count.
    void SetCount(int nCount) noexcept;

    // --- hit testing ---------------------------------------------------------
    GridHit HitTest(int nX, int nY) const noexcept;
    // Where file nIndex of a drop at (nX, nY) goes: the row under the point plus
    // nIndex, clamped to the blank row.
    GridHit DropTarget(int nX, int nY, int nIndex) const noexcept;
};

} // namespace kovrel::grid
