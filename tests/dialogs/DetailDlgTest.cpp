// The detailed settings dialog: opening states, the interlocks, the refusal
// of deleting on both sides, the pattern edit's keys, and what comes back.
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>
#include <set>

#include "dialogs/DetailDlg.h"
#include "document/SyncItem.h"
#include "support/GuiTest.h"
#include "support/UiTestUtil.h"

using namespace kovrel;
using kovrel::test::ClickButton;

namespace {

using D = dialogs::CDetailDlg;
// Every button of the dialog, each once.
constexpr const auto& kAllIds = dialogs::CDetailRules::kButtonIds;

std::set<int> CheckedIds(const dialogs::CDetailDlg& dlg) {
    std::set<int> set;
    for (int nId : kAllIds) {
        auto* pBox = qobject_cast<QCheckBox*>(dlg.Button(nId));
        if (pBox != nullptr ? pBox->checkState() == Qt::Checked : dlg.Button(nId)->isChecked()) {
            set.insert(nId);
        }
    }
    return set;
}

std::set<int> DisabledIds(const dialogs::CDetailDlg& dlg) {
    std::set<int> set;
    for (int nId : kAllIds) {
        if (!dlg.Button(nId)->isEnabled()) {
            set.insert(nId);
        }
    }
    return set;
}

struct OPENCASE {
    const char* pszName;
    std::uint32_t dwIn;
    std::set<int> setChecked;
    std::set<int> setDisabled;
    std::uint32_t dwOut; // after OK without changes
};

const OPENCASE kOpenCases[] = {
    {"zero",
     0,
     {D::IDC_NOFILE1_COPY, D::IDC_NOFILE2_COPY, D::IDC_RO1_SKIP, D::IDC_RO2_SKIP, D::IDC_SUBDIRS},
     {D::IDC_DIR_1TO2, D::IDC_DIR_2TO1, D::IDC_COPY_OLDER},
     0},
    {"both one-way bits",
     SIO_ONEWAY_1TO2 | SIO_ONEWAY_2TO1,
     {D::IDC_NOFILE1_IGNORE, D::IDC_NOFILE2_COPY, D::IDC_RO1_SKIP, D::IDC_RO2_SKIP, D::IDC_SUBDIRS,
      D::IDC_ONEWAY, D::IDC_DIR_1TO2},
     {D::IDC_NOFILE1_COPY, D::IDC_NOFILE2_DELETE, D::IDC_RO1_FORCE, D::IDC_RO1_SKIP,
      D::IDC_REMEMBER_STATE},
     SIO_NOFILE1_IGNORE | SIO_ONEWAY_1TO2},
    {"copy from side 2 with one-way",
     SIO_NOFILE1_COPY | SIO_ONEWAY_1TO2,
     {D::IDC_NOFILE1_IGNORE, D::IDC_NOFILE2_COPY, D::IDC_RO1_SKIP, D::IDC_RO2_SKIP, D::IDC_SUBDIRS,
      D::IDC_ONEWAY, D::IDC_DIR_1TO2},
     {D::IDC_NOFILE1_COPY, D::IDC_NOFILE2_DELETE, D::IDC_RO1_FORCE, D::IDC_RO1_SKIP,
      D::IDC_REMEMBER_STATE},
     SIO_NOFILE1_IGNORE | SIO_ONEWAY_1TO2},
    {"bits 0-2 hold 3",
     3,
     {D::IDC_NOFILE2_COPY, D::IDC_RO1_SKIP, D::IDC_RO2_SKIP, D::IDC_SUBDIRS},
     {D::IDC_DIR_1TO2, D::IDC_DIR_2TO1, D::IDC_COPY_OLDER},
     SIO_NOFILE1_IGNORE},
    {"bits 0-2 hold 7, bits 4-6 hold 0x50",
     7 | 0x50,
     {D::IDC_RO1_SKIP, D::IDC_RO2_SKIP, D::IDC_SUBDIRS},
     {D::IDC_DIR_1TO2, D::IDC_DIR_2TO1, D::IDC_COPY_OLDER},
     SIO_NOFILE1_IGNORE | SIO_NOFILE2_IGNORE},
    {"old-source bit without one-way",
     SIO_COPY_OLDER,
     {D::IDC_NOFILE1_COPY, D::IDC_NOFILE2_COPY, D::IDC_RO1_SKIP, D::IDC_RO2_SKIP, D::IDC_SUBDIRS,
      D::IDC_COPY_OLDER},
     {D::IDC_DIR_1TO2, D::IDC_DIR_2TO1, D::IDC_COPY_OLDER},
     SIO_COPY_OLDER},
    {"side 2 to side 1 with deletes and forces",
     SIO_ONEWAY_2TO1 | SIO_NOFILE1_DELETE | SIO_NOFILE2_DELETE | SIO_FORCE_RO1 | SIO_FORCE_RO2 |
         SIO_NO_SUBDIRS,
     {D::IDC_NOFILE1_IGNORE, D::IDC_NOFILE2_DELETE, D::IDC_RO1_FORCE, D::IDC_RO2_FORCE,
      D::IDC_ONEWAY, D::IDC_DIR_2TO1},
     {D::IDC_NOFILE2_COPY, D::IDC_NOFILE1_DELETE, D::IDC_RO2_FORCE, D::IDC_RO2_SKIP,
      D::IDC_REMEMBER_STATE},
     SIO_ONEWAY_2TO1 | SIO_NOFILE1_IGNORE | SIO_NOFILE2_DELETE | SIO_FORCE_RO1 | SIO_FORCE_RO2 |
         SIO_NO_SUBDIRS},
    {"unknown bits are dropped",
     0x80000000u | 0x00040000u | SIO_NO_SUBDIRS,
     {D::IDC_NOFILE1_COPY, D::IDC_NOFILE2_COPY, D::IDC_RO1_SKIP, D::IDC_RO2_SKIP},
     {D::IDC_DIR_1TO2, D::IDC_DIR_2TO1, D::IDC_COPY_OLDER},
     SIO_NO_SUBDIRS},
    {"remember the last run",
     SIO_REMEMBER_STATE | SIO_NOFILE2_IGNORE,
     {D::IDC_NOFILE1_COPY, D::IDC_NOFILE2_IGNORE, D::IDC_RO1_SKIP, D::IDC_RO2_SKIP, D::IDC_SUBDIRS,
      D::IDC_REMEMBER_STATE},
     {D::IDC_DIR_1TO2, D::IDC_DIR_2TO1, D::IDC_COPY_OLDER},
     SIO_REMEMBER_STATE | SIO_NOFILE2_IGNORE},
    {"remember with a one-way bit, as only a document holds it",
     SIO_REMEMBER_STATE | SIO_ONEWAY_1TO2,
     {D::IDC_NOFILE1_IGNORE, D::IDC_NOFILE2_COPY, D::IDC_RO1_SKIP, D::IDC_RO2_SKIP, D::IDC_SUBDIRS,
      D::IDC_ONEWAY, D::IDC_DIR_1TO2},
     {D::IDC_NOFILE1_COPY, D::IDC_NOFILE2_DELETE, D::IDC_RO1_FORCE, D::IDC_RO1_SKIP,
      D::IDC_REMEMBER_STATE},
     SIO_NOFILE1_IGNORE | SIO_ONEWAY_1TO2},
};

QPushButton* PushButton(const QDialog& dlg, const QString& strText) {
    for (auto* pButton : dlg.findChildren<QPushButton*>()) {
        if (pButton->text() == strText) {
            return pButton;
        }
    }
    return nullptr;
}

QPushButton* OkButton(const QDialog& dlg) {
    return PushButton(dlg, QStringLiteral("OK"));
}

} // namespace

TEST(DetailDlg, OpeningStatesAndUnchangedOk) {
    for (const OPENCASE& c : kOpenCases) {
        SCOPED_TRACE(c.pszName);
        dialogs::CDetailDlg dlg;
        dlg.m_dwOption = c.dwIn;
        dlg.show();
        EXPECT_EQ(CheckedIds(dlg), c.setChecked);
        EXPECT_EQ(DisabledIds(dlg), c.setDisabled);
        EXPECT_EQ(dlg.focusWidget(), OkButton(dlg)) << "OK has the focus";
        ClickButton(OkButton(dlg));
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.m_dwOption, c.dwOut);
    }
}

struct CLICKCASE {
    const char* pszName;
    std::uint32_t dwIn;
    std::vector<int> vecClicks;
    std::set<int> setChecked;
    std::set<int> setDisabled;
    std::uint32_t dwOut;
};

const CLICKCASE kClickCases[] = {
    {"radio groups",
     0,
     {D::IDC_NOFILE1_DELETE, D::IDC_NOFILE2_IGNORE, D::IDC_RO1_FORCE, D::IDC_RO2_FORCE,
      D::IDC_NOFILE1_IGNORE},
     {D::IDC_NOFILE1_IGNORE, D::IDC_NOFILE2_IGNORE, D::IDC_RO1_FORCE, D::IDC_RO2_FORCE,
      D::IDC_SUBDIRS},
     {D::IDC_DIR_1TO2, D::IDC_DIR_2TO1, D::IDC_COPY_OLDER},
     SIO_NOFILE1_IGNORE | SIO_NOFILE2_IGNORE | SIO_FORCE_RO1 | SIO_FORCE_RO2},
    {"clicking a marked radio button keeps it marked",
     0,
     {D::IDC_NOFILE1_COPY, D::IDC_RO2_SKIP},
     {D::IDC_NOFILE1_COPY, D::IDC_NOFILE2_COPY, D::IDC_RO1_SKIP, D::IDC_RO2_SKIP, D::IDC_SUBDIRS},
     {D::IDC_DIR_1TO2, D::IDC_DIR_2TO1, D::IDC_COPY_OLDER},
     0},
    {"one-way on selects side 1 to side 2",
     0,
     {D::IDC_ONEWAY},
     {D::IDC_NOFILE1_IGNORE, D::IDC_NOFILE2_COPY, D::IDC_RO1_SKIP, D::IDC_RO2_SKIP, D::IDC_SUBDIRS,
      D::IDC_ONEWAY, D::IDC_DIR_1TO2},
     {D::IDC_NOFILE1_COPY, D::IDC_NOFILE2_DELETE, D::IDC_RO1_FORCE, D::IDC_RO1_SKIP,
      D::IDC_REMEMBER_STATE},
     SIO_NOFILE1_IGNORE | SIO_ONEWAY_1TO2},
    {"one-way on, 2 to 1, off again: every group button enabled, marks stay",
     0,
     {D::IDC_ONEWAY, D::IDC_DIR_2TO1, D::IDC_ONEWAY},
     {D::IDC_NOFILE1_IGNORE, D::IDC_NOFILE2_IGNORE, D::IDC_RO1_SKIP, D::IDC_RO2_SKIP,
      D::IDC_SUBDIRS, D::IDC_DIR_2TO1},
     {D::IDC_DIR_1TO2, D::IDC_DIR_2TO1, D::IDC_COPY_OLDER},
     SIO_NOFILE1_IGNORE | SIO_NOFILE2_IGNORE},
    {"one-way on again keeps the direction chosen before",
     0,
     {D::IDC_ONEWAY, D::IDC_DIR_2TO1, D::IDC_ONEWAY, D::IDC_ONEWAY},
     {D::IDC_NOFILE1_IGNORE, D::IDC_NOFILE2_IGNORE, D::IDC_RO1_SKIP, D::IDC_RO2_SKIP,
      D::IDC_SUBDIRS, D::IDC_ONEWAY, D::IDC_DIR_2TO1},
     {D::IDC_NOFILE2_COPY, D::IDC_NOFILE1_DELETE, D::IDC_RO2_FORCE, D::IDC_RO2_SKIP,
      D::IDC_REMEMBER_STATE},
     SIO_NOFILE1_IGNORE | SIO_NOFILE2_IGNORE | SIO_ONEWAY_2TO1},
    {"delete on the read side is moved to do nothing",
     SIO_NOFILE2_DELETE | SIO_NOFILE1_DELETE,
     {D::IDC_ONEWAY},
     {D::IDC_NOFILE1_DELETE, D::IDC_NOFILE2_IGNORE, D::IDC_RO1_SKIP, D::IDC_RO2_SKIP,
      D::IDC_SUBDIRS, D::IDC_ONEWAY, D::IDC_DIR_1TO2},
     {D::IDC_NOFILE1_COPY, D::IDC_NOFILE2_DELETE, D::IDC_RO1_FORCE, D::IDC_RO1_SKIP,
      D::IDC_REMEMBER_STATE},
     SIO_NOFILE1_DELETE | SIO_NOFILE2_IGNORE | SIO_ONEWAY_1TO2},
    {"disabled buttons ignore clicks",
     SIO_ONEWAY_1TO2,
     {D::IDC_NOFILE1_COPY, D::IDC_NOFILE2_DELETE, D::IDC_RO1_FORCE},
     {D::IDC_NOFILE1_IGNORE, D::IDC_NOFILE2_COPY, D::IDC_RO1_SKIP, D::IDC_RO2_SKIP, D::IDC_SUBDIRS,
      D::IDC_ONEWAY, D::IDC_DIR_1TO2},
     {D::IDC_NOFILE1_COPY, D::IDC_NOFILE2_DELETE, D::IDC_RO1_FORCE, D::IDC_RO1_SKIP,
      D::IDC_REMEMBER_STATE},
     SIO_NOFILE1_IGNORE | SIO_ONEWAY_1TO2},
    {"old-source and subdirectory boxes toggle",
     SIO_ONEWAY_1TO2,
     {D::IDC_COPY_OLDER, D::IDC_SUBDIRS},
     {D::IDC_NOFILE1_IGNORE, D::IDC_NOFILE2_COPY, D::IDC_RO1_SKIP, D::IDC_RO2_SKIP, D::IDC_ONEWAY,
      D::IDC_DIR_1TO2, D::IDC_COPY_OLDER},
     {D::IDC_NOFILE1_COPY, D::IDC_NOFILE2_DELETE, D::IDC_RO1_FORCE, D::IDC_RO1_SKIP,
      D::IDC_REMEMBER_STATE},
     SIO_NOFILE1_IGNORE | SIO_ONEWAY_1TO2 | SIO_COPY_OLDER | SIO_NO_SUBDIRS},
    {"a checked old-source box stays stored when one-way goes off",
     SIO_ONEWAY_1TO2 | SIO_COPY_OLDER | SIO_NOFILE1_IGNORE,
     {D::IDC_ONEWAY},
     {D::IDC_NOFILE1_IGNORE, D::IDC_NOFILE2_COPY, D::IDC_RO1_SKIP, D::IDC_RO2_SKIP, D::IDC_SUBDIRS,
      D::IDC_DIR_1TO2, D::IDC_COPY_OLDER},
     {D::IDC_DIR_1TO2, D::IDC_DIR_2TO1, D::IDC_COPY_OLDER},
     SIO_NOFILE1_IGNORE | SIO_COPY_OLDER},
};

TEST(DetailDlg, ClickSequencesThroughTheInterlocks) {
    for (const CLICKCASE& c : kClickCases) {
        SCOPED_TRACE(c.pszName);
        dialogs::CDetailDlg dlg;
        dlg.m_dwOption = c.dwIn;
        dlg.show();
        for (int nId : c.vecClicks) {
            ClickButton(dlg.Button(nId));
        }
        EXPECT_EQ(CheckedIds(dlg), c.setChecked);
        EXPECT_EQ(DisabledIds(dlg), c.setDisabled);
        ClickButton(OkButton(dlg));
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(dlg.m_dwOption, c.dwOut);
    }
}

TEST(DetailDlg, IndeterminateSubdirectoryBoxStaysAsItIs) {
    dialogs::CDetailDlg dlg;
    dlg.show();
    auto* pBox = qobject_cast<QCheckBox*>(dlg.Button(D::IDC_SUBDIRS));
    ASSERT_NE(pBox, nullptr);
    pBox->setCheckState(Qt::PartiallyChecked);
    ClickButton(pBox);
    EXPECT_EQ(pBox->checkState(), Qt::PartiallyChecked);
    ClickButton(OkButton(dlg));
    EXPECT_EQ(dlg.m_dwOption, SIO_NO_SUBDIRS) << "only a checked box means descend";
}

TEST(DetailDlg, DeletingOnBothSidesIsRefusedAndTheDialogStaysOpen) {
    dialogs::CDetailDlg dlg;
    dlg.m_dwOption = SIO_FORCE_RO2;
    dlg.m_strPattern = "keep";
    dlg.show();
    ClickButton(dlg.Button(D::IDC_NOFILE1_DELETE));
    ClickButton(dlg.Button(D::IDC_NOFILE2_DELETE));
    kovrel::test::CModalAnswer answer(
        [](QWidget* pBox) { kovrel::test::ClickMessageBoxButton(pBox, QStringLiteral("OK")); });
    ClickButton(OkButton(dlg));
    ASSERT_TRUE(answer.WasAnswered());
    EXPECT_EQ(answer.SeenText(),
              QString::fromUtf8("双方ともDelete FILEを選択することはできません。"));
    EXPECT_EQ(answer.SeenTitle(), QStringLiteral("Kovrel Duplicator"));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_TRUE(dlg.Button(D::IDC_NOFILE1_DELETE)->isChecked()) << "marks are kept";
    EXPECT_TRUE(dlg.Button(D::IDC_NOFILE2_DELETE)->isChecked());

    // Cancel then hands nothing back.
    ClickButton(PushButton(dlg, QString::fromUtf8("ｷｬﾝｾﾙ")));
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(dlg.m_dwOption, SIO_FORCE_RO2);
    EXPECT_EQ(dlg.m_strPattern, "keep");
}

TEST(DetailDlg, CancelAndEscapeHandNothingBack) {
    for (bool bEscape : {false, true}) {
        dialogs::CDetailDlg dlg;
        dlg.m_dwOption = SIO_COPY_OLDER;
        dlg.m_strPattern = "a\r\nb";
        dlg.show();
        ClickButton(dlg.Button(D::IDC_ONEWAY));
        dlg.PatternEdit()->setFocus();
        QTest::keyClicks(dlg.PatternEdit(), "xyz");
        if (bEscape) {
            QTest::keyClick(dlg.PatternEdit(), Qt::Key_Escape);
        } else {
            ClickButton(PushButton(dlg, QString::fromUtf8("ｷｬﾝｾﾙ")));
        }
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
        EXPECT_EQ(dlg.m_dwOption, SIO_COPY_OLDER);
        EXPECT_EQ(dlg.m_strPattern, "a\r\nb");
    }
}

TEST(DetailDlg, EnterInThePatternEditPressesOkAndCtrlEnterTypesANewLine) {
    dialogs::CDetailDlg dlg;
    dlg.m_strPattern = "\\src\\*.c";
    dlg.show();
    QPlainTextEdit* pEdit = dlg.PatternEdit();
    pEdit->setFocus();
    pEdit->moveCursor(QTextCursor::End);
    QTest::keyClick(pEdit, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClicks(pEdit, "!*.o");
    QTest::keyClick(pEdit, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    QTest::keyClicks(pEdit, "!\\obj\\");
    EXPECT_TRUE(dlg.isVisible()) << "Ctrl+Enter keeps the dialog open";
    QTest::keyClick(pEdit, Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_strPattern, "\\src\\*.c\r\n!*.o\r\n!\\obj\\");
}

TEST(DetailDlg, PatternTextComesBackByteForByteWhenUnchanged) {
    const std::string astrTexts[] = {
        "",
        "\\a\\*.c\r\n!b*.o",
        "trailing line break\r\n",
        std::string("not utf-8 \xff\xfe name\r\n!\x82\xa0"), // Shift-JIS bytes from an old file
        "lone\rcarriage return\nand lone line feed",
    };
    for (const std::string& strText : astrTexts) {
        dialogs::CDetailDlg dlg;
        dlg.m_strPattern = strText;
        dlg.show();
        ClickButton(OkButton(dlg));
        EXPECT_EQ(dlg.m_strPattern, strText);
    }
}

TEST(DetailDlg, EditedPatternComesBackWithCrLf) {
    dialogs::CDetailDlg dlg;
    dlg.m_strPattern = "\\a\r\n!b";
    dlg.show();
    EXPECT_EQ(dlg.PatternEdit()->toPlainText(), QStringLiteral("\\a\n!b")) << "one line each";
    dlg.PatternEdit()->setFocus();
    dlg.PatternEdit()->moveCursor(QTextCursor::End);
    QTest::keyClick(dlg.PatternEdit(), Qt::Key_Return, Qt::ControlModifier);
    // Non-ASCII text arrives as an input method commit, as from a Japanese IME.
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("日本語*.txt"));
    QApplication::sendEvent(dlg.PatternEdit(), &commit);
    ClickButton(OkButton(dlg));
    EXPECT_EQ(dlg.m_strPattern, "\\a\r\n!b\r\n日本語*.txt");
}

// The remembered-state box as a user meets it: under the subdirectory box, clear
// of every other control; offered only while one-way copying is off, cleared
// by choosing a direction, toggled by the mouse and by the space bar.
TEST(DetailDlg, RememberBoxFollowsOneWayCopyingAsTheUserClicks) {
    dialogs::CDetailDlg dlg;
    dlg.m_dwOption = SIO_REMEMBER_STATE;
    dlg.show();
    auto* pBox = qobject_cast<QCheckBox*>(dlg.Button(D::IDC_REMEMBER_STATE));
    ASSERT_NE(pBox, nullptr);
    EXPECT_EQ(pBox->text(), QString::fromUtf8("前回の同期状態を記憶する（衝突を検出）"));
    EXPECT_FALSE(pBox->isTristate());
    const QRect rcBox = pBox->geometry();
    EXPECT_TRUE(dlg.rect().contains(rcBox));
    EXPECT_GT(rcBox.top(), dlg.Button(D::IDC_SUBDIRS)->geometry().bottom());
    EXPECT_LT(rcBox.bottom(), OkButton(dlg)->geometry().top());
    EXPECT_GE(rcBox.width(), pBox->sizeHint().width()) << "the whole text shows";
    for (QWidget* pOther : dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (pOther != pBox && pOther->isVisible()) {
            EXPECT_FALSE(rcBox.intersects(pOther->geometry())) << pOther->metaObject()->className();
        }
    }
    EXPECT_EQ(pBox->checkState(), Qt::Checked);
    EXPECT_TRUE(pBox->isEnabled());

    // One-way on: the box is cleared and out of reach; a click on it does nothing.
    ClickButton(dlg.Button(D::IDC_ONEWAY));
    EXPECT_EQ(pBox->checkState(), Qt::Unchecked);
    EXPECT_FALSE(pBox->isEnabled());
    ClickButton(pBox);
    EXPECT_EQ(pBox->checkState(), Qt::Unchecked);
    // Another direction keeps it so.
    ClickButton(dlg.Button(D::IDC_DIR_2TO1));
    EXPECT_FALSE(pBox->isEnabled());

    // One-way off: offered again, still cleared; the user checks it by mouse,
    // clears it with the space bar and checks it once more.
    ClickButton(dlg.Button(D::IDC_ONEWAY));
    EXPECT_TRUE(pBox->isEnabled());
    EXPECT_EQ(pBox->checkState(), Qt::Unchecked);
    ClickButton(pBox);
    EXPECT_EQ(pBox->checkState(), Qt::Checked);
    pBox->setFocus();
    QTest::keyClick(pBox, Qt::Key_Space);
    EXPECT_EQ(pBox->checkState(), Qt::Unchecked);
    QTest::keyClick(pBox, Qt::Key_Space);
    EXPECT_EQ(pBox->checkState(), Qt::Checked);

    ClickButton(OkButton(dlg));
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    // The direction handler chose "do nothing" on the written side; both
    // groups stay that way once one-way copying is off again.
    EXPECT_EQ(dlg.m_dwOption, SIO_REMEMBER_STATE | SIO_NOFILE1_IGNORE | SIO_NOFILE2_IGNORE);
}

// Tab reaches the box right after the subdirectory box, before one-way copying.
TEST(DetailDlg, TabReachesTheRememberBoxAfterTheSubdirectoryBox) {
    dialogs::CDetailDlg dlg;
    dlg.show();
    dlg.Button(D::IDC_SUBDIRS)->setFocus();
    QTest::keyClick(dlg.Button(D::IDC_SUBDIRS), Qt::Key_Tab);
    EXPECT_EQ(dlg.focusWidget(), dlg.Button(D::IDC_REMEMBER_STATE));
    QTest::keyClick(dlg.Button(D::IDC_REMEMBER_STATE), Qt::Key_Tab);
    EXPECT_EQ(dlg.focusWidget(), dlg.Button(D::IDC_ONEWAY));
}
