// The log file and sound commands, placement through the application, drops,
// and help.
#include "AppTestSupport.h"

#include "app/CommandIds.h"
#include "dialogs/LogFileDlg.h"
#include "dialogs/SoundDlg.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QToolBar>
#include <QUrl>

namespace kovrel::app::test {
namespace {

// What the user does in the log file dialog.
struct LOGDLGINPUT {
    bool bCancel;
    bool bDocLog;
    const char* pszPath;
    bool bAppend;
};

struct LOGCASE {
    const char* pszName;
    std::string strDocLogBefore;
    LOGDLGINPUT input;
    // Expected afterwards.
    std::string strDocLogAfter;
    bool bModified;
    const char* pszProfileLogFile; // null: not written
    int nProfileAppend;
    // Seen in the dialog when it opened.
    bool bShownDocLog;
    const char* pszShownPath;
};

class LogFileCommand : public AppTest, public ::testing::WithParamInterface<LOGCASE> {};

TEST_P(LogFileCommand, FillsRunsAndStoresOnlyAfterOk) {
    const LOGCASE& c = GetParam();
    {
        auto profile = OpenProfile();
        profile->setValue("Env/LogFile", "/var/log/all.log");
        profile->setValue("Env/LogAppend", 1);
    }
    const QString strDoc =
        MakeDocument("doc.kvd", {{"/a", "/b"}}, KVD_VERSION_1_0, c.strDocLogBefore);
    ASSERT_TRUE(Start(strDoc));
    OpenProfile()->remove("Env"); // so that only this command's writes show
    bool bShownDocLog = false;
    QString strShownPath;
    CDialogScript script;
    script.LogFile([&](LOGFILECHOICE& choice) {
        bShownDocLog = choice.bDocLog;
        strShownPath = QString::fromStdString(choice.strLogFile);
        if (c.input.bCancel)
            return false;
        choice = LOGFILECHOICE{c.input.bDocLog, c.input.pszPath, c.input.bAppend};
        return true;
    });
    Frame()->GetAction(ID_OPTION_LOGFILE)->trigger();
    EXPECT_TRUE(script.AllAnswered());
    EXPECT_EQ(bShownDocLog, c.bShownDocLog);
    EXPECT_EQ(strShownPath, ui::U(c.pszShownPath));
    EXPECT_EQ(View()->GetList().m_strDocLog, c.strDocLogAfter);
    EXPECT_EQ(Doc().IsModified(), c.bModified);
    auto profile = OpenProfile();
    if (c.pszProfileLogFile == nullptr) {
        EXPECT_FALSE(profile->contains("Env/LogFile"));
        EXPECT_FALSE(profile->contains("Env/LogAppend"));
    } else {
        EXPECT_EQ(profile->value("Env/LogFile").toString(), ui::U(c.pszProfileLogFile));
        EXPECT_EQ(profile->value("Env/LogAppend").toInt(), c.nProfileAppend);
        EXPECT_EQ(m_pApp->m_settings.m_strLogFile, c.pszProfileLogFile);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LogFileCommand,
                         ::testing::Values(LOGCASE{"TurnOffClearsAndWritesProfile",
                                                   "a/doc.log",
                                                   {false, false, "/new.log", false},
                                                   "",
                                                   true,
                                                   "/new.log",
                                                   0,
                                                   true,
                                                   "/doc.log"},
                                           LOGCASE{"OnUnchangedStaysUnmodified",
                                                   "a/doc.log",
                                                   {false, true, "/doc.log", true},
                                                   "a/doc.log",
                                                   false,
                                                   nullptr,
                                                   0,
                                                   true,
                                                   "/doc.log"},
                                           LOGCASE{"OnChangedMode",
                                                   "a/doc.log",
                                                   {false, true, "/doc.log", false},
                                                   "w/doc.log",
                                                   true,
                                                   nullptr,
                                                   0,
                                                   true,
                                                   "/doc.log"},
                                           LOGCASE{"TurnOnSamePathStillModified",
                                                   "",
                                                   {false, true, "/var/log/all.log", true},
                                                   "a/var/log/all.log",
                                                   true,
                                                   nullptr,
                                                   0,
                                                   false,
                                                   "/var/log/all.log"},
                                           LOGCASE{"OffToOffWritesEmptyPathToo",
                                                   "",
                                                   {false, false, "", false},
                                                   "",
                                                   false,
                                                   "",
                                                   0,
                                                   false,
                                                   "/var/log/all.log"},
                                           LOGCASE{"CancelChangesNothing",
                                                   "w/doc.log",
                                                   {true, false, "", false},
                                                   "w/doc.log",
                                                   false,
                                                   nullptr,
                                                   0,
                                                   true,
                                                   "/doc.log"}),
                         [](const auto& p) { return std::string(p.param.pszName); });

TEST_F(AppTest, SoundCommandWritesAfterOkOnly) {
    ASSERT_TRUE(Start());
    {
        CDialogScript script;
        script.Sound([](SOUNDCHOICE&) { return false; });
        Frame()->GetAction(ID_OPTION_SOUND)->trigger();
        EXPECT_TRUE(script.AllAnswered());
        EXPECT_FALSE(OpenProfile()->contains("Env/SoundOn"));
    }
    CDialogScript script;
    script.Sound([](SOUNDCHOICE& choice) {
        EXPECT_TRUE(choice.bSoundOn); // the default: sounds on
        choice = SOUNDCHOICE{false, " /snd/end.wav", "/snd/err.wav"};
        return true;
    });
    Frame()->GetAction(ID_OPTION_SOUND)->trigger();
    EXPECT_TRUE(script.AllAnswered());
    auto profile = OpenProfile();
    EXPECT_EQ(profile->value("Env/SoundOn").toInt(), 0);
    EXPECT_EQ(profile->value("Env/EndSoundFile").toString(), QStringLiteral(" /snd/end.wav"));
    EXPECT_EQ(profile->value("Env/ErrSoundFile").toString(), QStringLiteral("/snd/err.wav"));
    EXPECT_FALSE(m_pApp->m_settings.m_bSoundOn);
    EXPECT_FALSE(Doc().IsModified());
}

// The trash item is checked as the profile says (on when absent) and each
// click writes the new state at once.
TEST_F(AppTest, TrashItemTogglesAndWritesTheProfile) {
    ASSERT_TRUE(Start());
    QAction* pTrash = Frame()->GetAction(ID_OPTION_TRASH);
    ASSERT_TRUE(pTrash->isCheckable());
    EXPECT_TRUE(pTrash->isChecked());
    EXPECT_FALSE(OpenProfile()->contains("Env/UseTrash"));
    for (const bool bOn : {false, true}) {
        pTrash->trigger();
        EXPECT_EQ(pTrash->isChecked(), bOn);
        EXPECT_EQ(m_pApp->m_settings.m_bUseTrash, bOn);
        EXPECT_EQ(OpenProfile()->value("Env/UseTrash").toInt(), bOn ? 1 : 0);
    }
    EXPECT_FALSE(Doc().IsModified());
}

// The real dialogs behind the seam: what they show comes from the settings,
// what the user sets in them comes back.
TEST_F(AppTest, RealSettingsDialogsShowAndGiveBackTheChoice) {
    m_bRealDialogs = true;
    const QString strDoc = MakeDocument("doc.kvd", {{"/a", "/b"}}, KVD_VERSION_1_0, "a/doc.log");
    ASSERT_TRUE(Start(strDoc));
    {
        CModalScript script;
        script.Then([](QWidget* p) {
            auto* pDlg = qobject_cast<dialogs::CLogFileDlg*>(p);
            ASSERT_NE(pDlg, nullptr);
            EXPECT_TRUE(pDlg->DocLogCheck()->isChecked());
            EXPECT_EQ(pDlg->FileEdit()->text(), QStringLiteral("/doc.log"));
            EXPECT_TRUE(pDlg->AppendRadio()->isChecked());
            pDlg->FileEdit()->setText(ui::U("/ログ.log"));
            pDlg->OverwriteRadio()->click();
            pDlg->accept();
        });
        Frame()->GetAction(ID_OPTION_LOGFILE)->trigger();
        EXPECT_TRUE(script.AllAnswered());
    }
    EXPECT_EQ(View()->GetList().m_strDocLog, "w/ログ.log");
    EXPECT_TRUE(Doc().IsModified());

    CModalScript script;
    script.Then([](QWidget* p) {
        auto* pDlg = qobject_cast<dialogs::CSoundDlg*>(p);
        ASSERT_NE(pDlg, nullptr);
        EXPECT_TRUE(pDlg->OnRadio()->isChecked());
        pDlg->OffRadio()->click();
        pDlg->EndEdit()->setText(ui::U("/音/end.wav"));
        pDlg->accept();
    });
    Frame()->GetAction(ID_OPTION_SOUND)->trigger();
    EXPECT_TRUE(script.AllAnswered());
    EXPECT_FALSE(m_pApp->m_settings.m_bSoundOn);
    EXPECT_EQ(m_pApp->m_settings.m_strEndSoundFile, "/音/end.wav");
    EXPECT_EQ(OpenProfile()->value("Env/EndSoundFile").toString(), ui::U("/音/end.wav"));
}

TEST_F(AppTest, PlacementFromTheProfileAndSavedWhenTheCloseIsCalledOff) {
    OpenProfile()->setValue("Env/Window", "80,90,680,590");
    const QString strDoc = MakeDocument("doc.kvd", {{"/a", "/b"}});
    ASSERT_TRUE(Start(strDoc));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Frame()));
    EXPECT_EQ(Frame()->GetWindowRect(), (WINRECT{80, 90, 680, 590}));
    Frame()->move(120, 130);
    QTest::qWait(10);
    Doc().SetModifiedFlag();
    CDialogScript script;
    script.Answer(ui::IDCANCEL).Answer(ui::IDNO);
    EXPECT_FALSE(Frame()->close());
    EXPECT_EQ(ProfileText(OpenProfile()->value("Env/Window")), QStringLiteral("120,130,720,630"));
    EXPECT_EQ(m_pApp->m_rcWindow, (WINRECT{120, 130, 720, 630}));
    EXPECT_TRUE(Frame()->close());
}

TEST_F(AppTest, FirstStartPlacesTheWindowAtTheDefault) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Frame()));
    EXPECT_EQ(Frame()->GetWindowRect(), (WINRECT{50, 50, 550, 400}));
}

class Drops : public AppTest {
protected:
    void DropAt(const QPoint& ptFrame, const QStringList& astr) {
        kovrel::test::DropFiles(Frame(), ptFrame, astr);
    }
};

TEST_F(Drops, OnTheGridFillRowsElsewhereOpenDocuments) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Frame()));
    grid::CItemGrid& grid = View()->GetGrid();
    QPushButton* pHeader = grid.GetHeaderButton(grid::CItemGrid::ID_BTN_FILE2);
    ASSERT_NE(pHeader, nullptr);
    // The side-2 cell of the blank row, just below the header.
    const QPoint ptGrid(pHeader->geometry().center().x(), pHeader->geometry().bottom() + 6);
    DropAt(grid.mapTo(Frame(), ptGrid), {Path("one"), Path("two"), Path("three")});
    ASSERT_EQ(ItemCount(), 3);
    EXPECT_EQ(View()->GetList().GetAt(2)->lpszPath2.value_or(""), Path("three").toStdString());
    EXPECT_TRUE(Doc().IsModified());

    const QString strDoc = MakeDocument("dropped.kvd", {{"/p", "/q"}});
    CDialogScript script;
    script.Answer(ui::IDNO); // the save question for the changed list
    const QRect rcTool = Frame()->ToolBar()->geometry();
    DropAt(QPoint(rcTool.right() - 2, rcTool.center().y()), {strDoc});
    EXPECT_EQ(script.Text(0), ui::U("%1 への変更を保存しますか？").arg(ui::U("無題")));
    EXPECT_EQ(Frame()->windowTitle(), ui::U("dropped.kvd - Kovrel Duplicator"));
    EXPECT_EQ(ItemCount(), 1);
}

// Help opens the installed page (or the source tree's) through the desktop's
// opener; with no opener, or one that finds no browser, a box names the page.
TEST_F(AppTest, HelpOpensThePageOrNamesIt) {
    struct Case {
        const char* pszName;
        const char* pszScript; // the opener's body; null: there is none
        bool bBox;
    };
    const Case cases[] = {
        {"opened", "printf '%s\\n' \"$1\" >> \"$0.opened\"\nexit 0\n", false},
        {"no browser", "exit 3\n", true},
        {"no opener", nullptr, true},
    };
    int nCase = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        const QString strOpener = Path(QStringLiteral("opener-%1").arg(++nCase));
        if (c.pszScript != nullptr) {
            WriteFile(strOpener, QByteArray("#!/bin/sh\n") + c.pszScript);
            QFile::setPermissions(strOpener,
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        ASSERT_TRUE(Start());
        m_pApp->m_strHelpLauncher = strOpener;
        CDialogScript script;
        if (c.bBox)
            script.Answer(ui::IDOK).Answer(ui::IDOK);
        Frame()->GetAction(ID_HELP_FINDER)->trigger();
        // A box closed just now leaves no window active; F1 needs the frame's.
        Frame()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));
        QTest::keyClick(Frame(), Qt::Key_F1);
        if (c.bBox) {
            ASSERT_TRUE(WaitFor([&] { return script.AllAnswered(); }))
                << script.Seen().size() << " boxes";
            ASSERT_EQ(script.Seen().size(), 2u);
            const QString strText = script.Text(0);
            EXPECT_TRUE(strText.startsWith(ui::U("ヘルプを表示するブラウザが見つかりません。")))
                << strText.toStdString();
            EXPECT_TRUE(strText.endsWith(CKovrelApp::HelpFilePath())) << strText.toStdString();
        } else {
            ASSERT_TRUE(WaitFor([&] { return ReadFile(strOpener + ".opened").count('\n') == 2; }));
            const QList<QByteArray> opened = ReadFile(strOpener + ".opened").split('\n');
            EXPECT_TRUE(opened[0].endsWith("/help/index.html")) << opened[0].toStdString();
            EXPECT_TRUE(QFileInfo::exists(QString::fromUtf8(opened[0])));
            QTest::qWait(50);
            EXPECT_TRUE(script.Seen().empty()) << "no box when the page opened";
        }
        m_pApp.reset();
    }
}

// The help page names the log file dialog's choices with the dialog's own words.
TEST(HelpPage, UsesTheLogFileDialogsWords) {
    QFile file(CKovrelApp::HelpFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const QString strPage = QString::fromUtf8(file.readAll());
    dialogs::CLogFileDlg dlg;
    for (const QString& strWord : {dlg.OverwriteRadio()->text(), dlg.AppendRadio()->text()}) {
        EXPECT_TRUE(strPage.contains(ui::U("「") + strWord + ui::U("」"))) << strWord.toStdString();
    }
    EXPECT_FALSE(strPage.contains(ui::U("「上書き」を選ぶ")));
    EXPECT_FALSE(strPage.contains(ui::U("「追加」を選ぶ")));
}

TEST_F(AppTest, WhatsThisTextsOnGridButtonsAndToolbar) {
    ASSERT_TRUE(Start());
    EXPECT_FALSE(View()->GetGrid().whatsThis().isEmpty());
    EXPECT_FALSE(View()->GetSyncButton().whatsThis().isEmpty());
    for (int nId : {grid::CItemGrid::ID_BTN_FILE1, grid::CItemGrid::ID_BTN_DIR1,
                    grid::CItemGrid::ID_BTN_OPTION, grid::CItemGrid::ID_BTN_FILE2,
                    grid::CItemGrid::ID_BTN_DIR2})
        EXPECT_FALSE(View()->GetGrid().GetHeaderButton(nId)->whatsThis().isEmpty()) << nId;
    // The Edit menu holds the view's own actions, not copies.
    EXPECT_EQ(Frame()->GetAction(grid::ID_ITEM_DETAIL), View()->GetAction(grid::ID_ITEM_DETAIL));
    EXPECT_EQ(Frame()->EditMenu()->actions().value(0), View()->GetAction(grid::ID_ITEM_CHANGE));
}

} // namespace
} // namespace kovrel::app::test
