// Cancel while a large file is being copied: the run asks for it between the
// chunks of the copy, abandons the copy (no temporary left, the target as it
// was, no failure asked about or counted) and ends as cancelled with its
// summary, on the disk and through the fault file system alike.
#include "EngineFixture.h"

#include <fcntl.h>
#include <unistd.h>

#include "support/FaultFileSystem.h"

namespace kovrel::test {
namespace {

class CancelCopy : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        // 48 MiB: many chunks, so the run is asked for Cancel mid-copy.
        const int fd = ::open(P("1/big.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const std::string strBlock(1 << 20, 'b');
        for (int i = 0; i < 48; ++i)
            ASSERT_EQ(::write(fd, strBlock.data(), strBlock.size()),
                      static_cast<ssize_t>(strBlock.size()));
        ASSERT_EQ(::close(fd), 0);
        m_tmp.SetTimes("1/big.bin", kT0 + 100, 0, kT0 + 100, 7);
        File("2/big.bin", "the old copy", 0);
    }
};

TEST_F(CancelCopy, CopyInProgressIsAbandoned) {
    platform::FaultFileSystem faults(m_posix);
    struct Case {
        const char* pszName;
        bool bFileItem;
        platform::FileSystem* pFs;
    };
    const Case cases[] = {
        {"file item, disk", true, nullptr},
        {"directory item, disk", false, nullptr},
        {"directory item, fault file system", false, &faults},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        const auto before = Snapshot("2");
        // Check 1 comes before the first item; check 2 is the first between
        // two chunks of the copy.
        m_host.m_nCancelAtCheck = 2;
        const RunResult result = c.bFileItem
                                     ? RunItem(P("1/big.bin"), P("2/big.bin"), 0, nullptr, c.pFs)
                                     : RunItem(m_str1, m_str2, 0, nullptr, c.pFs);
        EXPECT_EQ(result, RunResult::Stopped);
        std::vector<std::string> expected{kCanceledLine};
        for (const std::string& strLine : CountLines(0, 0, 0, 0))
            expected.push_back(strLine);
        EXPECT_EQ(AfterStart(), expected);
        EXPECT_EQ(m_host.m_nChecks, 2);
        EXPECT_TRUE(m_host.m_failures.empty());
        EXPECT_EQ(m_stat.ErrorCount(), 0);
        EXPECT_EQ(Snapshot("2"), before); // the old target, and no temporary
        EXPECT_TRUE(m_host.m_sounds.size() == 1 &&
                    m_host.m_sounds.front().nBeep == BeepType::Exclamation);
    }
    // Not cancelled: the same copy goes through, asked between its chunks.
    m_host.m_nCancelAtCheck = 0;
    EXPECT_EQ(RunItem(m_str1, m_str2, 0, nullptr, &faults), RunResult::Completed);
    EXPECT_EQ(Actions(), std::vector<std::string>{P("1/big.bin") + " -> " + P("2/big.bin")});
    EXPECT_EQ(Read("2/big.bin").size(), 48u << 20);
    EXPECT_GT(m_host.m_nChecks, 3);
}

} // namespace
} // namespace kovrel::test
