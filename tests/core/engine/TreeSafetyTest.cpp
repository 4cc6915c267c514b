// What the disk does behind a run's back: a directory swapped for a link while
// the pass works in it, temporaries of other runs, coarse file times, sparse
// files. Real trees throughout; the swap happens between two operations through
// the test file system's hook.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "EngineFixture.h"
#include "platform/OverlayFileSystem.h"
#include "support/BelowTopsWalks.h"
#include "support/CopyTemps.h"
#include "support/FaultFileSystem.h"

namespace kovrel::test {
namespace {

using platform::FaultFileSystem;
using platform::FsOp;
using platform::PosixFileSystem;

class TreeSafetyTest : public EngineTest,
                       public ::testing::WithParamInterface<PosixFileSystem::BelowTops> {
protected:
    // 2/b/sub becomes a link to "other" (a directory with files of its own) just
    // before the nAt-th call of op on a path below it.
    void SwapBeforeCall(FaultFileSystem& fault, FsOp op, int nAt) {
        fault.SetBeforeCall(
            [this, op, nAt, nSeen = 0](FsOp opNow, const std::string& strPath) mutable {
                if (opNow != op || strPath.find("/b/sub/") == std::string::npos || ++nSeen != nAt)
                    return;
                ASSERT_EQ(std::rename(P("2/b/sub").c_str(), P("moved").c_str()), 0);
                m_tmp.MakeSymlink("2/b/sub", P("other"));
            });
    }
    void MakeOther() {
        Dir("other");
        for (int i = 0; i < 30; ++i)
            File("other/f" + std::to_string(100 + i), "theirs", 50);
    }
    void Files(const std::string& strDir, int nCount, std::string_view strData) {
        for (int i = 0; i < nCount; ++i)
            File(strDir + "/f" + std::to_string(100 + i), strData, 1);
    }
    PosixFileSystem m_fs{GetParam()};
};

// Side 2's b/sub is being deleted (side 1 is empty, option 0x1) when it turns
// into a link to another directory: nothing there is deleted, each further
// deletion fails on its ordinary failure path.
TEST_P(TreeSafetyTest, DeletionsNeverFollowADirectorySwappedForALink) {
    MakeOther();
    const auto other = Snapshot("other");
    Dir("2/b");
    Dir("2/b/sub");
    Files("2/b/sub", 30, "mine");
    FaultFileSystem fault(m_fs);
    SwapBeforeCall(fault, FsOp::DeleteFile, 11);
    for (int i = 0; i < 40; ++i)
        m_host.m_ariAnswers.push_back(AbortRetryIgnore::Ignore);

    RunItem(m_str1, m_str2, SIO_NOFILE1_DELETE, nullptr, &fault);
    EXPECT_EQ(Snapshot("other"), other);
    EXPECT_EQ(m_stat.nDeleted2, 10);
    EXPECT_EQ(m_tmp.Names("moved").size(), 20u); // the rest stayed where they were
    // 20 deletions and the removals of b/sub (a link now) and of b (which
    // still holds that link) failed, each answered once.
    EXPECT_EQ(m_host.m_failures.size(), 22u);
    EXPECT_EQ(m_stat.nDeleteErrors, 20);
    EXPECT_EQ(m_stat.nRmdirErrors, 2);
    struct stat st {};
    ASSERT_TRUE(m_tmp.Stat("2/b/sub", st));
    EXPECT_TRUE(S_ISLNK(st.st_mode)); // the link is not what the pass was removing
}

// The same with option 0: side 1's files are being copied into side 2's b/sub.
TEST_P(TreeSafetyTest, CopiesNeverFollowADirectorySwappedForALink) {
    MakeOther();
    const auto other = Snapshot("other");
    Dir("1/b");
    Dir("1/b/sub");
    Files("1/b/sub", 30, "new");
    Dir("2/b");
    Dir("2/b/sub");
    FaultFileSystem fault(m_fs);
    SwapBeforeCall(fault, FsOp::CopyFile, 11);
    for (int i = 0; i < 40; ++i)
        m_host.m_ariAnswers.push_back(AbortRetryIgnore::Ignore);

    RunItem(m_str1, m_str2, 0, nullptr, &fault);
    EXPECT_EQ(Snapshot("other"), other);
    EXPECT_EQ(m_stat.nCopied1to2, 10);
    EXPECT_EQ(m_stat.nCopyErrors, 20);
    EXPECT_EQ(m_tmp.Names("moved").size(), 10u);
}

// The same trees with no swap: a run with the link protection does exactly what
// it always did (a symbolic link below the top is copied as a link).
TEST_P(TreeSafetyTest, OrdinaryTreesAreSynchronisedAsBefore) {
    MakeOther();
    Dir("1/b");
    Dir("1/b/sub");
    Files("1/b/sub", 5, "new");
    m_tmp.MakeSymlink("1/b/link", P("other"));
    RunItem(m_str1, m_str2, 0, nullptr, &m_fs);
    EXPECT_EQ(m_stat.nCopied1to2, 6);
    EXPECT_EQ(Snapshot("2"), Snapshot("1"));
    RunItem(m_str1, m_str2, 0, nullptr, &m_fs);
    EXPECT_EQ(m_stat.nCopied1to2, 0);
}

INSTANTIATE_TEST_SUITE_P(Walks, TreeSafetyTest, BelowTopsWalks(), BelowTopsWalkName);

class TempFileTest : public EngineTest {};

// A live run's temporary, another machine's, a user's look-alike and a link of
// the exact form: only the abandoned regular file goes, silently; the
// look-alike is synchronised like any file; a dry run logs the same.
TEST_F(TempFileTest, OnlyAbandonedTemporariesAreRemoved) {
    File("1/keep", "k", 1);
    File("2/keep", "k", 1);
    File("2/" + AbandonedTempName(1), "half", 1);
    File("2/" + LiveTempName(2), "being written", 1);
    File("2/" + ForeignTempName(3), "theirs", 1);
    File("2/.kovrel-copy~notes.txt", "my notes", 1);
    m_tmp.MakeSymlink("2/" + AbandonedTempName(4), "keep");

    platform::OverlayFileSystem overlay(m_posix);
    RunItem(m_str1, m_str2, SIO_NOFILE1_DELETE, nullptr, &overlay);
    const auto dryLines = m_host.m_lines;

    RunItem(m_str1, m_str2, SIO_NOFILE1_DELETE);
    EXPECT_EQ(m_host.m_lines, dryLines);
    EXPECT_EQ(Actions(), (std::vector<std::string>{m_str2 + "/.kovrel-copy~notes.txt Deleted"}));
    EXPECT_FALSE(Exists("2/" + AbandonedTempName(1)));
    EXPECT_EQ(Read("2/" + LiveTempName(2)), "being written");
    EXPECT_EQ(Read("2/" + ForeignTempName(3)), "theirs");
    struct stat st {};
    EXPECT_TRUE(m_tmp.Stat("2/" + AbandonedTempName(4), st));

    // Copied the other way, the look-alike is an ordinary file.
    File("1/.kovrel-copy~notes.txt", "my notes", 1);
    RunItem(m_str1, m_str2);
    EXPECT_EQ(Read("2/.kovrel-copy~notes.txt"), "my notes");
    EXPECT_EQ(m_stat.nCopied1to2, 1);
}

class CoarseTimesTest : public EngineTest {
protected:
    // Three files with nanoseconds in their times, one dated 2100.
    void MakeSide1() {
        File("1/a", "a", 1);
        File("1/b", "b", 2);
        Dir("1/d");
        File("1/d/c", "c", 3);
        m_tmp.SetTimes("1/d/c", 4102444800, 123, 4102444800, 456'789'123);
    }
    // A run, then a second real run and a dry run that both find nothing to do.
    void ExpectSecondRunsIdle(platform::FileSystem& fs, int nFirstCopies) {
        RunItem(m_str1, m_str2, 0, nullptr, &fs);
        EXPECT_EQ(m_stat.nCopied1to2, nFirstCopies);
        platform::OverlayFileSystem overlay(fs);
        RunItem(m_str1, m_str2, 0, nullptr, &overlay);
        EXPECT_EQ(Actions(), std::vector<std::string>{}) << "dry run";
        RunItem(m_str1, m_str2, 0, nullptr, &fs);
        EXPECT_EQ(Actions(), std::vector<std::string>{}) << "second run";
    }
};

// Side 2 keeps whole seconds and signed 32-bit dates (an ext4 with small
// inodes): found from the change times alone, its type tells nothing.
TEST_F(CoarseTimesTest, WholeSecondFileSystemSettles) {
    MakeSide1();
    FaultFileSystem fault(m_posix);
    platform::TimeInfo coarse;
    coarse.nGrainNs = 1'000'000'000;
    coarse.nMinSec = INT32_MIN;
    coarse.nMaxSec = INT32_MAX;
    fault.SetCoarseTimes(m_str2 + "*", coarse, platform::TimeInfo{});
    ExpectSecondRunsIdle(fault, 3);

    // A change within the same second is not seen there, one a second later is.
    m_tmp.SetTimes("1/a", kT0 + 1, 0, kT0 + 1, 900'000'000);
    RunItem(m_str1, m_str2, 0, nullptr, &fault);
    EXPECT_EQ(m_stat.nCopied1to2, 0);
    m_tmp.SetTimes("1/a", kT0 + 2, 0, kT0 + 2, 0);
    RunItem(m_str1, m_str2, 0, nullptr, &fault);
    EXPECT_EQ(m_stat.nCopied1to2, 1);
}

// FAT: two seconds, told by the file system's type.
TEST_F(CoarseTimesTest, TwoSecondFileSystemSettles) {
    MakeSide1();
    m_tmp.SetTimes("1/a", kT0 + 1, 0, kT0 + 1, 0); // an odd second
    FaultFileSystem fault(m_posix);
    platform::TimeInfo fat;
    fat.nGrainNs = 2'000'000'000;
    fat.nMinSec = 315532800;
    fat.nMaxSec = 4354819198;
    fat.nRangeSlackSec = 86400;
    fault.SetCoarseTimes(m_str2 + "*", fat, fat);
    ExpectSecondRunsIdle(fault, 3);
}

// On ordinary file systems times stay exact: a copy that differs by a
// nanosecond is still copied.
TEST_F(CoarseTimesTest, OrdinaryFileSystemsStayExact) {
    MakeSide1();
    RunItem(m_str1, m_str2);
    m_tmp.SetTimes("1/a", kT0 + 1, 0, kT0 + 1, 8);
    RunItem(m_str1, m_str2);
    EXPECT_EQ(Actions(), std::vector<std::string>{m_str1 + "/a -> " + m_str2 + "/a"});
}

// The real thing where the machine lets us mount an image: an ext4 made with
// 128-byte inodes keeps whole seconds and ends in 2038.
TEST_F(CoarseTimesTest, LoopMountedWholeSecondExt4Settles) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting needs root";
    const std::string strImage = P("image");
    const std::string strMount = P("mnt");
    Dir("mnt");
    const std::string strMake = "truncate -s 16M '" + strImage + "' && mkfs.ext4 -q -F -I 128 '" +
                                strImage + "' >/dev/null 2>&1 && mount -o loop '" + strImage +
                                "' '" + strMount + "' >/dev/null 2>&1";
    if (std::system(strMake.c_str()) != 0)
        GTEST_SKIP() << "no loop mount here";
    struct Unmount {
        std::string strMount;
        ~Unmount() { platform::IgnoreFailure(std::system(("umount '" + strMount + "'").c_str())); }
    } unmount{strMount};
    MakeSide1();
    m_str2 = strMount + "/2";
    ExpectSecondRunsIdle(m_posix, 3);
    struct stat st {};
    ASSERT_TRUE(m_tmp.Stat("mnt/2/a", st));
    EXPECT_EQ(st.st_mtim.tv_nsec, 0); // the file system really does keep whole seconds
}

} // namespace
} // namespace kovrel::test
