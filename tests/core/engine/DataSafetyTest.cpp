// What must hold whatever happens to a run: a new directory is never more open
// than its model while it is filled, a killed single-file copy leaves nothing
// for good, an item's top that is a link to a file is followed, and a tree
// reached twice is never copied into itself. Real trees throughout.
#include <algorithm>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "EngineFixture.h"
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
}

} // namespace
} // namespace kovrel::test
