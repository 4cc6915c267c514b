// The message box helper: captions, button order, icons, default button and
// the Escape rule, answered from the test.
#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "support/GuiTest.h"
#include "ui/AppInfo.h"
#include "ui/MsgBox.h"

using namespace kovrel;
using kovrel::test::CModalAnswer;

namespace {

// The box's buttons from left to right as shown.
QStringList ButtonsLeftToRight(QWidget* pBox) {
    QList<QAbstractButton*> list = pBox->findChildren<QAbstractButton*>();
    list.removeIf([](QAbstractButton* p) { return !p->isVisible(); });
    std::sort(list.begin(), list.end(),
              [](QAbstractButton* a, QAbstractButton* b) { return a->x() < b->x(); });
    QStringList texts;
    for (QAbstractButton* p : list) {
        texts << p->text();
    }
    return texts;
}

struct BOXCASE {
    unsigned nType;
    QStringList listButtons;
    QMessageBox::Icon nIcon;
    int nEscape; // what Escape answers; 0: Escape does nothing
};

} // namespace

TEST(MsgBox, ButtonsIconsDefaultAndEscape) {
    const QString strOk = QStringLiteral("OK");
    const BOXCASE aCases[] = {
        {ui::MB_OK, {strOk}, QMessageBox::Warning, ui::IDOK},
        {ui::MB_OKCANCEL,
         {strOk, QString::fromUtf8("キャンセル")},
         QMessageBox::Warning,
         ui::IDCANCEL},
        {ui::MB_YESNO,
         {QString::fromUtf8("はい(&Y)"), QString::fromUtf8("いいえ(&N)")},
         QMessageBox::Warning,
         0},
        {ui::MB_YESNOCANCEL,
         {QString::fromUtf8("はい(&Y)"), QString::fromUtf8("いいえ(&N)"),
          QString::fromUtf8("キャンセル")},
         QMessageBox::Warning,
         ui::IDCANCEL},
        {ui::MB_ABORTRETRYIGNORE,
         {QString::fromUtf8("中止"), QString::fromUtf8("再試行"), QString::fromUtf8("無視")},
         QMessageBox::NoIcon,
         0},
        {ui::MB_YESNO | ui::MB_ICONQUESTION,
         {QString::fromUtf8("はい(&Y)"), QString::fromUtf8("いいえ(&N)")},
         QMessageBox::Question,
         0},
        {ui::MB_OK | ui::MB_ICONINFORMATION, {strOk}, QMessageBox::Information, ui::IDOK},
    };
    for (const BOXCASE& c : aCases) {
        SCOPED_TRACE(c.nType);
        QStringList listSeen;
        QMessageBox::Icon nIcon = QMessageBox::NoIcon;
        QString strDefault;
        bool bStillOpenAfterEscape = false;
        CModalAnswer answer([&](QWidget* pWidget) {
            auto* pBox = qobject_cast<QMessageBox*>(pWidget);
            ASSERT_NE(pBox, nullptr);
            listSeen = ButtonsLeftToRight(pBox);
            nIcon = pBox->icon();
            strDefault = pBox->defaultButton() != nullptr ? pBox->defaultButton()->text() : "";
            QTest::keyClick(pBox, Qt::Key_Escape);
            bStillOpenAfterEscape = pBox->isVisible();
            if (bStillOpenAfterEscape) {
                kovrel::test::ClickMessageBoxButton(pBox, c.listButtons.front());
            }
        });
        const int nResult = ui::ShowMessageBox(nullptr, QStringLiteral("text"), c.nType);
        ASSERT_TRUE(answer.WasAnswered());
        EXPECT_EQ(answer.SeenTitle(), QStringLiteral("Kovrel Duplicator"));
        EXPECT_EQ(listSeen, c.listButtons);
        EXPECT_EQ(nIcon, c.nIcon);
        EXPECT_EQ(strDefault, c.listButtons.front());
        if (c.nEscape != 0) {
            EXPECT_FALSE(bStillOpenAfterEscape);
            EXPECT_EQ(nResult, c.nEscape);
        } else {
            EXPECT_TRUE(bStillOpenAfterEscape) << "a question needs a real answer";
        }
    }
}

TEST(MsgBox, EachButtonAnswersItsId) {
    const std::pair<unsigned, std::vector<int>> aCases[] = {
        {ui::MB_OKCANCEL, {ui::IDOK, ui::IDCANCEL}},
        {ui::MB_YESNO, {ui::IDYES, ui::IDNO}},
        {ui::MB_YESNOCANCEL, {ui::IDYES, ui::IDNO, ui::IDCANCEL}},
        {ui::MB_ABORTRETRYIGNORE, {ui::IDABORT, ui::IDRETRY, ui::IDIGNORE}},
        {ui::MB_RETRYCANCEL, {ui::IDRETRY, ui::IDCANCEL}},
    };
    for (const auto& [nType, vecIds] : aCases) {
        for (int nId : vecIds) {
            CModalAnswer answer([nId = nId](QWidget* pBox) {
                kovrel::test::ClickMessageBoxButton(pBox, ui::MessageBoxButtonText(nId));
            });
            EXPECT_EQ(ui::ShowMessageBox(nullptr, std::string("text"), nType), nId) << nType;
        }
    }
}

TEST(MsgBox, EnterAnswersTheFirstButtonAndCaptionCanBeGiven) {
    CModalAnswer answer([](QWidget* pBox) { QTest::keyClick(pBox, Qt::Key_Return); });
    EXPECT_EQ(ui::ShowMessageBox(nullptr, QStringLiteral("t"), ui::MB_ABORTRETRYIGNORE,
                                 QStringLiteral("Error")),
              ui::IDABORT);
    EXPECT_EQ(answer.SeenTitle(), QStringLiteral("Error"));
    EXPECT_EQ(answer.SeenText(), QStringLiteral("t"));
}

TEST(MsgBox, ClosingAQuestionWindowIsNoAnswer) {
    bool bOpenAfterClose = false;
    CModalAnswer answer([&](QWidget* pBox) {
        pBox->close();
        bOpenAfterClose = pBox->isVisible();
        kovrel::test::ClickMessageBoxButton(pBox, ui::MessageBoxButtonText(ui::IDNO));
    });
    EXPECT_EQ(ui::ShowMessageBox(nullptr, QStringLiteral("go on?"), ui::MB_YESNO), ui::IDNO);
    EXPECT_TRUE(bOpenAfterClose);
}
