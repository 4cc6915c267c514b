#include "grid/GridPainter.h"

#include "document/SyncItem.h"
#include "document/SyncOptions.h"

#include <QPainter>
#include <QSvgRenderer>

// The glyph drawing is compiled into this static library; its registration must
// be pulled in by name or the linker drops it.
static void InitGridResources() {
    Q_INIT_RESOURCE(grid);
}

namespace kovrel::grid {

namespace {

int MissingGlyph(MissingAction action, int nCopyGlyph, int nDeleteGlyph) noexcept {
    switch (action) {
    case MissingAction::Copy:
        return nCopyGlyph;
    case MissingAction::Delete:
        return nDeleteGlyph;
    default:
        return GLYPH_NOTHING;
    }
}

int MissingOn1Glyph(CSyncOptions opt) noexcept {
    return MissingGlyph(opt.MissingOn1(), GLYPH_COPY_TO_1, GLYPH_DELETE_ON_2);
}

int MissingOn2Glyph(CSyncOptions opt) noexcept {
    return MissingGlyph(opt.MissingOn2(), GLYPH_COPY_TO_2, GLYPH_DELETE_ON_1);
}

int ReadOnly1Glyph(CSyncOptions opt) noexcept {
    return opt.ForceReadOnly1() ? GLYPH_FORCE_RO1 : GLYPH_KEEP_RO1;
}

int ReadOnly2Glyph(CSyncOptions opt) noexcept {
    return opt.ForceReadOnly2() ? GLYPH_FORCE_RO2 : GLYPH_KEEP_RO2;
}

int SubdirGlyph(CSyncOptions opt) noexcept {
    return opt.Subdirs() ? GLYPH_SUBDIRS : GLYPH_NO_SUBDIRS;
}

} // namespace

std::array<int, 5> GlyphSlots(std::uint32_t dwOption) noexcept {
    const CSyncOptions opt(dwOption);
    if (!opt.IsOneWay()) {
        // Two-way: symmetric, side 1's rules on the left, side 2's on the right.
        return {MissingOn1Glyph(opt), ReadOnly1Glyph(opt), SubdirGlyph(opt), ReadOnly2Glyph(opt),
                MissingOn2Glyph(opt)};
    }
    // One-way: direction, older-source rule, the missing-file rule that still
    // matters on the target side, the target's read-only rule, subdirectories.
    const bool b1To2 = opt.OneWay() == OneWayDir::From1To2;
    return {b1To2 ? GLYPH_ONEWAY_1TO2 : GLYPH_ONEWAY_2TO1,
            opt.CopyOlder() ? GLYPH_COPY_OLDER : GLYPH_NOTHING,
            b1To2 ? MissingOn1Glyph(opt) : MissingOn2Glyph(opt),
            b1To2 ? ReadOnly2Glyph(opt) : ReadOnly1Glyph(opt), SubdirGlyph(opt)};
}

bool ShowsRememberMark(std::uint32_t dwOption) noexcept {
    return CSyncOptions(dwOption).UsesRememberedState();
}

QImage CGridPainter::RenderStrip(int nGlyphPixels) {
    QImage img(GLYPH_COUNT * nGlyphPixels, nGlyphPixels, QImage::Format_RGB32);
    img.fill(Qt::white);
    InitGridResources();
    QSvgRenderer renderer(QStringLiteral(":/grid/glyphs.svg"));
    if (!renderer.isValid()) {
        return QImage();
    }
    QPainter painter(&img);
    renderer.render(&painter, QRectF(img.rect()));
    return img;
}

bool CGridPainter::LoadGlyphs() {
    m_imgGlyphs = RenderStrip(CGridNav::kGlyphSize);
    m_imgGlyphsDense = QImage();
    if (m_imgGlyphs.isNull()) {
        // Rows without glyphs; the strip stays a white one of the usual size.
        m_imgGlyphs =
            QImage(GLYPH_COUNT * CGridNav::kGlyphSize, CGridNav::kGlyphSize, QImage::Format_RGB32);
        m_imgGlyphs.fill(Qt::white);
        return false;
    }
    return true;
}

const QImage& CGridPainter::GlyphStripFor(qreal dDpr) const {
    const int nPixels = qRound(CGridNav::kGlyphSize * dDpr);
    if (nPixels <= CGridNav::kGlyphSize || m_imgGlyphs.isNull()) {
        return m_imgGlyphs;
    }
    if (m_imgGlyphsDense.height() != nPixels) {
        m_imgGlyphsDense = RenderStrip(nPixels);
        if (m_imgGlyphsDense.isNull()) {
            return m_imgGlyphs;
        }
    }
    return m_imgGlyphsDense;
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

    const int yGlyph = y0 + nav.GlyphTop();
    // A font smaller than a glyph must not let glyphs spill into the next row.
    painter.save();
    painter.setClipRect(QRect(w1, y0, CGridNav::kMidWidth, nHeight), Qt::IntersectClip);
    if (!m_imgGlyphs.isNull()) {
        const std::array<int, 5> aGlyphs = GlyphSlots(pItem->dwOption);
        // The slots stay 16 logical pixels wide whatever the screen; only the
        // picture in them has as many device pixels as the screen gives.
        const QImage& strip = GlyphStripFor(
            painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0);
        const int nSource = strip.height();
        for (int k = 0; k < CGridNav::kGlyphSlots; ++k) {
            const int x = w1 + CGridNav::kGlyphMargin + k * CGridNav::kGlyphSize;
            painter.drawImage(QRect(x, yGlyph, CGridNav::kGlyphSize, CGridNav::kGlyphSize), strip,
                              QRect(aGlyphs[std::size_t(k)] * nSource, 0, nSource, nSource));
        }
    }
    if (ShowsRememberMark(pItem->dwOption)) {
        // The margins left and right of the five slots; the slots stay as drawn.
        for (int x : {w1, w1 + CGridNav::kMidWidth - CGridNav::kGlyphMargin}) {
            painter.fillRect(QRect(x, yGlyph, CGridNav::kGlyphMargin, CGridNav::kGlyphSize),
                             kRememberMarkColor);
        }
    }
    painter.restore();
}

} // namespace kovrel::grid
