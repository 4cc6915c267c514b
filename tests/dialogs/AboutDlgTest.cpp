// The About box: icon, version line, and closing with OK, Enter or Escape.
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include "dialogs/AboutDlg.h"
#include "support/UiTestUtil.h"

using namespace kovrel;

TEST(AboutDlg, ShowsIconAndVersionAndClosesEveryWay) {
    for (int nWay = 0; nWay < 3; ++nWay) {
        dialogs::CAboutDlg dlg;
        dlg.show();
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("About KovrelDuplicator"));
        bool bVersion = false;
        bool bIcon = false;
        for (QLabel* pLabel : dlg.findChildren<QLabel*>()) {
            bVersion =
                bVersion || pLabel->text() == QStringLiteral("KovrelDuplicator Version 1.20");
            bIcon = bIcon || !pLabel->pixmap().isNull();
        }
        EXPECT_TRUE(bVersion);
        EXPECT_TRUE(bIcon);
        auto* pOk = dlg.findChild<QPushButton*>();
        ASSERT_NE(pOk, nullptr);
        EXPECT_EQ(dlg.focusWidget(), pOk);
        if (nWay == 0) {
            kovrel::test::ClickButton(pOk);
        } else {
            QTest::keyClick(pOk, nWay == 1 ? Qt::Key_Return : Qt::Key_Escape);
        }
        EXPECT_FALSE(dlg.isVisible()) << nWay;
    }
}

TEST(AboutDlg, ProgramIconHasEverySize) {
    const QIcon icon = dialogs::ProgramIcon();
    const QList<QSize> listSizes = icon.availableSizes();
    for (int n : {16, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(listSizes.contains(QSize(n, n))) << n;
    }
}
