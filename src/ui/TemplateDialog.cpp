#include "ui/TemplateDialog.h"

#include <QShowEvent>

namespace kovrel::ui {

CTemplateDialog::CTemplateDialog(QWidget* pParent, const QString& strCaption,
                                 const QString& strFace, int nPointSize, int nWidth, int nHeight)
    : QDialog(pParent), m_du(MapTemplateFont(strFace, nPointSize)) {
    setFont(MapTemplateFont(strFace, nPointSize));
    setWindowTitle(strCaption);
    resize(m_du.Size(nWidth, nHeight));
}

void CTemplateDialog::Place(QWidget* pControl, int nLeft, int nTop, int nWidth, int nHeight) const {
    PlaceControl(pControl, m_du, nLeft, nTop, nWidth, nHeight);
}

void CTemplateDialog::showEvent(QShowEvent* pEvent) {
    QDialog::showEvent(pEvent);
    if (pEvent->spontaneous() || m_bShownOnce) {
        return;
    }
    m_bShownOnce = true;
    if (OnInitDialog()) {
        // The first control with a tab stop, in the order the controls were made.
        for (QWidget* pWidget = nextInFocusChain(); pWidget != this;
             pWidget = pWidget->nextInFocusChain()) {
            if ((pWidget->focusPolicy() & Qt::TabFocus) != 0 && pWidget->isEnabled() &&
                pWidget->isVisibleTo(this)) {
                pWidget->setFocus(Qt::TabFocusReason);
                break;
            }
        }
    }
}

void CTemplateDialog::hideEvent(QHideEvent* pEvent) {
    QDialog::hideEvent(pEvent);
    if (!pEvent->spontaneous()) {
        m_bShownOnce = false;
    }
}

} // namespace kovrel::ui
