// The deletion guard: what it counts, when it asks, what No and Yes do, and that
// an item it lets through runs exactly as it would without it (the same lines
// and each directory listed once).
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "EngineFixture.h"
#include "engine/DeleteGuard.h"
#include "engine/KeptListing.h"
#include "platform/OverlayFileSystem.h"
#include "support/CopyTemps.h"
#include "support/FaultFileSystem.h"

namespace kovrel::test {
namespace {

using platform::FaultFileSystem;
using platform::FsOp;

constexpr std::uint32_t kDel1 = SIO_NOFILE1_DELETE; // missing on side 1: delete on side 2
constexpr std::uint32_t kDel2 = SIO_NOFILE2_DELETE; // missing on side 2: delete on side 1

std::string Question(const std::string& strTop, int nHeld, int nDeleted) {
    return "'" + strTop + "' の " + std::to_string(nHeld) + " 個のファイルのうち " +
           std::to_string(nDeleted) + " 個を削除します。\nよろしいですか？";
}

TEST(GuardAsksTest, Rules) {
    struct Case {
        const char* pszName;
        DELETECOUNT count;
        int nSide;
        int nPercent;
        int nMin;
        bool bAsks;
    };
    const Case cases[] = {
        {"nothing deleted", {{0, 5}, {0, 0}}, 2, 50, 10, false},
        {"other side empty", {{0, 5}, {0, 1}}, 2, 50, 10, true},
        {"all of several", {{1, 2}, {0, 2}}, 2, 50, 10, true},
        {"all of a single one", {{1, 1}, {0, 1}}, 2, 50, 10, false},
        {"half and the minimum", {{10, 20}, {0, 10}}, 2, 50, 10, true},
        {"just under half", {{11, 21}, {0, 10}}, 2, 50, 10, false},
        {"half, one short of the minimum", {{9, 18}, {0, 9}}, 2, 50, 10, false},
        {"the other side's count decides nothing", {{10, 20}, {0, 10}}, 1, 50, 10, false},
        {"side 1", {{20, 10}, {10, 0}}, 1, 50, 10, true},
        {"a quarter at 25 %", {{3, 4}, {0, 1}}, 2, 25, 1, true},
        {"a fifth at 25 %", {{4, 5}, {0, 1}}, 2, 25, 1, false},
        {"percent above 100 leaves the other rules", {{5, 30}, {0, 29}}, 2, 101, 1, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GuardAsks(c.count, c.nSide, c.nPercent, c.nMin), c.bAsks) << c.pszName;
}

TEST(GuardAsksTest, OptionsThatDelete) {
    EXPECT_FALSE(OptionsDelete(CSyncOptions(0)));
    EXPECT_TRUE(OptionsDelete(CSyncOptions(kDel1)));
    EXPECT_TRUE(OptionsDelete(CSyncOptions(kDel2)));
    // One way from 1 to 2 never changes side 1: its delete option does nothing.
    EXPECT_FALSE(OptionsDelete(CSyncOptions(kDel2 | SIO_ONEWAY_1TO2)));
    EXPECT_TRUE(OptionsDelete(CSyncOptions(kDel1 | SIO_ONEWAY_1TO2)));
}

// Listings are taken out once, stale temporaries with them; beyond its limit
// nothing more is kept, and the pass lists such directories itself.
TEST(KeptListingTest, TakeOnceAndLimit) {
    auto entries = [](std::size_t n) {
        std::vector<platform::DirEntry> v(n);
        for (std::size_t i = 0; i < n; ++i)
            v[i].strName = "e" + std::to_string(i);
        return v;
    };
    CKeptListing kept(5);
    EXPECT_TRUE(kept.Keep("/a", entries(3), {"stale"}));
    EXPECT_FALSE(kept.Keep("/b", entries(3), {}));
    EXPECT_TRUE(kept.Keep("/c", entries(2), {}));
    EXPECT_EQ(kept.EntryCount(), 5u);
    EXPECT_EQ(kept.DirCount(), 2u);
    std::vector<platform::DirEntry> got;
    std::vector<std::string> stale;
    EXPECT_FALSE(kept.Take("/b", got, stale));
    ASSERT_TRUE(kept.Take("/a", got, stale));
    EXPECT_EQ(got.size(), 3u);
    EXPECT_EQ(got[2].strName, "e2");
    EXPECT_EQ(stale, std::vector<std::string>{"stale"});
    EXPECT_FALSE(kept.Take("/a", got, stale)); // a second listing goes to the disk
    EXPECT_EQ(kept.EntryCount(), 2u);
    EXPECT_TRUE(kept.Keep("/b", entries(3), {})); // room again
    kept.Clear();
    EXPECT_TRUE(kept.Empty());
    EXPECT_EQ(kept.EntryCount(), 0u);
}

class DeleteGuardTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        m_settings.m_bDeleteGuard = true;
    }

    // nShared files on both sides (same time), nOnly1 on side 1 only, nOnly2 on
    // side 2 only.
    void Trees(int nShared, int nOnly1, int nOnly2) {
        for (int i = 0; i < nShared; ++i) {
            File("1/s" + std::to_string(i), "s", 0);
            File("2/s" + std::to_string(i), "s", 0);
        }
        for (int i = 0; i < nOnly1; ++i)
            File("1/a" + std::to_string(i), "a", 0);
        for (int i = 0; i < nOnly2; ++i)
            File("2/b" + std::to_string(i), "b", 0);
    }

    // Both sides emptied, for the next case of a table.
    void Fresh() {
        for (const std::string* pTop : {&m_str1, &m_str2}) {
            std::filesystem::remove_all(*pTop);
            std::filesystem::create_directory(*pTop);
        }
    }

    std::string SkipLine() const {
        return "Item skipped (mass delete) " + m_str1 + " <-> " + m_str2;
    }
};

// The unmounted disk: side 1's top exists but is empty. No leaves side 2 alone
// and ends the run as errors passed over; Yes deletes as the run without a
// guard would.
TEST_F(DeleteGuardTest, EmptyTopAsksAndNoKeepsEverything) {
    Trees(0, 0, 3);
    const auto before = Snapshot("2");
    m_host.m_massDeleteAnswers = {false};
    EXPECT_EQ(RunItem(m_str1, m_str2, kDel1), RunResult::CompletedWithErrors);
    EXPECT_EQ(m_host.m_massDeleteQuestions, std::vector<std::string>{Question(m_str2, 3, 3)});
    EXPECT_EQ(Actions(), std::vector<std::string>{SkipLine()});
    EXPECT_EQ(m_stat.nPassedOver, 1);
    EXPECT_EQ(m_stat.nDeleted2, 0);
    EXPECT_EQ(m_stat.ErrorCount(), 0);
    EXPECT_EQ(Snapshot("2"), before);
    EXPECT_TRUE(m_host.m_questions.empty());
    EXPECT_TRUE(m_host.m_missingTopQuestions.empty());

    m_host.m_massDeleteAnswers = {true};
    EXPECT_EQ(RunItem(m_str1, m_str2, kDel1), RunResult::Completed);
    EXPECT_EQ(m_host.m_massDeleteQuestions.size(), 1u);
    const auto linesYes = m_host.m_lines;
    EXPECT_EQ(m_stat.nDeleted2, 3);
    EXPECT_TRUE(Snapshot("2").empty());

    // The same trees without the guard give the same lines.
    Trees(0, 0, 3);
    m_settings.m_bDeleteGuard = false;
    EXPECT_EQ(RunItem(m_str1, m_str2, kDel1), RunResult::Completed);
    EXPECT_TRUE(m_host.m_massDeleteQuestions.empty());
    EXPECT_EQ(m_host.m_lines, linesYes);
}

// The wrong folder: side 1 holds one unrelated file, side 2 six that would all
// go. Only side 2 is asked about; No copies nothing either.
TEST_F(DeleteGuardTest, WrongFolderAsksForTheSideThatLosesEverything) {
    Trees(0, 1, 6);
    const auto before1 = Snapshot("1");
    const auto before2 = Snapshot("2");
    m_host.m_massDeleteAnswers = {false};
    EXPECT_EQ(RunItem(m_str1, m_str2, kDel1), RunResult::CompletedWithErrors);
    EXPECT_EQ(m_host.m_massDeleteQuestions, std::vector<std::string>{Question(m_str2, 6, 6)});
    ASSERT_EQ(m_host.m_deleteCounts.size(), 1u);
    EXPECT_EQ(m_host.m_deleteCounts[0].nHeld[0], 1);
    EXPECT_EQ(m_host.m_deleteCounts[0].nHeld[1], 6);
    EXPECT_EQ(m_host.m_deleteCounts[0].nDeleted[0], 0);
    EXPECT_EQ(m_host.m_deleteCounts[0].nDeleted[1], 6);
    // The one file the run would copy, for the progress totals.
    EXPECT_EQ(m_host.m_deleteCounts[0].nCopies, 1);
    EXPECT_EQ(m_host.m_deleteCounts[0].nCopyBytes, 1u);
    EXPECT_EQ(Snapshot("1"), before1);
    EXPECT_EQ(Snapshot("2"), before2);
    EXPECT_EQ(m_stat.nCopied1to2, 0);
    // The summary still follows, with nothing counted.
    const auto after = AfterStart();
    EXPECT_EQ(std::vector<std::string>(after.end() - 4, after.end()), CountLines(0, 0, 0, 0));
}

// The thresholds, on real trees: what is asked, and what each count is.
TEST_F(DeleteGuardTest, ThresholdEdges) {
    struct Case {
        int nShared, nOnly1, nOnly2, nPercent, nMin;
        bool bAsks;
    };
    const Case cases[] = {
        {10, 0, 10, 50, 10, true},  // half, and the minimum
        {11, 0, 10, 50, 10, false}, // under half
        {9, 0, 9, 50, 10, false},   // half, one file short of the minimum
        {9, 0, 9, 50, 9, true},     // the minimum lowered
        {1, 0, 1, 50, 10, false},   // one of two
        {0, 1, 2, 50, 10, true},    // every file of side 2, more than one
        {0, 1, 1, 50, 10, false},   // every file, but only one
        {0, 0, 1, 50, 10, true},    // side 1 holds nothing
        {3, 0, 1, 25, 1, true},     // a quarter at 25 %
        {4, 0, 1, 25, 1, false},    // a fifth at 25 %
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.nShared << "/" << c.nOnly1 << "/" << c.nOnly2 << " "
                                        << c.nPercent << "% min " << c.nMin);
        Fresh();
        Trees(c.nShared, c.nOnly1, c.nOnly2);
        m_settings.m_nDeleteGuardPercent = c.nPercent;
        m_settings.m_nDeleteGuardMin = c.nMin;
        m_host.m_massDeleteAnswers = {false};
        const RunResult result = RunItem(m_str1, m_str2, kDel1);
        ASSERT_EQ(m_host.m_deleteCounts.size(), 1u);
        EXPECT_EQ(m_host.m_deleteCounts[0].nHeld[1], c.nShared + c.nOnly2);
        EXPECT_EQ(m_host.m_deleteCounts[0].nDeleted[1], c.nOnly2);
        if (c.bAsks) {
            EXPECT_EQ(m_host.m_massDeleteQuestions,
                      std::vector<std::string>{Question(m_str2, c.nShared + c.nOnly2, c.nOnly2)});
            EXPECT_EQ(result, RunResult::CompletedWithErrors);
            EXPECT_EQ(m_stat.nDeleted2, 0);
        } else {
            EXPECT_TRUE(m_host.m_massDeleteQuestions.empty());
            m_host.m_massDeleteAnswers.clear();
            EXPECT_EQ(result, RunResult::Completed);
            EXPECT_EQ(m_stat.nDeleted2, c.nOnly2);
        }
    }
}

// Only what the item selects counts: excluded files are neither held nor deleted.
TEST_F(DeleteGuardTest, PatternsCountOnlyTheSelectedFiles) {
    File("1/keep.txt", "k", 0);
    File("2/keep.txt", "k", 0);
    for (int i = 0; i < 3; ++i)
        File("2/t" + std::to_string(i) + ".txt", "t", 0);
    for (int i = 0; i < 30; ++i)
        File("2/l" + std::to_string(i) + ".log", "l", 0);
    m_settings.m_nDeleteGuardMin = 3;
    // Without the pattern 33 of 34 files would go: asked.
    m_host.m_massDeleteAnswers = {false};
    EXPECT_EQ(RunItem(m_str1, m_str2, kDel1), RunResult::CompletedWithErrors);
    EXPECT_EQ(m_host.m_massDeleteQuestions, std::vector<std::string>{Question(m_str2, 34, 33)});
    // With the logs excluded, 3 of 4.
    m_host.m_massDeleteAnswers = {false};
    EXPECT_EQ(RunItem(m_str1, m_str2, kDel1, "!*.log"), RunResult::CompletedWithErrors);
    EXPECT_EQ(m_host.m_massDeleteQuestions, std::vector<std::string>{Question(m_str2, 4, 3)});
    // With the minimum back at 10, 3 deletions pass without a word.
    m_settings.m_nDeleteGuardMin = 10;
    EXPECT_EQ(RunItem(m_str1, m_str2, kDel1, "!*.log"), RunResult::Completed);
    EXPECT_TRUE(m_host.m_massDeleteQuestions.empty());
    EXPECT_EQ(m_stat.nDeleted2, 3);
    EXPECT_TRUE(Exists("2/l7.log"));
}

// A directory that goes as a whole counts with everything in it; one that
// exclusions keep walks with the selected files only.
TEST_F(DeleteGuardTest, DirectoriesRemovedWholeCountEveryFile) {
    File("1/s", "s", 0);
    File("2/s", "s", 0);
    Dir("2/sub");
    Dir("2/sub/deeper");
    m_settings.m_nDeleteGuardMin = 5;
    for (int i = 0; i < 6; ++i) {
        File("2/sub/f" + std::to_string(i), "f", 0);
        File("2/sub/deeper/g" + std::to_string(i) + ".tmp", "g", 0);
    }
    m_host.m_massDeleteAnswers = {false};
    EXPECT_EQ(RunItem(m_str1, m_str2, kDel1), RunResult::CompletedWithErrors);
    EXPECT_EQ(m_host.m_massDeleteQuestions, std::vector<std::string>{Question(m_str2, 13, 12)});
    EXPECT_TRUE(Exists("2/sub/deeper/g0.tmp"));
    // Excluding the .tmp files keeps the directory from going whole.
    m_host.m_massDeleteAnswers = {false};
    EXPECT_EQ(RunItem(m_str1, m_str2, kDel1, "!*.tmp"), RunResult::CompletedWithErrors);
    EXPECT_EQ(m_host.m_massDeleteQuestions, std::vector<std::string>{Question(m_str2, 7, 6)});
    // Without subdirectories nothing below the top is counted.
    EXPECT_EQ(RunItem(m_str1, m_str2, kDel1 | SIO_NO_SUBDIRS), RunResult::Completed);
    EXPECT_TRUE(m_host.m_massDeleteQuestions.empty());
    ASSERT_EQ(m_host.m_deleteCounts.size(), 1u);
    EXPECT_EQ(m_host.m_deleteCounts[0].nHeld[1], 1);
    EXPECT_EQ(m_host.m_deleteCounts[0].nDeleted[1], 0);
}

// Each side gets its own question; No to the second passes over the item
// after a Yes to the first.
TEST_F(DeleteGuardTest, BothSidesAskedInTurn) {
    Trees(1, 3, 3);
    m_settings.m_nDeleteGuardMin = 3;
    m_host.m_massDeleteAnswers = {true, false};
    EXPECT_EQ(RunItem(m_str1, m_str2, kDel1 | kDel2), RunResult::CompletedWithErrors);
    EXPECT_EQ(m_host.m_massDeleteQuestions,
              (std::vector<std::string>{Question(m_str1, 4, 3), Question(m_str2, 4, 3)}));
    EXPECT_TRUE(Exists("1/a0"));
    EXPECT_TRUE(Exists("2/b0"));
    EXPECT_EQ(Actions(), std::vector<std::string>{SkipLine()});

    m_host.m_massDeleteAnswers = {true, true};
    EXPECT_EQ(RunItem(m_str1, m_str2, kDel1 | kDel2), RunResult::Completed);
    EXPECT_EQ(m_stat.nDeleted1, 3);
    EXPECT_EQ(m_stat.nDeleted2, 3);
}

// Off: no count, no question, the deletions as they always were.
TEST_F(DeleteGuardTest, GuardOffAsksNothing) {
    Trees(0, 0, 12);
    m_settings.m_bDeleteGuard = false;
    EXPECT_EQ(RunItem(m_str1, m_str2, kDel1), RunResult::Completed);
    EXPECT_TRUE(m_host.m_massDeleteQuestions.empty());
    EXPECT_TRUE(m_host.m_deleteCounts.empty());
    EXPECT_EQ(m_stat.nDeleted2, 12);
}

// Items that cannot delete are never counted; an absent top has its own question.
TEST_F(DeleteGuardTest, OnlyDeletingItemsOfTwoTopsAreCounted) {
    Trees(0, 0, 12);
    EXPECT_EQ(RunItem(m_str1, m_str2, 0), RunResult::Completed);
    EXPECT_TRUE(m_host.m_deleteCounts.empty());
    m_host.m_missingTopAnswers = {false};
    EXPECT_EQ(RunItem(P("absent"), m_str2, kDel1), RunResult::CompletedWithErrors);
    EXPECT_EQ(m_host.m_missingTopQuestions.size(), 1u);
    EXPECT_TRUE(m_host.m_massDeleteQuestions.empty());
    EXPECT_TRUE(m_host.m_deleteCounts.empty());
}

// A dry run asks the same question with the same numbers, and its Yes predicts
// the real run's lines.
TEST_F(DeleteGuardTest, DryRunAsksTheSame) {
    Trees(2, 0, 4);
    m_settings.m_nDeleteGuardMin = 4;
    const auto before = Snapshot("2");
    platform::OverlayFileSystem overlay(m_posix);
    m_bNoLogFile = true;
    m_host.m_massDeleteAnswers = {true};
    EXPECT_EQ(RunItem(m_str1, m_str2, kDel1, nullptr, &overlay), RunResult::Completed);
    EXPECT_EQ(m_host.m_massDeleteQuestions, std::vector<std::string>{Question(m_str2, 6, 4)});
    const auto linesDry = m_host.m_lines;
    EXPECT_EQ(Snapshot("2"), before);

    platform::OverlayFileSystem overlay2(m_posix);
    m_host.m_massDeleteAnswers = {false};
    EXPECT_EQ(RunItem(m_str1, m_str2, kDel1, nullptr, &overlay2), RunResult::CompletedWithErrors);
    EXPECT_EQ(Actions(), std::vector<std::string>{SkipLine()});

    m_host.m_massDeleteAnswers = {true};
    EXPECT_EQ(RunItem(m_str1, m_str2, kDel1), RunResult::Completed);
    EXPECT_EQ(m_host.m_massDeleteQuestions, std::vector<std::string>{Question(m_str2, 6, 4)});
    EXPECT_EQ(m_host.m_lines, linesDry);
}

// A run that deletes little: exactly the lines of the run without the guard,
// on the same trees, and every directory listed once.
TEST_F(DeleteGuardTest, KeptListingGivesTheSameRun) {
    auto lay = [this] {
        Fresh();
        for (int i = 0; i < 12; ++i) {
            File("1/s" + std::to_string(i), "s", 0);
            File("2/s" + std::to_string(i), "s", i % 3 == 0 ? 5 : 0);
        }
        File("2/gone", "g", 0);
        Dir("1/d");
        Dir("1/d/e");
        File("1/d/e/new", "n", 0);
        Dir("2/D"); // pairs with d by folded name, keeps its own name
        File("2/D/old", "o", 0);
        File("1/d/Case", "c1", 9);
        File("2/D/case", "c2", 0);
        Dir("2/only2");
        File("2/only2/x", "x", 0);
        File("1/d/e/" + AbandonedTempName(), "stale", 0);
        Dir("1/ro", 0555);
    };
    std::vector<std::string> lines[2];
    std::map<std::string, std::string> trees1[2];
    std::map<std::string, std::string> trees2[2];
    for (int nGuard = 0; nGuard < 2; ++nGuard) {
        SCOPED_TRACE(nGuard ? "guard on" : "guard off");
        lay();
        m_settings.m_bDeleteGuard = nGuard == 1;
        FaultFileSystem fs(m_posix);
        EXPECT_EQ(RunItem(m_str1, m_str2, kDel1, nullptr, &fs), RunResult::Completed);
        EXPECT_TRUE(m_host.m_massDeleteQuestions.empty());
        EXPECT_EQ(m_host.m_deleteCounts.size(), static_cast<std::size_t>(nGuard));
        lines[nGuard] = m_host.m_lines;
        trees1[nGuard] = Snapshot("1");
        trees2[nGuard] = Snapshot("2");
        for (const char* pszDir : {"1", "2", "1/d", "2/D", "1/d/e", "2/only2"})
            EXPECT_EQ(fs.CountCalls(FsOp::ListDir, P(pszDir)), 1u) << pszDir;
        EXPECT_FALSE(Exists("1/d/e/" + AbandonedTempName()));
    }
    EXPECT_EQ(lines[1], lines[0]);
    EXPECT_EQ(trees1[1], trees1[0]);
    EXPECT_EQ(trees2[1], trees2[0]);
    EXPECT_GT(lines[0].size(), 8u);
}

// Cancel while counting ends the run before anything is done or asked.
TEST_F(DeleteGuardTest, CancelWhileCounting) {
    Trees(0, 0, 12);
    Dir("2/sub");
    File("2/sub/x", "x", 0);
    // The run checks once before its first item; the count's first check is the second.
    m_host.m_nCancelAtCheck = 2;
    EXPECT_EQ(RunItem(m_str1, m_str2, kDel1), RunResult::Stopped);
    EXPECT_TRUE(m_host.m_massDeleteQuestions.empty());
    EXPECT_TRUE(m_host.m_deleteCounts.empty());
    EXPECT_EQ(Actions(), std::vector<std::string>{});
    EXPECT_EQ(m_host.m_lines.at(1), kCanceledLine);
    EXPECT_TRUE(Exists("2/b0"));
    EXPECT_TRUE(Exists("2/sub/x"));
}

// A directory the count cannot list is left to the pass, which reports it where
// it always did.
TEST_F(DeleteGuardTest, ListingErrorWhileCountingIsReportedByThePass) {
    std::vector<std::string> lines[2];
    std::vector<std::string> errors[2];
    for (int nGuard = 0; nGuard < 2; ++nGuard) {
        Fresh();
        File("1/a", "a", 0);
        File("2/z", "z", 0);
        Dir("1/sub");
        Dir("2/sub");
        File("2/sub/f", "f", 0);
        m_settings.m_bDeleteGuard = nGuard == 1;
        FaultFileSystem fs(m_posix);
        fs.AddFault(FsOp::ListDir, P("2/sub"), EIO);
        EXPECT_EQ(RunItem(m_str1, m_str2, kDel1, nullptr, &fs), RunResult::Stopped);
        lines[nGuard] = m_host.m_lines;
        errors[nGuard] = m_host.m_errors;
        EXPECT_EQ(fs.CountCalls(FsOp::ListDir, P("2/sub")), nGuard == 1 ? 2u : 1u);
    }
    EXPECT_EQ(lines[1], lines[0]);
    EXPECT_EQ(errors[1], errors[0]);
    ASSERT_EQ(errors[0].size(), 1u);
}

} // namespace
} // namespace kovrel::test
