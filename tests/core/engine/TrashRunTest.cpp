// Runs that keep what they delete and overwrite in the trash: the same log
// lines and counts as runs that delete for good, the files restorable from the
// home trash, and file systems without a usable trash asked about (deletions)
// or told of (overwrites).
#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include <unistd.h>

#include "EngineFixture.h"
#include "platform/OverlayFileSystem.h"
#include "platform/Trash.h"
#include "support/CopyTemps.h"
#include "support/FaultFileSystem.h"

namespace kovrel::test {
namespace {

using Lines = std::vector<std::string>;
using platform::FaultFileSystem;
using platform::FsOp;

class TrashRunTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        // One file system, "/": the home trash takes everything.
        platform::TrashEnv env;
        env.strDataHome = P("home");
        env.nUid = static_cast<std::uint32_t>(::geteuid());
        env.fnReadMountInfo = [] { return std::string("1 0 0:1 / / rw - ext4 /dev/root rw\n"); };
        m_posix.SetTrashEnv(std::move(env));
        Dir("home");
    }

    // Under strBase: s1/a.txt newer than s2/a.txt, s2/gone.txt alone on side 2.
    // The item copies a.txt over and deletes gone.txt.
    RunResult RunCase(const std::string& strBase, platform::FileSystem* pFs = nullptr) {
        BuildCase(strBase);
        return RunBuilt(strBase, pFs);
    }
    void BuildCase(const std::string& strBase) const {
        Dir(strBase);
        Dir(strBase + "/s1");
        Dir(strBase + "/s2");
        Dir(strBase + "/s2/sub");
        File(strBase + "/s1/a.txt", "new", 10);
        File(strBase + "/s2/a.txt", "old", 1);
        File(strBase + "/s2/gone.txt", "gone", 1);
        File(strBase + "/s2/sub/deep.txt", "deep", 1);
    }
    RunResult RunBuilt(const std::string& strBase, platform::FileSystem* pFs = nullptr) {
        return RunItem(P(strBase + "/s1"), P(strBase + "/s2"), SIO_NOFILE1_DELETE, nullptr, pFs);
    }

    // The log lines after the start line with strBase's path taken out.
    Lines Neutral(const std::string& strBase) const {
        Lines lines = AfterStart();
        const std::string strAbs = P(strBase);
        for (std::string& strLine : lines)
            for (std::size_t n = strLine.find(strAbs); n != std::string::npos;
                 n = strLine.find(strAbs))
                strLine.replace(n, strAbs.size(), "@");
        return lines;
    }

    // The questions about deleting for good with strBase's path taken out.
    Lines NeutralQuestions(const std::string& strBase) const {
        Lines questions = m_host.m_noTrashQuestions;
        const std::string strAbs = P(strBase);
        for (std::string& strText : questions)
            for (std::size_t n = strText.find(strAbs); n != std::string::npos;
                 n = strText.find(strAbs))
                strText.replace(n, strAbs.size(), "@");
        return questions;
    }

    std::string Trash(std::string_view strRel) const { return "home/Trash/" + std::string(strRel); }

    // Names in a directory of the home trash, sorted; none before it exists.
    Lines TrashNames(std::string_view strSub) const {
        if (!Exists(Trash(strSub)))
            return {};
        Lines names = m_tmp.Names(Trash(strSub));
        std::sort(names.begin(), names.end());
        return names;
    }

    // Under strBase: s1 and s2 share same.txt; s2/strTree, missing on side 1,
    // holds files, a link, an empty directory and a directory two deep.
    void BuildTree(const std::string& strBase, const std::string& strTree) const {
        Dir(strBase);
        Dir(strBase + "/s1");
        Dir(strBase + "/s2");
        File(strBase + "/s1/same.txt", "same", 1);
        File(strBase + "/s2/same.txt", "same", 1);
        const std::string strTop = strBase + "/s2/" + strTree;
        Dir(strTop);
        File(strTop + "/a.txt", "a", 1);
        Dir(strTop + "/b");
        File(strTop + "/b/c.txt", "c", 1);
        m_tmp.MakeSymlink(strTop + "/b/link", "c.txt");
        Dir(strTop + "/b/d");
        File(strTop + "/b/d/e.txt", "e", 1);
        Dir(strTop + "/empty");
        File(strTop + "/z.txt", "z", 1);
    }

    // The host's lines with the kind and side of each action, strBase's path
    // taken out.
    Lines NeutralAnnotated(const std::string& strBase) const {
        Lines lines = m_host.m_annotated;
        const std::string strAbs = P(strBase);
        for (std::string& strLine : lines)
            for (std::size_t n = strLine.find(strAbs); n != std::string::npos;
                 n = strLine.find(strAbs))
                strLine.replace(n, strAbs.size(), "@");
        return lines;
    }
};

// With and without the trash the run logs and counts the same; with it, the
// deleted files and the overwritten version wait in the trash with the
// .trashinfo that says where they came from.
TEST_F(TrashRunTest, KeepsDeletedAndOverwrittenFilesWithTheSameLines) {
    m_settings.m_bUseTrash = false;
    ASSERT_EQ(RunCase("plain"), RunResult::Completed);
    const Lines plainLines = Neutral("plain");
    const SYNCSTAT plainStat = m_stat;
    EXPECT_FALSE(Exists("home/Trash"));

    m_settings.m_bUseTrash = true;
    ASSERT_EQ(RunCase("kept"), RunResult::Completed);
    EXPECT_EQ(Neutral("kept"), plainLines);
    EXPECT_EQ(m_stat.nCopied1to2, plainStat.nCopied1to2);
    EXPECT_EQ(m_stat.nDeleted2, plainStat.nDeleted2);
    EXPECT_EQ(m_stat.nDeleted2, 2);
    EXPECT_TRUE(m_host.m_noTrashQuestions.empty());

    EXPECT_EQ(Read("kept/s2/a.txt"), "new");
    EXPECT_FALSE(Exists("kept/s2/gone.txt"));
    EXPECT_FALSE(Exists("kept/s2/sub"));
    struct Kept {
        const char* pszName;
        const char* pszData;
        const char* pszFrom;
    };
    // The directory removed whole goes as one entry, its file inside it.
    for (const Kept& k :
         {Kept{"a.txt", "old", "kept/s2/a.txt"}, Kept{"gone.txt", "gone", "kept/s2/gone.txt"},
          Kept{"sub", nullptr, "kept/s2/sub"}}) {
        SCOPED_TRACE(k.pszName);
        if (k.pszData) {
            EXPECT_EQ(Read(Trash("files/") + k.pszName), k.pszData);
        }
        const std::string strInfo = Read(Trash("info/") + k.pszName + ".trashinfo");
        EXPECT_NE(strInfo.find("Path=" + platform::PercentEncodePath(P(k.pszFrom)) + "\n"),
                  std::string::npos)
            << strInfo;
    }
    EXPECT_EQ(Read(Trash("files/sub/deep.txt")), "deep");
}

// A directory removed whole goes to the trash as one entry with one
// .trashinfo, while the log and the counts say what deleting it file by file
// says, in the same order; a dry run predicts the same lines. Both as a
// directory inside the item and as the item's own top (its partner absent).
TEST_F(TrashRunTest, WholeTreeGoesAsOneEntryWithTheLinesOfFileByFile) {
    struct Case {
        const char* pszName;
        bool bTop; // side 1's top is absent: side 2's top is the tree
    };
    for (const Case c : {Case{"inner", false}, Case{"top", true}}) {
        SCOPED_TRACE(c.pszName);
        const std::string strTree = std::string("tree-") + c.pszName;
        const auto run = [&](const std::string& strBase, bool bTrash, platform::FileSystem* pFs) {
            BuildTree(strBase, strTree);
            m_settings.m_bUseTrash = bTrash;
            m_host.m_missingTopAnswers = {true};
            const RunResult result =
                c.bTop ? RunItem(P(strBase + "/absent"), P(strBase + "/s2/" + strTree),
                                 SIO_NOFILE1_DELETE, nullptr, pFs)
                       : RunItem(P(strBase + "/s1"), P(strBase + "/s2"), SIO_NOFILE1_DELETE,
                                 nullptr, pFs);
            EXPECT_EQ(result, RunResult::Completed);
            EXPECT_EQ(m_stat.nDeleted2, 5);
            EXPECT_EQ(m_stat.ErrorCount(), 0);
        };
        const std::string strPlain = std::string(c.pszName) + "-plain";
        run(strPlain, false, nullptr);
        const Lines plainLines = Neutral(strPlain);
        const Lines plainAnnotated = NeutralAnnotated(strPlain);
        ASSERT_TRUE(std::find(plainLines.begin(), plainLines.end(),
                              "Directory @/s2/" + strTree + "/b/d Removed") != plainLines.end());

        const std::string strDry = std::string(c.pszName) + "-dry";
        platform::OverlayFileSystem overlay(m_posix);
        run(strDry, true, &overlay);
        EXPECT_EQ(Neutral(strDry), plainLines);
        EXPECT_EQ(NeutralAnnotated(strDry), plainAnnotated);
        EXPECT_TRUE(Exists(strDry + "/s2/" + strTree + "/b/d/e.txt"));

        const std::string strKept = std::string(c.pszName) + "-kept";
        const Lines filesBefore = TrashNames("files");
        FaultFileSystem counted(m_posix);
        run(strKept, true, &counted);
        EXPECT_EQ(Neutral(strKept), plainLines);
        EXPECT_EQ(NeutralAnnotated(strKept), plainAnnotated);
        EXPECT_TRUE(m_host.m_noTrashQuestions.empty());
        EXPECT_EQ(counted.CountCalls(FsOp::MoveToTrash), 1u);
        EXPECT_FALSE(Exists(strKept + "/s2/" + strTree));

        Lines filesExpected = filesBefore;
        filesExpected.push_back(strTree);
        std::sort(filesExpected.begin(), filesExpected.end());
        EXPECT_EQ(TrashNames("files"), filesExpected);
        EXPECT_EQ(TrashNames("info").size(), filesExpected.size());
        const std::string strInfo = Read(Trash("info/" + strTree + ".trashinfo"));
        EXPECT_NE(strInfo.find(
                      "Path=" + platform::PercentEncodePath(P(strKept + "/s2/" + strTree)) + "\n"),
                  std::string::npos)
            << strInfo;
        EXPECT_EQ(Read(Trash("files/" + strTree + "/b/d/e.txt")), "e");
        EXPECT_TRUE(Exists(Trash("files/" + strTree + "/empty")));
    }
}

// Cancel pressed while a tree is listed for its move ends the run before any
// of it is deleted.
TEST_F(TrashRunTest, CancelWhileATreeIsListedDeletesNothingOfIt) {
    BuildTree("cancel", "tree");
    const auto before = Snapshot("cancel/s2");
    m_settings.m_bUseTrash = true;
    FaultFileSystem faults(m_posix);
    faults.SetBeforeCall([&](FsOp op, const std::string& strPath) {
        if (op == FsOp::CountUnlisted && strPath == P("cancel/s2/tree/b"))
            m_host.m_nCancelAtCheck = 1; // the next look at Cancel finds it
    });
    EXPECT_EQ(RunItem(P("cancel/s1"), P("cancel/s2"), SIO_NOFILE1_DELETE, nullptr, &faults),
              RunResult::Stopped);
    EXPECT_EQ(Snapshot("cancel/s2"), before);
    EXPECT_EQ(faults.CountCalls(FsOp::MoveToTrash), 0u);
    EXPECT_EQ(m_stat.nDeleted2, 0);
}

// A tree that would keep something when deleted file by file (a FIFO, a live
// copy temporary, a trash directory), or that finds no trash, goes file by
// file exactly as before: the same lines and questions as without the tree
// move, what stays where it was, each deleted file its own trash entry.
TEST_F(TrashRunTest, TreeThatKeepsSomethingOrFindsNoTrashGoesFileByFile) {
    enum class Keep : std::uint8_t { Fifo, LiveTemp, TrashDir, NoTrash };
    struct Case {
        const char* pszName;
        Keep eKeep;
    };
    const std::string strTrashDir = ".Trash-" + std::to_string(::geteuid());
    const Case cases[] = {{"fifo", Keep::Fifo},
                          {"live-temp", Keep::LiveTemp},
                          {"trash-dir", Keep::TrashDir},
                          {"no-trash", Keep::NoTrash}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        const auto run = [&](const std::string& strBase, bool bTrash, FaultFileSystem& faults) {
            BuildTree(strBase, "tree");
            const std::string strB = strBase + "/s2/tree/b";
            switch (c.eKeep) {
            case Keep::Fifo:
                m_tmp.MakeFifo(strB + "/pipe");
                break;
            case Keep::LiveTemp:
                File(strB + "/" + LiveTempName(), "partial", 1);
                break;
            case Keep::TrashDir:
                Dir(strB + "/" + strTrashDir);
                File(strB + "/" + strTrashDir + "/old.txt", "old", 1);
                break;
            case Keep::NoTrash:
                faults.AddFault(FsOp::MoveToTrash, P(strBase) + "/*", EROFS);
                break;
            }
            m_settings.m_bUseTrash = bTrash;
            // b and tree are not empty: their removal fails, answered Ignore.
            const bool bUnlisted = c.eKeep == Keep::LiveTemp || c.eKeep == Keep::TrashDir;
            m_host.m_ariAnswers.clear();
            if (bUnlisted)
                m_host.m_ariAnswers = {AbortRetryIgnore::Ignore, AbortRetryIgnore::Ignore};
            m_host.m_noTrashAnswers = {false};
            (void)RunItem(P(strBase + "/s1"), P(strBase + "/s2"), SIO_NOFILE1_DELETE, nullptr,
                          &faults);
            EXPECT_TRUE(m_host.m_ariAnswers.empty());
        };
        const std::string strPlain = std::string(c.pszName) + "-plain";
        const std::string strKept = std::string(c.pszName) + "-kept";
        FaultFileSystem plainFs(m_posix);
        run(strPlain, false, plainFs);
        const Lines plainLines = Neutral(strPlain);
        const SYNCSTAT plainStat = m_stat;
        const Lines filesBefore = TrashNames("files");
        FaultFileSystem keptFs(m_posix);
        run(strKept, true, keptFs);
        // The listings taken for the move serve the walk: nothing is listed twice.
        EXPECT_EQ(keptFs.CountCalls(FsOp::ListDir), plainFs.CountCalls(FsOp::ListDir));
        // The tree's own move is never made, at most tried where no trash is.
        EXPECT_EQ(keptFs.CountCalls(FsOp::MoveToTrash, P(strKept + "/s2/tree")),
                  c.eKeep == Keep::NoTrash ? 1u : 0u);
        if (c.eKeep == Keep::NoTrash) {
            // Asked once, answered No: everything stays, each with its line.
            EXPECT_EQ(m_host.m_noTrashQuestions.size(), 1u);
            EXPECT_EQ(m_stat.nDeleted2, 0);
            EXPECT_EQ(m_stat.nPassedOver, 5);
            EXPECT_EQ(keptFs.CountCalls(FsOp::MoveToTrash), 6u);
            const Lines lines = Neutral(strKept);
            for (const char* pszLine :
                 {"Delete skipped (no trash) @/s2/tree/b/d/e.txt",
                  "Directory remove skipped @/s2/tree/b/d", "Directory remove skipped @/s2/tree"})
                EXPECT_EQ(std::count(lines.begin(), lines.end(), pszLine), 1) << pszLine;
            EXPECT_EQ(Read(strKept + "/s2/tree/b/d/e.txt"), "e");
            EXPECT_EQ(TrashNames("files"), filesBefore);
            continue;
        }
        EXPECT_EQ(Neutral(strKept), plainLines);
        EXPECT_EQ(m_stat.nDeleted2, plainStat.nDeleted2);
        EXPECT_EQ(m_stat.nDeleted2, 5);
        EXPECT_EQ(m_stat.nRmdirErrors, plainStat.nRmdirErrors);
        EXPECT_TRUE(m_host.m_noTrashQuestions.empty());
        // Five files, five entries; the directory holding what stays is there.
        EXPECT_EQ(keptFs.CountCalls(FsOp::MoveToTrash), 5u);
        EXPECT_EQ(TrashNames("files").size(), filesBefore.size() + 5);
        EXPECT_TRUE(Exists(strKept + "/s2/tree/b"));
        EXPECT_FALSE(Exists(strKept + "/s2/tree/b/c.txt"));
    }
}

// A dry run predicts what the run with the trash logs.
TEST_F(TrashRunTest, DryRunPredictsTheSameLines) {
    m_settings.m_bUseTrash = true;
    platform::OverlayFileSystem overlay(m_posix);
    ASSERT_EQ(RunCase("dry", &overlay), RunResult::Completed);
    const Lines predicted = Neutral("dry");
    EXPECT_FALSE(Exists("home/Trash/files/gone.txt"));
    EXPECT_TRUE(Exists("dry/s2/gone.txt"));
    ASSERT_EQ(RunCase("real"), RunResult::Completed);
    EXPECT_EQ(Neutral("real"), predicted);
}

// Where no trash can be used, deletions ask once whether to delete for good:
// No leaves them, each with a line, and the run ends as having passed work
// over; Yes deletes as without the trash. Overwrites go ahead, said once.
TEST_F(TrashRunTest, NoTrashAsksOnceForDeletionsAndTellsOfOverwrites) {
    for (const bool bYes : {false, true}) {
        SCOPED_TRACE(bYes ? "yes" : "no");
        const std::string strBase = bYes ? "yes" : "no";
        m_settings.m_bUseTrash = true;
        FaultFileSystem faults(m_posix);
        faults.AddFault(FsOp::MoveToTrash, P(strBase) + "/*", EROFS);
        faults.AddFault(FsOp::KeepInTrash, P(strBase) + "/*", EROFS);
        m_host.m_noTrashAnswers = {bYes};
        const RunResult result = RunCase(strBase, &faults);

        EXPECT_EQ(result, bYes ? RunResult::Completed : RunResult::CompletedWithErrors);
        EXPECT_EQ(m_host.m_noTrashQuestions,
                  Lines{"'" + P(strBase) +
                        "/*' ではごみ箱を使えません。\n"
                        "このファイルシステムのファイルを完全に削除しますか？"});
        EXPECT_EQ(Read(strBase + "/s2/a.txt"), "new");
        EXPECT_FALSE(Exists("home/Trash/files/a.txt"));
        const Lines lines = Neutral(strBase);
        EXPECT_EQ(std::count(lines.begin(), lines.end(),
                             "No trash on @/*: overwritten files there are not kept"),
                  1);
        EXPECT_EQ(m_stat.ErrorCount(), 0);
        if (bYes) {
            EXPECT_FALSE(Exists(strBase + "/s2/gone.txt"));
            EXPECT_FALSE(Exists(strBase + "/s2/sub"));
            EXPECT_EQ(m_stat.nDeleted2, 2);
            EXPECT_EQ(m_stat.nPassedOver, 0);
        } else {
            EXPECT_EQ(Read(strBase + "/s2/gone.txt"), "gone");
            EXPECT_EQ(Read(strBase + "/s2/sub/deep.txt"), "deep");
            EXPECT_EQ(m_stat.nDeleted2, 0);
            EXPECT_EQ(m_stat.nPassedOver, 2);
            for (const char* pszLine : {"Delete skipped (no trash) @/s2/gone.txt",
                                        "Delete skipped (no trash) @/s2/sub/deep.txt",
                                        "Directory remove skipped @/s2/sub"})
                EXPECT_EQ(std::count(lines.begin(), lines.end(), pszLine), 1) << pszLine;
        }
    }
}

// Where no trash can be used, a dry run asks the same question and writes the
// same lines as the run itself, whatever the answer: a read-only mount, a
// network share, and a file system whose trash cannot be made.
TEST_F(TrashRunTest, DryRunAsksAndLogsAsTheRunWhereNoTrashCanBeUsed) {
    struct Case {
        const char* pszName;
        const char* pszMount; // options, type and source of side 2's mount
        bool bBlockTrash;     // side 2's .Trash-$uid holds a file named "files"
    };
    const Case cases[] = {
        {"read-only", "ro - ext4 /dev/ro rw", false},
        {"network", "rw - nfs4 server:/share rw", false},
        {"trash-blocked", "rw - ext4 /dev/vol rw", true},
    };
    const std::string strUid = std::to_string(::geteuid());
    m_settings.m_bUseTrash = true;
    for (const Case& c : cases) {
        for (const bool bYes : {false, true}) {
            const std::string strCase = std::string(c.pszName) + (bYes ? "-yes" : "-no");
            SCOPED_TRACE(strCase);
            const std::string strDry = strCase + "-dry";
            const std::string strReal = strCase + "-real";
            std::string strTable = "1 0 0:1 / / rw - ext4 /dev/root rw\n";
            int nId = 2;
            for (const std::string& strBase : {strDry, strReal}) {
                BuildCase(strBase);
                if (c.bBlockTrash) {
                    Dir(strBase + "/s2/.Trash-" + strUid);
                    File(strBase + "/s2/.Trash-" + strUid + "/files", "not a directory", 1);
                }
                strTable += std::to_string(nId) + " 1 0:" + std::to_string(nId) + " / " +
                            P(strBase + "/s2") + " " + c.pszMount + "\n";
                ++nId;
            }
            platform::TrashEnv env;
            env.strDataHome = P("home");
            env.nUid = static_cast<std::uint32_t>(::geteuid());
            env.fnReadMountInfo = [strTable] { return strTable; };
            m_posix.SetTrashEnv(std::move(env));

            const auto before = Snapshot(strDry);
            platform::OverlayFileSystem overlay(m_posix);
            m_host.m_noTrashAnswers = {bYes};
            const RunResult dryResult = RunBuilt(strDry, &overlay);
            const Lines dryLines = Neutral(strDry);
            const Lines dryQuestions = NeutralQuestions(strDry);
            const SYNCSTAT dryStat = m_stat;
            EXPECT_EQ(Snapshot(strDry), before);
            EXPECT_EQ(dryQuestions.size(), 1u);

            m_host.m_noTrashAnswers = {bYes};
            const RunResult realResult = RunBuilt(strReal);
            EXPECT_EQ(realResult, dryResult);
            EXPECT_EQ(Neutral(strReal), dryLines);
            EXPECT_EQ(NeutralQuestions(strReal), dryQuestions);
            EXPECT_EQ(m_stat.nDeleted2, dryStat.nDeleted2);
            EXPECT_EQ(m_stat.nPassedOver, dryStat.nPassedOver);
            EXPECT_EQ(m_stat.nDeleted2, bYes ? 2 : 0);
            EXPECT_EQ(Exists(strReal + "/s2/gone.txt"), !bYes);
            EXPECT_EQ(std::count(dryLines.begin(), dryLines.end(),
                                 "No trash on @/s2: overwritten files there are not kept"),
                      1);
        }
    }
}

// Without hard links the old version is moved to the trash right before the
// copy; a version that cannot be kept at all is not overwritten.
TEST_F(TrashRunTest, OverwriteWithoutHardLinksMovesAndAFailedKeepStopsTheCopy) {
    m_settings.m_bUseTrash = true;
    {
        FaultFileSystem faults(m_posix);
        faults.AddFault(FsOp::KeepInTrash, "*", EMLINK);
        ASSERT_EQ(RunCase("fat", &faults), RunResult::Completed);
        EXPECT_EQ(Read("fat/s2/a.txt"), "new");
        EXPECT_EQ(Read(Trash("files/a.txt")), "old");
        EXPECT_EQ(m_stat.nCopied1to2, 1);
    }
    {
        FaultFileSystem faults(m_posix);
        faults.AddFault(FsOp::KeepInTrash, "*", EMLINK);
        faults.AddFault(FsOp::MoveToTrash, "*/a.txt", EIO);
        m_host.m_ariAnswers = {AbortRetryIgnore::Ignore};
        EXPECT_EQ(RunCase("broken", &faults), RunResult::CompletedWithErrors);
        EXPECT_EQ(m_host.m_failures,
                  Lines{"Copy failed !! " + P("broken/s1/a.txt") + " -> " + P("broken/s2/a.txt")});
        EXPECT_EQ(m_stat.nCopyErrors, 1);
        EXPECT_EQ(Read("broken/s2/a.txt"), "old");
        EXPECT_EQ(m_stat.nDeleted2, 2);
    }
}

// A target that went away before its old version could be kept is no failure:
// the pair is decided afresh, as without the trash, and the copy made.
TEST_F(TrashRunTest, TargetGoneBeforeTheKeepIsDecidedAfresh) {
    m_settings.m_bUseTrash = true;
    FaultFileSystem faults(m_posix);
    bool bRemoved = false;
    faults.SetBeforeCall([&](FsOp op, const std::string& strPath) {
        if (op == FsOp::KeepInTrash && !bRemoved) {
            bRemoved = true;
            ::unlink(strPath.c_str());
        }
    });
    EXPECT_EQ(RunCase("gone", &faults), RunResult::Completed);
    EXPECT_TRUE(bRemoved);
    EXPECT_TRUE(m_host.m_failures.empty());
    EXPECT_EQ(Read("gone/s2/a.txt"), "new");
    EXPECT_EQ(m_stat.nCopied1to2, 1);
    EXPECT_EQ(m_stat.ErrorCount(), 0);
}

} // namespace
} // namespace kovrel::test
