// Dialog geometry as the window templates give it: positions and sizes in
// dialog units, converted with the base units of the dialog's own font, so a
// dialog keeps its proportions whatever font it ends up with.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

namespace kovrel::ui {

// The font a template names, mapped to the fonts installed here: the gothic
// and mincho faces of the templates become their IPA counterparts, "System"
// the application font; the point size is kept.
QFont MapTemplateFont(const QString& strFace, int nPointSize);

class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);

    // Base units: the average advance of "A".."Z" and "a".."z", and the
    // font's height, in pixels.
    double BaseX() const noexcept { return m_dBaseX; }
    int BaseY() const noexcept { return m_nBaseY; }

    int X(int nDu) const noexcept; // horizontal dialog units to pixels, rounded
    int Y(int nDu) const noexcept; // vertical dialog units to pixels, rounded
    QRect Rect(int nLeft, int nTop, int nWidth, int nHeight) const noexcept;
    QSize Size(int nWidth, int nHeight) const noexcept;

private:
    double m_dBaseX;
    int m_nBaseY;
};

// Places a control at a template rectangle.
void PlaceControl(QWidget* pControl, const CDialogUnits& du, int nLeft, int nTop, int nWidth,
                  int nHeight);

} // namespace kovrel::ui
