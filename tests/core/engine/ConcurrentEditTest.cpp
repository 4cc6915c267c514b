// A user who saves a file while a run goes on: the run decides every pair that
// gets an action on what is there when the pair's turn comes, and a file that
// changes between that decision and the copy's rename (or the delete) is kept.
// Real trees; the edits happen between two operations through the test file
// system's hook.
#include <functional>
#include <string>
#include <vector>

#include "EngineFixture.h"
#include "support/FaultFileSystem.h"

namespace kovrel::test {
namespace {

using platform::FaultFileSystem;
using platform::FsOp;

class ConcurrentEditTest : public EngineTest {
protected:
    // Runs fnEdit before the nAt-th call (1-based) of op whose path ends in
    // strSuffix; nAt 0: before every such call.
    void EditBefore(FsOp op, std::string strSuffix, int nAt, std::function<void()> fnEdit) {
        m_fault.SetBeforeCall([=, this, nSeen = 0](FsOp opNow, const std::string& strPath) mutable {
            if (opNow != op || !strPath.ends_with(strSuffix))
                return;
            if (++nSeen == nAt || nAt == 0)
                fnEdit();
        });
    }
    // No copy temporary is left anywhere on side 2.
    void ExpectNoTemporaries() {
        for (const std::string& strName : m_tmp.Names("2"))
            EXPECT_EQ(strName.find(".kovrel-copy~"), std::string::npos) << strName;
    }
    FaultFileSystem m_fault{m_posix};
};

// The case as reported: while a big file is copied, the user saves a newer
// zzz-notes.txt on side 2, which the listing saw older than side 1's. The
// edit wins on both sides instead of being overwritten from the stale listing.
TEST_F(ConcurrentEditTest, EditSavedWhileAnEarlierFileIsCopiedIsKept) {
    File("1/big.bin", std::string(1 << 20, 'b'), 1);
    File("1/zzz-notes.txt", "side 1 notes", 10);
    File("2/zzz-notes.txt", "old notes", 5);
    EditBefore(FsOp::CopyFile, "/big.bin", 1, [&] { File("2/zzz-notes.txt", "my edit", 100); });

    EXPECT_EQ(RunItem(m_str1, m_str2, 0, nullptr, &m_fault), RunResult::Completed);
    EXPECT_EQ(Actions(),
              (std::vector<std::string>{P("1/big.bin") + " -> " + P("2/big.bin"),
                                        P("1/zzz-notes.txt") + " <- " + P("2/zzz-notes.txt")}));
    EXPECT_EQ(Read("2/zzz-notes.txt"), "my edit");
    EXPECT_EQ(Read("1/zzz-notes.txt"), "my edit");
}

// The target changes after the pair was decided and before the copy's rename.
// Once: the copy is given up and the pair decided afresh. Every time: the
// failure box with the reason, and the edit stays.
TEST_F(ConcurrentEditTest, TargetChangedBeforeTheRenameIsNeverReplaced) {
    struct Case {
        const char* lpszName;
        bool bTargetExists; // side 2 has the file when the run starts
        int nAt;            // the copy before which the edit happens; 0: every one
        std::int64_t nEditAge;
        std::vector<std::string> actions; // relative: "a" -> side 1, "b" -> side 2
        int nCopyErrors;
    };
    const std::string a = "1/f.txt";
    const std::string b = "2/f.txt";
    const Case cases[] = {
        {"saved newer: copied back", true, 1, 100, {"<-"}, 0},
        {"saved where none was: kept, copied back", false, 1, 100, {"<-"}, 0},
        {"changed again and again", true, 0, 3, {"failed"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lpszName);
        m_tmp.SetMode("2", 0755);
        File(a, "source", 10);
        if (c.bTargetExists)
            File(b, "older", 5);
        int nEdits = 0;
        // The edit keeps the target older than the source (nEditAge 3) or
        // makes it newer; each edit has its own size.
        EditBefore(FsOp::CopyFile, "/f.txt", c.nAt,
                   [&] { File(b, "edit " + std::string(++nEdits, '+'), c.nEditAge); });
        m_host.m_ariAnswers = {AbortRetryIgnore::Ignore};

        EXPECT_NE(RunItem(m_str1, m_str2, 0, nullptr, &m_fault), RunResult::Stopped);
        std::vector<std::string> expected;
        for (const std::string& strWhat : c.actions) {
            if (strWhat == "<-")
                expected.push_back(P(a) + " <- " + P(b));
            else
                expected.push_back("Copy failed !! " + P(a) + " -> " + P(b));
        }
        EXPECT_EQ(Actions(), expected);
        EXPECT_EQ(m_stat.nCopyErrors, c.nCopyErrors);
        EXPECT_EQ(Read(b), "edit " + std::string(nEdits, '+'));
        if (c.nCopyErrors > 0) {
            EXPECT_EQ(m_host.m_failureReasons,
                      (std::vector<std::string>{"changed during the copy"}));
            EXPECT_EQ(nEdits, 2); // decided afresh once, then the box
        } else {
            EXPECT_EQ(Read(a), Read(b));
            EXPECT_TRUE(m_host.m_failures.empty());
        }
        ExpectNoTemporaries();
        m_fault.SetBeforeCall({});
        std::remove(P(a).c_str());
        std::remove(P(b).c_str());
    }
}

// A file that side 1 lacks is to be deleted on side 2; just before the delete
// the user edits it and saves a copy on side 1 as well. Decided afresh, the
// edit is copied over instead of deleted.
TEST_F(ConcurrentEditTest, FileChangedBeforeItsDeleteIsNotDeleted) {
    File("2/gone.txt", "old", 5);
    // The second look at the file is the one right before the delete.
    EditBefore(FsOp::GetAttr, "2/gone.txt", 2, [&] {
        File("2/gone.txt", "my edit", 100);
        File("1/gone.txt", "copy", 50);
    });

    EXPECT_EQ(RunItem(m_str1, m_str2, SIO_NOFILE1_DELETE, nullptr, &m_fault), RunResult::Completed);
    EXPECT_EQ(Actions(), (std::vector<std::string>{P("1/gone.txt") + " <- " + P("2/gone.txt")}));
    EXPECT_EQ(Read("2/gone.txt"), "my edit");
    EXPECT_EQ(m_stat.nDeleted2, 0);
}

// A pair with nothing to do costs nothing beyond its listing; only the pairs
// whose action replaces or deletes a file are looked at again.
TEST_F(ConcurrentEditTest, OnlyPairsWithAnActionAreLookedAtAgain) {
    for (int i = 0; i < 20; ++i) {
        File("1/same" + std::to_string(i), "s", 1);
        File("2/same" + std::to_string(i), "s", 1);
    }
    File("1/newer", "n", 9);
    File("2/newer", "o", 1);
    File("1/only", "o", 1); // copied onto a side that lacks it: nothing is replaced

    EXPECT_EQ(RunItem(m_str1, m_str2, 0, nullptr, &m_fault), RunResult::Completed);
    EXPECT_EQ(m_stat.nCopied1to2, 2);
    EXPECT_EQ(m_fault.CountCalls(FsOp::GetAttr, "*/only"), 0u);
    EXPECT_EQ(m_fault.CountCalls(FsOp::GetAttr, m_str1 + "/same*"), 0u);
    EXPECT_EQ(m_fault.CountCalls(FsOp::GetAttr, m_str2 + "/same*"), 0u);
    EXPECT_EQ(m_fault.CountCalls(FsOp::GetAttr, m_str1 + "/newer"), 1u);
    EXPECT_EQ(m_fault.CountCalls(FsOp::GetAttr, m_str2 + "/newer"), 1u);
}

} // namespace
} // namespace kovrel::test
