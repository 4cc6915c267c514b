// A dry run goes through the overlay file system: it must log exactly what the
// real run logs, count the same, ask the same, and leave the disk alone. Two
// identical copies of a tree: one gets the real run, the other the dry one.
#include <string>
#include <vector>

#include "EngineFixture.h"
#include "platform/OverlayFileSystem.h"

namespace kovrel::test {
namespace {

using Lines = std::vector<std::string>;

class DryRunTest : public EngineTest {
protected:
    void Layout(const std::string& b) const {
        for (const char* psz : {"", "/A", "/B", "/C", "/D", "/E", "/F"})
            Dir(b + psz);
        File(b + "/A/x", "x-new", 20);
        File(b + "/B/x", "x-old", 10);
        File(b + "/A/ro", "ro-new", 20);
        File(b + "/B/ro", "ro-old", 10, 0444);
        File(b + "/B/y", "y", 5);
        // A directory the first item creates and fills, and the second copies on.
        Dir(b + "/A/sub");
        File(b + "/A/sub/s1", "s1", 3);
        Dir(b + "/A/sub/deep");
        File(b + "/A/sub/deep/s2", "s2", 4);
        m_tmp.SetMode(b + "/A/sub", 0555);
        m_tmp.SetTimes(b + "/A/sub", kT0, 0, kT0 + 77, 77);
        // A tree the second item removes; a FIFO keeps two directories from going.
        Dir(b + "/C/stale");
        File(b + "/C/stale/old1", "o", 1);
        Dir(b + "/C/stale/inner");
        File(b + "/C/stale/inner/old2", "o", 1);
        m_tmp.MakeFifo(b + "/C/stale/inner/pipe");
        File(b + "/C/x", "x-older", 1);
        // A removal that the exclusions turn into a walk.
        Dir(b + "/F/old");
        File(b + "/F/old/a.txt", "a", 1);
        File(b + "/F/old/b.keep", "b", 1);
        File(b + "/E/e", "e", 1);
    }

    void FillList(CSyncItemList& list, const std::string& b) const {
        AddItem(list, P(b + "/A"), P(b + "/B"), SIO_FORCE_RO2);
        AddItem(list, P(b + "/B"), P(b + "/C"), SIO_ONEWAY_1TO2 | SIO_NOFILE1_DELETE);
        AddItem(list, P(b + "/A/x"), P(b + "/D/x"));
        AddItem(list, P(b + "/E"), P(b + "/F"), SIO_NOFILE1_DELETE, "!*.keep");
        // Sees what the first item made: nothing left to do.
        AddItem(list, P(b + "/A/sub/deep"), P(b + "/B/sub/deep"));
    }

    // Lines, questions and failures with the copy's own folder taken out.
    static Lines Neutral(const Lines& lines, const std::string& strBase) {
        Lines out;
        for (std::string str : lines) {
            for (std::size_t n; (n = str.find(strBase)) != std::string::npos;)
                str.replace(n, strBase.size(), "<base>");
            out.push_back(str);
        }
        return out;
    }

    struct Record {
        RunResult result;
        SYNCSTAT stat;
        Lines lines, questions, failures, errors;
    };

    Record RunOn(const std::string& strBase, bool bDry) {
        CSyncItemList list;
        FillList(list, strBase);
        Record rec{};
        if (bDry) {
            platform::OverlayFileSystem overlay(m_posix);
            rec.result = RunList(list, &overlay);
        } else {
            rec.result = RunList(list);
        }
        rec.stat = m_stat;
        const std::string strAbs = P(strBase);
        rec.lines = Neutral(m_host.m_lines, strAbs);
        rec.questions = Neutral(m_host.m_questions, strAbs);
        rec.failures = Neutral(m_host.m_failures, strAbs);
        rec.errors = Neutral(m_host.m_errors, strAbs);
        return rec;
    }
};

TEST_F(DryRunTest, DryRunLogsExactlyWhatTheRealRunDoesAndChangesNothing) {
    Layout("real");
    Layout("dry");
    ASSERT_EQ(Snapshot("real"), Snapshot("dry"));
    const auto dryBefore = Snapshot("dry", true);
    const auto realBefore = Snapshot("real");

    m_settings.m_strLogFile = P("dry.log");
    m_bNoLogFile = true;
    const Record dry = RunOn("dry", true);
    m_settings.m_strLogFile.clear();
    m_bNoLogFile = false;
    const Record real = RunOn("real", false);

    // The real run did the work the scenario is about.
    const Lines expectedReal = {
        "<< Synchronize start 98/07/15 13:05:09 >>",
        "<base>/A/ro -> <base>/B/ro",
        "Directory <base>/B/sub created",
        "Directory <base>/B/sub/deep created",
        "<base>/A/sub/deep/s2 -> <base>/B/sub/deep/s2",
        "<base>/A/sub/s1 -> <base>/B/sub/s1",
        "<base>/A/x -> <base>/B/x",
        "<base>/A/y <- <base>/B/y",
        "<base>/B/ro -> <base>/C/ro",
        "Directory <base>/C/sub created",
        "Directory <base>/C/sub/deep created",
        "<base>/B/sub/deep/s2 -> <base>/C/sub/deep/s2",
        "<base>/B/sub/s1 -> <base>/C/sub/s1",
        "<base>/B/x -> <base>/C/x",
        "<base>/B/y -> <base>/C/y",
        "<base>/C/stale/inner/old2 Deleted",
        "Directory remove skipped <base>/C/stale/inner",
        "<base>/C/stale/old1 Deleted",
        "Directory remove skipped <base>/C/stale",
        "<base>/A/x -> <base>/D/x",
        "<base>/E/e -> <base>/F/e",
        "<base>/F/old/a.txt Deleted",
        kCompletedLine,
    };
    ASSERT_GE(real.lines.size(), expectedReal.size());
    EXPECT_EQ(
        Lines(real.lines.begin(), real.lines.begin() + static_cast<long>(expectedReal.size())),
        expectedReal);
    EXPECT_EQ(real.result, RunResult::Completed);
    EXPECT_EQ(real.stat.nRmdirErrors, 0);
    EXPECT_EQ(Read("real/C/x"), "x-new");
    EXPECT_EQ(Mode("real/C/sub"), 0555u);
    EXPECT_NE(Snapshot("real"), realBefore);

    // The dry run told the same story...
    EXPECT_EQ(dry.lines, real.lines);
    EXPECT_EQ(dry.questions, real.questions);
    EXPECT_EQ(dry.failures, real.failures);
    EXPECT_EQ(dry.errors, real.errors);
    EXPECT_EQ(dry.result, real.result);
    EXPECT_EQ(dry.stat.nCopied1to2, real.stat.nCopied1to2);
    EXPECT_EQ(dry.stat.nCopied2to1, real.stat.nCopied2to1);
    EXPECT_EQ(dry.stat.nDeleted1, real.stat.nDeleted1);
    EXPECT_EQ(dry.stat.nDeleted2, real.stat.nDeleted2);
    EXPECT_EQ(dry.stat.nCopyErrors, real.stat.nCopyErrors);
    EXPECT_EQ(dry.stat.nDeleteErrors, real.stat.nDeleteErrors);
    EXPECT_EQ(dry.stat.nMkdirErrors, real.stat.nMkdirErrors);
    EXPECT_EQ(dry.stat.nRmdirErrors, real.stat.nRmdirErrors);
    EXPECT_EQ(dry.stat.nOtherErrors, real.stat.nOtherErrors);

    // ...and left everything as it was, without a log file.
    EXPECT_EQ(Snapshot("dry", true), dryBefore);
    EXPECT_FALSE(Exists("dry.log"));
}

} // namespace
} // namespace kovrel::test
