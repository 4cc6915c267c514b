// Failed operations, made by the fault-injecting file system: Retry, Ignore and
// Abort, fatal listing errors, unreadable item paths, and a copy that fails half way.
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "EngineFixture.h"
#include "support/FaultFileSystem.h"

namespace kovrel::test {
namespace {

using Lines = std::vector<std::string>;
using platform::FaultFileSystem;
using platform::FsOp;

Lines ErrorLines(int nCopy, int nDelete, int nMkdir, int nRmdir, int nOther) {
    return {"エラー個数 fileコピー : " + std::to_string(nCopy) +
                ", file削除 : " + std::to_string(nDelete),
            "　　　　　 dir作成 : " + std::to_string(nMkdir) +
                ", dir削除 : " + std::to_string(nRmdir),
            "　　　　　 その他 : " + std::to_string(nOther)};
}

// Each operation fails on the entry "m".
struct OpCase {
    const char* pszName;
    FsOp op;
    std::uint32_t dwOption;
    void (*pfnLayout)(const TempDir&);
    const char* pszFailure; // %1 and %2 stand for the side-1 and side-2 top
    const char* pszSuccess;
    int nCopy, nDelete, nMkdir, nRmdir;
};

void LayoutCopy12(const TempDir& t) {
    t.WriteFile("1/m", "new");
}
void LayoutCopy21(const TempDir& t) {
    t.WriteFile("2/m", "new");
}
void LayoutDelete(const TempDir& t) {
    t.WriteFile("2/m", "old");
}
void LayoutRemoveDir(const TempDir& t) {
    t.MakeDir("2/m");
}
void LayoutCreateDir(const TempDir& t) {
    t.MakeDir("1/m");
    t.WriteFile("1/m/inner", "i");
}

const OpCase kOpCases[] = {
    {"copy 1 to 2", FsOp::CopyFile, 0, LayoutCopy12, "Copy failed !! %1/m -> %2/m", "%1/m -> %2/m",
     1, 0, 0, 0},
    {"copy 2 to 1", FsOp::CopyFile, 0, LayoutCopy21, "Copy failed !! %1/m <- %2/m", "%1/m <- %2/m",
     1, 0, 0, 0},
    {"delete", FsOp::DeleteFile, SIO_NOFILE1_DELETE, LayoutDelete, "Delete failed !! %2/m",
     "%2/m Deleted", 0, 1, 0, 0},
    {"remove dir", FsOp::RemoveDir, SIO_NOFILE1_DELETE, LayoutRemoveDir,
     "Remove Dir. failed !! %2/m", "Directory %2/m Removed", 0, 0, 0, 1},
    {"create dir", FsOp::CreateDir, 0, LayoutCreateDir, "Create Dir. failed !! %2/m",
     "Directory %2/m created", 0, 0, 1, 0},
};

class FailureTest : public EngineTest {
protected:
    std::string Expand(const char* psz) const {
        std::string str = psz;
        for (std::size_t n; (n = str.find("%1")) != std::string::npos;)
            str.replace(n, 2, m_str1);
        for (std::size_t n; (n = str.find("%2")) != std::string::npos;)
            str.replace(n, 2, m_str2);
        return str;
    }
    void Reset() {
        for (const char* psz : {"1", "2"}) {
            const std::string strDir = P(psz);
            std::filesystem::remove_all(strDir);
            Dir(psz);
        }
    }
};

TEST_F(FailureTest, FailedOperationAnsweredIgnoreOrAbort) {
    for (const OpCase& c : kOpCases) {
        for (const AbortRetryIgnore answer : {AbortRetryIgnore::Ignore, AbortRetryIgnore::Abort}) {
            SCOPED_TRACE(std::string(c.pszName) +
                         (answer == AbortRetryIgnore::Ignore ? " / Ignore" : " / Abort"));
            Reset();
            c.pfnLayout(m_tmp);
            // A second item shows whether the run went on.
            File("1z", "z", 1);
            ::unlink(P("2z").c_str());
            CSyncItemList list;
            AddItem(list, m_str1, m_str2, c.dwOption);
            AddItem(list, P("1z"), P("2z"));
            FaultFileSystem fs(m_posix);
            fs.AddFault(c.op, "*/m", EIO);
            m_host.m_ariAnswers = {answer};
            const RunResult result = RunList(list, &fs);

            const std::string strFailure = Expand(c.pszFailure);
            EXPECT_EQ(m_host.m_failures, Lines{strFailure});
            const std::string strZ = P("1z") + " -> " + P("2z");
            Lines expected = {kStartLine, strFailure};
            if (answer == AbortRetryIgnore::Ignore) {
                EXPECT_EQ(result, RunResult::CompletedWithErrors);
                expected.push_back(strZ);
                expected.push_back(kCompletedLine);
            } else {
                EXPECT_EQ(result, RunResult::Stopped);
                expected.push_back(kCanceledLine);
                EXPECT_FALSE(Exists("2z"));
            }
            for (const std::string& str :
                 CountLines(answer == AbortRetryIgnore::Ignore ? 1 : 0, 0, 0, 0))
                expected.push_back(str);
            for (const std::string& str : ErrorLines(c.nCopy, c.nDelete, c.nMkdir, c.nRmdir, 0))
                expected.push_back(str);
            EXPECT_EQ(m_host.m_lines, expected);
            // A directory that could not be created is passed over with its files.
            EXPECT_FALSE(Exists("2/m/inner"));
        }
    }
}

TEST_F(FailureTest, RetryThenSuccessLogsOnlyTheSuccessLine) {
    for (const OpCase& c : kOpCases) {
        SCOPED_TRACE(c.pszName);
        Reset();
        c.pfnLayout(m_tmp);
        FaultFileSystem fs(m_posix);
        fs.AddFault(c.op, "*/m", EIO, 2);
        m_host.m_ariAnswers = {AbortRetryIgnore::Retry, AbortRetryIgnore::Retry};
        EXPECT_EQ(RunItem(m_str1, m_str2, c.dwOption, nullptr, &fs), RunResult::Completed);
        EXPECT_EQ(m_host.m_failures, (Lines{Expand(c.pszFailure), Expand(c.pszFailure)}));
        const Lines actions = Actions();
        ASSERT_FALSE(actions.empty());
        EXPECT_EQ(actions.front(), Expand(c.pszSuccess));
        EXPECT_EQ(std::count_if(actions.begin(), actions.end(),
                                [](const std::string& str) {
                                    return str.find("failed") != std::string::npos;
                                }),
                  0);
        EXPECT_EQ(m_stat.ErrorCount(), 0);
        EXPECT_EQ(m_stat.nDeleted2, c.nDelete);
    }
}

// A listing that fails is fatal: an OK-only message, and the run stops.
TEST_F(FailureTest, ListingErrorStopsTheRun) {
    struct Case {
        const char* pszName;
        std::uint32_t dwOption;
        bool bOnlySide2;
    };
    for (const Case& c : {Case{"walk", 0, false}, Case{"removal", SIO_NOFILE1_DELETE, true}}) {
        SCOPED_TRACE(c.pszName);
        Reset();
        if (!c.bOnlySide2)
            Dir("1/sub");
        Dir("2/sub");
        File("2/sub/f", "", 1);
        File("1z", "", 1);
        CSyncItemList list;
        AddItem(list, m_str1, m_str2, c.dwOption);
        AddItem(list, P("1z"), P("2z"));
        FaultFileSystem fs(m_posix);
        fs.AddFault(FsOp::ListDir, m_str2 + "/sub", EIO);
        EXPECT_EQ(RunList(list, &fs), RunResult::Stopped);
        EXPECT_EQ(m_host.m_errors,
                  Lines{"エラー(5)が発生しました。\n'" + m_str2 +
                        "/sub'\nは不正なパス名，あるいは未接続の機器へのパスの可能性があります。\n"
                        "処理を中止します。"});
        Lines expected = {kStartLine, kCanceledLine};
        for (const std::string& str : CountLines(0, 0, 0, 0))
            expected.push_back(str);
        for (const std::string& str : ErrorLines(0, 0, 0, 0, 1))
            expected.push_back(str);
        EXPECT_EQ(m_host.m_lines, expected);
        EXPECT_TRUE(Exists("2/sub/f"));
        EXPECT_FALSE(Exists("2z"));
    }
}

// A directory that has vanished by the time it is listed counts as empty.
TEST_F(FailureTest, ListingThatFindsNothingCountsAsEmpty) {
    Dir("1/sub");
    Dir("2/sub");
    File("2/sub/f", "x", 1);
    FaultFileSystem fs(m_posix);
    fs.AddFault(FsOp::ListDir, m_str1 + "/sub", ENOENT);
    EXPECT_EQ(RunItem(m_str1, m_str2, 0, nullptr, &fs), RunResult::Completed);
    EXPECT_EQ(Actions(), Lines{m_str1 + "/sub/f <- " + m_str2 + "/sub/f"});
}

// An item path that cannot be looked at (missing parent, a file in the way) is
// asked about; Yes goes on with the next item, No stops.
TEST_F(FailureTest, UnreadableItemPathIsAskedAbout) {
    File("1/file", "", 1);
    File("1/z", "", 1);
    struct Case {
        std::string strPath1;
        std::string strPath2;
        std::string strShown;
        int nError;
    };
    const Case cases[] = {
        {m_str1, m_str2 + "/missing/x", m_str2 + "/missing/x", ENOENT},
        {m_str1 + "/file/x", m_str2, m_str1 + "/file/x", ENOTDIR},
    };
    for (const Case& c : cases) {
        for (const bool bYes : {true, false}) {
            SCOPED_TRACE(c.strShown + (bYes ? " yes" : " no"));
            ::unlink(P("2/z").c_str());
            CSyncItemList list;
            AddItem(list, c.strPath1, c.strPath2);
            AddItem(list, P("1/z"), P("2/z"));
            m_host.m_yesNoAnswers = {bYes};
            const RunResult result = RunList(list);
            EXPECT_EQ(m_host.m_questions,
                      Lines{"エラー(" + std::to_string(c.nError) + ")が発生しました。\n'" +
                            c.strShown +
                            "'\nは不正なパス名，あるいは未接続の機器へのパスの可能性があります。\n"
                            "無視して継続しますか？"});
            EXPECT_EQ(m_stat.nOtherErrors, 1);
            EXPECT_EQ(result, bYes ? RunResult::CompletedWithErrors : RunResult::Stopped);
            EXPECT_EQ(Exists("2/z"), bYes);
            EXPECT_FALSE(Exists("2/missing"));
        }
    }
}

// A copy that runs out of room half way leaves the old target exactly as it was
// (also a read-only one the options allowed to be replaced) and no temporary.
TEST_F(FailureTest, CopyFailingHalfWayLeavesTheOldTarget) {
    for (const std::uint32_t dwMode : {0644u, 0444u}) {
        SCOPED_TRACE(dwMode);
        Reset();
        File("1/f", std::string(100000, 'n'), 20);
        File("2/f", "old contents", 10, dwMode);
        const auto before = Snapshot("2");
        FaultFileSystem fs(m_posix);
        fs.AddPartialCopyFault("*/2/f", 5000);
        m_host.m_ariAnswers = {AbortRetryIgnore::Ignore};
        EXPECT_EQ(RunItem(m_str1, m_str2, SIO_FORCE_RO2, nullptr, &fs),
                  RunResult::CompletedWithErrors);
        EXPECT_EQ(Actions(), Lines{"Copy failed !! " + m_str1 + "/f -> " + m_str2 + "/f"});
        EXPECT_EQ(m_stat.nCopyErrors, 1);
        EXPECT_EQ(Snapshot("2"), before);
        EXPECT_EQ(m_tmp.Names("2"), Lines{"f"});
        EXPECT_EQ(fs.CountCalls(FsOp::DeleteFile), 0u);
    }
}

// A forced read-only target is not deleted before the copy: the copy replaces it.
TEST_F(FailureTest, ForcedReadOnlyTargetIsReplacedNotDeletedFirst) {
    File("1/f", "new", 20);
    File("2/f", "old", 10, 0444);
    FaultFileSystem fs(m_posix);
    EXPECT_EQ(RunItem(m_str1, m_str2, SIO_FORCE_RO2, nullptr, &fs), RunResult::Completed);
    EXPECT_EQ(fs.CountCalls(FsOp::DeleteFile), 0u);
    EXPECT_EQ(Read("2/f"), "new");
    EXPECT_EQ(Mode("2/f"), 0644u);
}

// Abort inside a removal stops it there; what is left stays.
TEST_F(FailureTest, AbortInsideARemovalKeepsTheRest) {
    Dir("2/old");
    File("2/old/a", "", 1);
    File("2/old/b", "", 1);
    File("2/old/c", "", 1);
    FaultFileSystem fs(m_posix);
    fs.AddFault(FsOp::DeleteFile, "*/old/b", EIO);
    m_host.m_ariAnswers = {AbortRetryIgnore::Abort};
    EXPECT_EQ(RunItem(m_str1, m_str2, SIO_NOFILE1_DELETE, nullptr, &fs), RunResult::Stopped);
    EXPECT_EQ(Actions(),
              (Lines{m_str2 + "/old/a Deleted", "Delete failed !! " + m_str2 + "/old/b"}));
    EXPECT_TRUE(Exists("2/old/b"));
    EXPECT_TRUE(Exists("2/old/c"));
}

} // namespace
} // namespace kovrel::test
