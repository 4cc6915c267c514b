// Two-way items that remember their state, on real trees across runs: the
// rules of the decision, the conflict copy, what is recorded when, and that a
// damaged database, a dry run or a stopped run never costs a file.
#include "engine/RememberedRun.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "EngineFixture.h"
#include "platform/OverlayFileSystem.h"
#include "support/FaultFileSystem.h"

namespace kovrel::test {
namespace {

constexpr std::uint32_t kRemember = SIO_REMEMBER_STATE;
const std::string kConflictA = "a.conflict-19980715-130509.txt";

class RememberTest : public EngineTest {
protected:
    RunResult Run(std::uint32_t dwOption = kRemember, platform::FileSystem* pFs = nullptr) {
        return RunItem(m_str1, m_str2, dwOption, nullptr, pFs);
    }
    // The same file on both sides, as after a run.
    void Both(std::string_view strRel, std::string_view strData, std::int64_t nAge) const {
        File("1/" + std::string(strRel), strData, nAge);
        File("2/" + std::string(strRel), strData, nAge);
    }
    void Remove(std::string_view strRel) const { std::filesystem::remove_all(m_tmp.Path(strRel)); }
    // Each entry below a side: a file's contents, "<dir>" for a directory.
    std::map<std::string, std::string> Side(const std::string& strSide) const {
        std::map<std::string, std::string> tree;
        for (const auto& [strKey, strWhat] : Snapshot(strSide)) {
            tree[strKey] = strWhat.starts_with("dir ") ? "<dir>" : Read(strSide + "/" + strKey);
        }
        return tree;
    }
    int Copies() const { return m_stat.nCopied1to2 + m_stat.nCopied2to1; }
    int Deletes() const { return m_stat.nDeleted1 + m_stat.nDeleted2; }
    // The item's record as the database holds it.
    CStateRecord Record() const {
        CStateStore store;
        CStateRecord record;
        EXPECT_TRUE(store.Open(StateDb()).Ok());
        EXPECT_TRUE(store.LoadItem(m_str1, m_str2, record).Ok());
        return record;
    }
    void Reset() {
        Remove("1");
        Remove("2");
        Remove("state");
        m_tmp.MakeDir("1");
        m_tmp.MakeDir("2");
    }
};

using Tree = std::map<std::string, std::string>;

// Each case: a layout, the first run, a change, the second run, what both
// sides hold then, and a third run that has nothing left to do.
TEST_F(RememberTest, TableOfRulesAcrossRuns) {
    struct Case {
        const char* pszWhat;
        std::uint32_t dwOption;
        std::function<void()> fnLayout;
        std::function<void()> fnChange;
        Tree side1;
        Tree side2;
        int nCopies; // in the second run
        int nDeletes;
    };
    const Case cases[] = {
        {"first run: the newer wins", kRemember,
         [&] {
             File("1/a.txt", "old", 0);
             File("2/a.txt", "new", 10);
         },
         [] {}, Tree{{"a.txt", "new"}}, Tree{{"a.txt", "new"}}, 0, 0},
        {"side 2 changed, newer: it spreads", kRemember, [&] { File("1/a.txt", "v1", 0); },
         [&] { File("2/a.txt", "v2", 20); }, Tree{{"a.txt", "v2"}}, Tree{{"a.txt", "v2"}}, 1, 0},
        {"side 1 restored to an older version: it spreads", kRemember,
         [&] { File("1/a.txt", "v2", 10); }, [&] { File("1/a.txt", "v1", 0); },
         Tree{{"a.txt", "v1"}}, Tree{{"a.txt", "v1"}}, 1, 0},
        {"without the bit the restored version is overwritten", 0,
         [&] { File("1/a.txt", "v2", 10); }, [&] { File("1/a.txt", "v1", 0); },
         Tree{{"a.txt", "v2"}}, Tree{{"a.txt", "v2"}}, 1, 0},
        {"both changed to the same contents: nothing copied", kRemember,
         [&] { Both("a.txt", "v1", 0); },
         [&] {
             File("1/a.txt", "same", 20);
             File("2/a.txt", "same", 30);
         },
         Tree{{"a.txt", "same"}}, Tree{{"a.txt", "same"}}, 0, 0},
        {"both changed differently: a conflict keeps the older", kRemember,
         [&] { Both("a.txt", "v1", 0); },
         [&] {
             File("1/a.txt", "mine", 20);
             File("2/a.txt", "theirs", 30);
         },
         Tree{{"a.txt", "theirs"}, {kConflictA, "mine"}},
         Tree{{"a.txt", "theirs"}, {kConflictA, "mine"}}, 2, 0},
        {"both changed, same size, different bytes: a conflict", kRemember,
         [&] { Both("a.txt", "v1", 0); },
         [&] {
             File("1/a.txt", "AAAA", 40);
             File("2/a.txt", "BBBB", 30);
         },
         Tree{{"a.txt", "AAAA"}, {kConflictA, "BBBB"}},
         Tree{{"a.txt", "AAAA"}, {kConflictA, "BBBB"}}, 2, 0},
        {"deleted on side 2, unchanged on side 1: deleted", kRemember,
         [&] { File("1/a.txt", "v1", 0); }, [&] { Remove("2/a.txt"); }, Tree{}, Tree{}, 0, 1},
        {"deleted on side 1, unchanged on side 2: deleted", kRemember,
         [&] { File("2/a.txt", "v1", 0); }, [&] { Remove("1/a.txt"); }, Tree{}, Tree{}, 0, 1},
        {"deleted on side 2, changed on side 1: copied back", kRemember,
         [&] { File("1/a.txt", "v1", 0); },
         [&] {
             Remove("2/a.txt");
             File("1/a.txt", "v2", 20);
         },
         Tree{{"a.txt", "v2"}}, Tree{{"a.txt", "v2"}}, 1, 0},
        {"without the bit a deletion comes back", 0, [&] { File("1/a.txt", "v1", 0); },
         [&] { Remove("2/a.txt"); }, Tree{{"a.txt", "v1"}}, Tree{{"a.txt", "v1"}}, 1, 0},
        {"deleted on side 2, ignore for side 2: nothing", kRemember | SIO_NOFILE2_IGNORE,
         [&] { Both("a.txt", "v1", 0); }, [&] { Remove("2/a.txt"); }, Tree{{"a.txt", "v1"}}, Tree{},
         0, 0},
        {"deleted on side 2, ignore for side 1 only: deleted", kRemember | SIO_NOFILE1_IGNORE,
         [&] { Both("a.txt", "v1", 0); }, [&] { Remove("2/a.txt"); }, Tree{}, Tree{}, 0, 1},
        {"new on both sides without a record: the newer wins", kRemember,
         [&] { File("1/x.txt", "x", 0); },
         [&] {
             File("1/n.txt", "one", 5);
             File("2/n.txt", "two", 9);
         },
         Tree{{"n.txt", "two"}, {"x.txt", "x"}}, Tree{{"n.txt", "two"}, {"x.txt", "x"}}, 1, 0},
        {"directory deleted on side 2, nothing inside changed: removed", kRemember,
         [&] {
             Dir("1/d");
             File("1/d/a.txt", "a", 0);
             Dir("1/d/e");
             File("1/d/e/b.txt", "b", 0);
         },
         [&] { Remove("2/d"); }, Tree{}, Tree{}, 0, 2},
        {"directory deleted on side 2, a file inside changed: what changed comes back", kRemember,
         [&] {
             Dir("1/d");
             File("1/d/a.txt", "a", 0);
             File("1/d/b.txt", "b", 0);
         },
         [&] {
             Remove("2/d");
             File("1/d/a.txt", "a2", 20);
         },
         Tree{{"d", "<dir>"}, {"d/a.txt", "a2"}}, Tree{{"d", "<dir>"}, {"d/a.txt", "a2"}}, 1, 1},
        {"directory deleted on side 1, a new file inside on side 2: it comes back", kRemember,
         [&] {
             Dir("2/d");
             File("2/d/a.txt", "a", 0);
         },
         [&] {
             Remove("1/d");
             File("2/d/new.txt", "n", 20);
         },
         Tree{{"d", "<dir>"}, {"d/new.txt", "n"}}, Tree{{"d", "<dir>"}, {"d/new.txt", "n"}}, 1, 1},
        {"directory deleted on side 2, ignore for side 2: nothing", kRemember | SIO_NOFILE2_IGNORE,
         [&] {
             Dir("1/d");
             Dir("2/d");
             Both("d/a.txt", "a", 0);
         },
         [&] { Remove("2/d"); }, Tree{{"d", "<dir>"}, {"d/a.txt", "a"}}, Tree{}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        Reset();
        c.fnLayout();
        ASSERT_EQ(Run(c.dwOption), RunResult::Completed);
        c.fnChange();
        ASSERT_EQ(Run(c.dwOption), RunResult::Completed);
        EXPECT_EQ(Side("1"), c.side1);
        EXPECT_EQ(Side("2"), c.side2);
        EXPECT_EQ(Copies(), c.nCopies);
        EXPECT_EQ(Deletes(), c.nDeletes);
        EXPECT_TRUE(m_host.m_errors.empty());
        ASSERT_EQ(Run(c.dwOption), RunResult::Completed);
        EXPECT_EQ(Copies() + Deletes(), 0) << "the third run";
        EXPECT_EQ(Side("1"), c.side1);
    }
}

TEST_F(RememberTest, ConflictLogsItsCopyAndCountsIt) {
    Both("a.txt", "v1", 0);
    ASSERT_EQ(Run(), RunResult::Completed);
    File("1/a.txt", "mine", 20);
    File("2/a.txt", "theirs", 30);
    ASSERT_EQ(Run(), RunResult::Completed);
    const std::string strKept1 = P("1/" + kConflictA);
    const std::string strKept2 = P("2/" + kConflictA);
    std::vector<std::string> expected = {
        P("1/a.txt") + " <- " + P("2/a.txt"),
        "Conflict kept " + strKept1,
        strKept1 + " -> " + strKept2,
        kCompletedLine,
    };
    for (const std::string& strLine : CountLines(1, 1, 0, 0))
        expected.push_back(strLine);
    expected.push_back("衝突ファイル数 : 1");
    EXPECT_EQ(AfterStart(), expected);
    EXPECT_EQ(m_stat.nConflicts, 1);
    // Both copies of the kept version are recorded: nothing to do next time.
    const CStateRecord record = Record();
    const STATEENTRY* pEntry = record.Find("/" + kConflictA);
    ASSERT_NE(pEntry, nullptr);
    EXPECT_TRUE(pEntry->side1.bPresent && pEntry->side2.bPresent);

    // A run without conflicts ends as it always did.
    ASSERT_EQ(Run(), RunResult::Completed);
    std::vector<std::string> quiet = {kCompletedLine};
    for (const std::string& strLine : CountLines(0, 0, 0, 0))
        quiet.push_back(strLine);
    EXPECT_EQ(AfterStart(), quiet);
}

TEST_F(RememberTest, ConflictNameTakenGetsANumber) {
    Both("a.txt", "v1", 0);
    ASSERT_EQ(Run(), RunResult::Completed);
    File("1/a.txt", "mine", 30);
    File("2/a.txt", "theirs", 20);
    // Taken on one side only: the name must be free on both.
    File("1/" + kConflictA, "someone else's", 0);
    ASSERT_EQ(Run(), RunResult::Completed);
    const std::string strSecond = "a.conflict-19980715-130509-2.txt";
    EXPECT_EQ(Read("1/" + strSecond), "theirs");
    EXPECT_EQ(Read("2/" + strSecond), "theirs");
    EXPECT_EQ(Read("1/a.txt"), "mine");
    EXPECT_EQ(Read("2/a.txt"), "mine");
    EXPECT_EQ(Read("1/" + kConflictA), "someone else's");
}

// The older file changes again while the conflict is carried out: its
// replace is refused, the copy just made goes, and the pair decided afresh
// keeps the version that is there now.
TEST_F(RememberTest, ConflictWhoseFileChangesMeanwhileIsDecidedAgain) {
    Both("a.txt", "v1", 0);
    ASSERT_EQ(Run(), RunResult::Completed);
    File("1/a.txt", "mine", 20);
    File("2/a.txt", "theirs", 30);
    platform::FaultFileSystem fs(m_posix);
    int nCopies = 0;
    fs.SetBeforeCall([&](platform::FsOp op, const std::string& strPath) {
        // The second copy of the pair is the replace of side 1's file.
        if (op == platform::FsOp::CopyFile && strPath == P("2/a.txt") && ++nCopies == 1)
            File("1/a.txt", "mine, edited again", 25);
    });
    ASSERT_EQ(Run(kRemember, &fs), RunResult::Completed);
    EXPECT_EQ(Side("1"), (Tree{{"a.txt", "theirs"}, {kConflictA, "mine, edited again"}}));
    EXPECT_EQ(Side("2"), (Tree{{"a.txt", "theirs"}, {kConflictA, "mine, edited again"}}));
    EXPECT_EQ(m_stat.nConflicts, 1);
}

TEST(ConflictName, KeepsTheExtension) {
    const std::tm tm = FixedTime();
    struct Case {
        const char* pszName;
        int nNumber;
        const char* pszExpected;
    };
    const Case cases[] = {
        {"report.txt", 1, "report.conflict-19980715-130509.txt"},
        {"report.txt", 3, "report.conflict-19980715-130509-3.txt"},
        {"archive.tar.gz", 1, "archive.tar.conflict-19980715-130509.gz"},
        {"Makefile", 1, "Makefile.conflict-19980715-130509"},
        {".profile", 2, ".profile.conflict-19980715-130509-2"},
        {"name.", 1, "name.conflict-19980715-130509."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ConflictName(c.pszName, tm, c.nNumber), c.pszExpected) << c.pszName;
}

// The record holds what the pass saw at the pair's turn: an edit made to a
// file after its copy is a change for the next run, even with an older time.
TEST_F(RememberTest, EditDuringRunSpreadsNextTime) {
    File("1/a.txt", "v1", 10);
    File("1/b.txt", "b", 10);
    platform::FaultFileSystem fs(m_posix);
    bool bEdited = false;
    fs.SetBeforeCall([&](platform::FsOp op, const std::string& strPath) {
        if (!bEdited && op == platform::FsOp::CopyFile && strPath == P("1/b.txt")) {
            bEdited = true;
            File("1/a.txt", "edited during the run", 0);
        }
    });
    ASSERT_EQ(Run(kRemember, &fs), RunResult::Completed);
    ASSERT_TRUE(bEdited);
    EXPECT_EQ(Read("2/a.txt"), "v1");
    ASSERT_EQ(Run(), RunResult::Completed);
    EXPECT_EQ(Read("1/a.txt"), "edited during the run");
    EXPECT_EQ(Read("2/a.txt"), "edited during the run");
}

// Side 1 looks empty (an unmounted disk's mount point): every file "deleted
// there since" would be passed on to side 2. The guard counts those deletions
// too, and a No leaves side 2 and the record whole; a directory deleted whole
// counts its files.
TEST_F(RememberTest, DeletionGuardCountsDeletionsPassedOn) {
    m_tmp.MakeDir("1/d");
    for (const char* pszName : {"a.txt", "b.txt", "d/c.txt"})
        File(std::string("1/") + pszName, "v1", 0);
    ASSERT_EQ(Run(), RunResult::Completed);
    m_settings.m_bDeleteGuard = true;
    Remove("1/a.txt");
    Remove("1/b.txt");
    Remove("1/d");

    m_host.m_massDeleteAnswers = {false};
    ASSERT_EQ(Run(), RunResult::CompletedWithErrors);
    ASSERT_EQ(m_host.m_deleteCounts.size(), 1u);
    EXPECT_EQ(m_host.m_deleteCounts[0].nHeld[1], 3);
    EXPECT_EQ(m_host.m_deleteCounts[0].nDeleted[1], 3);
    EXPECT_EQ(m_host.m_massDeleteQuestions.size(), 1u);
    EXPECT_EQ(Side("2").size(), 4u); // a.txt, b.txt, d, d/c.txt
    EXPECT_EQ(Record().Size(), 4u);

    // Yes: the deletions are passed on as without the guard.
    m_host.m_massDeleteAnswers = {true};
    ASSERT_EQ(Run(), RunResult::Completed);
    EXPECT_EQ(Side("2"), Tree{});
    EXPECT_EQ(Deletes(), 3);
}

TEST_F(RememberTest, DamagedDatabaseIsShownAndTheItemRunsByTheOrdinaryRules) {
    File("1/a.txt", "v1", 0);
    ASSERT_EQ(Run(), RunResult::Completed);
    Remove("2/a.txt");
    const std::string strGarbage(4096, 'x');
    m_tmp.WriteFile("state/state.db", strGarbage);
    ASSERT_EQ(Run(), RunResult::Completed);
    ASSERT_EQ(m_host.m_errors.size(), 1u);
    EXPECT_NE(m_host.m_errors[0].find("壊れています"), std::string::npos) << m_host.m_errors[0];
    EXPECT_NE(m_host.m_errors[0].find(StateDb()), std::string::npos);
    // No record: the deletion is not passed on, the file comes back.
    EXPECT_EQ(Read("1/a.txt"), "v1");
    EXPECT_EQ(Read("2/a.txt"), "v1");
    EXPECT_EQ(m_tmp.ReadFile("state/state.db"), strGarbage);
}

TEST_F(RememberTest, StoreOpenFailureIsShownOncePerRun) {
    File("1/a.txt", "v1", 0);
    m_tmp.WriteFile("state", "a file where the directory should be");
    CSyncItemList list;
    AddItem(list, m_str1, m_str2, kRemember);
    AddItem(list, m_str1, m_str2, kRemember);
    ASSERT_EQ(RunList(list), RunResult::Completed);
    EXPECT_EQ(m_host.m_errors.size(), 1u);
    EXPECT_EQ(Read("2/a.txt"), "v1");
}

TEST_F(RememberTest, DryRunReadsTheStateAndWritesNothing) {
    File("1/a.txt", "v1", 0);
    ASSERT_EQ(Run(), RunResult::Completed);
    Remove("2/a.txt");
    File("1/b.txt", "new", 0);
    const CStateRecord before = Record();
    platform::OverlayFileSystem overlay(m_posix);
    m_bStateReadOnly = true;
    ASSERT_EQ(Run(kRemember, &overlay), RunResult::Completed);
    m_bStateReadOnly = false;
    // It decided against the record: the deletion is passed on...
    EXPECT_EQ(m_stat.nDeleted1, 1);
    EXPECT_EQ(m_stat.nCopied1to2, 1);
    // ...on nothing but the overlay, and the record is as it was.
    EXPECT_EQ(Read("1/a.txt"), "v1");
    EXPECT_FALSE(Exists("2/b.txt"));
    EXPECT_EQ(Record().Items(), before.Items());
    ASSERT_EQ(Run(), RunResult::Completed);
    EXPECT_FALSE(Exists("1/a.txt"));
    EXPECT_EQ(Read("2/b.txt"), "new");
}

// A run stopped inside an item writes nothing for it: the next run decides
// against the old record, never against half of a new one.
TEST_F(RememberTest, StoppedRunWritesNothingForItsItem) {
    File("1/a.txt", "v1", 0);
    File("1/b.txt", "b", 0);
    ASSERT_EQ(Run(), RunResult::Completed);
    const CStateRecord before = Record();
    File("1/a.txt", "v2", 20);
    File("1/b.txt", "b2", 20);
    platform::FaultFileSystem fs(m_posix);
    fs.AddFault(platform::FsOp::CopyFile, P("1/b.txt"), EIO);
    m_host.m_ariAnswers = {AbortRetryIgnore::Abort};
    ASSERT_EQ(Run(kRemember, &fs), RunResult::Stopped);
    EXPECT_EQ(Read("2/a.txt"), "v2");
    EXPECT_EQ(Record().Items(), before.Items());
    // Side 2's a.txt changed since the old record too, to the same contents.
    ASSERT_EQ(Run(), RunResult::Completed);
    EXPECT_EQ(Read("2/b.txt"), "b2");
    EXPECT_EQ(m_stat.nConflicts, 0);
}

// A failed copy keeps the old record of its pair: the change still counts
// as one next time.
TEST_F(RememberTest, IgnoredFailureKeepsTheChangeForTheNextRun) {
    File("1/a.txt", "v2", 10);
    ASSERT_EQ(Run(), RunResult::Completed);
    File("1/a.txt", "v1", 0); // an older version restored
    platform::FaultFileSystem fs(m_posix);
    fs.AddFault(platform::FsOp::CopyFile, P("1/a.txt"), EIO, 1);
    m_host.m_ariAnswers = {AbortRetryIgnore::Ignore};
    ASSERT_EQ(Run(kRemember, &fs), RunResult::CompletedWithErrors);
    EXPECT_EQ(Read("2/a.txt"), "v2");
    ASSERT_EQ(Run(), RunResult::Completed);
    EXPECT_EQ(Read("2/a.txt"), "v1");
}

TEST_F(RememberTest, EntryGoneFromBothSidesIsForgotten) {
    File("1/a.txt", "a", 0);
    Dir("1/d");
    File("1/d/b.txt", "b", 0);
    ASSERT_EQ(Run(), RunResult::Completed);
    ASSERT_NE(Record().Find("/d/b.txt"), nullptr);
    Remove("1/a.txt");
    Remove("2/a.txt");
    Remove("1/d");
    Remove("2/d");
    ASSERT_EQ(Run(), RunResult::Completed);
    const CStateRecord record = Record();
    EXPECT_EQ(record.Find("/a.txt"), nullptr);
    EXPECT_EQ(record.Find("/d"), nullptr);
    EXPECT_EQ(record.Find("/d/b.txt"), nullptr);
}

// An item of two single files: a change spreads as in a tree, but an absent
// file of the item's own is never a deletion (its disk may not be mounted).
TEST_F(RememberTest, ItemOfSingleFilesNeverDeletesForAnAbsentTop) {
    File("1/a.txt", "v2", 10);
    const std::string strA1 = P("1/a.txt");
    const std::string strA2 = P("2/a.txt");
    ASSERT_EQ(RunItem(strA1, strA2, kRemember), RunResult::Completed);
    File("1/a.txt", "v1", 0); // an older version restored
    ASSERT_EQ(RunItem(strA1, strA2, kRemember), RunResult::Completed);
    EXPECT_EQ(Read("2/a.txt"), "v1");
    Remove("2/a.txt");
    ASSERT_EQ(RunItem(strA1, strA2, kRemember), RunResult::Completed);
    EXPECT_EQ(Read("1/a.txt"), "v1");
    EXPECT_EQ(Read("2/a.txt"), "v1");
}

// Items without the bit never open the database.
TEST_F(RememberTest, ItemsWithoutTheBitLeaveNoDatabase) {
    File("1/a.txt", "a", 0);
    ASSERT_EQ(Run(0), RunResult::Completed);
    ASSERT_EQ(Run(SIO_REMEMBER_STATE | SIO_ONEWAY_1TO2), RunResult::Completed);
    EXPECT_FALSE(Exists("state/state.db"));
}

// A run killed at any moment (kill -9) never costs a file: afterwards a whole
// run leaves every name on both sides and every version written in a round
// somewhere in the trees (under its name or as a conflict copy).
TEST_F(RememberTest, KilledRunsNeverLoseAFile) {
    constexpr int kFiles = 60;
    constexpr int kRounds = 12;
    std::mt19937 rng(20261207u);
    for (int i = 0; i < kFiles; ++i)
        File("1/f" + std::to_string(i) + ".txt", "start " + std::to_string(i), 0);
    ASSERT_EQ(Run(), RunResult::Completed);
    std::set<std::string> names;
    for (const auto& [strName, strData] : Side("1"))
        names.insert(strName);
    for (int nRound = 1; nRound <= kRounds; ++nRound) {
        SCOPED_TRACE("round " + std::to_string(nRound));
        // Edits on either side or both, with times old and new.
        std::set<std::string> written;
        for (int i = 0; i < kFiles; i += 1 + static_cast<int>(rng() % 4)) {
            const std::string strName = "f" + std::to_string(i) + ".txt";
            const int nSides = 1 + static_cast<int>(rng() % 3); // 1, 2 or both
            for (int nSide = 1; nSide <= 2; ++nSide) {
                if ((nSides & nSide) == 0)
                    continue;
                const std::string strData = "round " + std::to_string(nRound) + " side " +
                                            std::to_string(nSide) + " of " + strName;
                // Older or newer, never a time an earlier round gave a file
                // of the same size: that would be no change at all.
                File(std::to_string(nSide) + "/" + strName, strData,
                     static_cast<std::int64_t>(rng() % 100) * 100 + nRound);
                written.insert(strData);
            }
        }
        // Two killed runs, at random moments.
        for (int nKill = 0; nKill < 2; ++nKill) {
            const pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                CScriptedHost host;
                CSyncEngine engine(m_posix, host, m_settings);
                engine.SetNoLogFile(true);
                engine.SetStateDatabase(StateDb());
                CSyncItemList list;
                AddItem(list, m_str1, m_str2, kRemember);
                for (;;)
                    (void)engine.Run(list);
            }
            ::usleep(static_cast<useconds_t>(rng() % 40000));
            ::kill(pid, SIGKILL);
            int nStatus = 0;
            ::waitpid(pid, &nStatus, 0);
        }
        ASSERT_EQ(Run(), RunResult::Completed);
        const Tree tree1 = Side("1");
        EXPECT_EQ(tree1, Side("2"));
        for (const std::string& strName : names)
            EXPECT_TRUE(tree1.count(strName)) << strName;
        std::set<std::string> present;
        for (const auto& [strName, strData] : tree1)
            present.insert(strData);
        for (const std::string& strData : written)
            EXPECT_TRUE(present.count(strData)) << strData;
        for (const auto& [strName, strData] : tree1)
            names.insert(strName);
    }
}

} // namespace
} // namespace kovrel::test
