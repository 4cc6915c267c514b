// Draws the grid's rows: one row at a time, from the item and the navigation
// state, so painting never depends on how many items the list holds.
#pragma once

#include "grid/GridNav.h"

#include <QColor>
#include <QImage>

#include <array>
#include <cstdint>

class QPainter;

namespace kovrel {
struct SYNCITEM;
}

namespace kovrel::grid {

// Glyphs of the strip, by index.
enum : int {
    GLYPH_COPY_TO_1 = 0,
    GLYPH_COPY_TO_2 = 1,
    GLYPH_DELETE_ON_1 = 2,
    GLYPH_DELETE_ON_2 = 3,
    GLYPH_NOTHING = 4,
    GLYPH_FORCE_RO1 = 5,
    GLYPH_KEEP_RO1 = 6,
    GLYPH_FORCE_RO2 = 7,
    GLYPH_KEEP_RO2 = 8,
    GLYPH_SUBDIRS = 9,
    GLYPH_NO_SUBDIRS = 10,
    GLYPH_ONEWAY_1TO2 = 11,
    GLYPH_ONEWAY_2TO1 = 12,
    GLYPH_COPY_OLDER = 13,
    GLYPH_COUNT = 14,
};

// The five glyphs shown for an option word, slot 0 at the left. Values that no
// dialog produces (bits 0-2 above 2, bits 4-6 above 0x20) show "nothing is done".
std::array<int, 5> GlyphSlots(std::uint32_t dwOption) noexcept;

// An item that decides against its remembered last run shows it beside the
// glyphs, never in them: a bar down each of the middle column's two margins,
// as high as a glyph, in this colour. Only where the state is in force (a
// two-way word); a one-way word that carries the bit shows none, as the older
// source glyph shows only where it acts.
bool ShowsRememberMark(std::uint32_t dwOption) noexcept;
inline const QColor kRememberMarkColor = QColor(0, 110, 200);

class CGridPainter {
public:
    // Renders the glyph strip once (224 by 16 on white). False when the strip's
    // drawing cannot be read; the rows are then painted without glyphs.
    bool LoadGlyphs();
    const QImage& GlyphStrip() const noexcept { return m_imgGlyphs; }
    // The strip as painting on a device of pixel ratio dDpr uses it: the
    // 16-pixel strip itself at 1, else drawn afresh from its drawing at
    // 16 x dDpr device pixels a glyph (kept until the ratio changes), so a
    // glyph on a high-density screen is sharp, not a magnified 16-pixel one.
    const QImage& GlyphStripFor(qreal dDpr) const;

    // Paints list row nRow into its slot (client coordinates): pItem is the item,
    // or null for the blank row and the empty slots below it.
    void PaintRow(QPainter& painter, const CGridNav& nav, int nRow, const SYNCITEM* pItem) const;

    QColor m_crBack = QColor(255, 255, 255);
    QColor m_crText = QColor(0, 0, 0);

private:
    static QImage RenderStrip(int nGlyphPixels);

    QImage m_imgGlyphs;
    mutable QImage m_imgGlyphsDense; // GlyphStripFor's strip for a ratio other than 1
};

} // namespace kovrel::grid
