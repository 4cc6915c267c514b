#include "ui/MsgBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

#include <vector>

#include "ui/AppInfo.h"

namespace kovrel::ui {

namespace {

int CaptionWidth(const QWidget& window, const QString& strCaption) {
    // The title font is the window manager's; the application font in bold
    // stands in for it, plus room for the frame's icon and its three buttons.
    QFont font = window.font();
    font.setBold(true);
    constexpr int kFrameAllowance = 120;
    return QFontMetrics(font).horizontalAdvance(strCaption) + kFrameAllowance;
}

// QMessageBox sorts its buttons by role and lets Escape pick a "No" or the
// only button by itself; this box keeps the order it is given and answers
// Escape and the close button only where a question may be left unanswered.
class CKovrelMessageBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;
    QAbstractButton* m_pEscape = nullptr;

protected:
    void keyPressEvent(QKeyEvent* pEvent) override {
        if (pEvent->key() == Qt::Key_Escape && pEvent->modifiers() == Qt::NoModifier) {
            if (m_pEscape != nullptr) {
                m_pEscape->click();
            }
            pEvent->accept();
            return;
        }
        QMessageBox::keyPressEvent(pEvent);
    }
    void closeEvent(QCloseEvent* pEvent) override {
        if (m_pEscape == nullptr) {
            pEvent->ignore();
            return;
        }
        if (clickedButton() == nullptr) {
            // Closing by the window manager answers as Escape would.
            pEvent->ignore();
            m_pEscape->click();
            return;
        }
        QMessageBox::closeEvent(pEvent);
    }
};

std::vector<int> ButtonsOf(unsigned nType) {
    switch (nType & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
        return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
        return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
        return {IDYES, IDNO};
    case MB_RETRYCANCEL:
        return {IDRETRY, IDCANCEL};
    default:
        return {IDOK};
    }
}

QMessageBox::Icon IconOf(unsigned nType) {
    switch (nType & MB_ICONMASK) {
    case MB_ICONSTOP:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return (nType & MB_TYPEMASK) == MB_ABORTRETRYIGNORE ? QMessageBox::NoIcon
                                                            : QMessageBox::Warning;
    }
}

} // namespace

QString MessageBoxButtonText(int nId) {
    // Qt's own source texts of its standard buttons, so that its translation
    // supplies the captions.
    const char* pszSource = "OK";
    switch (nId) {
    case IDCANCEL:
        pszSource = "Cancel";
        break;
    case IDABORT:
        pszSource = "Abort";
        break;
    case IDRETRY:
        pszSource = "Retry";
        break;
    case IDIGNORE:
        pszSource = "Ignore";
        break;
    case IDYES:
        pszSource = "&Yes";
        break;
    case IDNO:
        pszSource = "&No";
        break;
    default:
        break;
    }
    return QCoreApplication::translate("QPlatformTheme", pszSource);
}

int ShowMessageBox(QWidget* pParent, const QString& strText, unsigned nType,
                   const QString& strCaption) {
    // Without an owner the box belongs to the active window, as the
    // program's main window owns every box it shows.
    CKovrelMessageBox box(pParent != nullptr ? pParent : QApplication::activeWindow());
    box.setWindowTitle(strCaption.isNull() ? AppTitle() : strCaption);
    box.setText(strText);
    box.setTextFormat(Qt::PlainText);
    box.setIcon(IconOf(nType));
    // A short text makes a narrow box, and the window manager then cuts the
    // caption: an empty row as wide as the caption keeps the box from being
    // narrower (the box fixes its size from its layout's minimum).
    if (auto* pGrid = qobject_cast<QGridLayout*>(box.layout())) {
        pGrid->addItem(new QSpacerItem(CaptionWidth(box, box.windowTitle()), 0, QSizePolicy::Fixed,
                                       QSizePolicy::Minimum),
                       pGrid->rowCount(), 0, 1, pGrid->columnCount());
    }

    const std::vector<int> anIds = ButtonsOf(nType);
    std::vector<QPushButton*> apButtons;
    for (int nId : anIds) {
        // One role for all, so the button box keeps the order of adding.
        apButtons.push_back(box.addButton(MessageBoxButtonText(nId), QMessageBox::ActionRole));
    }
    QPushButton* pDefault =
        (nType & MB_DEFBUTTON2) != 0 && apButtons.size() > 1 ? apButtons[1] : apButtons.front();
    box.setDefaultButton(pDefault);
    pDefault->setFocus();
    for (std::size_t i = 0; i < anIds.size(); ++i) {
        if (anIds[i] == IDCANCEL) {
            box.m_pEscape = apButtons[i];
        }
    }
    if (anIds.size() == 1) {
        box.m_pEscape = apButtons.front();
    }
    box.exec();
    for (std::size_t i = 0; i < anIds.size(); ++i) {
        if (box.clickedButton() == apButtons[i]) {
            return anIds[i];
        }
    }
    // Only reachable when the box went away without an answer (the event loop
    // was quit under it): answer what stops, never what goes on.
    for (std::size_t i = 0; i < anIds.size(); ++i) {
        if (apButtons[i] == box.m_pEscape) {
            return anIds[i];
        }
    }
    return (nType & MB_TYPEMASK) == MB_YESNO ? IDNO : IDABORT;
}

int ShowMessageBox(QWidget* pParent, const std::string& strText, unsigned nType,
                   const QString& strCaption) {
    return ShowMessageBox(pParent, QString::fromStdString(strText), nType, strCaption);
}

} // namespace kovrel::ui
