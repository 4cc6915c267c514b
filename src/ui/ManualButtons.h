// Radio buttons and check boxes whose mark a click does not change by itself:
// the click only reports, and the dialog's handler sets every mark, so a
// group's marks follow exactly the dialog's rules.
#pragma once

#include <QCheckBox>
#include <QRadioButton>

namespace kovrel::ui {

class CManualRadioButton final : public QRadioButton {
public:
    explicit CManualRadioButton(const QString& strText, QWidget* pParent = nullptr)
        : QRadioButton(strText, pParent) {
        setAutoExclusive(false);
    }

protected:
    void nextCheckState() override {}
};

class CManualCheckBox final : public QCheckBox {
public:
    explicit CManualCheckBox(const QString& strText, QWidget* pParent = nullptr)
        : QCheckBox(strText, pParent) {}

protected:
    void nextCheckState() override {}
};

} // namespace kovrel::ui
