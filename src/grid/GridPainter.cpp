#include "grid/GridPainter.h"

#include "document/SyncItem.h"

#include <QPainter>
#include <QSvgRenderer>

// The glyph drawing is compiled into this static library; its registration must
// be pulled in by name or the linker drops it.
static void InitGridResources() {
    Q_INIT_RESOURCE(grid);
}

namespace kovrel::grid {

namespace {

int MissingOn1Glyph(std::uint32_t w) noexcept {
    switch (w & SIO_NOFILE1_MASK) {
    case SIO_NOFILE1_COPY:
        return GLYPH_COPY_TO_1;
    case SIO_NOFILE1_DELETE:
        return GLYPH_DELETE_ON_2;
    default:
        return GLYPH_NOTHING;
    }
}

int MissingOn2Glyph(std::uint32_t w) noexcept {
    switch (w & SIO_NOFILE2_MASK) {
    case SIO_NOFILE2_COPY:
        return GLYPH_COPY_TO_2;
    case SIO_NOFILE2_DELETE:
        return GLYPH_DELETE_ON_1;
    default:
        return GLYPH_NOTHING;
    }
}

int ReadOnly1Glyph(std::uint32_t w) noexcept {
    return (w & SIO_FORCE_RO1) != 0 ? GLYPH_FORCE_RO1 : GLYPH_KEEP_RO1;
}

int ReadOnly2Glyph(std::uint32_t w) noexcept {
    return (w & SIO_FORCE_RO2) != 0 ? GLYPH_FORCE_RO2 : GLYPH_KEEP_RO2;
}

int SubdirGlyph(std::uint32_t w) noexcept {
    return (w & SIO_NO_SUBDIRS) != 0 ? GLYPH_NO_SUBDIRS : GLYPH_SUBDIRS;
}

} // namespace

std::array<int, 5> GlyphSlots(std::uint32_t w) noexcept {
    if ((w & SIO_ONEWAY_MASK) == 0) {
        // Two-way: symmetric, side 1's rules on the left, side 2's on the right.
        return {MissingOn1Glyph(w), ReadOnly1Glyph(w), SubdirGlyph(w), ReadOnly2Glyph(w),
                MissingOn2Glyph(w)};
    }
    // One-way: direction, older-source rule, the missing-file rule that still
    // matters on the target side, the target's read-only rule, subdirectories.
    const bool b1To2 = (w & SIO_ONEWAY_1TO2) != 0;
    return {b1To2 ? GLYPH_ONEWAY_1TO2 : GLYPH_ONEWAY_2TO1,
            (w & SIO_COPY_OLDER) != 0 ? GLYPH_COPY_OLDER : GLYPH_NOTHING,
            b1To2 ? MissingOn1Glyph(w) : MissingOn2Glyph(w),
            b1To2 ? ReadOnly2Glyph(w) : ReadOnly1Glyph(w), SubdirGlyph(w)};
}

bool CGridPainter::LoadGlyphs() {
    m_imgGlyphs =
        QImage(GLYPH_COUNT * CGridNav::kGlyphSize, CGridNav::kGlyphSize, QImage::Format_RGB32);
    m_imgGlyphs.fill(Qt::white);
    InitGridResources();
    QSvgRenderer renderer(QStringLiteral(":/grid/glyphs.svg"));
    if (!renderer.isValid()) {
        return false;
    }
    QPainter painter(&m_imgGlyphs);
    renderer.render(&painter, QRectF(m_imgGlyphs.rect()));
    return true;
}

void CGridPainter::PaintRow(QPainter& painter, const CGridNav& nav, int nRow,
                            const SYNCITEM* pItem) const {
    const int y0 = nav.RowTop(nRow);
    const int nHeight = nav.m_nRowHeight;
    const int w1 = nav.Width1();
    const int x2 = nav.Side2Left();
    const int xRight = nav.RightEdge();
    const bool bCurrent = nRow == nav.m_nCurRow;

    // The background: the current cell inverted, the middle column never.
    painter.fillRect(QRect(0, y0, xRight, nHeight), m_crBack);
    if (bCurrent) {
        if (nav.m_nCurSide == 0) {
            painter.fillRect(QRect(0, y0, w1, nHeight), m_crText);
        } else {
            painter.fillRect(QRect(x2, y0, xRight - x2, nHeight), m_crText);
        }
    }
    if (pItem == nullptr || nRow >= nav.m_nCount) {
        return; // the blank row and the slots below it show only their background
    }

    auto drawCell = [&](int nSide, const std::optional<std::string>& strPath) {
        if (!strPath.has_value() || strPath->empty()) {
            return;
        }
        const int x = nav.CellLeft(nSide);
        const int nWidth = nSide == 0 ? w1 : xRight - x2;
        const QRect rcCell(x, y0, nWidth, nHeight);
        const bool bInverted = bCurrent && nav.m_nCurSide == nSide;
        painter.save();
        painter.setClipRect(rcCell, Qt::IntersectClip);
        painter.setPen(bInverted ? m_crBack : m_crText);
        // Left-aligned at the top of the row, cut off at the cell's edge; no
        // mnemonic processing, so an ampersand shows as itself.
        painter.drawText(rcCell, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         QString::fromUtf8(strPath->data(), qsizetype(strPath->size())));
        painter.restore();
    };
    drawCell(0, pItem->lpszPath1);
    drawCell(1, pItem->lpszPath2);

    if (m_imgGlyphs.isNull()) {
        return;
    }
    const std::array<int, 5> aGlyphs = GlyphSlots(pItem->dwOption);
    const int yGlyph = y0 + nav.GlyphTop();
    // A font smaller than a glyph must not let glyphs spill into the next row.
    painter.save();
    painter.setClipRect(QRect(w1, y0, CGridNav::kMidWidth, nHeight), Qt::IntersectClip);
    for (int k = 0; k < CGridNav::kGlyphSlots; ++k) {
        const int x = w1 + CGridNav::kGlyphMargin + k * CGridNav::kGlyphSize;
        painter.drawImage(QPoint(x, yGlyph), m_imgGlyphs,
                          QRect(aGlyphs[std::size_t(k)] * CGridNav::kGlyphSize, 0,
                                CGridNav::kGlyphSize, CGridNav::kGlyphSize));
    }
    painter.restore();
}

} // namespace kovrel::grid
