// What must hold whatever happens to a run: a new directory is never more open
// than its model while it is filled, a killed single-file copy leaves nothing
// for good, an item's top that is a link to a file is followed, and a tree
// reached twice is never copied into itself. Real trees throughout.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/mount.h>
#include <sys/stat.h>

#include "EngineFixture.h"
#include "platform/OverlayFileSystem.h"
#include "support/CopyTemps.h"
#include "support/FaultFileSystem.h"

namespace kovrel::test {
namespace {

using platform::FaultFileSystem;
using platform::FsOp;

class DataSafetyTest : public EngineTest {
protected:
    FaultFileSystem m_fault{m_posix};
};

// New directories stay owner-only (0700) while the pass fills them, at every
// depth, so a run killed then leaves nothing more open than its model; once
// filled each gets its model's bits.
TEST_F(DataSafetyTest, NewDirectoryIsOwnerOnlyUntilFilled) {
    Dir("1/open", 0755);
    Dir("1/open/private", 0700);
    Dir("1/open/private/group", 0750);
    File("1/open/private/group/f", "x", 1);
    std::vector<std::uint32_t> modesWhileFilling;
    m_fault.SetBeforeCall([&](FsOp op, const std::string& strPath) {
        if (op == FsOp::CopyFile && strPath.ends_with("/group/f"))
            for (const char* lpszDir : {"2/open", "2/open/private", "2/open/private/group"})
                modesWhileFilling.push_back(Mode(lpszDir));
    });

    EXPECT_EQ(RunItem(m_str1, m_str2, 0, nullptr, &m_fault), RunResult::Completed);
    EXPECT_EQ(modesWhileFilling, (std::vector<std::uint32_t>{0700, 0700, 0700}));
    EXPECT_EQ(Mode("2/open"), 0755u);
    EXPECT_EQ(Mode("2/open/private"), 0700u);
    EXPECT_EQ(Mode("2/open/private/group"), 0750u);
    EXPECT_EQ(Read("2/open/private/group/f"), "x");
}

// A single-file item whose copy was killed left its temporary beside the
// target; the next run clears it away by the rule of a listed directory: only
// this machine's abandoned ones, on both sides; a live run's stays.
TEST_F(DataSafetyTest, SingleFileItemClearsAbandonedTemporariesBesideIt) {
    File("1/a.txt", "new", 9);
    File("2/a.txt", "new", 9);
    File("2/" + AbandonedTempName(1), "half a copy", 1);
    File("1/" + AbandonedTempName(2), "half a copy", 1);
    File("2/" + LiveTempName(3), "in progress", 1);
    File("2/" + ForeignTempName(4), "another machine's", 1);

    EXPECT_EQ(RunItem(P("1/a.txt"), P("2/a.txt")), RunResult::Completed);
    EXPECT_TRUE(Actions().empty());
    EXPECT_EQ(m_tmp.Names("1"), (std::vector<std::string>{"a.txt"}));
    std::vector<std::string> expected2 = {LiveTempName(3), ForeignTempName(4), "a.txt"};
    std::vector<std::string> names2 = m_tmp.Names("2");
    std::sort(expected2.begin(), expected2.end());
    std::sort(names2.begin(), names2.end());
    EXPECT_EQ(names2, expected2);

    // Through a top that links to a file the copy wrote beside that file:
    // that directory is cleared too.
    Dir("2/store");
    File("2/store/b.txt", "b", 9);
    File("2/store/" + AbandonedTempName(5), "half a copy", 1);
    m_tmp.MakeSymlink("2/b.txt", P("2/store/b.txt"));
    File("1/b.txt", "b", 9);
    EXPECT_EQ(RunItem(P("1/b.txt"), P("2/b.txt")), RunResult::Completed);
    EXPECT_EQ(m_tmp.Names("2/store"), (std::vector<std::string>{"b.txt"}));
}

// An item's own path that is a link to a file means that file on either side:
// its contents are copied from it and written through it; no side becomes a
// link because of it, and a second run has nothing to do. A dry run says the
// same and changes nothing.
TEST_F(DataSafetyTest, TopLinkToAFileIsFollowedOnBothSides) {
    struct Case {
        const char* lpszName;
        bool bLinkOnSide1; // else on side 2
        bool bDryRun;
    };
    const Case cases[] = {
        {"side 1 links to its data", true, false},
        {"side 2 links to its data", false, false},
        {"side 2 links, dry run", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lpszName);
        const std::string strSide = c.bLinkOnSide1 ? "1" : "2";
        const std::string strOther = c.bLinkOnSide1 ? "2" : "1";
        Dir(strSide + "/store");
        // The linked data is newer on side 1 and older on side 2, so each
        // copy goes from side 1 to side 2.
        File(strSide + "/store/data.txt", c.bLinkOnSide1 ? "linked v2" : "linked v1",
             c.bLinkOnSide1 ? 9 : 1);
        m_tmp.MakeSymlink(strSide + "/current.txt", P(strSide + "/store/data.txt"));
        File(strOther + "/current.txt", c.bLinkOnSide1 ? "plain v1" : "plain v2",
             c.bLinkOnSide1 ? 1 : 9);
        const auto before = Snapshot("2");
        platform::OverlayFileSystem overlay(m_posix);

        EXPECT_EQ(RunItem(P("1/current.txt"), P("2/current.txt"), 0, nullptr,
                          c.bDryRun ? &overlay : nullptr),
                  RunResult::Completed);
        EXPECT_EQ(Actions(),
                  (std::vector<std::string>{P("1/current.txt") + " -> " + P("2/current.txt")}));
        struct stat st {};
        ASSERT_TRUE(m_tmp.Stat(strSide + "/current.txt", st));
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        ASSERT_TRUE(m_tmp.Stat(strOther + "/current.txt", st));
        EXPECT_TRUE(S_ISREG(st.st_mode));
        if (c.bDryRun) {
            EXPECT_EQ(Snapshot("2"), before);
        } else {
            const std::string strData = c.bLinkOnSide1 ? "linked v2" : "plain v2";
            EXPECT_EQ(Read("1/current.txt"), strData);
            EXPECT_EQ(Read("2/current.txt"), strData);
            EXPECT_EQ(RunItem(P("1/current.txt"), P("2/current.txt")), RunResult::Completed);
            EXPECT_TRUE(Actions().empty());
        }
        for (const char* lpszDir : {"1", "2", "1/store", "2/store"}) {
            if (!Exists(lpszDir))
                continue;
            for (const std::string& strName : m_tmp.Names(lpszDir))
                EXPECT_FALSE(platform::IsCopyTempName(strName)) << lpszDir << "/" << strName;
        }
        std::filesystem::remove_all(P("1"));
        std::filesystem::remove_all(P("2"));
        Dir("1");
        Dir("2");
    }
}

// A bind mount over a temporary directory, undone when the test ends; skipped
// where the machine does not allow mounts.
class BindMount {
public:
    BindMount(const std::string& strFrom, const std::string& strTo) : m_strTo(strTo) {
        m_bMounted = ::mount(strFrom.c_str(), strTo.c_str(), nullptr, MS_BIND, nullptr) == 0;
    }
    ~BindMount() {
        if (m_bMounted)
            ::umount2(m_strTo.c_str(), MNT_DETACH);
    }
    BindMount(const BindMount&) = delete;
    BindMount& operator=(const BindMount&) = delete;
    bool Mounted() const noexcept { return m_bMounted; }

private:
    std::string m_strTo;
    bool m_bMounted = false;
};

// The same tree reached twice: side 2 is a bind mount of side 1 itself or of a
// directory inside it, which no comparison of paths sees. The item ends with
// the question of nested tops, asked once, before anything is copied into
// itself; Yes goes on with the next item, No stops the run.
TEST_F(DataSafetyTest, TreeReachedTwiceThroughABindMountEndsTheItem) {
    struct Case {
        const char* lpszName;
        const char* lpszMounted; // what of side 1 side 2 shows
        bool bYes;
    };
    const Case cases[] = {
        {"side 2 is side 1, Yes", "", true},
        {"side 2 is a directory in side 1, Yes", "/sub", true},
        {"side 2 is a directory in side 1, No", "/sub", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lpszName);
        std::filesystem::remove_all(P("1"));
        Dir("1");
        Dir("1/sub");
        File("1/sub/inner.txt", "i", 1);
        File("1/top.txt", "t", 1);
        Dir("other1");
        Dir("other2");
        File("other1/next.txt", "n", 1);
        BindMount mount(m_str1 + c.lpszMounted, m_str2);
        if (!mount.Mounted())
            GTEST_SKIP() << "bind mounts are not allowed here";
        m_host.m_yesNoAnswers = {c.bYes};
        CSyncItemList list;
        AddItem(list, m_str1, m_str2);
        AddItem(list, P("other1"), P("other2"));

        const RunResult result = RunList(list);
        EXPECT_EQ(result, c.bYes ? RunResult::CompletedWithErrors : RunResult::Stopped);
        const std::string strQuestion = "同期元と同期先が同じか、一方が他方の中にあります。\n'" +
                                        m_str1 + "' <-> '" + m_str2 + "'\n無視して継続しますか？";
        EXPECT_EQ(m_host.m_questions, std::vector<std::string>{strQuestion});
        EXPECT_EQ(m_stat.nOtherErrors, 1);
        EXPECT_FALSE(Exists("1/sub/sub"));
        EXPECT_EQ(Exists("other2/next.txt"), c.bYes);
        std::filesystem::remove_all(P("other1"));
        std::filesystem::remove_all(P("other2"));
    }
}

// The same without a mount, wherever the tests run: the test file system makes
// side 2's top report the identity of a directory inside side 1 (or of side 1
// itself), so only the identity comparison can see the overlap.
TEST_F(DataSafetyTest, TreeReachedTwiceIsSeenByIdentityAlone) {
    Dir("1/sub");
    File("1/sub/inner.txt", "i", 1);
    File("1/top.txt", "t", 1);
    for (const char* lpszSame : {"1", "1/sub"}) {
        SCOPED_TRACE(lpszSame);
        FaultFileSystem fault(m_posix);
        fault.AddSameTree(m_str2, P(lpszSame));
        m_host.m_yesNoAnswers = {true};

        EXPECT_EQ(RunItem(m_str1, m_str2, 0, nullptr, &fault), RunResult::CompletedWithErrors);
        EXPECT_EQ(m_host.m_questions.size(), 1u);
        EXPECT_EQ(m_stat.nOtherErrors, 1);
        EXPECT_FALSE(Exists("2/sub"));
    }
}

} // namespace
} // namespace kovrel::test
