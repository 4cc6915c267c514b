#include "ui/DialogUnits.h"

#include <QApplication>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QWidget>

#include <cmath>

namespace kovrel::ui {

QFont MapTemplateFont(const QString& strFace, int nPointSize) {
    struct FACE {
        const char* pszTemplate;
        const char* pszHere;
    };
    static const FACE aFaces[] = {
        {"ＭＳ Ｐゴシック", "IPAPGothic"},
        {"ＭＳ ゴシック", "IPAGothic"},
        {"ＭＳ 明朝", "IPAMincho"},
        {"ＭＳ Ｐ明朝", "IPAPMincho"},
    };
    QFont font = QApplication::font();
    for (const FACE& face : aFaces) {
        if (strFace == QString::fromUtf8(face.pszTemplate)) {
            font = QFont(QString::fromLatin1(face.pszHere));
            break;
        }
    }
    font.setPointSize(nPointSize);
    return font;
}

CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetricsF fm(font);
    m_dBaseX = fm.horizontalAdvance(
                   QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
               52.0;
    m_nBaseY = QFontMetrics(font).height();
}

int CDialogUnits::X(int nDu) const noexcept {
    return static_cast<int>(std::lround(nDu * m_dBaseX / 4.0));
}

int CDialogUnits::Y(int nDu) const noexcept {
    return static_cast<int>(std::lround(nDu * m_nBaseY / 8.0));
}

QRect CDialogUnits::Rect(int nLeft, int nTop, int nWidth, int nHeight) const noexcept {
    // Convert both edges, not the size, so neighbouring controls that touch in
    // dialog units still touch in pixels.
    const int nX = X(nLeft);
    const int nY = Y(nTop);
    return QRect(nX, nY, X(nLeft + nWidth) - nX, Y(nTop + nHeight) - nY);
}

QSize CDialogUnits::Size(int nWidth, int nHeight) const noexcept {
    return QSize(X(nWidth), Y(nHeight));
}

void PlaceControl(QWidget* pControl, const CDialogUnits& du, int nLeft, int nTop, int nWidth,
                  int nHeight) {
    pControl->setGeometry(du.Rect(nLeft, nTop, nWidth, nHeight));
}

} // namespace kovrel::ui
