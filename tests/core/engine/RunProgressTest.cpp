// The progress line's figures against runs with known and unknown totals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/RunProgress.h"

namespace kovrel {
namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

// An item counted before it starts gives totals up to its end on top of what
// is done; they go with the item, and never replace the run's own.
TEST(RunProgress, ItemTotalsLastForTheItem) {
    CRunProgress progress;
    progress.Start(0);
    progress.OnCopyStart("/a/x", 2 * kMiB);
    progress.OnAction({RunActionKind::CopyNew, 2});
    progress.BeginItemTotals(2, 6 * kMiB);
    EXPECT_EQ(progress.FormatCounts(), "ファイル 1/3, 2.0 MiB/8.0 MiB");
    progress.OnAction({RunActionKind::DeleteFile, 2});
    EXPECT_EQ(progress.FormatCounts(), "ファイル 2/3, 2.0 MiB/8.0 MiB");
    progress.EndItemTotals();
    EXPECT_EQ(progress.FormatCounts(), "ファイル 2, 2.0 MiB");
    // The run's totals stand whatever an item counts.
    progress.SetTotals(10, 20 * kMiB);
    progress.BeginItemTotals(1, kMiB);
    EXPECT_EQ(progress.FormatCounts(), "ファイル 2/10, 2.0 MiB/20.0 MiB");
    progress.EndItemTotals();
    EXPECT_EQ(progress.FormatCounts(), "ファイル 2/10, 2.0 MiB/20.0 MiB");
}

TEST(RunProgress, BytesAreShownInTheirUnit) {
    const struct {
        std::uint64_t nBytes;
        const char* pszShown;
    } cases[] = {{0, "0 B"},        {1023, "1023 B"},        {1024, "1.0 KiB"},
                 {1536, "1.5 KiB"}, {10 * kMiB, "10.0 MiB"}, {kMiB * 1024 * 3, "3.0 GiB"}};
    for (const auto& c : cases)
        EXPECT_EQ(FormatBytes(c.nBytes), c.pszShown) << c.nBytes;
}

// Two copies of 10 MiB and a deletion, 2 s per copy, with and without totals.
TEST(RunProgress, FiguresAgainstARunWithKnownTotals) {
    const struct {
        bool bTotals;
        std::vector<std::string> expected; // after each step below
    } cases[] = {
        {false,
         {"ファイル 0, 0 B", "ファイル 0, 5.0 MiB, 5.0 MiB/s | big1 50%",
          "ファイル 1, 10.0 MiB, 5.0 MiB/s", "ファイル 2, 20.0 MiB, 5.0 MiB/s",
          "ファイル 3, 20.0 MiB, 4.0 MiB/s"}},
        {true,
         {"ファイル 0/3, 0 B/20.0 MiB, 0%",
          "ファイル 0/3, 5.0 MiB/20.0 MiB, 5.0 MiB/s, 25%, 残り 0:03 | big1 50%",
          "ファイル 1/3, 10.0 MiB/20.0 MiB, 5.0 MiB/s, 50%, 残り 0:02",
          "ファイル 2/3, 20.0 MiB/20.0 MiB, 5.0 MiB/s, 100%, 残り 0:00",
          "ファイル 3/3, 20.0 MiB/20.0 MiB, 4.0 MiB/s, 100%, 残り 0:00"}},
    };
    for (const auto& c : cases) {
        CRunProgress progress;
        progress.Start(1000);
        if (c.bTotals)
            progress.SetTotals(3, 20 * kMiB);
        std::vector<std::string> shown;
        shown.push_back(progress.Format(1000));
        progress.OnCopyStart("/a/big1", 10 * kMiB);
        progress.OnCopyProgress(5 * kMiB, 10 * kMiB);
        shown.push_back(progress.Format(2000));
        progress.OnCopyProgress(10 * kMiB, 10 * kMiB);
        progress.OnAction({RunActionKind::CopyNew, 2});
        shown.push_back(progress.Format(3000));
        // A small file gets no percentage of its own; an overwrite counts as a copy.
        progress.OnCopyStart("/a/big2", 10 * kMiB);
        progress.OnAction({RunActionKind::CopyOverwrite, 2});
        progress.OnAction({RunActionKind::CreateDir, 2}); // no file
        shown.push_back(progress.Format(5000));
        progress.OnAction({RunActionKind::DeleteFile, 1});
        shown.push_back(progress.Format(6000));
        EXPECT_EQ(shown, c.expected) << c.bTotals;
        EXPECT_EQ(progress.FilesDone(), 3u);
        EXPECT_EQ(progress.BytesDone(), 20 * kMiB);
    }
}

// The window's two halves say what the line says, split at the rate.
TEST(RunProgress, TheHalvesForAWindow) {
    const struct {
        bool bTotals;
        std::int64_t nNowMs;
        const char* pszDone;
        const char* pszRate;
    } cases[] = {
        {false, 0, "ファイル 0, 5.0 MiB", "big1 50%"},
        {false, 1000, "ファイル 0, 5.0 MiB", "5.0 MiB/s, big1 50%"},
        {true, 0, "ファイル 0/2, 5.0 MiB/20.0 MiB", "25%, big1 50%"},
        {true, 1000, "ファイル 0/2, 5.0 MiB/20.0 MiB", "25%, 残り 0:03, 5.0 MiB/s, big1 50%"},
    };
    for (const auto& c : cases) {
        CRunProgress progress;
        progress.Start(0);
        if (c.bTotals)
            progress.SetTotals(2, 20 * kMiB);
        progress.OnCopyStart("/a/big1", 10 * kMiB);
        progress.OnCopyProgress(5 * kMiB, 10 * kMiB);
        EXPECT_EQ(progress.FormatCounts(), c.pszDone) << c.bTotals << " " << c.nNowMs;
        EXPECT_EQ(progress.FormatPace(c.nNowMs), c.pszRate) << c.bTotals << " " << c.nNowMs;
    }
}

TEST(RunProgress, AFailedCopyAddsNoBytes) {
    CRunProgress progress;
    progress.Start(0);
    progress.OnCopyStart("/a/x", 100);
    progress.OnCopyProgress(50, 100);
    EXPECT_EQ(progress.BytesDone(), 50u);
    // Ignored after its failure: the next copy starts without an action between.
    progress.OnCopyStart("/a/y", 10);
    progress.OnAction({RunActionKind::CopyNew, 2});
    EXPECT_EQ(progress.BytesDone(), 10u);
    EXPECT_EQ(progress.FilesDone(), 1u);
}

} // namespace
} // namespace kovrel
