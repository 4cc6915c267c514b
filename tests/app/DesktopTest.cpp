// What only shows on a real desktop, as far as the offscreen platform can show
// it: the action a drop reports to its source, and where a saved rectangle
// whose title bar no screen shows is brought back to.
#include "app/MainFrame.h"
#include "app/WindowPlacement.h"
#include "support/GuiTest.h"

#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

namespace kovrel::app {
namespace {

TEST(DropAction, NeverAMoveToTheSource) {
    CMainFrame frame(nullptr);
    frame.resize(500, 400);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    const QPoint pt(5, frame.ToolBar()->geometry().center().y());
    struct Case {
        Qt::DropActions offered;
        Qt::DropAction proposed;
        Qt::DropAction told;
    };
    const Case aCases[] = {
        {Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::MoveAction, Qt::CopyAction},
        {Qt::MoveAction | Qt::LinkAction, Qt::MoveAction, Qt::LinkAction},
        {Qt::CopyAction, Qt::CopyAction, Qt::CopyAction},
        {Qt::MoveAction, Qt::MoveAction, Qt::IgnoreAction},
    };
    for (const Case& c : aCases) {
        EXPECT_EQ(
            kovrel::test::DropFilesOffering(&frame, pt, {"/tmp/x.kvd"}, c.offered, c.proposed),
            c.told)
            << "offered " << c.offered.toInt();
    }
}

TEST(WindowPlacement, TitleBarBroughtOntoTheNearestScreen) {
    const QList<QRect> arcOne = {QRect(0, 0, 1024, 768)};
    const QList<QRect> arcTwo = {QRect(0, 0, 1024, 768), QRect(1024, 0, 1280, 1024)};
    struct Case {
        const char* pszWhat;
        QList<QRect> arcScreens;
        WINRECT rcSaved;
        WINRECT rcPlaced;
    };
    const Case aCases[] = {
        {"on the screen", arcOne, {100, 100, 700, 600}, {100, 100, 700, 600}},
        {"partly off to the right, title reachable",
         arcOne,
         {900, 100, 1500, 600},
         {900, 100, 1500, 600}},
        {"title bar above the screen", arcOne, {98, -40, 702, 460}, {98, 0, 702, 500}},
        {"far below", arcOne, {100, 5000, 700, 5500}, {100, 268, 700, 768}},
        {"far left", arcOne, {-3000, 100, -2400, 600}, {0, 100, 600, 600}},
        {"wider than the screen, off to the right",
         arcOne,
         {2000, 10, 3200, 410},
         {0, 10, 1200, 410}},
        {"on the second screen", arcTwo, {1500, 900, 1900, 1000}, {1500, 900, 1900, 1000}},
        {"below the first screen, nearest the second",
         arcTwo,
         {1100, 1100, 1500, 1300},
         {1100, 824, 1500, 1024}},
        {"no screen known", {}, {-500, -500, 0, 0}, {-500, -500, 0, 0}},
    };
    for (const Case& c : aCases) {
        const WINRECT rc = BringTitleBarOnScreen(c.rcSaved, c.arcScreens);
        EXPECT_EQ(FormatWindowRect(rc), FormatWindowRect(c.rcPlaced)) << c.pszWhat;
    }
}

} // namespace
} // namespace kovrel::app
