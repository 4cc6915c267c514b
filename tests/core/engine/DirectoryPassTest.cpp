// The walk over two trees: one-sided directories created, removed or walked,
// subdirectories left out, names that differ in case, files beside same-named
// directories, leftovers of interrupted copies, and a second run with nothing to do.
#include <string>
#include <vector>

#include "EngineFixture.h"
#include "support/FaultFileSystem.h"

namespace kovrel::test {
namespace {

using Lines = std::vector<std::string>;
using platform::FsOp;

class DirectoryPassTest : public EngineTest {};

// A directory on side 1 only: created on side 2, filled, and only then given the
// model's permission bits (here read-only) and times.
TEST_F(DirectoryPassTest, OneSidedDirectoryIsCreatedFilledThenGivenItsModelsAttributes) {
    Dir("1/sub");
    File("1/sub/a", "A", 1);
    File("1/sub/b", "B", 2, 0444);
    Dir("1/sub/deep");
    File("1/sub/deep/c", "C", 3);
    m_tmp.SetMode("1/sub/deep", 0500);
    m_tmp.SetTimes("1/sub/deep", kT0, 0, kT0 + 40, 40);
    m_tmp.SetMode("1/sub", 0555);
    m_tmp.SetTimes("1/sub", kT0, 0, kT0 + 44, 44);

    EXPECT_EQ(RunItem(m_str1, m_str2), RunResult::Completed);
    const std::string s1 = m_str1 + "/sub";
    const std::string s2 = m_str2 + "/sub";
    EXPECT_EQ(Actions(), (Lines{"Directory " + s2 + " created", s1 + "/a -> " + s2 + "/a",
                                s1 + "/b -> " + s2 + "/b", "Directory " + s2 + "/deep created",
                                s1 + "/deep/c -> " + s2 + "/deep/c"}));
    EXPECT_EQ(m_stat.nCopied1to2, 3);
    // Directory times included: the new tree is the old one.
    EXPECT_EQ(Snapshot("2", true), Snapshot("1", true));
    EXPECT_EQ(Mode("2/sub"), 0555u);
    EXPECT_EQ(WriteTime("2/sub/deep").tv_nsec, 40);
}

TEST_F(DirectoryPassTest, OneSidedDirectoryOnSide2IsCreatedOnSide1) {
    Dir("2/new");
    File("2/new/x", "X", 1);
    RunItem(m_str1, m_str2);
    EXPECT_EQ(Actions(), (Lines{"Directory " + m_str1 + "/new created",
                                m_str1 + "/new/x <- " + m_str2 + "/new/x"}));
    EXPECT_EQ(m_stat.nCopied2to1, 1);
    EXPECT_EQ(Snapshot("1", true), Snapshot("2", true));
}

// Removed whole: entries in listing order, a subdirectory emptied and removed
// when it comes, read-only files included, then the directory itself.
TEST_F(DirectoryPassTest, OneSidedDirectoryIsRemovedWhole) {
    Dir("2/old");
    File("2/old/a", "", 1);
    Dir("2/old/m");
    File("2/old/m/inner", "", 1, 0444);
    File("2/old/z", "", 1);
    File("2/keep", "", 1);
    File("1/keep", "", 1);
    EXPECT_EQ(RunItem(m_str1, m_str2, SIO_NOFILE1_DELETE), RunResult::Completed);
    const std::string o = m_str2 + "/old";
    EXPECT_EQ(Actions(),
              (Lines{o + "/a Deleted", o + "/m/inner Deleted", "Directory " + o + "/m Removed",
                     o + "/z Deleted", "Directory " + o + " Removed"}));
    EXPECT_EQ(m_stat.nDeleted2, 3);
    EXPECT_FALSE(Exists("2/old"));
    EXPECT_TRUE(Exists("2/keep"));
}

TEST_F(DirectoryPassTest, ReadOnlyDirectoryIsRemovedOnlyWhenForced) {
    struct Case {
        std::uint32_t dwOption;
        bool bRemoved;
    };
    for (const Case& c :
         {Case{SIO_NOFILE2_DELETE, false}, Case{SIO_NOFILE2_DELETE | SIO_FORCE_RO2, false},
          Case{SIO_NOFILE2_DELETE | SIO_FORCE_RO1, true}}) {
        SCOPED_TRACE(c.dwOption);
        Dir("1/ro");
        File("1/ro/f", "", 1, 0444);
        m_tmp.SetMode("1/ro", 0555);
        RunItem(m_str1, m_str2, c.dwOption);
        const std::string d = m_str1 + "/ro";
        if (c.bRemoved) {
            EXPECT_EQ(Actions(), (Lines{d + "/f Deleted", "Directory " + d + " Removed"}));
            EXPECT_FALSE(Exists("1/ro"));
        } else {
            EXPECT_EQ(Actions(), Lines{"Directory remove skipped " + d});
            EXPECT_TRUE(Exists("1/ro/f"));
            m_tmp.SetMode("1/ro", 0755);
            ::unlink(P("1/ro/f").c_str());
            ::rmdir(P("1/ro").c_str());
        }
    }
}

// An exclusion keeps a one-sided directory from going whole: its selected files
// go one by one, the excluded ones and the directory stay.
TEST_F(DirectoryPassTest, ExclusionsMakeARemovalWalkTheDirectory) {
    Dir("2/old");
    File("2/old/a.txt", "", 1);
    File("2/old/b.bak", "", 1);
    Dir("2/old/sub");
    File("2/old/sub/c.txt", "", 1);
    EXPECT_EQ(RunItem(m_str1, m_str2, SIO_NOFILE1_DELETE, "!*.bak"), RunResult::Completed);
    const std::string o = m_str2 + "/old";
    EXPECT_EQ(Actions(), (Lines{o + "/a.txt Deleted", o + "/sub/c.txt Deleted"}));
    EXPECT_TRUE(Exists("2/old/b.bak"));
    EXPECT_TRUE(Exists("2/old/sub"));
    EXPECT_EQ(m_stat.nDeleted2, 2);
}

// Without subdirectories only the top pair is walked; one-sided subdirectories
// are neither created nor removed.
TEST_F(DirectoryPassTest, NoSubdirsLeavesSubdirectoriesAlone) {
    Dir("1/only1");
    File("1/only1/f", "", 1);
    Dir("2/only2");
    Dir("1/both");
    Dir("2/both");
    File("1/both/g", "", 1);
    File("1/top", "", 1);
    RunItem(m_str1, m_str2, SIO_NO_SUBDIRS | SIO_NOFILE1_DELETE);
    EXPECT_EQ(Actions(), Lines{m_str1 + "/top -> " + m_str2 + "/top"});
    EXPECT_FALSE(Exists("2/only1"));
    EXPECT_TRUE(Exists("2/only2"));
    EXPECT_FALSE(Exists("2/both/g"));
}

TEST_F(DirectoryPassTest, FileBesideSameNamedDirectoryIsAskedAbout) {
    struct Case {
        bool bTop;
        bool bYes;
    };
    for (const Case c :
         {Case{true, true}, Case{true, false}, Case{false, true}, Case{false, false}}) {
        SCOPED_TRACE(std::to_string(c.bTop) + std::to_string(c.bYes));
        const std::string strCase = std::string("c") + (c.bTop ? "t" : "b") + (c.bYes ? "y" : "n");
        Dir(strCase);
        Dir(strCase + "/1");
        Dir(strCase + "/2");
        File(strCase + "/1/x", "file", 1);
        Dir(strCase + "/2/x");
        File(strCase + "/1/y", "after", 1);
        m_host.m_yesNoAnswers = {c.bYes};
        const std::string p1 = P(strCase + "/1/x");
        const std::string p2 = P(strCase + "/2/x");
        CSyncItemList list;
        if (c.bTop)
            AddItem(list, p1, p2);
        else
            AddItem(list, P(strCase + "/1"), P(strCase + "/2"));
        // An item after the question, to see whether the run went on.
        AddItem(list, P(strCase + "/1/y"), P(strCase + "/2/y"));
        const RunResult result = RunList(list);
        ASSERT_EQ(m_host.m_questions.size(), 1u);
        EXPECT_EQ(m_host.m_questions[0],
                  (c.bTop ? "ファイルとディレクトリの同期を行おうとしています。\n'"
                          : "同名のファイルとディレクトリが存在します。\n'") +
                      p1 + "' <-> '" + p2 + "'\n無視して継続しますか？");
        EXPECT_EQ(m_stat.nOtherErrors, 1);
        const std::string strY = P(strCase + "/1/y") + " -> " + P(strCase + "/2/y");
        if (c.bYes) {
            EXPECT_EQ(result, RunResult::CompletedWithErrors);
            // Below the top the walk went on with "y" too, then the second item
            // found it equal.
            EXPECT_EQ(Actions(), Lines{strY});
            EXPECT_EQ(m_host.m_lines.back(), "　　　　　 その他 : 1");
        } else {
            EXPECT_EQ(result, RunResult::Stopped);
            EXPECT_EQ(Actions(), Lines{});
            EXPECT_EQ(m_host.m_lines[1], kCanceledLine);
            EXPECT_FALSE(Exists(strCase + "/2/y"));
        }
    }
}

// A side-1 file left out by a pattern does not hide a same-named directory on
// side 2 that the patterns select: that pair is still met, and asked about.
TEST_F(DirectoryPassTest, ExcludedFileBesideSelectedDirectoryIsStillMet) {
    File("1/obj", "", 1);
    Dir("2/obj");
    m_host.m_yesNoAnswers = {true};
    RunItem(m_str1, m_str2, 0, "!obj");
    ASSERT_EQ(m_host.m_questions.size(), 1u);
    EXPECT_NE(m_host.m_questions[0].find("'" + m_str1 + "/obj' <-> '" + m_str2 + "/obj'"),
              std::string::npos);
}

// Names that differ only in ASCII case pair up; each side keeps its own name.
TEST_F(DirectoryPassTest, NamesDifferingInCasePairUp) {
    File("1/Readme.TXT", "new", 20);
    File("2/README.txt", "old", 10);
    Dir("1/Docs");
    Dir("2/docs");
    File("2/docs/Guide", "g", 5);
    File("1/Docs/guide", "G", 6);
    RunItem(m_str1, m_str2);
    EXPECT_EQ(Actions(), (Lines{m_str1 + "/Docs/guide -> " + m_str2 + "/docs/Guide",
                                m_str1 + "/Readme.TXT -> " + m_str2 + "/README.txt"}));
    EXPECT_EQ(Read("2/README.txt"), "new");
    EXPECT_EQ(Read("2/docs/Guide"), "G");
    EXPECT_FALSE(Exists("2/Readme.TXT"));
    EXPECT_FALSE(Exists("2/Docs"));
}

// On a case-sensitive disk one side may hold two names that differ only in case:
// an identical name pairs first and the other one is not lost.
TEST_F(DirectoryPassTest, CaseTwinsOnOneSidePairIdenticalNamesFirst) {
    File("1/A", "upper", 20);
    File("1/a", "lower", 20);
    File("2/a", "old", 10);
    RunItem(m_str1, m_str2);
    EXPECT_EQ(Actions(),
              (Lines{m_str1 + "/A -> " + m_str2 + "/A", m_str1 + "/a -> " + m_str2 + "/a"}));
    EXPECT_EQ(Read("2/a"), "lower");
    EXPECT_EQ(Read("2/A"), "upper");
}

// Temporary files of an interrupted copy are cleared away silently, never paired,
// also inside a tree that is being removed.
TEST_F(DirectoryPassTest, StaleCopyTemporariesAreRemovedSilently) {
    File("1/f", "same", 1);
    File("2/f", "same", 1);
    File(std::string("2/") + std::string(platform::kCopyTempPrefix) + "f.123", "half", 1);
    Dir("2/gone");
    File(std::string("2/gone/") + std::string(platform::kCopyTempPrefix) + "x", "half", 1);
    RunItem(m_str1, m_str2, SIO_NOFILE1_DELETE);
    EXPECT_EQ(Actions(), Lines{"Directory " + m_str2 + "/gone Removed"});
    EXPECT_EQ(m_stat.nDeleted2, 0);
    EXPECT_EQ(m_host.m_lines.size(), 7u);
    EXPECT_EQ(Snapshot("2"), Snapshot("1"));
}

// After a run has brought two trees into step the next one does nothing: no log
// line, no change, and nothing looked at but the listings and the two top paths.
TEST_F(DirectoryPassTest, SecondRunFindsNothingToDo) {
    Dir("1/a");
    Dir("1/a/b");
    File("1/a/b/f", "1", 3);
    File("1/g", "1", 4);
    File("2/g", "2", 5);
    Dir("2/only2");
    File("2/only2/h", "h", 1);
    File("2/ro", "r", 1, 0444);
    File("1/ro", "r", 1, 0444);
    RunItem(m_str1, m_str2);
    EXPECT_EQ(Actions().size(), 6u);

    platform::FaultFileSystem fs(m_posix);
    EXPECT_EQ(RunItem(m_str1, m_str2, 0, nullptr, &fs), RunResult::Completed);
    Lines expected = {kStartLine, kCompletedLine};
    for (const std::string& str : CountLines(0, 0, 0, 0))
        expected.push_back(str);
    EXPECT_EQ(m_host.m_lines, expected);
    EXPECT_EQ(fs.CountCalls(FsOp::GetAttr), 2u);
    EXPECT_EQ(fs.CountCalls(FsOp::ListDir), 8u); // top, a, a/b and only2, on both sides
    for (FsOp op : {FsOp::CopyFile, FsOp::DeleteFile, FsOp::CreateDir, FsOp::RemoveDir,
                    FsOp::SetTimes, FsOp::SetMode, FsOp::GetTimes})
        EXPECT_EQ(fs.CountCalls(op), 0u) << platform::FsOpName(op);
}

// Items whose paths are absent on both sides pass silently.
TEST_F(DirectoryPassTest, BothPathsAbsentDoNothing) {
    EXPECT_EQ(RunItem(m_str1 + "/none", m_str2 + "/none"), RunResult::Completed);
    EXPECT_EQ(Actions(), Lines{});
    EXPECT_TRUE(m_host.m_questions.empty());
}

// A device, FIFO or socket inside a tree is not an entry; as an item's own path
// it is an invalid path.
TEST_F(DirectoryPassTest, FifosAreNeverTouched) {
    m_tmp.MakeFifo("1/pipe");
    RunItem(m_str1, m_str2);
    EXPECT_EQ(Actions(), Lines{});
    EXPECT_FALSE(Exists("2/pipe"));

    m_host.m_yesNoAnswers = {true};
    RunItem(P("1/pipe"), P("2/pipe"));
    ASSERT_EQ(m_host.m_questions.size(), 1u);
    EXPECT_EQ(m_host.m_questions[0].rfind("エラー(22)が発生しました。\n'" + P("1/pipe") + "'\n", 0),
              0u);
    EXPECT_FALSE(Exists("2/pipe"));
}

// An item path that names a link to a directory means that directory; links
// inside the trees stay links.
TEST_F(DirectoryPassTest, ItemPathLinkingToADirectoryIsThatDirectory) {
    Dir("real");
    File("real/f", "x", 1);
    m_tmp.MakeSymlink("1/top", P("real"));
    m_tmp.MakeSymlink("real/inner", P("real"));
    RunItem(P("1/top"), m_str2 + "/copy");
    EXPECT_EQ(Actions(), (Lines{"Directory " + m_str2 + "/copy created",
                                P("1/top") + "/f -> " + m_str2 + "/copy/f",
                                P("1/top") + "/inner -> " + m_str2 + "/copy/inner"}));
    struct stat st {};
    ASSERT_TRUE(m_tmp.Stat("2/copy", st));
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    ASSERT_TRUE(m_tmp.Stat("2/copy/inner", st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

} // namespace
} // namespace kovrel::test
