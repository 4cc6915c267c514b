// The log window: the button's two meanings, Escape, runs one after another,
// the newest line in view, and the layout.
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include "dialogs/LogListBox.h"
#include "dialogs/SyncLogDlg.h"
#include "support/UiTestUtil.h"

using namespace kovrel;
using kovrel::test::ClickButton;

namespace {

class CFakeView final : public dialogs::ISyncLogView {
public:
    void SetFocusToGrid() override { ++m_nFocused; }
    int m_nFocused = 0;
};

} // namespace

TEST(SyncLogDlg, CreatedHiddenAndEmpty) {
    dialogs::CSyncLogDlg dlg;
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(dlg.isModal());
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Synchronize Log"));
    EXPECT_EQ(dlg.GetCount(), 0);
    EXPECT_EQ(dlg.GetButtonText(), QStringLiteral("OK"));
}

TEST(SyncLogDlg, CancelDuringARunAndOkAfterIt) {
    dialogs::CSyncLogDlg dlg;
    CFakeView view;
    dlg.m_bCancel = true; // left over from an earlier run
    dlg.BeginRun(&view);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.GetButtonText(), QStringLiteral("Cancel"));
    EXPECT_FALSE(dlg.m_bCancel);
    dlg.AddString(std::string("<< Synchronize Start 26/12/07 10:00:00 >>"));

    ClickButton(dlg.Button());
    EXPECT_TRUE(dlg.m_bCancel);
    EXPECT_TRUE(dlg.isVisible()) << "Cancel leaves the window open";
    EXPECT_EQ(dlg.GetButtonText(), QStringLiteral("Cancel"));
    EXPECT_EQ(view.m_nFocused, 0);

    dlg.AddString(std::string("<< Canceled by User!! >>"));
    dlg.EndRun();
    EXPECT_EQ(dlg.GetButtonText(), QStringLiteral("OK"));
    ClickButton(dlg.Button());
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(view.m_nFocused, 1) << "the focus goes back to the grid";
    EXPECT_EQ(dlg.GetCount(), 2) << "the lines stay while hidden";
}

TEST(SyncLogDlg, EnterPressesTheButtonAndWithoutAViewOkStillHides) {
    dialogs::CSyncLogDlg dlg;
    dlg.BeginRun(nullptr);
    dlg.ListBox()->setFocus();
    QTest::keyClick(dlg.ListBox(), Qt::Key_Return);
    EXPECT_TRUE(dlg.m_bCancel);
    EXPECT_TRUE(dlg.isVisible());
    dlg.EndRun();
    QTest::keyClick(dlg.ListBox(), Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
}

TEST(SyncLogDlg, EscapeHidesWithoutCancellingAndLinesKeepComing) {
    dialogs::CSyncLogDlg dlg;
    CFakeView view;
    dlg.BeginRun(&view);
    dlg.AddString(QStringLiteral("one"));
    QTest::keyClick(dlg.ListBox(), Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(dlg.m_bCancel);
    EXPECT_EQ(view.m_nFocused, 0);
    dlg.AddString(QStringLiteral("two"));
    EXPECT_EQ(dlg.GetCount(), 2);
    EXPECT_EQ(dlg.GetText(1), QStringLiteral("two"));
}

// A close request from the window manager: during a run it is the Cancel
// button (the window stays, the run stops); after it, the OK button. The
// window's flags offer no close button of their own.
TEST(SyncLogDlg, CloseRequestCancelsARunAndHidesAfterIt) {
    dialogs::CSyncLogDlg dlg;
    EXPECT_FALSE(dlg.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(dlg.windowFlags().testFlag(Qt::WindowSystemMenuHint));
    CFakeView view;
    dlg.BeginRun(&view);
    EXPECT_FALSE(dlg.close());
    EXPECT_TRUE(dlg.isVisible()) << "a run never goes on out of sight by a close";
    EXPECT_TRUE(dlg.m_bCancel);

    dlg.EndRun();
    dlg.m_bCancel = false;
    dlg.close();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(dlg.m_bCancel);
    EXPECT_EQ(view.m_nFocused, 1) << "as OK: the focus goes back to the grid";
}

// Escape during a run hides the window; ShowAgain brings it back where it
// was, on top, with the run's button.
TEST(SyncLogDlg, ShowAgainAfterEscapeBringsItBackWhereItWas) {
    dialogs::CSyncLogDlg dlg;
    CFakeView view;
    dlg.BeginRun(&view);
    dlg.move(120, 90);
    const QPoint ptBefore = dlg.pos();
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(dlg.m_bCancel);
    dlg.ShowAgain();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.pos(), ptBefore);
    EXPECT_EQ(dlg.GetButtonText(), QStringLiteral("Cancel"));
}

TEST(SyncLogDlg, TwoRunsOneAfterTheOther) {
    dialogs::CSyncLogDlg dlg;
    CFakeView view;
    for (int nRun = 0; nRun < 2; ++nRun) {
        dlg.BeginRun(&view);
        EXPECT_EQ(dlg.GetCount(), 0) << "each run starts with an empty list";
        for (int i = 0; i < 3 + nRun; ++i) {
            dlg.AddString("run " + std::to_string(nRun) + " line " + std::to_string(i));
        }
        dlg.EndRun();
        EXPECT_EQ(dlg.GetCount(), 3 + nRun);
        EXPECT_EQ(dlg.GetText(0), QStringLiteral("run %1 line 0").arg(nRun));
        ClickButton(dlg.Button());
        EXPECT_FALSE(dlg.isVisible());
    }
}

TEST(SyncLogDlg, NewestLineStaysInView) {
    dialogs::CSyncLogDlg dlg;
    dlg.BeginRun(nullptr);
    const int nVisible = dlg.GetVisibleLineCount();
    ASSERT_GT(nVisible, 2);
    for (int i = 0; i < 5000; ++i) {
        dlg.AddString(QStringLiteral("line %1").arg(i));
        if (i == nVisible - 2 || i == 4999) {
            const int nTop = dlg.GetTopIndex();
            EXPECT_LE(nTop, i);
            EXPECT_GE(nTop + nVisible - 1, i) << "line " << i << " is in view";
        }
    }
    EXPECT_EQ(dlg.GetTopIndex(), 5000 - nVisible) << "scrolled as far down as it goes";
    // A taller window shows more lines and still ends at the newest.
    dlg.resize(dlg.width(), dlg.height() + 200);
    dlg.AddString(QStringLiteral("last"));
    EXPECT_GT(dlg.GetVisibleLineCount(), nVisible);
    EXPECT_EQ(dlg.GetTopIndex() + dlg.GetVisibleLineCount(), dlg.GetCount());
}

TEST(SyncLogDlg, LayoutAfterAResize) {
    dialogs::CSyncLogDlg dlg;
    dlg.BeginRun(nullptr);
    const QSize sizeButton = dlg.Button()->size();
    for (const QSize& size : {QSize(800, 600), QSize(301, 200)}) {
        dlg.resize(size);
        const int nW = dlg.width();
        const int nH = dlg.height();
        ASSERT_EQ(QSize(nW, nH), size);
        EXPECT_EQ(dlg.ListBox()->geometry(), QRect(10, 10, nW - 20, nH - sizeButton.height() - 20));
        EXPECT_EQ(
            dlg.Button()->geometry(),
            QRect(QPoint((nW - sizeButton.width()) / 2, nH - sizeButton.height() - 5), sizeButton));
    }
}

TEST(SyncLogDlg, ScrollBarFollowsAndTheUserCanScrollBack) {
    dialogs::CSyncLogDlg dlg;
    dlg.BeginRun(nullptr);
    for (int i = 0; i < 200; ++i) {
        dlg.AddString(QStringLiteral("line %1").arg(i));
    }
    QApplication::processEvents(); // the bar is brought up to date once per pass
    dialogs::CLogListBox* pList = dlg.ListBox();
    QScrollBar* pBar = pList->verticalScrollBar();
    EXPECT_EQ(pBar->maximum(), 200 - pList->VisibleLineCount());
    EXPECT_EQ(pBar->value(), pList->GetTopIndex());

    pList->setFocus();
    QTest::keyClick(pList, Qt::Key_Home);
    EXPECT_EQ(pList->GetCurSel(), 0);
    EXPECT_EQ(pList->GetTopIndex(), 0);
    QTest::keyClick(pList, Qt::Key_End);
    EXPECT_EQ(pList->GetCurSel(), 199);
    EXPECT_EQ(pList->GetTopIndex(), 200 - pList->VisibleLineCount());

    pBar->setValue(10); // dragging the bar
    EXPECT_EQ(pList->GetTopIndex(), 10);
    // A click selects the line under the mouse.
    QTest::mouseClick(pList->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(20, pList->RowHeight() * 2 + 1));
    EXPECT_EQ(pList->GetCurSel(), 12);
    EXPECT_EQ(pList->GetText(12), QStringLiteral("line 12"));
}
