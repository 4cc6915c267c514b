// The run in the program: unattended from the command line, questions answered
// by the test, Cancel from the log window, what is refused while it runs, and a
// close request during a run.
#include "AppTestSupport.h"

#include "app/CommandIds.h"

#include <QAction>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>

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
    QString WildQuestion() const { return U(kBothWild).arg(WildItem().first, WildItem().second); }
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
    EXPECT_TRUE(strLog.contains(U("File1 -> File2 コピーファイル数 : 2\r\n")));
    EXPECT_EQ(m_pApp->m_nAutoSync, 2);
    EXPECT_EQ(sounds.m_astrPlayed, std::vector<std::string>{"information"});
}

TEST_F(SyncRun, UnattendedEndsAlsoAfterNo) {
    CSoundRecorder sounds;
    const QString strDoc = MakeDocument("job.kvd", {WildItem(), {m_strSide1, m_strSide2}});
    CModalScript script;
    script.Answer(IDNO);
    ASSERT_TRUE(Start(strDoc, 1));
    ASSERT_TRUE(WaitFor([this] { return !Frame()->isVisible(); }));
    EXPECT_EQ(script.Text(0), WildQuestion());
    EXPECT_TRUE(LogLines().contains(U(kCanceled)));
    EXPECT_FALSE(QFileInfo::exists(m_strSide2 + "/a.txt")); // the second item never ran
    EXPECT_EQ(sounds.m_astrPlayed, std::vector<std::string>{"warning"});
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
    EXPECT_TRUE(LogLines().contains(U(kCanceled)));
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
    script.Answer(IDYES);
    QTest::mouseClick(&View()->GetSyncButton(), Qt::LeftButton);
    EXPECT_EQ(script.Text(0), WildQuestion());
    const QStringList astr = LogLines();
    EXPECT_TRUE(astr.contains(U("File1 -> File2 コピーファイル数 : 2")));
    EXPECT_EQ(astr.value(astr.size() - 1), U("　　　　　 その他 : 1"));
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
        EXPECT_FALSE(View()->IsCommandEnabled(ID_ITEM_INSERT));
        EXPECT_FALSE(View()->IsCommandEnabled(ID_ITEM_DELETE));
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
        kovrel::test::ClickMessageBoxButton(pBox, MessageBoxButtonText(IDYES));
    });
    QTest::mouseClick(&View()->GetSyncButton(), Qt::LeftButton);
    EXPECT_TRUE(bChecked);
    const QStringList astr = LogLines();
    EXPECT_TRUE(astr.contains(U(kCanceled)));
    EXPECT_FALSE(astr.contains(QStringLiteral("<< Synchronize completed"), Qt::CaseSensitive));
    EXPECT_LE(m_pApp->LastRunStat().nCopied1to2, 1); // stopped after the pair it was at
    EXPECT_TRUE(Frame()->GetAction(ID_FILE_NEW)->isEnabled());
    EXPECT_TRUE(View()->IsCommandEnabled(ID_ITEM_INSERT));
}

TEST_F(SyncRun, CloseDuringARunCancelsItThenCloses) {
    const QString strDoc = MakeDocument("job.kvd", {WildItem(), {m_strSide1, m_strSide2}});
    ASSERT_TRUE(Start(strDoc));
    CModalScript script;
    script.Then([&](QWidget* pBox) {
        EXPECT_FALSE(Frame()->close()); // refused for now
        EXPECT_TRUE(Frame()->isVisible());
        kovrel::test::ClickMessageBoxButton(pBox, MessageBoxButtonText(IDYES));
    });
    QTest::mouseClick(&View()->GetSyncButton(), Qt::LeftButton);
    EXPECT_TRUE(LogLines().contains(U(kCanceled)));
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
