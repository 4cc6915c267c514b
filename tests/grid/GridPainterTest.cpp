// The middle column's glyphs and what a painted row shows.
#include "GridTestSupport.h"

#include "grid/GridPainter.h"

#include <QImage>
#include <QPainter>

namespace kovrel::test {
namespace {

using grid::CGridNav;
using grid::CGridPainter;
using grid::GlyphSlots;

TEST(GlyphSlots, TableOfOptionWords) {
    struct Case {
        std::uint32_t w;
        std::array<int, 5> glyphs;
    };
    const Case cases[] = {
        {0x0, {0, 6, 9, 8, 1}},       // the default word
        {0x181, {11, 4, 3, 7, 9}},    // one way 1->2, delete on 2, force RO2
        {0x2, {4, 6, 9, 8, 1}},       // side 1 missing: nothing
        {0x10, {0, 6, 9, 8, 2}},      // side 2 missing: delete on 1
        {0x22, {4, 6, 9, 8, 4}},      // both ignored
        {0x88, {0, 5, 9, 7, 1}},      // both read-only forced
        {0x10000, {0, 6, 10, 8, 1}},  // no subdirectories
        {0x500, {11, 13, 0, 8, 9}},   // one way 1->2 with older copies
        {0x10200, {12, 4, 1, 6, 10}}, // one way 2->1, no subdirs
        {0x218, {12, 4, 2, 5, 9}},    // 2->1, delete on 1, force RO1
        {0x228, {12, 4, 4, 5, 9}},    // 2->1, side 2 missing ignored
        {0x7, {4, 6, 9, 8, 1}},       // bits 0-2 that no dialog makes
        {0x70, {0, 6, 9, 8, 4}},      // bits 4-6 that no dialog makes
        {0x300, {11, 4, 0, 8, 9}},    // both one-way bits: read as 1->2
        {0x135, {11, 4, 4, 8, 9}},    // 1->2 with an unknown bits 0-2 value
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.w);
        EXPECT_EQ(grid::GlyphSlots(c.w), c.glyphs);
    }
}

TEST(GlyphStrip, FourteenGlyphsOnWhite) {
    grid::CGridPainter painter;
    ASSERT_TRUE(painter.LoadGlyphs());
    const QImage& img = painter.GlyphStrip();
    EXPECT_EQ(img.size(), QSize(224, 16));
    for (int k = 0; k < grid::GLYPH_COUNT; ++k) {
        SCOPED_TRACE(k);
        int nInk = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                nInk += img.pixelColor(16 * k + x, y) != QColor(Qt::white) ? 1 : 0;
            }
        }
        EXPECT_GT(nInk, 3);   // every glyph draws something
        EXPECT_LT(nInk, 200); // on a white background
    }
    // Glyph 6 is glyph 5 in grey: same shape, no red.
    EXPECT_NE(img.copy(80, 0, 16, 16), img.copy(96, 0, 16, 16));
}

// On a screen of twice the density the glyphs are drawn from their drawing at
// 32 device pixels, not magnified from the 16-pixel strip, while the row keeps
// its layout in logical pixels: each slot covers exactly its 16 x 16 logical
// square, and the middle column's margins stay background.
TEST(GlyphStrip, DenseScreenGetsGlyphsDrawnAtItsDensity) {
    CGridPainter gridPainter;
    ASSERT_TRUE(gridPainter.LoadGlyphs());
    CSyncItemList list;
    SYNCITEM* pItem = list.SetAt(-1, "/a", "/b", nullptr);
    ASSERT_NE(pItem, nullptr);
    pItem->dwOption = 0x181;
    CGridNav nav;
    nav.m_nCount = 1;
    nav.m_nCurRow = 1;
    nav.m_nClientWidth = 400;
    nav.m_nClientHeight = 120;
    nav.m_nRowHeight = 20;

    const QImage& dense = gridPainter.GlyphStripFor(2.0);
    ASSERT_EQ(dense.size(), QSize(448, 32));
    EXPECT_EQ(&gridPainter.GlyphStripFor(1.0), &gridPainter.GlyphStrip());
    // A magnified 16-pixel strip would be made of 2 x 2 blocks of one colour.
    EXPECT_NE(dense, gridPainter.GlyphStrip().scaled(448, 32)) << "magnified, not drawn";

    QImage img(800, 240, QImage::Format_RGB32);
    img.setDevicePixelRatio(2.0);
    img.fill(Qt::white);
    {
        QPainter painter(&img);
        gridPainter.PaintRow(painter, nav, 0, pItem);
    }
    const std::array<int, 5> glyphs = GlyphSlots(pItem->dwOption);
    const int yGlyph = nav.RowTop(0) + nav.GlyphTop();
    for (int k = 0; k < 5; ++k) {
        SCOPED_TRACE(k);
        const QRect rcDevice(2 * (nav.Width1() + 2 + 16 * k), 2 * yGlyph, 32, 32);
        QImage painted = img.copy(rcDevice);
        painted.setDevicePixelRatio(1.0);
        EXPECT_EQ(painted, dense.copy(32 * glyphs[std::size_t(k)], 0, 32, 32));
    }
    for (int x : {nav.Width1(), nav.Width1() + 1, nav.Side2Left() - 2, nav.Side2Left() - 1}) {
        for (int dy = 0; dy < 32; ++dy) {
            ASSERT_EQ(img.pixelColor(2 * x, 2 * yGlyph + dy), QColor(Qt::white)) << x;
        }
    }
}

// The remembered-state mark: both margins of the middle column carry a bar as
// high as a glyph exactly when the state is in force; the five slots are the
// very glyphs of the same word without the bit, and nothing else of the row
// changes.
TEST(RememberMark, OnlyInTheMarginsAndOnlyWhereTheStateCounts) {
    CGridPainter gridPainter;
    ASSERT_TRUE(gridPainter.LoadGlyphs());
    CGridNav nav;
    nav.m_nCount = 1;
    nav.m_nCurRow = 0; // the current row: its inverted cell must not reach the marks
    nav.m_nClientWidth = 400;
    nav.m_nClientHeight = 120;
    nav.m_nRowHeight = 20;
    const int w1 = nav.Width1();
    const int yGlyph = nav.RowTop(0) + nav.GlyphTop();

    auto paint = [&](std::uint32_t dwOption) {
        CSyncItemList list;
        SYNCITEM* pItem = list.SetAt(-1, "/a", "/b", nullptr);
        pItem->dwOption = dwOption;
        QImage img(400, 120, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter painter(&img);
        gridPainter.PaintRow(painter, nav, 0, pItem);
        painter.end();
        return img;
    };
    struct Case {
        std::uint32_t dwOption;
        bool bMark;
    };
    const Case cases[] = {
        {SIO_REMEMBER_STATE, true},
        {SIO_REMEMBER_STATE | 0x10088 | 0x22, true},
        {SIO_REMEMBER_STATE | SIO_COPY_OLDER, true},
        {SIO_REMEMBER_STATE | SIO_ONEWAY_1TO2, false}, // kept from a document, not in force
        {SIO_REMEMBER_STATE | SIO_ONEWAY_2TO1 | SIO_COPY_OLDER, false},
        {0, false},
        {0x10088, false},
        {0xFFFDFFFF & ~SIO_ONEWAY_MASK, false}, // every other bit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.dwOption);
        EXPECT_EQ(grid::ShowsRememberMark(c.dwOption), c.bMark);
        EXPECT_EQ(GlyphSlots(c.dwOption), GlyphSlots(c.dwOption & ~SIO_REMEMBER_STATE));
        const QImage img = paint(c.dwOption);
        const QImage without = paint(c.dwOption & ~SIO_REMEMBER_STATE);
        // The slots: pixel for pixel as without the bit, and as the strip has them.
        const QRect rcSlots(w1 + 2, yGlyph, 80, 16);
        EXPECT_EQ(img.copy(rcSlots), without.copy(rcSlots));
        const std::array<int, 5> glyphs = GlyphSlots(c.dwOption);
        for (int k = 0; k < 5; ++k) {
            EXPECT_EQ(img.copy(w1 + 2 + 16 * k, yGlyph, 16, 16),
                      gridPainter.GlyphStrip().copy(16 * glyphs[std::size_t(k)], 0, 16, 16))
                << k;
        }
        // The margins: the mark's colour over the glyph's height, or background.
        const QColor crMargin = c.bMark ? grid::kRememberMarkColor : QColor(Qt::white);
        for (int x : {w1, w1 + 1, w1 + 82, w1 + 83}) {
            for (int y = yGlyph; y < yGlyph + 16; ++y) {
                ASSERT_EQ(img.pixelColor(x, y), crMargin) << x << "," << y;
            }
            EXPECT_EQ(img.pixelColor(x, nav.RowTop(0)), QColor(Qt::white)) << "above the glyphs";
        }
        // Everything outside the two margins is as without the bit.
        QImage maskedImg = img;
        QPainter masker(&maskedImg);
        masker.fillRect(QRect(w1, yGlyph, 2, 16), Qt::white);
        masker.fillRect(QRect(w1 + 82, yGlyph, 2, 16), Qt::white);
        masker.end();
        EXPECT_EQ(maskedImg, without);
    }
}

using PaintTest = ViewFixture;

TEST_F(PaintTest, RowsShowTheCurrentCellInvertedAndTheGlyphsOfTheirItem) {
    Grid().AppendItem(0, std::string(400, 'W')); // far too long for its cell
    Grid().AppendItem(1, "/b&c");
    Grid().GetItem(1)->dwOption = 0x181;
    Cell(1, 1);
    const QImage img = Grid().grab().toImage();
    const QPoint org = Grid().ClientOrigin();
    const grid::CGridNav& nav = Nav();
    auto at = [&](int x, int y) { return img.pixelColor(org + QPoint(x, y)); };
    const int y1 = nav.RowTop(1);
    const int yMid = y1 + nav.m_nRowHeight - 2; // below the text, inside the row

    // Row 1, side 2 is current: its cell is black, side 1 and the middle's margin white.
    EXPECT_EQ(at(nav.Side2Left() + nav.Width2() - 3, yMid), QColor(Qt::black));
    EXPECT_EQ(at(nav.Width1() - 3, yMid), QColor(Qt::white));
    EXPECT_EQ(at(nav.Width1(), yMid), QColor(Qt::white));
    // Row 0 is not current: white; its long text stops at the cell's edge.
    EXPECT_EQ(at(nav.Side2Left() + 5, nav.RowTop(0) + 3), QColor(Qt::white));
    EXPECT_EQ(at(nav.Width1() + 1, nav.RowTop(0) + nav.m_nRowHeight / 2), QColor(Qt::white));
    // The blank row (2) shows no glyphs.
    for (int x = nav.Width1(); x < nav.Side2Left(); ++x) {
        ASSERT_EQ(at(x, nav.RowTop(2) + nav.m_nRowHeight / 2), QColor(Qt::white));
    }

    // Each glyph slot of both rows is the strip's glyph, copied unchanged.
    const QImage& strip = Grid().GetPainter().GlyphStrip();
    for (int nRow : {0, 1}) {
        const std::array<int, 5> glyphs = grid::GlyphSlots(Grid().GetItem(nRow)->dwOption);
        const int yGlyph = nav.RowTop(nRow) + nav.GlyphTop();
        // A row lower than a glyph shows its upper part only, as the next row's
        // background covers the rest.
        const int nLines = std::min(16, nav.m_nRowHeight - nav.GlyphTop());
        for (int k = 0; k < 5; ++k) {
            SCOPED_TRACE(testing::Message() << "row " << nRow << " slot " << k);
            const QPoint ptSlot = org + QPoint(nav.Width1() + 2 + 16 * k, yGlyph);
            const QImage painted =
                img.copy(QRect(ptSlot, QSize(16, nLines))).convertToFormat(QImage::Format_RGB32);
            EXPECT_EQ(painted, strip.copy(16 * glyphs[std::size_t(k)], 0, 16, nLines));
        }
    }
}

} // namespace
} // namespace kovrel::test
