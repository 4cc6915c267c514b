// The kind of each change and the item boundaries, reported to the host beside
// the log lines: the same for a real run and a dry one through the overlay.
#include <algorithm>
#include <string>
#include <vector>

#include "EngineFixture.h"
#include "platform/OverlayFileSystem.h"

namespace kovrel::test {
namespace {

using Lines = std::vector<std::string>;

class RunActionTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Dir("3");
        Dir("4");
        File("1/new", "n", 5);       // copied to a side without it
        File("1/both", "newer", 20); // copied over an older file
        File("2/both", "older", 10); //
        File("2/old", "o", 5);       // deleted (side 1 lacks it)
        Dir("1/d");                  // created on side 2 and filled
        File("1/d/f", "f", 5);       //
        Dir("2/gone");               // removed from side 2 with its file
        File("2/gone/g", "g", 5);    //
        File("1/same", "s", 5);      // equal: no line at all
        File("2/same", "s", 5);      //
        File("3/f", "old", 10);      // the second item overwrites side 1
        File("4/f", "new", 30);      //
        File("3/lone", "l", 10);     // and deletes on side 1
        AddItem(m_list, m_str1, m_str2, SIO_NOFILE1_DELETE);
        AddItem(m_list, P("3"), P("4"), SIO_ONEWAY_2TO1 | SIO_NOFILE2_DELETE);
    }

    // The annotated lines of one item, in a fixed order (the listing order of
    // a directory is not the point here).
    Lines ItemLines(int nIndex) const {
        const Lines& all = m_host.m_annotated;
        const auto itBegin =
            std::find(all.begin(), all.end(), "[begin " + std::to_string(nIndex) + "]");
        const auto itEnd =
            std::find(all.begin(), all.end(), "[end " + std::to_string(nIndex) + "]");
        EXPECT_NE(itBegin, all.end());
        EXPECT_NE(itEnd, all.end());
        if (itBegin == all.end() || itEnd == all.end() || itEnd < itBegin)
            return {};
        Lines lines(itBegin + 1, itEnd);
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    Lines Expected0() const {
        Lines lines = {
            "copy-new 2| " + m_str1 + "/new -> " + m_str2 + "/new",
            "copy-over 2| " + m_str1 + "/both -> " + m_str2 + "/both",
            "delete 2| " + m_str2 + "/old Deleted",
            "mkdir 2| Directory " + m_str2 + "/d created",
            "copy-new 2| " + m_str1 + "/d/f -> " + m_str2 + "/d/f",
            "delete 2| " + m_str2 + "/gone/g Deleted",
            "rmdir 2| Directory " + m_str2 + "/gone Removed",
        };
        std::sort(lines.begin(), lines.end());
        return lines;
    }
    Lines Expected1() const {
        Lines lines = {
            "copy-over 1| " + P("3") + "/f <- " + P("4") + "/f",
            "delete 1| " + P("3") + "/lone Deleted",
        };
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    void CheckReports() const {
        EXPECT_EQ(ItemLines(0), Expected0());
        EXPECT_EQ(ItemLines(1), Expected1());
        // Outside the items: the start line first, then after the last item the
        // completed line and the summary, none of them with an action.
        const Lines& all = m_host.m_annotated;
        ASSERT_GE(all.size(), 3u);
        EXPECT_EQ(all[0], kStartLine);
        EXPECT_EQ(all[1], "[begin 0]");
        const auto itLastEnd = std::find(all.begin(), all.end(), "[end 1]");
        ASSERT_NE(itLastEnd, all.end());
        EXPECT_EQ(*(itLastEnd + 1), kCompletedLine);
        for (auto it = itLastEnd + 1; it != all.end(); ++it)
            EXPECT_EQ(it->find("| "), std::string::npos) << *it;
        // Beside the text: the lines themselves are what they were.
        Lines plain;
        for (const std::string& str : all) {
            if (str.starts_with("[begin ") || str.starts_with("[end "))
                continue;
            const std::size_t n = str.find("| ");
            plain.push_back(n == std::string::npos ? str : str.substr(n + 2));
        }
        EXPECT_EQ(plain, m_host.m_lines);
    }

    CSyncItemList m_list;
};

TEST_F(RunActionTest, RealRunReportsEachChangeWithItsKindAndSide) {
    EXPECT_EQ(RunList(m_list), RunResult::Completed);
    CheckReports();
    EXPECT_EQ(Read("2/both"), "newer");
    EXPECT_EQ(Read("3/f"), "new");
}

TEST_F(RunActionTest, DryRunReportsTheSameAndChangesNothing) {
    const auto before1 = Snapshot("1");
    const auto before2 = Snapshot("2");
    const auto before3 = Snapshot("3");
    platform::OverlayFileSystem overlay(m_posix);
    EXPECT_EQ(RunList(m_list, &overlay), RunResult::Completed);
    CheckReports();
    EXPECT_EQ(Snapshot("1"), before1);
    EXPECT_EQ(Snapshot("2"), before2);
    EXPECT_EQ(Snapshot("3"), before3);
}

TEST_F(RunActionTest, FailedAndSkippedOperationsReportNoAction) {
    // A read-only target kept by the options: a skip line without an action.
    CSyncItemList list;
    Dir("5");
    Dir("6");
    File("5/x", "new", 30);
    File("6/x", "old", 10, 0444);
    AddItem(list, P("5"), P("6"));
    EXPECT_EQ(RunList(list), RunResult::Completed);
    const Lines& all = m_host.m_annotated;
    ASSERT_EQ(all.size() >= 4, true);
    EXPECT_EQ(all[2], "Copy skipped " + P("5") + "/x -> " + P("6") + "/x");
    EXPECT_EQ(all[3], "[end 0]");
}

} // namespace
} // namespace kovrel::test
