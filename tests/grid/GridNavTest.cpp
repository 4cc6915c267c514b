// The grid's geometry and navigation arithmetic, in plain numbers.
#include "grid/GridNav.h"

#include <gtest/gtest.h>

namespace kovrel {
namespace {

// A grid with ten whole rows below the header: R = 20, client height 25 + 200.
grid::CGridNav MakeNav(int nCount, int nCurRow = 0, int nCurSide = 0, int nPos = 0) {
    grid::CGridNav nav;
    nav.m_nClientWidth = 600;
    nav.m_nClientHeight = 225;
    nav.m_nRowHeight = 20;
    nav.m_nScrollWidth = 16;
    nav.m_nCount = nCount;
    nav.m_nCurRow = nCurRow;
    nav.m_nCurSide = nCurSide;
    nav.m_nPos = nPos;
    return nav;
}

TEST(GridNavGeometry, ColumnsRowsAndSlots) {
    struct Case {
        int cw, ch, r, scroll;
        int w1, v, slots, half, glyphTop;
    };
    const Case cases[] = {
        {600, 225, 20, 16, 250, 10, 10, 6, 2}, // ten whole rows, nothing cut off
        {601, 226, 20, 16, 250, 10, 11, 6, 2}, // odd width truncates, one row cut off
        {400, 100, 17, 15, 150, 4, 5, 3, 0},   // (17 - 16) / 2 truncates to 0
        {300, 25, 20, 16, 100, 1, 0, 1, 2},    // no room below the header: no slots
        {200, 30, 13, 16, 50, 1, 1, 1, -1},    // a partial row only; glyph taller than R
    };
    for (const Case& c : cases) {
        grid::CGridNav nav;
        nav.m_nClientWidth = c.cw;
        nav.m_nClientHeight = c.ch;
        nav.m_nRowHeight = c.r;
        nav.m_nScrollWidth = c.scroll;
        SCOPED_TRACE(testing::Message() << c.cw << "x" << c.ch << " R=" << c.r);
        EXPECT_EQ(nav.Width1(), c.w1);
        EXPECT_EQ(nav.Width2(), c.w1);
        EXPECT_EQ(nav.Side2Left(), c.w1 + 84);
        EXPECT_EQ(nav.VisibleRows(), c.v);
        EXPECT_EQ(nav.PaintSlots(), c.slots);
        EXPECT_EQ(nav.Half(), c.half);
        EXPECT_EQ(nav.GlyphTop(), c.glyphTop);
    }
    EXPECT_EQ(grid::CGridNav::kMidWidth, 84);
}

TEST(GridNavSelect, RulesForBothKindsOfPosition) {
    struct Case {
        int count, cur, pos; // before
        int row, nPos;       // SelectRow arguments
        bool applied;
        int curAfter, posAfter;
    };
    const Case cases[] = {
        {5, 0, 0, -1, -1, false, 0, 0},     // below 0: nothing
        {5, 0, 0, 6, -1, false, 0, 0},      // above count: nothing
        {5, 0, 0, 5, -1, true, 5, 0},       // the blank row is a row
        {30, 0, 0, 9, -1, true, 9, 0},      // last whole row: no scroll
        {30, 0, 0, 10, -1, true, 10, 1},    // one below the window: scroll one
        {30, 20, 15, 3, -1, true, 3, 3},    // above the window: scroll to it
        {30, 12, 10, 12, 14, true, 14, 14}, // scrolled past the row: row follows to the top
        {30, 12, 10, 12, 0, true, 9, 0},    // scrolled back: row follows to the last whole row
        {30, 12, 10, 12, 8, true, 12, 8},   // still visible: row stays
        {5, 1, 0, 1, 3, true, 3, 3},        // the row above the window follows to pos
        {3, 3, 3, 3, 0, true, 3, 0},        // the blank row stays when it is visible
        {3, 0, 0, 0, 9, true, 3, 3},        // a position past the range is kept at count
    };
    for (const Case& c : cases) {
        grid::CGridNav nav = MakeNav(c.count, c.cur, 0, c.pos);
        SCOPED_TRACE(testing::Message()
                     << "count " << c.count << " cur " << c.cur << " pos " << c.pos
                     << " -> SelectRow(" << c.row << ", " << c.nPos << ")");
        EXPECT_EQ(nav.SelectRow(c.row, c.nPos), c.applied);
        EXPECT_EQ(nav.m_nCurRow, c.curAfter);
        EXPECT_EQ(nav.m_nPos, c.posAfter);
    }
}

TEST(GridNavKeys, TableOfKeys) {
    struct Case {
        const char* what;
        int count, cur, side, pos;
        grid::GridKey key;
        bool handled;
        int curAfter, sideAfter, posAfter;
    };
    const Case cases[] = {
        {"empty: Up", 0, 0, 0, 0, grid::GridKey::Up, false, 0, 0, 0},
        {"empty: Down", 0, 0, 0, 0, grid::GridKey::Down, false, 0, 0, 0},
        {"empty: PageUp", 0, 0, 0, 0, grid::GridKey::PageUp, false, 0, 0, 0},
        {"empty: PageDown", 0, 0, 0, 0, grid::GridKey::PageDown, false, 0, 0, 0},
        {"empty: Right", 0, 0, 0, 0, grid::GridKey::Right, true, 0, 1, 0},
        {"empty: second Right", 0, 0, 1, 0, grid::GridKey::Right, false, 0, 1, 0},
        {"empty: Left back", 0, 0, 1, 0, grid::GridKey::Left, true, 0, 0, 0},
        {"Left on row 0 side 1", 5, 0, 0, 0, grid::GridKey::Left, false, 0, 0, 0},
        {"Left wraps to the row above", 5, 3, 0, 0, grid::GridKey::Left, true, 2, 1, 0},
        {"Right wraps to the row below", 5, 3, 1, 0, grid::GridKey::Right, true, 4, 0, 0},
        {"Right on the blank row side 2", 5, 5, 1, 0, grid::GridKey::Right, false, 5, 1, 0},
        {"Down scrolls one", 30, 9, 0, 0, grid::GridKey::Down, true, 10, 0, 1},
        {"Up scrolls one", 30, 5, 1, 5, grid::GridKey::Up, true, 4, 1, 4},
        {"PageDown from the top", 30, 0, 0, 0, grid::GridKey::PageDown, true, 6, 0, 6},
        {"PageDown near the end", 30, 27, 0, 22, grid::GridKey::PageDown, true, 30, 0, 28},
        {"PageDown stops at count", 8, 5, 0, 5, grid::GridKey::PageDown, true, 8, 0, 8},
        {"PageDown on the blank row", 8, 8, 0, 8, grid::GridKey::PageDown, false, 8, 0, 8},
        {"PageUp", 30, 20, 1, 15, grid::GridKey::PageUp, true, 14, 1, 9},
        {"PageUp to the top", 30, 4, 0, 2, grid::GridKey::PageUp, true, 0, 0, 0},
    };
    for (const Case& c : cases) {
        grid::CGridNav nav = MakeNav(c.count, c.cur, c.side, c.pos);
        SCOPED_TRACE(c.what);
        EXPECT_EQ(nav.Key(c.key), c.handled);
        EXPECT_EQ(nav.m_nCurRow, c.curAfter);
        EXPECT_EQ(nav.m_nCurSide, c.sideAfter);
        EXPECT_EQ(nav.m_nPos, c.posAfter);
    }
}

TEST(GridNavScroll, TableOfScrollActions) {
    struct Case {
        const char* what;
        int count, cur, pos;
        grid::GridScroll code;
        int thumb;
        bool handled;
        int curAfter, posAfter;
    };
    const Case cases[] = {
        {"line up at the top", 30, 0, 0, grid::GridScroll::LineUp, 0, false, 0, 0},
        {"line down at count", 30, 30, 30, grid::GridScroll::LineDown, 0, false, 30, 30},
        {"line down drags the row", 30, 0, 0, grid::GridScroll::LineDown, 0, true, 1, 1},
        {"line up keeps a visible row", 30, 5, 3, grid::GridScroll::LineUp, 0, true, 5, 2},
        {"page down", 30, 2, 0, grid::GridScroll::PageDown, 0, true, 6, 6},
        {"page down capped", 30, 28, 27, grid::GridScroll::PageDown, 0, true, 30, 30},
        {"page up", 30, 20, 20, grid::GridScroll::PageUp, 0, true, 20, 14},
        {"thumb to the middle", 100000, 0, 0, grid::GridScroll::ThumbTrack, 50000, true, 50000,
         50000},
        {"thumb back up", 100, 60, 55, grid::GridScroll::ThumbPosition, 10, true, 19, 10},
        {"thumb past the range", 10, 0, 0, grid::GridScroll::ThumbTrack, 99, true, 10, 10},
    };
    for (const Case& c : cases) {
        grid::CGridNav nav = MakeNav(c.count, c.cur, 0, c.pos);
        SCOPED_TRACE(c.what);
        EXPECT_EQ(nav.Scroll(c.code, c.thumb), c.handled);
        EXPECT_EQ(nav.m_nCurRow, c.curAfter);
        EXPECT_EQ(nav.m_nPos, c.posAfter);
    }
}

TEST(GridNavHit, ClicksAndDrops) {
    // W1 = 250, middle 250..333, side 2 from 334; rows of 20 below y = 25.
    struct Case {
        int x, y, index, pos;
        bool inList;
        int row, side;
    };
    const Case cases[] = {
        {10, 5, 0, 0, false, 0, -1},  // header
        {10, 24, 0, 0, false, 0, -1}, // last header pixel
        {10, 25, 0, 0, true, 0, 0},   // first list pixel
        {249, 44, 0, 0, true, 0, 0},  // right edge of side 1
        {250, 45, 0, 0, true, 1, -1}, // middle column
        {333, 45, 0, 0, true, 1, -1}, // middle column's last pixel
        {334, 45, 0, 0, true, 1, 1},  // side 2
        {400, 200, 0, 0, true, 6, 1}, // below the last item: the blank row
        {400, 125, 0, 0, true, 5, 1}, // row 5
        {400, 125, 1, 0, true, 6, 1}, // second file of a drop: one further
        {400, 125, 2, 0, true, 6, 1}, // third: still the blank row
        {10, 65, 0, 2, true, 4, 0},   // scrolled by two
    };
    for (const Case& c : cases) {
        grid::CGridNav nav = MakeNav(6, 0, 0, c.pos);
        SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ") index " << c.index);
        const grid::GridHit hit =
            c.index == 0 ? nav.HitTest(c.x, c.y) : nav.DropTarget(c.x, c.y, c.index);
        EXPECT_EQ(hit.bInList, c.inList);
        if (c.inList) {
            EXPECT_EQ(hit.nRow, c.row);
            EXPECT_EQ(hit.nSide, c.side);
        }
    }
}

TEST(GridNavCount, ShrinkingKeepsPositionAndRowInRange) {
    grid::CGridNav nav = MakeNav(30, 25, 1, 20);
    nav.SetCount(10);
    EXPECT_EQ(nav.m_nPos, 10);
    EXPECT_EQ(nav.m_nCurRow, 10);
    EXPECT_EQ(nav.m_nCurSide, 1);
}

} // namespace
} // namespace kovrel
