// What only shows on a real desktop, as far as the offscreen platform can show
// it: the action a drop reports to its source, and where a saved rectangle
// whose title bar no screen shows is brought back to.
#include "AppTestSupport.h"

#include "app/GuiRunHost.h"
#include "app/MainFrame.h"
#include "app/WindowPlacement.h"
#include "dialogs/SyncLogDlg.h"
#include "grid/KovrelView.h"
#include "support/GuiTest.h"

#include <QTest>
#include <QToolBar>

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

namespace kovrel::app {
namespace {

TEST(DropAction, NeverAMoveToTheSource) {
    auto* pView = new grid::CKovrelView;
    CMainFrame frame(*pView);
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

// The question before a missing top costs a tree: a reflex Enter or Space
// answers No, and the tree stays.
class MissingTopQuestion : public test::AppTest, public ::testing::WithParamInterface<Qt::Key> {};

TEST_P(MissingTopQuestion, EnterAndSpaceNeverDelete) {
    const QString strSide1 = Path("gone");
    const QString strSide2 = Path("side2");
    WriteFile(strSide2 + "/keep.txt", "precious");
    CSyncItemList list;
    list.SetAt(-1, strSide1.toUtf8().constData(), strSide2.toUtf8().constData(), nullptr)
        ->dwOption = 0x1; // what side 1 lacks is deleted on side 2
    ASSERT_EQ(SaveKvdFile(Path("job.kvd").toStdString(), list, KVD_VERSION_1_0).eStatus,
              KvdFileStatus::Ok);
    ASSERT_TRUE(Start(Path("job.kvd")));
    test::CModalScript script;
    const Qt::Key key = GetParam();
    script.Then([key](QWidget* pBox) {
        // Typed where the focus is, as the user would; a key that answers
        // nothing fails the test instead of leaving the box open.
        QWidget* pFocus = pBox->focusWidget() != nullptr ? pBox->focusWidget() : pBox;
        QTest::keyClick(pFocus, key);
        QPointer<QWidget> pStill(pBox);
        QTimer::singleShot(500, [pStill] {
            if (pStill && pStill->isVisible()) {
                ADD_FAILURE() << "the key answered nothing";
                kovrel::test::ClickMessageBoxButton(pStill, ui::MessageBoxButtonText(ui::IDNO));
            }
        });
    });
    QTest::mouseClick(&View()->GetSyncButton(), Qt::LeftButton);
    ASSERT_TRUE(script.AllAnswered());
    EXPECT_TRUE(script.Text(0).contains(ui::U("の中をすべて削除しますか")))
        << script.Text(0).toStdString();
    EXPECT_EQ(ReadFile(strSide2 + "/keep.txt"), "precious");
}

INSTANTIATE_TEST_SUITE_P(Keys, MissingTopQuestion,
                         ::testing::Values(Qt::Key_Return, Qt::Key_Space));

// The failure boxes of a run keep their texts and show the system's reason
// on a line of its own.
TEST(FailureBoxes, AddTheSystemsReasonOnALineOfItsOwn) {
    dialogs::CSyncLogDlg dlgLog;
    CGuiRunHost host(nullptr, dlgLog);
    const std::string strReason = std::strerror(ENOSPC);
    test::CModalScript script;
    script.Answer(ui::IDOK).Answer(ui::IDNO).Answer(ui::IDIGNORE).Answer(ui::IDOK);
    host.ShowErrorErrno("Copy failed.", ENOSPC);
    EXPECT_FALSE(host.AskYesNoErrno("Delete failed. Go on?", ENOSPC));
    EXPECT_EQ(host.AskAbortRetryIgnoreErrno("Remove failed.", ENOSPC), AbortRetryIgnore::Ignore);
    host.ShowErrorErrno("Without a reason.", 0);
    EXPECT_EQ(script.Text(0), QString::fromStdString("Copy failed.\n" + strReason));
    EXPECT_EQ(script.Text(1), QString::fromStdString("Delete failed. Go on?\n" + strReason));
    EXPECT_EQ(script.Text(2), QString::fromStdString("Remove failed.\n" + strReason));
    EXPECT_EQ(script.Text(3), QStringLiteral("Without a reason."));
}

// Whether to delete for good where no trash can be used: Enter answers No,
// and the box names the system's reason; Yes must be clicked.
TEST(FailureBoxes, NoTrashQuestionDefaultsToNo) {
    dialogs::CSyncLogDlg dlgLog;
    CGuiRunHost host(nullptr, dlgLog);
    const std::string strText = "'/mnt/usb' ではごみ箱を使えません。";
    {
        test::CModalScript script;
        script.Then([](QWidget* pBox) { QTest::keyClick(pBox, Qt::Key_Return); });
        EXPECT_FALSE(host.AskDeleteWithoutTrash(strText, "/mnt/usb", EROFS));
        ASSERT_TRUE(script.AllAnswered());
        EXPECT_EQ(script.Text(0), QString::fromStdString(strText + "\n" + std::strerror(EROFS)));
    }
    test::CModalScript script;
    script.Answer(ui::IDYES);
    EXPECT_TRUE(host.AskDeleteWithoutTrash(strText, "/mnt/usb", EROFS));
    EXPECT_TRUE(script.AllAnswered());
}

// The deletion guard's question: Enter answers No; Yes must be clicked.
TEST(FailureBoxes, MassDeleteQuestionDefaultsToNo) {
    dialogs::CSyncLogDlg dlgLog;
    CGuiRunHost host(nullptr, dlgLog);
    const std::string strText =
        "'/mnt/usb' の 6 個のファイルのうち 6 個を削除します。\nよろしいですか？";
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        test::CModalScript script;
        script.Then([key](QWidget* pBox) {
            QWidget* pFocus = pBox->focusWidget() != nullptr ? pBox->focusWidget() : pBox;
            QTest::keyClick(pFocus, key);
        });
        EXPECT_FALSE(host.AskMassDelete(strText)) << key;
        ASSERT_TRUE(script.AllAnswered());
        EXPECT_EQ(script.Text(0), QString::fromStdString(strText));
    }
    test::CModalScript script;
    script.Answer(ui::IDYES);
    EXPECT_TRUE(host.AskMassDelete(strText));
    EXPECT_TRUE(script.AllAnswered());
}

// A short text made a box narrower than its own caption, which the window
// manager then cut.
TEST(MessageBoxWidth, AtLeastItsCaption) {
    test::CModalScript script;
    int nWidth = 0;
    int nCaption = 0;
    script.Then([&](QWidget* pBox) {
        nWidth = pBox->width();
        QFont font = pBox->font();
        font.setBold(true);
        nCaption = QFontMetrics(font).horizontalAdvance(pBox->windowTitle());
        kovrel::test::ClickMessageBoxButton(pBox, ui::MessageBoxButtonText(ui::IDOK));
    });
    ui::ShowMessageBox(nullptr, ui::U("予期しないﾌｧｲﾙ形式です。"),
                       ui::MB_OK | ui::MB_ICONEXCLAMATION);
    ASSERT_TRUE(script.AllAnswered());
    EXPECT_GT(nCaption, 0);
    // The caption in the box's font, with room for the frame's icon and buttons.
    EXPECT_GE(nWidth, nCaption + 120);
}

} // namespace
} // namespace kovrel::app
