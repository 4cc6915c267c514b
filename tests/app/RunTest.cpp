// The run in the program: unattended from the command line, questions answered
// by the test, Cancel from the log window, what is refused while it runs, and a
// close request during a run.
#include "AppTestSupport.h"

#include "app/CommandIds.h"
#include "dialogs/LogListBox.h"

#include <QAction>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>

namespace kovrel::app::test {
namespace {

const char* const kCanceled = "<< Canceled by User!! >>";
const char* const kBothWild =
    "両方にワイルドカードを指定することはできません。\n'%1' <-> '%2'\n無視して継続しますか？";

class SyncRun : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        m_strSide1 = Path("side1");
        m_strSide2 = Path("side2");
        WriteFile(m_strSide1 + "/a.txt", "alpha");
        WriteFile(m_strSide1 + "/sub/b.txt", "beta");
        QDir().mkpath(m_strSide2);
    }
    // An item whose two paths both end in a wildcard list: the run asks about it.
    std::pair<QString, QString> WildItem() const {
        return {m_strSide1 + "/*.txt", m_strSide2 + "/*.txt"};
    }
    QString WildQuestion() const {
        return ui::U(kBothWild).arg(WildItem().first, WildItem().second);
    }
    QStringList LogLines() const {
        QStringList astr;
        for (int i = 0; i < m_pApp->m_dlgLog->GetCount(); ++i)
            astr.append(m_pApp->m_dlgLog->GetText(i));
        return astr;
    }
    void SetProfileLogFile(const QString& strPath) {
        auto profile = OpenProfile();
        profile->setValue("Env/LogFile", strPath);
        profile->setValue("Env/LogAppend", 0);
    }
    QString m_strSide1;
    QString m_strSide2;
};

TEST_F(SyncRun, UnattendedRunsOnceLogsToTheProfilesFileAndEnds) {
    CSoundRecorder sounds;
    SetProfileLogFile(Path("run.log"));
    const QString strDoc = MakeDocument("job.kvd", {{m_strSide1, m_strSide2}});
    ASSERT_TRUE(Start(strDoc, 1));
    ASSERT_TRUE(WaitFor([this] { return !Frame()->isVisible(); }));
    EXPECT_FALSE(m_pApp->m_dlgLog->isVisible());
    EXPECT_EQ(ReadFile(m_strSide2 + "/a.txt"), "alpha");
    EXPECT_EQ(ReadFile(m_strSide2 + "/sub/b.txt"), "beta");
    const QString strLog = QString::fromUtf8(ReadFile(Path("run.log")));
    EXPECT_TRUE(strLog.startsWith(QStringLiteral("<< Synchronize start "))) << strLog.toStdString();
    EXPECT_TRUE(strLog.contains(QStringLiteral("<< Synchronize completed ")));
    EXPECT_TRUE(strLog.contains(ui::U("File1 -> File2 コピーファイル数 : 2\r\n")));
    EXPECT_EQ(m_pApp->m_nAutoSync, 2);
    EXPECT_EQ(sounds.m_astrPlayed, std::vector<std::string>{"information"});
}

TEST_F(SyncRun, UnattendedEndsAlsoAfterNo) {
    CSoundRecorder sounds;
    const QString strDoc = MakeDocument("job.kvd", {WildItem(), {m_strSide1, m_strSide2}});
    CModalScript script;
    script.Answer(ui::IDNO);
    ASSERT_TRUE(Start(strDoc, 1));
    ASSERT_TRUE(WaitFor([this] { return !Frame()->isVisible(); }));
    EXPECT_EQ(script.Text(0), WildQuestion());
    EXPECT_TRUE(LogLines().contains(ui::U(kCanceled)));
    EXPECT_FALSE(QFileInfo::exists(m_strSide2 + "/a.txt")); // the second item never ran
    EXPECT_EQ(sounds.m_astrPlayed, std::vector<std::string>{"warning"});
}

// The unattended run ends the program with kovrel-sync's status for the same
// run: 0 no error, 1 errors passed over (an item passed over by a No to the
// absent-top question included), 2 stopped early, 3 the document unreadable.
TEST_F(SyncRun, UnattendedExitStatusSaysHowTheRunEnded) {
    struct Case {
        const char* pszName;
        int nAnswer; // 0: no question
        int nExit;
    };
    const Case cases[] = {
        {"clean", 0, kExitCompleted},
        {"question Yes", ui::IDYES, kExitCompletedWithErrors},
        {"question No", ui::IDNO, kExitStopped},
        {"absent top No", ui::IDNO, kExitCompletedWithErrors},
        {"absent top Yes", ui::IDYES, kExitCompleted},
        {"mass delete No", ui::IDNO, kExitCompletedWithErrors},
        {"mass delete Yes", ui::IDYES, kExitCompleted},
        {"foreign file", ui::IDOK, kExitUnreadable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        const std::string strName = c.pszName;
        QString strDoc;
        if (strName == "clean") {
            strDoc = MakeDocument("job.kvd", {{m_strSide1, m_strSide2}});
        } else if (strName.rfind("question", 0) == 0) {
            strDoc = MakeDocument("job.kvd", {WildItem(), {m_strSide1, m_strSide2}});
        } else if (strName.rfind("absent top", 0) == 0) {
            // Side 1 is not there; the option deletes what side 1 lacks.
            WriteFile(m_strSide2 + "/keep.txt", "keep");
            CSyncItemList list;
            SYNCITEM* pItem = list.SetAt(-1, Path("unmounted").toUtf8().constData(),
                                         m_strSide2.toUtf8().constData(), nullptr);
            ASSERT_NE(pItem, nullptr);
            pItem->dwOption = SIO_NOFILE1_DELETE;
            strDoc = Path("job.kvd");
            ASSERT_EQ(SaveKvdFile(strDoc.toStdString(), list, KVD_VERSION_1_0).eStatus,
                      KvdFileStatus::Ok);
        } else if (strName.rfind("mass delete", 0) == 0) {
            // Side 2 holds nothing of side 1's: the item would delete all of it.
            WriteFile(m_strSide2 + "/x.txt", "x");
            WriteFile(m_strSide2 + "/y.txt", "y");
            CSyncItemList list;
            SYNCITEM* pItem = list.SetAt(-1, m_strSide1.toUtf8().constData(),
                                         m_strSide2.toUtf8().constData(), nullptr);
            ASSERT_NE(pItem, nullptr);
            pItem->dwOption = SIO_NOFILE1_DELETE;
            strDoc = Path("job.kvd");
            ASSERT_EQ(SaveKvdFile(strDoc.toStdString(), list, KVD_VERSION_1_0).eStatus,
                      KvdFileStatus::Ok);
        } else {
            strDoc = Path("foreign.kvd");
            WriteFile(strDoc, QByteArray("\x17SomeoneElsesFormat 9.9 with data", 33));
        }
        // The run's questions are message boxes; the document's go through the
        // application's dialogs.
        CModalScript runBoxes;
        CDialogScript docBoxes;
        if (strName == "foreign file")
            docBoxes.Answer(c.nAnswer);
        else if (c.nAnswer != 0)
            runBoxes.Answer(c.nAnswer);
        ASSERT_TRUE(Start(strDoc, 1));
        ASSERT_TRUE(WaitFor([this] { return !Frame()->isVisible(); }));
        EXPECT_EQ(runBoxes.Seen().size() + docBoxes.Seen().size(), c.nAnswer != 0 ? 1u : 0u);
        EXPECT_EQ(m_pApp->ExitStatus(), c.nExit);
        if (strName == "absent top No") {
            EXPECT_EQ(ReadFile(m_strSide2 + "/keep.txt"), "keep");
        }
        if (strName.rfind("mass delete", 0) == 0) {
            ASSERT_EQ(runBoxes.Seen().size(), 1u);
            EXPECT_EQ(runBoxes.Text(0),
                      ui::U("'%1' の 2 個のファイルのうち 2 個を削除します。\nよろしいですか？")
                          .arg(m_strSide2));
            EXPECT_EQ(QFileInfo::exists(m_strSide2 + "/x.txt"), c.nAnswer == ui::IDNO);
        }
        m_pApp.reset();
    }
}

TEST_F(SyncRun, UnattendedCancelledBeforeTheFirstItemKeepsTheProgram) {
    const QString strDoc = MakeDocument("job.kvd", {{m_strSide1, m_strSide2}});
    QTimer clicker;
    clicker.setInterval(0);
    QObject::connect(&clicker, &QTimer::timeout, [this] {
        if (m_pApp && m_pApp->m_dlgLog && m_pApp->m_dlgLog->GetButtonText() == "Cancel")
            m_pApp->m_dlgLog->Button()->click();
    });
    clicker.start();
    ASSERT_TRUE(Start(strDoc, 1));
    ASSERT_TRUE(WaitFor([this] { return m_pApp->m_nAutoSync == 2 && !m_pApp->IsRunning(); }));
    clicker.stop();
    QTest::qWait(20);
    EXPECT_TRUE(Frame()->isVisible());
    EXPECT_TRUE(LogLines().contains(ui::U(kCanceled)));
    EXPECT_FALSE(QFileInfo::exists(m_strSide2 + "/a.txt"));
}

TEST_F(SyncRun, OptionWithoutDocumentRunsNothing) {
    ASSERT_TRUE(Start(QString(), 1));
    QTest::qWait(20);
    EXPECT_EQ(m_pApp->m_nAutoSync, 0);
    EXPECT_TRUE(Frame()->isVisible());
    EXPECT_EQ(m_pApp->m_dlgLog->GetCount(), 0);
}

TEST_F(SyncRun, QuestionYesGoesOnAndCountsTheError) {
    const QString strDoc = MakeDocument("job.kvd", {WildItem(), {m_strSide1, m_strSide2}});
    ASSERT_TRUE(Start(strDoc));
    CModalScript script;
    script.Answer(ui::IDYES);
    QTest::mouseClick(&View()->GetSyncButton(), Qt::LeftButton);
    EXPECT_EQ(script.Text(0), WildQuestion());
    const QStringList astr = LogLines();
    EXPECT_TRUE(astr.contains(ui::U("File1 -> File2 コピーファイル数 : 2")));
    EXPECT_EQ(astr.value(astr.size() - 1), ui::U("　　　　　 その他 : 1"));
    EXPECT_EQ(m_pApp->m_dlgLog->GetButtonText(), QStringLiteral("OK"));
    EXPECT_TRUE(m_pApp->m_dlgLog->isVisible());
    EXPECT_TRUE(Frame()->isVisible()); // not unattended: the program stays
}

TEST_F(SyncRun, WhileRunningListChangesAndDocumentsAreRefusedAndCancelStops) {
    const QString strDoc = MakeDocument("job.kvd", {WildItem(), {m_strSide1, m_strSide2}});
    const QString strOther = MakeDocument("other.kvd", {{"/x", "/y"}});
    ASSERT_TRUE(Start(strOther));
    ASSERT_EQ(m_pApp->OpenDocumentFile(strDoc), OpenResult::Opened);
    CModalScript script;
    bool bChecked = false;
    script.Then([&](QWidget* pBox) {
        // Everything that would change the list or the document is refused.
        EXPECT_FALSE(Frame()->GetAction(ID_FILE_NEW)->isEnabled());
        EXPECT_FALSE(Frame()->GetAction(ID_FILE_OPEN)->isEnabled());
        EXPECT_FALSE(Frame()->RecentFileAction(0)->isEnabled());
        EXPECT_FALSE(View()->IsCommandEnabled(grid::ID_ITEM_INSERT));
        EXPECT_FALSE(View()->IsCommandEnabled(grid::ID_ITEM_DELETE));
        m_pApp->OnFileNew();
        m_pApp->OnDropFiles({strOther});
        m_pApp->OnDropOnGrid(QPoint(10, 40), {Path("dropped")});
        EXPECT_TRUE(Frame()->m_fnDropsRefused());
        EXPECT_EQ(ItemCount(), 2);
        EXPECT_EQ(Doc().GetTitle(), QStringLiteral("job.kvd"));
        const int nLines = m_pApp->m_dlgLog->GetCount();
        emit View()->synchronize(); // no second run inside this one
        EXPECT_EQ(m_pApp->m_dlgLog->GetCount(), nLines);
        // Cancel in the log window, then go on past the question.
        m_pApp->m_dlgLog->Button()->click();
        bChecked = true;
        kovrel::test::ClickMessageBoxButton(pBox, ui::MessageBoxButtonText(ui::IDYES));
    });
    QTest::mouseClick(&View()->GetSyncButton(), Qt::LeftButton);
    EXPECT_TRUE(bChecked);
    const QStringList astr = LogLines();
    EXPECT_TRUE(astr.contains(ui::U(kCanceled)));
    EXPECT_FALSE(astr.contains(QStringLiteral("<< Synchronize completed"), Qt::CaseSensitive));
    EXPECT_LE(m_pApp->LastRunStat().nCopied1to2, 1); // stopped after the pair it was at
    EXPECT_TRUE(Frame()->GetAction(ID_FILE_NEW)->isEnabled());
    EXPECT_TRUE(View()->IsCommandEnabled(grid::ID_ITEM_INSERT));
}

// A run hidden with Escape stays in sight: the status bar says a run is going
// on, and a click there or the Synchronize command shows the log window again.
// A close request to the log window during the run cancels it.
TEST_F(SyncRun, HiddenRunStaysInSightAndCloseRequestCancels) {
    const QString strDoc = MakeDocument("job.kvd", {WildItem(), {m_strSide1, m_strSide2}});
    ASSERT_TRUE(Start(strDoc));
    QToolButton* pPane = Frame()->RunPane();
    EXPECT_FALSE(pPane->isVisible()) << "no run yet";
    dialogs::CSyncLogDlg* pLog = m_pApp->m_dlgLog.get();
    CModalScript script;
    script.Then([&](QWidget* pBox) {
        EXPECT_TRUE(pPane->isVisible());
        EXPECT_FALSE(pPane->text().isEmpty());
        for (int nWay = 0; nWay < 2; ++nWay) {
            QTest::keyClick(pLog->ListBox(), Qt::Key_Escape);
            EXPECT_FALSE(pLog->isVisible());
            EXPECT_FALSE(pLog->m_bCancel) << "Escape never stops the run";
            if (nWay == 0)
                QTest::mouseClick(pPane, Qt::LeftButton);
            else
                emit View()->synchronize();
            EXPECT_TRUE(pLog->isVisible()) << "way " << nWay;
        }
        EXPECT_FALSE(pLog->close());
        EXPECT_TRUE(pLog->isVisible());
        EXPECT_TRUE(pLog->m_bCancel);
        kovrel::test::ClickMessageBoxButton(pBox, ui::MessageBoxButtonText(ui::IDYES));
    });
    QTest::mouseClick(&View()->GetSyncButton(), Qt::LeftButton);
    EXPECT_TRUE(script.AllAnswered());
    EXPECT_TRUE(LogLines().contains(ui::U(kCanceled)));
    EXPECT_LE(m_pApp->LastRunStat().nCopied1to2, 1); // stopped after the pair it was at
    EXPECT_FALSE(pPane->isVisible()) << "the run is over";
    EXPECT_TRUE(pLog->isVisible());
    pLog->close(); // after the run: as OK
    EXPECT_FALSE(pLog->isVisible());
}

TEST_F(SyncRun, CloseDuringARunCancelsItThenCloses) {
    const QString strDoc = MakeDocument("job.kvd", {WildItem(), {m_strSide1, m_strSide2}});
    ASSERT_TRUE(Start(strDoc));
    CModalScript script;
    script.Then([&](QWidget* pBox) {
        EXPECT_FALSE(Frame()->close()); // refused for now
        EXPECT_TRUE(Frame()->isVisible());
        kovrel::test::ClickMessageBoxButton(pBox, ui::MessageBoxButtonText(ui::IDYES));
    });
    QTest::mouseClick(&View()->GetSyncButton(), Qt::LeftButton);
    EXPECT_TRUE(LogLines().contains(ui::U(kCanceled)));
    ASSERT_TRUE(WaitFor([this] { return !Frame()->isVisible(); }));
}

TEST_F(SyncRun, DocumentsOwnLogSettingWinsAndAppends) {
    SetProfileLogFile(Path("global.log"));
    // An earlier run's log: only such a file (or an empty one) is written to.
    WriteFile(Path("doc.log"), "<< Synchronize start 98/07/14 10:00:00 >>\r\nearlier run\r\n");
    const QString strDoc = MakeDocument("job.kvd", {{m_strSide1, m_strSide2}}, KVD_VERSION_1_0,
                                        "a" + Path("doc.log").toStdString());
    ASSERT_TRUE(Start(strDoc));
    QTest::mouseClick(&View()->GetSyncButton(), Qt::LeftButton);
    const QString strLog = QString::fromUtf8(ReadFile(Path("doc.log")));
    EXPECT_TRUE(strLog.startsWith(QStringLiteral(
        "<< Synchronize start 98/07/14 10:00:00 >>\r\nearlier run\r\n<< Synchronize start ")));
    EXPECT_FALSE(QFileInfo::exists(Path("global.log")));
}

// A document whose log setting names the document itself: the run says so in
// a box, leaves the document as it was and goes on without a log file.
TEST_F(SyncRun, LogFileThatIsTheDocumentIsRefusedInABox) {
    const QString strDoc = MakeDocument("job.kvd", {{m_strSide1, m_strSide2}}, KVD_VERSION_1_0,
                                        "w" + Path("job.kvd").toStdString());
    const QByteArray docBefore = ReadFile(strDoc);
    ASSERT_TRUE(Start(strDoc));
    CModalScript script;
    QString strShown;
    script.Then([&](QWidget* pBox) {
        auto* pMsg = qobject_cast<QMessageBox*>(pBox);
        ASSERT_NE(pMsg, nullptr);
        strShown = pMsg->text();
        kovrel::test::ClickMessageBoxButton(pBox, QStringLiteral("OK"));
    });
    QTest::mouseClick(&View()->GetSyncButton(), Qt::LeftButton);
    EXPECT_TRUE(strShown.contains(Path("job.kvd"))) << strShown.toStdString();
    EXPECT_TRUE(strShown.contains(QString::fromUtf8("開いているKVDファイルそのもの")));
    EXPECT_TRUE(strShown.contains(QString::fromUtf8("ログファイルなしで同期を続けます。")));
    EXPECT_EQ(ReadFile(strDoc), docBefore);
    EXPECT_EQ(ReadFile(m_strSide2 + "/a.txt"), "alpha"); // the run went on
    EXPECT_EQ(LogLines().filter(QStringLiteral("<< Synchronize completed ")).size(), 1);
}

TEST_F(SyncRun, EventsLetThroughRarelyOnALongRun) {
    for (int i = 0; i < 400; ++i)
        WriteFile(m_strSide1 + QStringLiteral("/many/f%1").arg(i), "x");
    const QString strDoc = MakeDocument("job.kvd", {{m_strSide1, m_strSide2}});
    ASSERT_TRUE(Start(strDoc));
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(&View()->GetSyncButton(), Qt::LeftButton);
    const qint64 nMs = timer.elapsed();
    EXPECT_EQ(m_pApp->LastRunStat().nCopied1to2, 402);
    // Once before the first item, then at most once per 50 ms.
    EXPECT_LE(m_pApp->LastRunEventPasses(), 2 + nMs / 50);
}

} // namespace
} // namespace kovrel::app::test
