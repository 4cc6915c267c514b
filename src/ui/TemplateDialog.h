// Base of the dialogs built from a window template: the template's font and
// client size, controls placed in dialog units, and OnInitDialog run when the
// dialog is shown, after the caller has filled its members.
#pragma once

#include <QDialog>

#include "ui/DialogUnits.h"

namespace kovrel::ui {

class CTemplateDialog : public QDialog {
    Q_OBJECT
public:
    // strFace/nPointSize: the template's font; nWidth/nHeight: its client size
    // in dialog units.
    CTemplateDialog(QWidget* pParent, const QString& strCaption, const QString& strFace,
                    int nPointSize, int nWidth, int nHeight);

    const CDialogUnits& Units() const noexcept { return m_du; }

protected:
    // Runs once each time the dialog is shown from hidden. Return true to let
    // the first control with a tab stop have the focus, false when the
    // function has placed the focus itself.
    virtual bool OnInitDialog() { return true; }
    // A control at a template rectangle.
    void Place(QWidget* pControl, int nLeft, int nTop, int nWidth, int nHeight) const;

    void showEvent(QShowEvent* pEvent) override;
    void hideEvent(QHideEvent* pEvent) override;

private:
    CDialogUnits m_du;
    bool m_bShownOnce = false;
};

} // namespace kovrel::ui
