// What happens to one pair of files: the copy choice for every one-way setting,
// one-sided files, and read-only targets. Every case runs twice: once as an item
// of two directories holding the file (the attributes come from the listing) and
// once as an item naming the two files themselves (the attributes come from a
// lookup of the item's own paths).
#include <string>
#include <vector>

#include "EngineFixture.h"

namespace kovrel::test {
namespace {

enum class Outcome {
    None,
    To2,      // copied side 1 -> side 2
    To1,      // copied side 2 -> side 1
    Del1,     // deleted on side 1
    Del2,     // deleted on side 2
    SkipTo2,  // "Copy skipped ... -> ..."
    SkipTo1,  // "Copy skipped ... <- ..."
    SkipDel1, // "Delete skipped" side 1
    SkipDel2, // "Delete skipped" side 2
};

constexpr int kAbsent = -1;

struct FileCase {
    const char* pszName;
    int nAge1; // write time of side 1's file after kT0 in seconds; kAbsent: no file
    std::uint32_t dwMode1;
    int nAge2;
    std::uint32_t dwMode2;
    std::uint32_t dwOption;
    Outcome outcome;
};

constexpr std::uint32_t kBoth = SIO_ONEWAY_1TO2 | SIO_ONEWAY_2TO1;
constexpr std::uint32_t kOld = SIO_COPY_OLDER;

// Side 1 newer (20 against 10), equal, or older, for each one-way setting.
const FileCase kChoiceCases[] = {
    {"both ways, 1 newer", 20, 0644, 10, 0644, 0, Outcome::To2},
    {"both ways, equal", 10, 0644, 10, 0644, 0, Outcome::None},
    {"both ways, 1 older", 10, 0644, 20, 0644, 0, Outcome::To1},
    {"both ways + older, 1 newer", 20, 0644, 10, 0644, kOld, Outcome::To2},
    {"both ways + older, equal", 10, 0644, 10, 0644, kOld, Outcome::None},
    {"both ways + older, 1 older", 10, 0644, 20, 0644, kOld, Outcome::To1},
    {"1to2, 1 newer", 20, 0644, 10, 0644, SIO_ONEWAY_1TO2, Outcome::To2},
    {"1to2, equal", 10, 0644, 10, 0644, SIO_ONEWAY_1TO2, Outcome::None},
    {"1to2, 1 older", 10, 0644, 20, 0644, SIO_ONEWAY_1TO2, Outcome::None},
    {"1to2 + older, 1 newer", 20, 0644, 10, 0644, SIO_ONEWAY_1TO2 | kOld, Outcome::To2},
    {"1to2 + older, equal", 10, 0644, 10, 0644, SIO_ONEWAY_1TO2 | kOld, Outcome::None},
    {"1to2 + older, 1 older", 10, 0644, 20, 0644, SIO_ONEWAY_1TO2 | kOld, Outcome::To2},
    {"2to1, 1 newer", 20, 0644, 10, 0644, SIO_ONEWAY_2TO1, Outcome::None},
    {"2to1, equal", 10, 0644, 10, 0644, SIO_ONEWAY_2TO1, Outcome::None},
    {"2to1, 1 older", 10, 0644, 20, 0644, SIO_ONEWAY_2TO1, Outcome::To1},
    {"2to1 + older, 1 newer", 20, 0644, 10, 0644, SIO_ONEWAY_2TO1 | kOld, Outcome::To1},
    {"2to1 + older, equal", 10, 0644, 10, 0644, SIO_ONEWAY_2TO1 | kOld, Outcome::None},
    {"2to1 + older, 1 older", 10, 0644, 20, 0644, SIO_ONEWAY_2TO1 | kOld, Outcome::To1},
    // Both one-way bits: the side 1 to side 2 rule holds.
    {"both bits, 1 newer", 20, 0644, 10, 0644, kBoth, Outcome::To2},
    {"both bits, 1 older", 10, 0644, 20, 0644, kBoth, Outcome::None},
    {"both bits + older, 1 older", 10, 0644, 20, 0644, kBoth | kOld, Outcome::To2},
};

// A file on one side only, for each no-file action and one-way setting.
const FileCase kOneSidedCases[] = {
    {"only 2, copy, both ways", kAbsent, 0, 10, 0644, SIO_NOFILE1_COPY, Outcome::To1},
    {"only 2, copy, 1to2", kAbsent, 0, 10, 0644, SIO_NOFILE1_COPY | SIO_ONEWAY_1TO2, Outcome::None},
    {"only 2, copy, 2to1", kAbsent, 0, 10, 0644, SIO_NOFILE1_COPY | SIO_ONEWAY_2TO1, Outcome::To1},
    {"only 2, delete, both ways", kAbsent, 0, 10, 0644, SIO_NOFILE1_DELETE, Outcome::Del2},
    {"only 2, delete, 1to2", kAbsent, 0, 10, 0644, SIO_NOFILE1_DELETE | SIO_ONEWAY_1TO2,
     Outcome::Del2},
    {"only 2, delete, 2to1", kAbsent, 0, 10, 0644, SIO_NOFILE1_DELETE | SIO_ONEWAY_2TO1,
     Outcome::None},
    {"only 2, ignore", kAbsent, 0, 10, 0644, SIO_NOFILE1_IGNORE, Outcome::None},
    {"only 2, ignore, 2to1", kAbsent, 0, 10, 0644, SIO_NOFILE1_IGNORE | SIO_ONEWAY_2TO1,
     Outcome::None},
    {"only 2, side-2 delete option", kAbsent, 0, 10, 0644, SIO_NOFILE2_DELETE, Outcome::To1},
    {"only 1, copy, both ways", 10, 0644, kAbsent, 0, SIO_NOFILE2_COPY, Outcome::To2},
    {"only 1, copy, 1to2", 10, 0644, kAbsent, 0, SIO_NOFILE2_COPY | SIO_ONEWAY_1TO2, Outcome::To2},
    {"only 1, copy, 2to1", 10, 0644, kAbsent, 0, SIO_NOFILE2_COPY | SIO_ONEWAY_2TO1, Outcome::None},
    {"only 1, delete, both ways", 10, 0644, kAbsent, 0, SIO_NOFILE2_DELETE, Outcome::Del1},
    {"only 1, delete, 1to2", 10, 0644, kAbsent, 0, SIO_NOFILE2_DELETE | SIO_ONEWAY_1TO2,
     Outcome::None},
    {"only 1, delete, 2to1", 10, 0644, kAbsent, 0, SIO_NOFILE2_DELETE | SIO_ONEWAY_2TO1,
     Outcome::Del1},
    {"only 1, ignore", 10, 0644, kAbsent, 0, SIO_NOFILE2_IGNORE, Outcome::None},
    {"only 1, side-1 delete option", 10, 0644, kAbsent, 0, SIO_NOFILE1_DELETE, Outcome::To2},
};

// Read-only targets: skipped without their own force bit, replaced or deleted with it.
const FileCase kReadOnlyCases[] = {
    {"copy to read-only 2", 20, 0644, 10, 0444, 0, Outcome::SkipTo2},
    {"copy to read-only 2, side-1 force", 20, 0644, 10, 0444, SIO_FORCE_RO1, Outcome::SkipTo2},
    {"copy to read-only 2, forced", 20, 0644, 10, 0444, SIO_FORCE_RO2, Outcome::To2},
    {"copy to read-only 1", 10, 0444, 20, 0644, 0, Outcome::SkipTo1},
    {"copy to read-only 1, side-2 force", 10, 0444, 20, 0644, SIO_FORCE_RO2, Outcome::SkipTo1},
    {"copy to read-only 1, forced", 10, 0444, 20, 0644, SIO_FORCE_RO1, Outcome::To1},
    {"read-only source carries its bits", 20, 0444, 10, 0644, 0, Outcome::To2},
    {"delete read-only 2", kAbsent, 0, 10, 0444, SIO_NOFILE1_DELETE, Outcome::SkipDel2},
    {"delete read-only 2, side-1 force", kAbsent, 0, 10, 0444, SIO_NOFILE1_DELETE | SIO_FORCE_RO1,
     Outcome::SkipDel2},
    {"delete read-only 2, forced", kAbsent, 0, 10, 0444, SIO_NOFILE1_DELETE | SIO_FORCE_RO2,
     Outcome::Del2},
    {"delete read-only 1", 10, 0444, kAbsent, 0, SIO_NOFILE2_DELETE, Outcome::SkipDel1},
    {"delete read-only 1, forced", 10, 0444, kAbsent, 0, SIO_NOFILE2_DELETE | SIO_FORCE_RO1,
     Outcome::Del1},
};

class FileTableTest : public EngineTest {
protected:
    // Lays the case out under its own folder and runs it as a directory item
    // (bFileItem false) or as an item of the two files.
    void CheckCase(const FileCase& fc, int nIndex, bool bFileItem) {
        SCOPED_TRACE(std::string(fc.pszName) + (bFileItem ? " (file item)" : " (dir item)"));
        const std::string strCase = "case" + std::to_string(nIndex) + (bFileItem ? "f" : "d");
        const std::string strRel1 = strCase + "/1/f.txt";
        const std::string strRel2 = strCase + "/2/f.txt";
        Dir(strCase);
        Dir(strCase + "/1");
        Dir(strCase + "/2");
        if (fc.nAge1 != kAbsent)
            File(strRel1, "one", fc.nAge1, fc.dwMode1);
        if (fc.nAge2 != kAbsent)
            File(strRel2, "two-two", fc.nAge2, fc.dwMode2);
        const auto before1 = Snapshot(strCase + "/1");
        const auto before2 = Snapshot(strCase + "/2");
        const std::string strP1 = P(strRel1);
        const std::string strP2 = P(strRel2);

        const RunResult result = bFileItem
                                     ? RunItem(strP1, strP2, fc.dwOption)
                                     : RunItem(P(strCase + "/1"), P(strCase + "/2"), fc.dwOption);
        EXPECT_EQ(result, RunResult::Completed);
        EXPECT_TRUE(m_host.m_questions.empty());

        std::vector<std::string> expected;
        int n1to2 = 0, n2to1 = 0, nDel1 = 0, nDel2 = 0;
        switch (fc.outcome) {
        case Outcome::None:
            EXPECT_EQ(Snapshot(strCase + "/1"), before1);
            EXPECT_EQ(Snapshot(strCase + "/2"), before2);
            break;
        case Outcome::To2:
            expected = {strP1 + " -> " + strP2};
            n1to2 = 1;
            EXPECT_EQ(Read(strRel2), "one");
            EXPECT_EQ(Snapshot(strCase + "/2"), Snapshot(strCase + "/1"));
            break;
        case Outcome::To1:
            expected = {strP1 + " <- " + strP2};
            n2to1 = 1;
            EXPECT_EQ(Read(strRel1), "two-two");
            EXPECT_EQ(Snapshot(strCase + "/1"), Snapshot(strCase + "/2"));
            break;
        case Outcome::Del1:
            expected = {strP1 + " Deleted"};
            nDel1 = 1;
            EXPECT_FALSE(Exists(strRel1));
            break;
        case Outcome::Del2:
            expected = {strP2 + " Deleted"};
            nDel2 = 1;
            EXPECT_FALSE(Exists(strRel2));
            break;
        case Outcome::SkipTo2:
            expected = {"Copy skipped " + strP1 + " -> " + strP2};
            break;
        case Outcome::SkipTo1:
            expected = {"Copy skipped " + strP1 + " <- " + strP2};
            break;
        case Outcome::SkipDel1:
            expected = {"Delete skipped " + strP1};
            break;
        case Outcome::SkipDel2:
            expected = {"Delete skipped " + strP2};
            break;
        }
        if (fc.outcome >= Outcome::SkipTo2) {
            EXPECT_EQ(Snapshot(strCase + "/1"), before1);
            EXPECT_EQ(Snapshot(strCase + "/2"), before2);
        }
        EXPECT_EQ(Actions(), expected);
        EXPECT_EQ(m_stat.nCopied1to2, n1to2);
        EXPECT_EQ(m_stat.nCopied2to1, n2to1);
        EXPECT_EQ(m_stat.nDeleted1, nDel1);
        EXPECT_EQ(m_stat.nDeleted2, nDel2);
        EXPECT_EQ(m_stat.ErrorCount(), 0);
        // The summary follows the completed line, without error lines.
        std::vector<std::string> tail = {kCompletedLine};
        for (const std::string& str : CountLines(n1to2, n2to1, nDel1, nDel2))
            tail.push_back(str);
        const auto after = AfterStart();
        ASSERT_GE(after.size(), tail.size());
        EXPECT_EQ(
            std::vector<std::string>(after.end() - static_cast<long>(tail.size()), after.end()),
            tail);
    }

    template <std::size_t N> void CheckTable(const FileCase (&cases)[N]) {
        int nIndex = 0;
        for (const FileCase& fc : cases) {
            CheckCase(fc, nIndex, false);
            CheckCase(fc, nIndex, true);
            ++nIndex;
        }
    }
};

TEST_F(FileTableTest, CopyChoiceForEveryOneWaySetting) {
    CheckTable(kChoiceCases);
}

TEST_F(FileTableTest, FileOnOneSideOnly) {
    CheckTable(kOneSidedCases);
}

TEST_F(FileTableTest, ReadOnlyTargetsSkippedOrForced) {
    CheckTable(kReadOnlyCases);
}

// A copied pair compares equal afterwards, to the nanosecond, so the next run
// leaves it alone.
TEST_F(FileTableTest, CopyCarriesTheExactWriteTime) {
    File("1/f", "new", 50);
    m_tmp.SetTimes("1/f", kT0, 0, kT0 + 50, 123456789);
    File("2/f", "old", 10);
    RunItem(m_str1, m_str2);
    const timespec ts = WriteTime("2/f");
    EXPECT_EQ(ts.tv_sec, kT0 + 50);
    EXPECT_EQ(ts.tv_nsec, 123456789);

    // One nanosecond apart is a difference.
    m_tmp.SetTimes("2/f", kT0, 0, kT0 + 50, 123456790);
    RunItem(m_str1, m_str2);
    EXPECT_EQ(Actions(), std::vector<std::string>{m_str1 + "/f <- " + m_str2 + "/f"});
}

// Symbolic links are paired and compared by their own time and copied as links,
// never followed (here one points at a directory outside the tree).
TEST_F(FileTableTest, SymbolicLinksAreCopiedAsLinks) {
    Dir("outside");
    File("outside/big", "data", 5);
    m_tmp.MakeSymlink("1/link", P("outside"));
    m_tmp.SetTimes("1/link", kT0, 0, kT0 + 30, 0);
    m_tmp.MakeSymlink("1/dangling", "nowhere");
    RunItem(m_str1, m_str2);
    EXPECT_EQ(Actions(), (std::vector<std::string>{m_str1 + "/dangling -> " + m_str2 + "/dangling",
                                                   m_str1 + "/link -> " + m_str2 + "/link"}));
    EXPECT_EQ(Snapshot("2"), Snapshot("1"));
    struct stat st {};
    ASSERT_TRUE(m_tmp.Stat("2/link", st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

} // namespace
} // namespace kovrel::test
