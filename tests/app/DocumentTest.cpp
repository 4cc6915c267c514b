// The document's life with every box answered: new, open, save, save as, the
// version questions, foreign and broken files, the save question, the recent
// file list, and the file system's causes.
#include "AppTestSupport.h"

#include "app/CommandIds.h"
#include "app/FileErrors.h"
#include "document/SaveVersion.h"
#include "platform/PosixFileSystem.h"
#include "support/FaultFileSystem.h"

#include <QAction>

#include <cerrno>

namespace kovrel::app::test {
namespace {

class Document : public AppTest {
protected:
    // A change as the user makes it: a path typed into the blank row.
    void AddItem(const QString& strPath1) {
        View()->GetGrid().AppendItem(0, strPath1.toStdString());
        Doc().SetModifiedFlag();
    }
    QString Title() const { return Frame()->windowTitle(); }
    static QByteArray Header(const QByteArray& bytes) { return bytes.mid(1, 23); }
};

TEST_F(Document, NewIsUntitled) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(Title(), ui::U("無題 - Kovrel Duplicator"));
    EXPECT_FALSE(Doc().IsModified());
    EXPECT_EQ(ItemCount(), 0);
}

// The real save dialog: it proposes the name, adds the extension to a name
// typed without one, and replaces an existing file only after its question.
TEST_F(Document, SaveNewAsksForANameAndAddsTheExtension) {
    m_bRealDialogs = true;
    ASSERT_TRUE(Start());
    AddItem(QStringLiteral("/src/a"));
    {
        CModalScript script;
        script.ChooseFile(Path("list"));
        Frame()->GetAction(ID_FILE_SAVE)->trigger();
        EXPECT_TRUE(script.AllAnswered());
        EXPECT_EQ(script.ProposedNames(), QStringList{ui::U("無題.kvd")});
    }
    ASSERT_TRUE(QFileInfo::exists(Path("list.kvd")));
    EXPECT_EQ(Title(), ui::U("list.kvd - Kovrel Duplicator"));
    EXPECT_FALSE(Doc().IsModified());
    EXPECT_EQ(m_pApp->GetRecentFiles().Entries().value(0), Path("list.kvd"));

    CSyncItemList list;
    int nVersion = 0;
    ASSERT_EQ(LoadKvdFile(Path("list.kvd").toStdString(), list, nVersion).eStatus,
              KvdFileStatus::Ok);
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetAt(0)->lpszPath1.value_or(""), "/src/a");

    // Save As onto the file that is there: replaced after the dialog's question.
    AddItem(QStringLiteral("/src/b"));
    CModalScript replace;
    replace.ChooseFile(Path("list.kvd")).Answer(ui::IDYES);
    Frame()->GetAction(ID_FILE_SAVE_AS)->trigger();
    EXPECT_TRUE(replace.AllAnswered());
    EXPECT_TRUE(replace.Text(1).contains(QStringLiteral("list.kvd"))); // the replace question
    ASSERT_EQ(LoadKvdFile(Path("list.kvd").toStdString(), list, nVersion).eStatus,
              KvdFileStatus::Ok);
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_FALSE(Doc().IsModified());
}

TEST_F(Document, SaveAsKeepsTheOldFileAndTakesTheNewName) {
    const QString strOld = MakeDocument("old.kvd", {{"/a", "/b"}});
    ASSERT_TRUE(Start(strOld));
    const QByteArray before = ReadFile(strOld);
    AddItem(QStringLiteral("/c"));
    CDialogScript script;
    script.ChooseFile(Path("new.kvd"));
    Frame()->GetAction(ID_FILE_SAVE_AS)->trigger();
    EXPECT_EQ(script.ProposedNames(), QStringList{strOld});
    EXPECT_EQ(ReadFile(strOld), before);
    EXPECT_EQ(Title(), ui::U("new.kvd - Kovrel Duplicator"));
    CSyncItemList list;
    int nVersion = 0;
    ASSERT_EQ(LoadKvdFile(Path("new.kvd").toStdString(), list, nVersion).eStatus,
              KvdFileStatus::Ok);
    EXPECT_EQ(list.GetCount(), 2);
}

struct VERSIONCASE {
    const char* pszName;
    std::vector<int> answers; // to the boxes in turn
    bool bWritten;
    const char* pszHeader; // after the save, when written
    bool bAskedAgain;      // a second save asks once more
};

class VersionQuestions : public Document, public ::testing::WithParamInterface<VERSIONCASE> {};

TEST_P(VersionQuestions, DecideTheLayout) {
    const VERSIONCASE& c = GetParam();
    const QString strDoc = MakeDocument("v0.kvd", {{"/a", "/b"}}, 0);
    ASSERT_TRUE(Start(strDoc));
    EXPECT_EQ(View()->m_nFileVersion, 0);
    AddItem(QStringLiteral("/c"));
    const QByteArray before = ReadFile(strDoc);
    {
        CDialogScript script;
        for (int nAnswer : c.answers)
            script.Answer(nAnswer);
        EXPECT_EQ(Doc().DoFileSave(), c.bWritten);
        EXPECT_TRUE(script.AllAnswered());
        EXPECT_EQ(script.Unexpected(), 0);
        ASSERT_GE(script.Seen().size(), 1u);
        EXPECT_EQ(script.Text(0), ui::U(KVD_MSG_ASK_UPGRADE));
        EXPECT_EQ(script.Type(0), ui::MB_YESNOCANCEL | ui::MB_ICONQUESTION);
        if (c.answers.size() > 1) {
            EXPECT_EQ(script.Text(1), ui::U(KVD_MSG_ASK_KEEP_LAYOUT));
            EXPECT_EQ(script.Type(1), ui::MB_OKCANCEL | ui::MB_ICONQUESTION);
        }
    }
    if (!c.bWritten) {
        EXPECT_EQ(ReadFile(strDoc), before);
        EXPECT_TRUE(Doc().IsModified());
        return;
    }
    EXPECT_EQ(Header(ReadFile(strDoc)), QByteArray(c.pszHeader));
    EXPECT_FALSE(Doc().IsModified());
    CDialogScript again;
    again.Answer(ui::IDCANCEL);
    Doc().DoFileSave();
    EXPECT_EQ(again.Seen().size(), c.bAskedAgain ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, VersionQuestions,
    ::testing::Values(VERSIONCASE{"Yes", {ui::IDYES}, true, "KovrelDuplicator Ver1.0", false},
                      VERSIONCASE{
                          "NoThenOk", {ui::IDNO, ui::IDOK}, true, "KovrelDuplicator Ver0.0", true},
                      VERSIONCASE{"NoThenCancel", {ui::IDNO, ui::IDCANCEL}, false, "", true},
                      VERSIONCASE{"Cancel", {ui::IDCANCEL}, false, "", true}),
    [](const auto& p) { return std::string(p.param.pszName); });

TEST_F(Document, ForeignFileOpensEmptyAndSaveGoesThroughTheDialog) {
    const QString strForeign = Path("other.kvd");
    WriteFile(strForeign, QByteArray("\x17SomeoneElsesFormat 9.9 with data", 33));
    const QByteArray before = ReadFile(strForeign);
    ASSERT_TRUE(Start());
    {
        CDialogScript script;
        script.Answer(ui::IDOK);
        EXPECT_EQ(m_pApp->OpenDocumentFile(strForeign), OpenResult::Opened);
        ASSERT_EQ(script.Seen().size(), 1u);
        EXPECT_EQ(script.Title(0), QStringLiteral("Error"));
        EXPECT_EQ(script.Text(0), ui::U(KVD_MSG_FOREIGN));
    }
    EXPECT_EQ(Title(), ui::U("other.kvd - Kovrel Duplicator"));
    EXPECT_FALSE(Doc().IsModified());
    EXPECT_EQ(ItemCount(), 0);

    {
        // Save brings up the dialog with the name; cancelling leaves the file.
        CDialogScript script;
        script.CancelDialog();
        EXPECT_FALSE(Doc().DoFileSave());
        EXPECT_EQ(script.ProposedNames(), QStringList{strForeign});
        EXPECT_EQ(ReadFile(strForeign), before);
    }
    {
        // Confirmed in the dialog: written.
        CDialogScript script;
        script.ChooseFile(strForeign);
        EXPECT_TRUE(Doc().DoFileSave());
        EXPECT_EQ(ReadFile(strForeign).size(), 29);
    }
    CDialogScript none;
    AddItem(QStringLiteral("/x"));
    EXPECT_TRUE(Doc().DoFileSave()); // our own file now: saved in place
    EXPECT_EQ(none.Seen().size(), 0u);
}

// A document cut short, and one that a valid beginning makes look right but
// that goes on for gigabytes (sparse: no disk taken), which is refused unread.
TEST_F(Document, ArchiveErrorLeavesANewDocument) {
    const QString strGood = MakeDocument("good.kvd", {{"/a", "/b"}});
    QByteArray broken = ReadFile(strGood);
    broken.chop(6);
    WriteFile(Path("broken.kvd"), broken);
    WriteFile(Path("huge.kvd"), ReadFile(strGood));
    ASSERT_TRUE(QFile::resize(Path("huge.kvd"), qint64{4} << 30));
    ASSERT_TRUE(Start());
    for (const char* pszName : {"broken.kvd", "huge.kvd"}) {
        SCOPED_TRACE(pszName);
        ASSERT_EQ(m_pApp->OpenDocumentFile(strGood), OpenResult::Opened);
        ASSERT_EQ(ItemCount(), 1);
        CDialogScript script;
        script.Answer(ui::IDOK);
        EXPECT_EQ(m_pApp->OpenDocumentFile(Path(pszName)), OpenResult::Replaced);
        EXPECT_EQ(script.Text(0), ui::U("予期しないﾌｧｲﾙ形式です。"));
        EXPECT_EQ(Title(), ui::U("無題 - Kovrel Duplicator"));
        EXPECT_EQ(ItemCount(), 0);
    }
}

TEST_F(Document, ZeroByteFileIsAnEmptyDocument) {
    WriteFile(Path("empty.kvd"), QByteArray());
    CDialogScript script;
    ASSERT_TRUE(Start(Path("empty.kvd")));
    EXPECT_EQ(script.Seen().size(), 0u);
    EXPECT_EQ(Title(), ui::U("empty.kvd - Kovrel Duplicator"));
    EXPECT_EQ(ItemCount(), 0);
}

struct CAUSECASE {
    const char* pszName;
    std::function<QString(Document&)> fnMakePath;
    const char* pszMessage; // %1: the path
};

class OpenFailures : public Document, public ::testing::WithParamInterface<CAUSECASE> {};

TEST_P(OpenFailures, OneMessagePerCauseAndTheDocumentStays) {
    const QString strDoc = MakeDocument("keep.kvd", {{"/a", "/b"}});
    ASSERT_TRUE(Start(strDoc));
    const QString strBad = GetParam().fnMakePath(*this);
    CDialogScript script;
    script.Answer(ui::IDOK);
    EXPECT_EQ(m_pApp->OpenDocumentFile(strBad), OpenResult::Failed);
    EXPECT_EQ(script.Text(0), ui::U(GetParam().pszMessage).arg(strBad));
    EXPECT_EQ(Title(), ui::U("keep.kvd - Kovrel Duplicator"));
    EXPECT_EQ(ItemCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, OpenFailures,
    ::testing::Values(CAUSECASE{"Missing", [](Document& doc) { return doc.Path("none.kvd"); },
                                "%1 が見つかりません。"},
                      CAUSECASE{"Directory",
                                [](Document& doc) {
                                    QDir().mkpath(doc.Path("dir.kvd"));
                                    return doc.Path("dir.kvd");
                                },
                                "%1 はディレクトリです。"},
                      CAUSECASE{"NameTooLong",
                                [](Document& doc) {
                                    return doc.Path(QString(300, QLatin1Char('n')) + ".kvd");
                                },
                                "%1 はファイル名が長すぎます。"},
                      CAUSECASE{"ThroughAFile",
                                [](Document& doc) {
                                    AppTest::WriteFile(doc.Path("plain"), "x");
                                    return doc.Path("plain/x.kvd");
                                },
                                "%1 のパスが正しくありません。"}),
    [](const auto& p) { return std::string(p.param.pszName); });

TEST_F(Document, SaveIntoAMissingFolderSaysSoAndKeepsTheName) {
    ASSERT_TRUE(Start());
    AddItem(QStringLiteral("/a"));
    const QString strTarget = Path("gone/list.kvd");
    CDialogScript script;
    script.Answer(ui::IDOK);
    EXPECT_FALSE(Doc().DoSave(strTarget));
    EXPECT_EQ(script.Text(0), ui::U("%1 が見つかりません。").arg(strTarget));
    EXPECT_TRUE(Doc().IsModified());
    EXPECT_EQ(Title(), ui::U("無題 - Kovrel Duplicator"));
}

// Causes root cannot provoke on a real disk come from the fault-injecting file
// system: the message names the cause, and the document on disk stays whole.
struct FAULTCASE {
    const char* pszName;
    FileAction eAction;
    platform::FsOp op;
    int nErrno;
    const char* pszMessage;
};

class FileSystemFaults : public Document, public ::testing::WithParamInterface<FAULTCASE> {};

TEST_P(FileSystemFaults, ReportedWithTheirCause) {
    const FAULTCASE& c = GetParam();
    const QString strDoc = MakeDocument("doc.kvd", {{"/a", "/b"}});
    const QByteArray before = ReadFile(strDoc);
    ASSERT_TRUE(Start(strDoc));
    platform::PosixFileSystem disk;
    platform::FaultFileSystem faults(disk);
    faults.AddFault(c.op, "*", c.nErrno);
    Doc().SetFileSystem(&faults);
    CDialogScript script;
    script.Answer(ui::IDOK);
    if (c.eAction == FileAction::Save) {
        AddItem(QStringLiteral("/c"));
        EXPECT_FALSE(Doc().DoFileSave());
        EXPECT_TRUE(Doc().IsModified());
    } else {
        EXPECT_EQ(m_pApp->OpenDocumentFile(strDoc), OpenResult::Failed);
    }
    Doc().SetFileSystem(nullptr);
    EXPECT_EQ(script.Text(0), ui::U(c.pszMessage).arg(strDoc));
    EXPECT_EQ(ReadFile(strDoc), before);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"doc.kvd"}); // no leftovers
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FileSystemFaults,
    ::testing::Values(FAULTCASE{"DiskFull", FileAction::Save, platform::FsOp::WriteFile, ENOSPC,
                                "%1 を書き込むディスクの空き容量が足りません。"},
                      FAULTCASE{"ReadOnlyFileSystem", FileAction::Save, platform::FsOp::WriteFile,
                                EROFS, "%1 は読み込み専用のファイルシステムにあります。"},
                      FAULTCASE{"SaveDenied", FileAction::Save, platform::FsOp::WriteFile, EACCES,
                                "%1 へのアクセスが拒否されました。"},
                      FAULTCASE{"OpenDenied", FileAction::Open, platform::FsOp::ReadFile, EACCES,
                                "%1 へのアクセスが拒否されました。"},
                      FAULTCASE{"ReadError", FileAction::Open, platform::FsOp::ReadFile, EIO,
                                "%1 の読み書き中にハードウェアのエラーが発生しました。"}),
    [](const auto& p) { return std::string(p.param.pszName); });

struct FILEERRCASE {
    int nErrno;
    FileAction eAction;
    const char* pszExpected;
};

TEST(FileErrorMessages, EachCauseItsOwnText) {
    const FILEERRCASE cases[] = {
        {ENOENT, FileAction::Open, "/d/x.kvd が見つかりません。"},
        {EACCES, FileAction::Save, "/d/x.kvd へのアクセスが拒否されました。"},
        {EPERM, FileAction::Open, "/d/x.kvd へのアクセスが拒否されました。"},
        {ENOSPC, FileAction::Save, "/d/x.kvd を書き込むディスクの空き容量が足りません。"},
        {EISDIR, FileAction::Open, "/d/x.kvd はディレクトリです。"},
        {ENAMETOOLONG, FileAction::Save, "/d/x.kvd はファイル名が長すぎます。"},
        {EROFS, FileAction::Save, "/d/x.kvd は読み込み専用のファイルシステムにあります。"},
        {EIO, FileAction::Open, "/d/x.kvd の読み書き中にハードウェアのエラーが発生しました。"},
        {0, FileAction::Open, "ﾄﾞｷｭﾒﾝﾄを開くことに失敗しました。"},
        {0, FileAction::Save, "ﾄﾞｷｭﾒﾝﾄの保存に失敗しました。"},
        {EPROTO, FileAction::Save, "ﾄﾞｷｭﾒﾝﾄの保存に失敗しました。"},
    };
    for (const FILEERRCASE& c : cases)
        EXPECT_EQ(FileErrorMessage(c.eAction, c.nErrno, QStringLiteral("/d/x.kvd")),
                  ui::U(c.pszExpected))
            << c.nErrno;
}

// The save question before New, Open and Exit, with each answer.
struct ASKCASE {
    const char* pszName;
    int nCommand; // ID_FILE_NEW, ID_FILE_OPEN or ID_APP_EXIT
    int nAnswer;
    bool bSaved;  // the document's file holds the change afterwards
    bool bGoesOn; // the command was carried out
};

class SaveQuestion : public Document, public ::testing::WithParamInterface<ASKCASE> {};

TEST_P(SaveQuestion, AnsweredEachWay) {
    const ASKCASE& c = GetParam();
    const QString strDoc = MakeDocument("mine.kvd", {{"/a", "/b"}});
    const QString strOther = MakeDocument("other.kvd", {{"/1", "/2"}, {"/3", "/4"}, {"/5", "/6"}});
    ASSERT_TRUE(Start(strDoc));
    AddItem(QStringLiteral("/c"));
    CDialogScript script;
    if (c.nCommand == ID_FILE_OPEN)
        script.ChooseFile(strOther);
    script.Answer(c.nAnswer);
    if (c.nCommand == ID_APP_EXIT)
        Frame()->close();
    else
        Frame()->GetAction(c.nCommand)->trigger();
    EXPECT_TRUE(script.AllAnswered());
    EXPECT_EQ(script.Text(c.nCommand == ID_FILE_OPEN ? 1 : 0),
              ui::U("%1 への変更を保存しますか？").arg(strDoc));

    CSyncItemList saved;
    int nVersion = 0;
    ASSERT_EQ(LoadKvdFile(strDoc.toStdString(), saved, nVersion).eStatus, KvdFileStatus::Ok);
    EXPECT_EQ(saved.GetCount(), c.bSaved ? 2 : 1);
    switch (c.nCommand) {
    case ID_FILE_NEW:
        EXPECT_EQ(Title(), c.bGoesOn ? ui::U("無題 - Kovrel Duplicator")
                                     : ui::U("mine.kvd - Kovrel Duplicator"));
        break;
    case ID_FILE_OPEN:
        EXPECT_EQ(ItemCount(), c.bGoesOn ? 3 : 2);
        break;
    default:
        EXPECT_EQ(Frame()->isVisible(), !c.bGoesOn);
        break;
    }
    if (!c.bGoesOn) {
        EXPECT_TRUE(Doc().IsModified());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SaveQuestion,
    ::testing::Values(ASKCASE{"NewYes", ID_FILE_NEW, ui::IDYES, true, true},
                      ASKCASE{"NewNo", ID_FILE_NEW, ui::IDNO, false, true},
                      ASKCASE{"NewCancel", ID_FILE_NEW, ui::IDCANCEL, false, false},
                      ASKCASE{"OpenYes", ID_FILE_OPEN, ui::IDYES, true, true},
                      ASKCASE{"OpenNo", ID_FILE_OPEN, ui::IDNO, false, true},
                      ASKCASE{"OpenCancel", ID_FILE_OPEN, ui::IDCANCEL, false, false},
                      ASKCASE{"ExitYes", ID_APP_EXIT, ui::IDYES, true, true},
                      ASKCASE{"ExitNo", ID_APP_EXIT, ui::IDNO, false, true},
                      ASKCASE{"ExitCancel", ID_APP_EXIT, ui::IDCANCEL, false, false}),
    [](const auto& p) { return std::string(p.param.pszName); });

TEST_F(Document, RecentFilesNewestFirstAtMostFourAndStaleOnesGo) {
    ASSERT_TRUE(Start());
    QStringList astrDocs;
    for (int i = 1; i <= 5; ++i)
        astrDocs.append(MakeDocument(QStringLiteral("d%1.kvd").arg(i), {{"/a", "/b"}}));
    for (const QString& str : astrDocs)
        ASSERT_EQ(m_pApp->OpenDocumentFile(str), OpenResult::Opened);
    EXPECT_EQ(m_pApp->GetRecentFiles().Entries(),
              (QStringList{astrDocs[4], astrDocs[3], astrDocs[2], astrDocs[1]}));
    EXPECT_EQ(Frame()->RecentFileAction(0)->text(), QStringLiteral("&1 ") + astrDocs[4]);
    EXPECT_EQ(ProfileText(OpenProfile()->value("Recent File List/File1")), astrDocs[4]);

    // Choosing an entry opens it and moves it to the top.
    Frame()->RecentFileAction(2)->trigger();
    EXPECT_EQ(Title(), ui::U("d3.kvd - Kovrel Duplicator"));
    EXPECT_EQ(m_pApp->GetRecentFiles()[0], astrDocs[2]);

    // An entry that no longer opens is reported and removed.
    QFile::remove(astrDocs[1]);
    const int nStale = static_cast<int>(m_pApp->GetRecentFiles().Entries().indexOf(astrDocs[1]));
    CDialogScript script;
    script.Answer(ui::IDOK);
    Frame()->RecentFileAction(nStale)->trigger();
    EXPECT_EQ(script.Text(0), ui::U("%1 が見つかりません。").arg(astrDocs[1]));
    EXPECT_FALSE(m_pApp->GetRecentFiles().Entries().contains(astrDocs[1]));
    EXPECT_EQ(m_pApp->GetRecentFiles().GetSize(), 3);

    // One whose save question is answered Cancel stays.
    AddItem(QStringLiteral("/z"));
    CDialogScript cancel;
    cancel.Answer(ui::IDCANCEL);
    Frame()->RecentFileAction(1)->trigger();
    EXPECT_EQ(m_pApp->GetRecentFiles().GetSize(), 3);
}

TEST_F(Document, CommandLineDocumentThatFailsEndsTheProgram) {
    CDialogScript script;
    script.Answer(ui::IDOK);
    EXPECT_FALSE(Start(Path("missing.kvd"), 1));
    EXPECT_EQ(script.Text(0), ui::U("%1 が見つかりません。").arg(Path("missing.kvd")));
    EXPECT_EQ(m_pApp->GetMainFrame(), nullptr);
}

} // namespace
} // namespace kovrel::app::test
