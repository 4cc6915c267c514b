// The preview: the whole list as a dry run in the log window. It changes
// nothing, shows kovrel-sync --dry-run's very lines with the destructive ones
// marked and each item's counts, and "同期を実行" then runs the same list.
#include "AppTestSupport.h"

#include "app/CommandIds.h"
#include "dialogs/LogListBox.h"
#include "document/SyncOptions.h"

#include <QAction>
#include <QDirIterator>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QToolBar>

#include <map>

namespace kovrel::app::test {
namespace {

using dialogs::LogLineMark;

class Preview : public AppTest {
protected:
    // Under strBase: a new copy, an overwrite, a deletion, a new directory
    // with a file, and a directory removed with its file.
    void Layout(const QString& strBase) {
        WriteFile(strBase + "/1/new.txt", "new");
        WriteFile(strBase + "/1/both.txt", "newer");
        WriteFile(strBase + "/2/both.txt", "older");
        SetAge(strBase + "/2/both.txt", 3600);
        WriteFile(strBase + "/2/old.txt", "old");
        WriteFile(strBase + "/1/d/f.txt", "f");
        WriteFile(strBase + "/2/gone/g.txt", "g");
    }
    static void SetAge(const QString& strPath, int nSeconds) {
        QFile file(strPath);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-nSeconds),
                                     QFileDevice::FileModificationTime));
    }
    // A document with one item over strBase's two sides; missing on side 1
    // means deleted on side 2.
    QString Document(const QString& strName, const QString& strBase) {
        CSyncItemList list;
        SYNCITEM* pItem = list.SetAt(-1, (strBase + "/1").toUtf8().constData(),
                                     (strBase + "/2").toUtf8().constData(), nullptr);
        EXPECT_NE(pItem, nullptr);
        if (pItem)
            pItem->dwOption = SIO_NOFILE1_DELETE;
        const QString strPath = Path(strName);
        EXPECT_EQ(SaveKvdFile(strPath.toStdString(), list, KVD_VERSION_1_0).eStatus,
                  KvdFileStatus::Ok);
        return strPath;
    }
    // Every entry below strDir by relative path, with the contents of files.
    static std::map<QString, QByteArray> Tree(const QString& strDir) {
        std::map<QString, QByteArray> tree;
        QDirIterator it(strDir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString strPath = it.next();
            const QFileInfo info(strPath);
            tree[QDir(strDir).relativeFilePath(strPath)] =
                info.isDir() ? QByteArray("<dir>")
                             : ReadFile(strPath) + " " +
                                   QByteArray::number(info.lastModified().toMSecsSinceEpoch());
        }
        return tree;
    }
    QStringList LogLines() const {
        QStringList astr;
        for (int i = 0; i < m_pApp->m_dlgLog->GetCount(); ++i)
            astr.append(m_pApp->m_dlgLog->GetText(i));
        return astr;
    }
    // The start and completed lines carry the time of day.
    static QStringList WithoutTimes(QStringList astr) {
        static const QRegularExpression re(
            QStringLiteral("\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d"));
        for (QString& str : astr)
            str.replace(re, QStringLiteral("<time>"));
        return astr;
    }
    void PressPreview() { Frame()->GetAction(ID_PREVIEW)->trigger(); }
};

// The preview asks the deletion guard's question as the run would; after a No
// it shows the item passed over, after a Yes what the run would delete.
TEST_F(Preview, AsksTheDeletionGuardsQuestion) {
    WriteFile(Path("m/2/a.txt"), "a");
    WriteFile(Path("m/2/b.txt"), "b");
    WriteFile(Path("m/2/sub/c.txt"), "c");
    QDir().mkpath(Path("m/1"));
    ASSERT_TRUE(Start(Document("job.kvd", Path("m"))));
    const auto before = Tree(Path("m"));
    const QString strQuestion =
        ui::U("'%1' の 3 個のファイルのうち 3 個を削除します。\nよろしいですか？").arg(Path("m/2"));
    {
        CModalScript script;
        script.Answer(ui::IDNO);
        PressPreview();
        ASSERT_EQ(script.Seen().size(), 1u);
        EXPECT_EQ(script.Text(0), strQuestion);
    }
    EXPECT_TRUE(
        LogLines().contains("Item skipped (mass delete) " + Path("m/1") + " <-> " + Path("m/2")));
    EXPECT_EQ(m_pApp->m_dlgLog->CountsText(),
              ui::U("項目 1: コピー 0（うち上書き 0）、削除 0、フォルダ作成 0、フォルダ削除 0"
                    "（File2側 3 個中 3 個を削除）"));
    {
        CModalScript script;
        script.Answer(ui::IDYES);
        PressPreview();
        ASSERT_EQ(script.Seen().size(), 1u);
        EXPECT_EQ(script.Text(0), strQuestion);
    }
    EXPECT_TRUE(LogLines().contains(Path("m/2/a.txt") + " Deleted"));
    EXPECT_EQ(Tree(Path("m")), before);
}

TEST_F(Preview, ChangesNothingShowsTheDryRunsLinesAndMarksWhatDestroys) {
    Layout(Path("t"));
    {
        auto profile = OpenProfile();
        profile->setValue("Env/LogFile", Path("run.log"));
        profile->setValue("Env/LogAppend", 0);
    }
    const QString strDoc = Document("job.kvd", Path("t"));
    ASSERT_TRUE(Start(strDoc));
    const auto before = Tree(Path("t"));
    PressPreview();

    // Nothing on disk changed, no log file.
    EXPECT_EQ(Tree(Path("t")), before);
    EXPECT_FALSE(QFileInfo::exists(Path("run.log")));

    // The lines are kovrel-sync --dry-run's for the same document.
    QProcess cli;
    cli.start(QStringLiteral(KOVREL_BINARY_DIR "/src/cli/kovrel-sync"),
              {QStringLiteral("--dry-run"), strDoc});
    ASSERT_TRUE(cli.waitForFinished(30000));
    QStringList astrCli = QString::fromUtf8(cli.readAllStandardOutput()).split('\n');
    if (!astrCli.isEmpty() && astrCli.back().isEmpty())
        astrCli.removeLast();
    const QStringList astr = LogLines();
    EXPECT_EQ(WithoutTimes(astr), WithoutTimes(astrCli));
    EXPECT_EQ(Tree(Path("t")), before);

    // Marked: exactly the deletions (files and directories) and the overwrite.
    const QString s1 = Path("t/1"), s2 = Path("t/2");
    const std::map<QString, LogLineMark> marked = {
        {s1 + "/both.txt -> " + s2 + "/both.txt", LogLineMark::Overwrite},
        {s2 + "/old.txt Deleted", LogLineMark::Delete},
        {s2 + "/gone/g.txt Deleted", LogLineMark::Delete},
        {"Directory " + s2 + "/gone Removed", LogLineMark::Delete},
    };
    int nMarked = 0;
    for (int i = 0; i < astr.size(); ++i) {
        const auto it = marked.find(astr[i]);
        const LogLineMark expected = it == marked.end() ? LogLineMark::None : it->second;
        EXPECT_EQ(m_pApp->m_dlgLog->ListBox()->GetMark(i), expected) << astr[i].toStdString();
        nMarked += it != marked.end();
    }
    EXPECT_EQ(nMarked, 4);
    EXPECT_TRUE(astr.contains(s1 + "/new.txt -> " + s2 + "/new.txt")); // a new copy, unmarked

    // The preview's own window: title, counts, the two buttons.
    dialogs::CSyncLogDlg& dlg = *m_pApp->m_dlgLog;
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(dlg.windowTitle().contains(ui::U("プレビュー")));
    EXPECT_EQ(dlg.CountsText(),
              ui::U("項目 1: コピー 3（うち上書き 1）、削除 2、フォルダ作成 1、フォルダ削除 1"
                    "（File2側 3 個中 2 個を削除）"));
    EXPECT_TRUE(dlg.RunButton()->isVisible());
    EXPECT_TRUE(dlg.CloseButton()->isVisible());
    EXPECT_FALSE(dlg.Button()->isVisible());
    EXPECT_FALSE(dlg.IsRunShown());

    // 閉じる starts nothing.
    QTest::mouseClick(dlg.CloseButton(), Qt::LeftButton);
    QTest::qWait(20);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(Tree(Path("t")), before);
}

TEST_F(Preview, RunFromThePreviewMakesWhatAPlainRunMakes) {
    Layout(Path("a"));
    Layout(Path("b"));
    const QString strDocA = Document("a.kvd", Path("a"));
    const QString strDocB = Document("b.kvd", Path("b"));
    ASSERT_TRUE(Start(strDocB));
    // The plain run of b, through the Synchronize button.
    QTest::mouseClick(&View()->GetSyncButton(), Qt::LeftButton);
    const auto afterPlain = Tree(Path("b"));
    ASSERT_NE(afterPlain, Tree(Path("a")));

    ASSERT_EQ(m_pApp->OpenDocumentFile(strDocA), OpenResult::Opened);
    PressPreview();
    dialogs::CSyncLogDlg& dlg = *m_pApp->m_dlgLog;
    ASSERT_TRUE(dlg.RunButton()->isVisible());
    bool bFinished = false;
    QObject::connect(m_pApp.get(), &CKovrelApp::runFinished, [&] { bFinished = true; });
    QTest::mouseClick(dlg.RunButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return bFinished; }));

    // Byte for byte what the plain run made of the same tree (times aside:
    // the copies were made at different moments).
    auto after = Tree(Path("a"));
    auto plain = afterPlain;
    for (auto* pTree : {&after, &plain})
        for (auto& [strKey, data] : *pTree)
            data = data.left(data.lastIndexOf(' ') < 0 ? data.size() : data.lastIndexOf(' '));
    EXPECT_EQ(after, plain);
    // An ordinary run in the ordinary window.
    EXPECT_FALSE(dlg.windowTitle().contains(ui::U("プレビュー")));
    EXPECT_TRUE(dlg.Button()->isVisible());
    EXPECT_FALSE(dlg.RunButton()->isVisible());
    EXPECT_EQ(dlg.GetButtonText(), QStringLiteral("OK"));
    EXPECT_TRUE(LogLines().contains(Path("a/2/old.txt") + " Deleted"));
}

// An item that remembers its last run: the desktop program's run records it,
// passes a deletion on, and its preview decides the same way without writing
// the record.
TEST_F(Preview, RememberedItemPreviewReadsTheStateTheRunWritesIt) {
    const QByteArray oldStateHome = qgetenv("XDG_STATE_HOME");
    const bool bHadStateHome = qEnvironmentVariableIsSet("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", Path("state").toUtf8());
    struct Restore {
        QByteArray value;
        bool bSet;
        ~Restore() {
            if (bSet)
                qputenv("XDG_STATE_HOME", value);
            else
                qunsetenv("XDG_STATE_HOME");
        }
    } restore{oldStateHome, bHadStateHome};
    OpenProfile()->setValue("Env/UseTrash", 0);
    WriteFile(Path("t/1/a.txt"), "a");
    WriteFile(Path("t/1/b.txt"), "b");
    ASSERT_TRUE(QDir().mkpath(Path("t/2")));
    CSyncItemList list;
    SYNCITEM* pItem =
        list.SetAt(-1, Path("t/1").toUtf8().constData(), Path("t/2").toUtf8().constData(), nullptr);
    ASSERT_NE(pItem, nullptr);
    pItem->dwOption = SIO_REMEMBER_STATE;
    const QString strDoc = Path("job.kvd");
    ASSERT_EQ(SaveKvdFile(strDoc.toStdString(), list, KVD_VERSION_1_0).eStatus, KvdFileStatus::Ok);
    ASSERT_TRUE(Start(strDoc));
    QTest::mouseClick(&View()->GetSyncButton(), Qt::LeftButton);
    const QString strDb = Path("state/kovrel-duplicator/state.db");
    ASSERT_TRUE(QFileInfo::exists(strDb));
    ASSERT_EQ(ReadFile(Path("t/2/a.txt")), "a");

    ASSERT_TRUE(QFile::remove(Path("t/2/a.txt")));
    const QByteArray dbBefore = ReadFile(strDb);
    const auto before = Tree(Path("t"));
    PressPreview();
    EXPECT_TRUE(LogLines().contains(Path("t/1/a.txt") + " Deleted"))
        << LogLines().join('\n').toStdString();
    EXPECT_EQ(Tree(Path("t")), before);
    EXPECT_EQ(ReadFile(strDb), dbBefore);

    QTest::mouseClick(&View()->GetSyncButton(), Qt::LeftButton);
    EXPECT_TRUE(LogLines().contains(Path("t/1/a.txt") + " Deleted"));
    EXPECT_FALSE(QFileInfo::exists(Path("t/1/a.txt")));
    EXPECT_EQ(ReadFile(Path("t/2/b.txt")), "b");
}

TEST_F(Preview, SecondPreviewReplacesTheFirstAndARunRefusesIt) {
    Layout(Path("t"));
    ASSERT_TRUE(Start(Document("job.kvd", Path("t"))));
    // In the menu beside the list's commands and on the toolbar, under its own key.
    QAction* pPreview = Frame()->GetAction(ID_PREVIEW);
    EXPECT_TRUE(Frame()->findChild<QToolBar*>()->actions().contains(pPreview));
    EXPECT_EQ(pPreview->shortcut(), QKeySequence(Qt::Key_F7));
    for (QAction* pAction : Frame()->findChildren<QAction*>()) {
        if (pAction != pPreview) {
            EXPECT_FALSE(pAction->shortcuts().contains(QKeySequence(Qt::Key_F7)))
                << pAction->text().toStdString();
        }
    }
    for (const grid::VIEWCOMMAND& cmd : grid::CKovrelView::Commands())
        for (const QKeyCombination key : cmd.def.aKeys)
            EXPECT_NE(QKeySequence(key), QKeySequence(Qt::Key_F7));

    PressPreview();
    const QStringList astrFirst = LogLines();
    const QString strCounts = m_pApp->m_dlgLog->CountsText();
    PressPreview();
    EXPECT_EQ(LogLines().size(), astrFirst.size());
    EXPECT_EQ(m_pApp->m_dlgLog->CountsText(), strCounts); // one item, once

    // During a run the preview is refused: its command is off and calling it
    // adds nothing to the run's window.
    WriteFile(Path("w/1/x.txt"), "x");
    QDir().mkpath(Path("w/2"));
    const QString strQuestion =
        MakeDocument("q.kvd", {{Path("w/1") + "/*.txt", Path("w/2") + "/*.txt"}});
    ASSERT_EQ(m_pApp->OpenDocumentFile(strQuestion), OpenResult::Opened);
    bool bChecked = false;
    CModalScript script;
    script.Then([&](QWidget* pBox) {
        EXPECT_FALSE(pPreview->isEnabled());
        const int nLines = m_pApp->m_dlgLog->GetCount();
        m_pApp->OnPreview();
        EXPECT_EQ(m_pApp->m_dlgLog->GetCount(), nLines);
        EXPECT_FALSE(m_pApp->m_dlgLog->IsPreview());
        bChecked = true;
        kovrel::test::ClickMessageBoxButton(pBox, ui::MessageBoxButtonText(ui::IDNO));
    });
    QTest::mouseClick(&View()->GetSyncButton(), Qt::LeftButton);
    EXPECT_TRUE(bChecked);
    EXPECT_TRUE(pPreview->isEnabled());
}

// F7 in the main window previews; the run's questions are asked in the
// preview, its line follows the answer, and "同期を実行" asks them again.
TEST_F(Preview, AsksTheRunsQuestionsAndTheRunAsksThemAgain) {
    WriteFile(Path("w/1/x.txt"), "x");
    QDir().mkpath(Path("w/2"));
    const QString strWild1 = Path("w/1") + "/*.txt", strWild2 = Path("w/2") + "/*.txt";
    ASSERT_TRUE(Start(MakeDocument("q.kvd", {{strWild1, strWild2}, {Path("w/1"), Path("w/2")}})));
    const QString strQuestion = ui::U("両方にワイルドカードを指定することはできません。\n'%1' <-> "
                                      "'%2'\n無視して継続しますか？")
                                    .arg(strWild1, strWild2);
    Frame()->activateWindow();
    {
        CModalScript script;
        script.Answer(ui::IDYES);
        QTest::keyClick(Frame(), Qt::Key_F7);
        ASSERT_EQ(script.Seen().size(), 1u);
        EXPECT_EQ(script.Text(0), strQuestion);
    }
    dialogs::CSyncLogDlg& dlg = *m_pApp->m_dlgLog;
    ASSERT_TRUE(dlg.IsPreview());
    // Yes went on: the second item's copy is in the preview, not on disk.
    EXPECT_TRUE(LogLines().contains(Path("w/1/x.txt") + " -> " + Path("w/2/x.txt")));
    EXPECT_FALSE(QFileInfo::exists(Path("w/2/x.txt")));
    EXPECT_EQ(dlg.CountsText(),
              ui::U("項目 1: コピー 0（うち上書き 0）、削除 0、フォルダ作成 0、フォルダ削除 0\n"
                    "項目 2: コピー 1（うち上書き 0）、削除 0、フォルダ作成 0、フォルダ削除 0"));

    CModalScript script;
    script.Answer(ui::IDYES);
    bool bFinished = false;
    QObject::connect(m_pApp.get(), &CKovrelApp::runFinished, [&] { bFinished = true; });
    QTest::mouseClick(dlg.RunButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return bFinished; }));
    ASSERT_EQ(script.Seen().size(), 1u);
    EXPECT_EQ(script.Text(0), strQuestion);
    EXPECT_EQ(ReadFile(Path("w/2/x.txt")), QByteArray("x"));
    EXPECT_FALSE(dlg.IsPreview());
}

// Where no trash can be used (here the home trash's place is taken by a file),
// the preview asks the run's question about deleting for good, and after its
// default No shows kovrel-sync --dry-run's very lines, the deletions left.
TEST_F(Preview, AsksTheNoTrashQuestionAsTheRunWould) {
    Layout(Path("n"));
    WriteFile(Path("blocker"), "a file where the data directory should be");
    // The program and kovrel-sync find the home trash here; put back afterwards.
    struct ScopedDataHome {
        QByteArray old = qgetenv("XDG_DATA_HOME");
        bool bHad = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        ~ScopedDataHome() {
            if (bHad)
                qputenv("XDG_DATA_HOME", old);
            else
                qunsetenv("XDG_DATA_HOME");
        }
    } restore;
    qputenv("XDG_DATA_HOME", QFile::encodeName(Path("blocker/share")));
    const QString strDoc = Document("nt.kvd", Path("n"));
    ASSERT_TRUE(Start(strDoc));
    const auto before = Tree(Path("n"));
    {
        CModalScript script;
        script.Then([](QWidget* pBox) { QTest::keyClick(pBox, Qt::Key_Return); });
        PressPreview();
        ASSERT_EQ(script.Seen().size(), 1u);
        EXPECT_TRUE(script.Text(0).contains(ui::U("ではごみ箱を使えません。")))
            << script.Text(0).toStdString();
    }
    EXPECT_EQ(Tree(Path("n")), before);

    QProcess cli;
    cli.start(QStringLiteral(KOVREL_BINARY_DIR "/src/cli/kovrel-sync"),
              {QStringLiteral("--dry-run"), strDoc});
    ASSERT_TRUE(cli.waitForFinished(30000));
    QStringList astrCli = QString::fromUtf8(cli.readAllStandardOutput()).split('\n');
    if (!astrCli.isEmpty() && astrCli.back().isEmpty())
        astrCli.removeLast();
    const QStringList astr = LogLines();
    EXPECT_EQ(WithoutTimes(astr), WithoutTimes(astrCli));
    EXPECT_TRUE(astr.contains("Delete skipped (no trash) " + Path("n/2/old.txt")));
    EXPECT_FALSE(astr.contains(Path("n/2/old.txt") + " Deleted"));
    EXPECT_EQ(Tree(Path("n")), before);
}

} // namespace
} // namespace kovrel::app::test
