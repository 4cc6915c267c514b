#include "platform/PosixFileSystem.h"

#include "platform/OverlayFileSystem.h"
#include "platform/PosixFile.h"
#include "support/CopyTemps.h"
#include "support/FaultFileSystem.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kovrel::platform {
namespace {

using test::TempDir;

std::vector<std::string> NamesOf(const std::vector<DirEntry>& entries) {
    std::vector<std::string> names;
    for (const DirEntry& e : entries)
        names.push_back(e.strName);
    return names;
}

std::vector<std::string> TempNamesIn(const TempDir& dir, std::string_view strRel = {}) {
    std::vector<std::string> names;
    for (const std::string& strName : dir.Names(strRel))
        if (IsCopyTempName(strName))
            names.push_back(strName);
    return names;
}

// Bytes that differ from position to position, so a shifted or truncated copy shows.
std::string Pattern(std::size_t nSize, unsigned nSeed) {
    std::string s(nSize, '\0');
    std::uint32_t x = nSeed * 2654435761u + 1;
    for (char& c : s) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

class PosixFs : public ::testing::Test {
protected:
    TempDir m_dir;
    PosixFileSystem m_fs;
};

// ---------------------------------------------------------------- GetAttr

TEST_F(PosixFs, GetAttrTellsAbsentFromError) {
    m_dir.WriteFile("file", "12345", 0444);
    m_dir.MakeDir("dir");
    m_dir.MakeSymlink("dangling", "no-such-target");
    m_dir.MakeSymlink("linkdir", "dir");

    struct Case {
        const char* lpszRel;
        AttrStatus status;
        int nError;
        EntryType type;
    };
    const Case cases[] = {
        {"file", AttrStatus::Ok, 0, EntryType::File},
        {"dir", AttrStatus::Ok, 0, EntryType::Directory},
        {"dangling", AttrStatus::Ok, 0, EntryType::Symlink},
        {"linkdir", AttrStatus::Ok, 0, EntryType::Symlink}, // not followed
        {"missing", AttrStatus::Absent, 0, EntryType::File},
        {"dir/missing", AttrStatus::Absent, 0, EntryType::File},
        {"linkdir/missing", AttrStatus::Absent, 0, EntryType::File}, // parent through a link
        {"nodir/missing", AttrStatus::Error, ENOENT, EntryType::File},
        {"nodir/deeper/missing", AttrStatus::Error, ENOENT, EntryType::File},
        {"dangling/x", AttrStatus::Error, ENOENT, EntryType::File},
        {"file/x", AttrStatus::Error, ENOTDIR, EntryType::File},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lpszRel);
        FileAttr attr;
        int nError = -1;
        const AttrStatus status = m_fs.GetAttr(m_dir.Path(c.lpszRel), attr, nError);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(nError, c.nError);
        if (status == AttrStatus::Ok) {
            EXPECT_EQ(attr.type, c.type);
        }
    }
}

TEST_F(PosixFs, GetAttrReadsModeSizeAndNanosecondTimes) {
    m_dir.WriteFile("ro", "12345", 0444);
    m_dir.WriteFile("rw", "", 0640);
    m_dir.SetTimes("ro", 1'600'000'000, 123'456'789, 1'500'000'000, 987'654'321);

    FileAttr attr;
    int nError = 0;
    ASSERT_EQ(m_fs.GetAttr(m_dir.Path("ro"), attr, nError), AttrStatus::Ok);
    EXPECT_EQ(attr.dwMode, 0444u);
    EXPECT_TRUE(attr.IsReadOnly());
    EXPECT_EQ(attr.nSize, 5u);
    EXPECT_EQ(attr.ftAccess, (FileTime{1'600'000'000, 123'456'789}));
    EXPECT_EQ(attr.ftWrite, (FileTime{1'500'000'000, 987'654'321}));

    ASSERT_EQ(m_fs.GetAttr(m_dir.Path("rw"), attr, nError), AttrStatus::Ok);
    EXPECT_EQ(attr.dwMode, 0640u);
    EXPECT_FALSE(attr.IsReadOnly());
    EXPECT_EQ(attr.nSize, 0u);
}

// ---------------------------------------------------------------- ListDir

TEST_F(PosixFs, ListDirSortsFoldedThenByBytes) {
    for (const char* lpszName : {"b", "_x", "B", "a", "A", "\xC3\xA4", "10", "9", "a.txt", "a-b"})
        m_dir.WriteFile(lpszName, "x");
    std::vector<DirEntry> entries;
    ASSERT_EQ(m_fs.ListDir(m_dir.Root(), entries), 0);
    // a-z count as A-Z, so "_" (0x5F) comes after every letter; equal folded
    // names are ordered by their raw bytes, upper case first.
    const std::vector<std::string> expected = {"10",    "9", "A", "a",  "a-b",
                                               "a.txt", "B", "b", "_x", "\xC3\xA4"};
    EXPECT_EQ(NamesOf(entries), expected);
}

TEST_F(PosixFs, ListDirListsSpecialsReportsTempsAndDoesNotFollowLinks) {
    m_dir.WriteFile("file", "abc", 0600);
    m_dir.SetTimes("file", 10, 1, 20, 2);
    m_dir.MakeDir("sub");
    m_dir.MakeFifo("pipe");
    m_dir.MakeSymlink("link", "sub");
    m_dir.WriteFile(test::AbandonedTempName(4), "half");
    m_dir.MakeSymlink(test::AbandonedTempName(5), "file"); // not a regular file: left alone

    std::vector<DirEntry> entries;
    std::vector<std::string> stale = {"left over from the caller"};
    ASSERT_EQ(m_fs.ListDir(m_dir.Root(), entries, &stale), 0);
    ASSERT_EQ(NamesOf(entries), (std::vector<std::string>{"file", "link", "pipe", "sub"}));
    EXPECT_EQ(entries[0].attr.type, EntryType::File);
    EXPECT_EQ(entries[0].attr.nSize, 3u);
    EXPECT_EQ(entries[0].attr.dwMode, 0600u);
    EXPECT_EQ(entries[0].attr.ftWrite, (FileTime{20, 2}));
    EXPECT_EQ(entries[1].attr.type, EntryType::Symlink);
    EXPECT_EQ(entries[2].attr.type, EntryType::Other);
    EXPECT_EQ(entries[3].attr.type, EntryType::Directory);

    EXPECT_EQ(stale, (std::vector<std::string>{test::AbandonedTempName(4)}));

    // Without a list for them the temporaries are still no entries.
    ASSERT_EQ(m_fs.ListDir(m_dir.Root(), entries), 0);
    EXPECT_EQ(entries.size(), 4u);

    std::size_t nUnlisted = 0;
    ASSERT_EQ(m_fs.CountUnlisted(m_dir.Root(), nUnlisted), 0);
    EXPECT_EQ(nUnlisted, 1u); // the link of a temporary's form (the FIFO is listed)
}

// Only a regular file whose whole name has the copy's exact form and whose
// maker is provably gone is a stale temporary; one of a live run or of another
// machine is hidden and kept; anything else is a user's entry.
TEST_F(PosixFs, CopyTemporariesAreJudgedByTheirWholeName) {
    // A process that has ended: its pid is free (until reused, which only
    // makes the name look live).
    const pid_t pidGone = ::fork();
    ASSERT_GE(pidGone, 0);
    if (pidGone == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(pidGone, nullptr, 0), pidGone);
    const std::string strHost = ThisMachineToken();
    const std::string strBoot = ThisBootToken();

    enum class Seen { Entry, Stale, Hidden };
    struct Case {
        std::string strName;
        bool bDir;
        Seen eSeen;
    };
    const std::string strPrefix(kCopyTempPrefix);
    const Case cases[] = {
        {test::AbandonedTempName(1), false, Seen::Stale},
        {test::CopyTempNameOf(strHost, strBoot, static_cast<std::uint64_t>(pidGone), 2), false,
         Seen::Stale},
        {test::LiveTempName(3), false, Seen::Hidden},
        {test::CopyTempNameOf(strHost, strBoot, 1, 4), false, Seen::Hidden}, // init runs
        {test::ForeignTempName(5), false, Seen::Hidden},
        {test::AbandonedTempName(6), true, Seen::Entry}, // a directory is never ours
        {strPrefix + "notes.txt", false, Seen::Entry},
        {strPrefix + "123-4", false, Seen::Entry}, // the form of older versions
        {test::AbandonedTempName(7) + ".bak", false, Seen::Entry},
        {test::AbandonedTempName(8).substr(1), false, Seen::Entry},
        {strPrefix + std::string(16, 'A') + "-" + strBoot + "-1-1", false, Seen::Entry},
        {test::CopyTempNameOf(strHost, strBoot, 1, 0).replace(strPrefix.size() + 50, 1, "01"),
         false, Seen::Entry},
    };
    std::vector<std::string> expectEntries;
    std::vector<std::string> expectStale;
    for (const Case& c : cases) {
        if (c.bDir)
            m_dir.MakeDir(c.strName);
        else
            m_dir.WriteFile(c.strName, "x");
        if (c.eSeen == Seen::Entry)
            expectEntries.push_back(c.strName);
        if (c.eSeen == Seen::Stale)
            expectStale.push_back(c.strName);
    }
    std::vector<DirEntry> entries;
    std::vector<std::string> stale;
    ASSERT_EQ(m_fs.ListDir(m_dir.Root(), entries, &stale), 0);
    std::vector<std::string> names = NamesOf(entries);
    std::sort(names.begin(), names.end());
    std::sort(expectEntries.begin(), expectEntries.end());
    std::sort(stale.begin(), stale.end());
    std::sort(expectStale.begin(), expectStale.end());
    EXPECT_EQ(names, expectEntries);
    EXPECT_EQ(stale, expectStale);
    // The hidden ones keep their directory from being removed: they count as
    // left out, so a dry run knows.
    std::size_t nUnlisted = 0;
    ASSERT_EQ(m_fs.CountUnlisted(m_dir.Root(), nUnlisted), 0);
    EXPECT_EQ(nUnlisted, static_cast<std::size_t>(
                             std::count_if(std::begin(cases), std::end(cases),
                                           [](const Case& c) { return c.eSeen == Seen::Hidden; })));
    // Listing judges, it removes nothing.
    for (const Case& c : cases)
        EXPECT_TRUE(m_dir.Exists(c.strName)) << c.strName;
}

TEST_F(PosixFs, ListDirErrors) {
    m_dir.WriteFile("file", "x");
    std::vector<DirEntry> entries(1);
    EXPECT_EQ(m_fs.ListDir(m_dir.Path("missing"), entries), ENOENT);
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(m_fs.ListDir(m_dir.Path("file"), entries), ENOTDIR);
}

// ---------------------------------------------------------------- CopyFile

TEST_F(PosixFs, CopyCarriesContentsModeAndExactTimes) {
    struct Case {
        const char* lpszName;
        std::uint32_t dwMode;
        std::size_t nSize;
    };
    const Case cases[] = {
        {"empty", 0644, 0},
        {"small", 0640, 17},
        {"readonly", 0444, 4096},
        {"exec", 0755, 65537},
        {"large", 0600, 5 * 1024 * 1024 + 3},
        {"setgid-less", 0700, 1},
    };
    m_dir.MakeDir("from");
    m_dir.MakeDir("to");
    unsigned nSeed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lpszName);
        const std::string strRel = std::string("from/") + c.lpszName;
        const std::string strData = Pattern(c.nSize, nSeed++);
        m_dir.WriteFile(strRel, strData, c.dwMode);
        m_dir.SetTimes(strRel, 1'234'567'890, 111'111'111 + nSeed, 1'111'111'111, 999'999'999);

        const std::string strTo = std::string("to/") + c.lpszName;
        ASSERT_EQ(m_fs.CopyFile(m_dir.Path(strRel), m_dir.Path(strTo)), 0);
        struct stat st {}; // before reading: that moves the access time
        ASSERT_TRUE(m_dir.Stat(strTo, st));
        EXPECT_TRUE(m_dir.ReadFile(strTo) == strData);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, c.dwMode);
        EXPECT_EQ(st.st_atim.tv_sec, 1'234'567'890);
        EXPECT_EQ(st.st_atim.tv_nsec, 111'111'111 + nSeed);
        EXPECT_EQ(st.st_mtim.tv_sec, 1'111'111'111);
        EXPECT_EQ(st.st_mtim.tv_nsec, 999'999'999);
    }
    EXPECT_TRUE(TempNamesIn(m_dir, "to").empty());
}

TEST_F(PosixFs, CopyReplacesReadOnlyTargetAndSymlinkTarget) {
    m_dir.WriteFile("src", "new contents", 0644);
    m_dir.WriteFile("ro", "old", 0444);
    m_dir.WriteFile("elsewhere", "must stay");
    m_dir.MakeSymlink("link", "elsewhere");

    ASSERT_EQ(m_fs.CopyFile(m_dir.Path("src"), m_dir.Path("ro")), 0);
    EXPECT_EQ(m_dir.ReadFile("ro"), "new contents");
    struct stat st {};
    ASSERT_TRUE(m_dir.Stat("ro", st));
    EXPECT_EQ(st.st_mode & 07777, 0644u);

    // A link as the target is replaced itself, never written through.
    ASSERT_EQ(m_fs.CopyFile(m_dir.Path("src"), m_dir.Path("link")), 0);
    ASSERT_TRUE(m_dir.Stat("link", st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(m_dir.ReadFile("elsewhere"), "must stay");
}

TEST_F(PosixFs, CopyOfSymlinkRecreatesTheLink) {
    m_dir.MakeDir("a");
    m_dir.MakeDir("b");
    m_dir.WriteFile("a/target", "the target's contents");
    m_dir.MakeSymlink("a/link", "target");
    m_dir.MakeSymlink("a/dangling", "../nowhere/at/all");
    m_dir.SetTimes("a/link", 100, 5, 200, 6);
    m_dir.WriteFile("b/link", "old file in the way");

    for (const char* lpszName : {"link", "dangling"}) {
        SCOPED_TRACE(lpszName);
        const std::string strFrom = std::string("a/") + lpszName;
        const std::string strTo = std::string("b/") + lpszName;
        ASSERT_EQ(m_fs.CopyFile(m_dir.Path(strFrom), m_dir.Path(strTo)), 0);
        struct stat st {}; // before readlink, which moves the link's access time
        ASSERT_TRUE(m_dir.Stat(strTo, st));
        ASSERT_TRUE(S_ISLNK(st.st_mode));
        if (std::string_view(lpszName) == "link") {
            EXPECT_EQ(st.st_mtim.tv_sec, 200);
            EXPECT_EQ(st.st_mtim.tv_nsec, 6);
            EXPECT_EQ(st.st_atim.tv_sec, 100);
            EXPECT_EQ(st.st_atim.tv_nsec, 5);
        }
        char szTarget[256] = {};
        ASSERT_GT(::readlink(m_dir.Path(strTo).c_str(), szTarget, sizeof szTarget - 1), 0);
        char szExpected[256] = {};
        ASSERT_GT(::readlink(m_dir.Path(strFrom).c_str(), szExpected, sizeof szExpected - 1), 0);
        EXPECT_STREQ(szTarget, szExpected);
    }
    EXPECT_FALSE(m_dir.Exists("b/target")); // the link's target was not copied
    EXPECT_TRUE(TempNamesIn(m_dir, "b").empty());
}

TEST_F(PosixFs, CopyFailuresLeaveTargetAndNoTemporary) {
    m_dir.WriteFile("src", "data");
    m_dir.MakeDir("dir");
    m_dir.WriteFile("dir/keep", "x");
    m_dir.WriteFile("plain", "x");
    m_dir.MakeFifo("pipe");

    struct Case {
        const char* lpszFrom;
        const char* lpszTo;
        int nError;
    };
    const Case cases[] = {
        {"missing", "out", ENOENT},
        {"src", "nodir/out", ENOENT},
        {"src", "plain/out", ENOTDIR},
        {"src", "dir", EISDIR},
        {"dir", "out", EISDIR},
        {"pipe", "out", EINVAL}, // a FIFO is never opened (it would block)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.lpszFrom) + " -> " + c.lpszTo);
        EXPECT_EQ(m_fs.CopyFile(m_dir.Path(c.lpszFrom), m_dir.Path(c.lpszTo)), c.nError);
    }
    EXPECT_FALSE(m_dir.Exists("out"));
    EXPECT_EQ(m_dir.ReadFile("dir/keep"), "x");
    EXPECT_TRUE(TempNamesIn(m_dir).empty());
}

TEST_F(PosixFs, CopyThatFailsHalfWayKeepsOldTargetByteForByte) {
    const std::string strOld = Pattern(300'000, 7);
    const std::string strNew = Pattern(1'000'000, 8);
    m_dir.WriteFile("src", strNew);
    m_dir.WriteFile("dst", strOld, 0444);

    // The copy's replacement, given up after 400,000 bytes as after a full
    // disk: until then the temporary beside the target really holds the partial
    // data; then it goes and the old target stays.
    {
        CReplaceFile temp(m_dir.Path("dst"), kCopyTempPrefix, true);
        ASSERT_EQ(temp.CreateFile(0600), 0);
        ASSERT_EQ(WriteAll(temp.Fd(), std::string_view(strNew).substr(0, 400'000)), 0);
        const std::vector<std::string> temps = TempNamesIn(m_dir);
        ASSERT_EQ(temps.size(), 1u);
        EXPECT_EQ(m_dir.Path(temps[0]), temp.TempPath());
        struct stat st {};
        ASSERT_TRUE(m_dir.Stat(temps[0], st));
        EXPECT_EQ(st.st_size, 400'000);
    }
    EXPECT_TRUE(m_dir.ReadFile("dst") == strOld);
    EXPECT_TRUE(TempNamesIn(m_dir).empty());

    // The same through a copy that runs out of room half way.
    FaultFileSystem fault(m_fs);
    fault.AddPartialCopyFault("*/dst", 400'000, ENOSPC, 1);
    EXPECT_EQ(fault.CopyFile(m_dir.Path("src"), m_dir.Path("dst")), ENOSPC);
    EXPECT_TRUE(m_dir.ReadFile("dst") == strOld);
    struct stat st {};
    ASSERT_TRUE(m_dir.Stat("dst", st));
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_TRUE(TempNamesIn(m_dir).empty());

    // Room again: the same copy goes through.
    ASSERT_EQ(m_fs.CopyFile(m_dir.Path("src"), m_dir.Path("dst")), 0);
    EXPECT_TRUE(m_dir.ReadFile("dst") == strNew);
}

// A replacement that cannot take the target's place (a directory stands there)
// says so at its rename and leaves no temporary; a sync failure is a write one.
TEST_F(PosixFs, ReplacementThatCannotRenameLeavesNothingBehind) {
    m_dir.MakeDir("dir");
    m_dir.WriteFile("dir/keep", "x");
    {
        CReplaceFile temp(m_dir.Path("dir"), kSaveTempPrefix, false);
        ASSERT_EQ(temp.CreateFile(0666), 0);
        ASSERT_EQ(WriteAll(temp.Fd(), "data"), 0);
        const auto failure = temp.Commit(true);
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->eStage, CReplaceFile::Stage::Rename);
        EXPECT_EQ(failure->nError, EISDIR);
    }
    EXPECT_EQ(m_dir.Names(), std::vector<std::string>{"dir"});
    EXPECT_EQ(m_dir.ReadFile("dir/keep"), "x");
}

TEST_F(PosixFs, CopyOfPseudoFileFallsBackToReadWrite) {
    // proc reports a size of 0 and copy_file_range finds no data in it.
    const std::string strProc = "/proc/sys/kernel/ostype";
    struct stat st {};
    if (::stat(strProc.c_str(), &st) != 0)
        GTEST_SKIP() << "no " << strProc;
    ASSERT_EQ(m_fs.CopyFile(strProc, m_dir.Path("ostype")), 0);
    EXPECT_EQ(m_dir.ReadFile("ostype"), "Linux\n");
}

// ------------------------------------------------ delete, directories, times, mode

TEST_F(PosixFs, DeleteCreateRemoveResults) {
    m_dir.WriteFile("file", "x", 0444);
    m_dir.MakeDir("full");
    m_dir.WriteFile("full/inside", "x");
    m_dir.MakeDir("empty", 0555);

    struct Case {
        const char* lpszWhat;
        int (*pfnOp)(FileSystem&, const std::string&);
        const char* lpszRel;
        int nError;
    };
    const auto del = [](FileSystem& fs, const std::string& s) { return fs.DeleteFile(s); };
    const auto mk = [](FileSystem& fs, const std::string& s) { return fs.CreateDir(s); };
    const auto rm = [](FileSystem& fs, const std::string& s) { return fs.RemoveDir(s); };
    const Case cases[] = {
        {"delete read-only file", del, "file", 0},
        {"delete again", del, "file", ENOENT},
        {"delete directory", del, "full", EISDIR},
        {"create", mk, "new", 0},
        {"create existing", mk, "new", EEXIST},
        {"create over file", mk, "full/inside", EEXIST},
        {"create without parent", mk, "nodir/new", ENOENT},
        {"remove non-empty", rm, "full", ENOTEMPTY},
        {"remove file", rm, "full/inside", ENOTDIR},
        {"remove read-only empty", rm, "empty", 0},
        {"remove missing", rm, "empty", ENOENT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lpszWhat);
        EXPECT_EQ(c.pfnOp(m_fs, m_dir.Path(c.lpszRel)), c.nError);
    }
    EXPECT_FALSE(m_dir.Exists("file"));
    EXPECT_FALSE(m_dir.Exists("empty"));
    EXPECT_TRUE(m_dir.Exists("full/inside"));
}

TEST_F(PosixFs, CreateDirIsWritableByOwnerWhateverTheUmask) {
    const mode_t old = ::umask(0277);
    const int nResult = m_fs.CreateDir(m_dir.Path("new"));
    ::umask(old);
    ASSERT_EQ(nResult, 0);
    struct stat st {};
    ASSERT_TRUE(m_dir.Stat("new", st));
    EXPECT_EQ(st.st_mode & 0700, 0700u);
}

TEST_F(PosixFs, TimesAndModeOfEntriesThemselves) {
    m_dir.WriteFile("file", "x", 0644);
    m_dir.SetTimes("file", 1, 2, 3, 4);
    m_dir.MakeSymlink("link", "file");

    FileTime ftAccess, ftWrite;
    ASSERT_EQ(m_fs.GetTimes(m_dir.Path("file"), &ftAccess, &ftWrite), 0);
    EXPECT_EQ(ftAccess, (FileTime{1, 2}));
    EXPECT_EQ(ftWrite, (FileTime{3, 4}));

    // A null time stays as it is.
    const FileTime ftNew{1'700'000'000, 999'999'999};
    ASSERT_EQ(m_fs.SetTimes(m_dir.Path("file"), nullptr, &ftNew), 0);
    ASSERT_EQ(m_fs.GetTimes(m_dir.Path("file"), &ftAccess, &ftWrite), 0);
    EXPECT_EQ(ftAccess, (FileTime{1, 2}));
    EXPECT_EQ(ftWrite, ftNew);
    ASSERT_EQ(m_fs.SetTimes(m_dir.Path("file"), &ftNew, nullptr), 0);
    ASSERT_EQ(m_fs.GetTimes(m_dir.Path("file"), &ftAccess, nullptr), 0);
    EXPECT_EQ(ftAccess, ftNew);

    // A link gets its own times; its target keeps its own.
    const FileTime ftLink{5, 6};
    ASSERT_EQ(m_fs.SetTimes(m_dir.Path("link"), &ftLink, &ftLink), 0);
    ASSERT_EQ(m_fs.GetTimes(m_dir.Path("link"), nullptr, &ftWrite), 0);
    EXPECT_EQ(ftWrite, ftLink);
    ASSERT_EQ(m_fs.GetTimes(m_dir.Path("file"), nullptr, &ftWrite), 0);
    EXPECT_EQ(ftWrite, ftNew);

    // Mode: the file's bits change, a link's call does nothing to its target.
    ASSERT_EQ(m_fs.SetMode(m_dir.Path("file"), 0400), 0);
    struct stat st {};
    ASSERT_TRUE(m_dir.Stat("file", st));
    EXPECT_EQ(st.st_mode & 07777, 0400u);
    ASSERT_EQ(m_fs.SetMode(m_dir.Path("link"), 0777), 0);
    ASSERT_TRUE(m_dir.Stat("file", st));
    EXPECT_EQ(st.st_mode & 07777, 0400u);

    EXPECT_EQ(m_fs.GetTimes(m_dir.Path("missing"), &ftAccess, &ftWrite), ENOENT);
    EXPECT_EQ(m_fs.SetTimes(m_dir.Path("missing"), &ftNew, &ftNew), ENOENT);
    EXPECT_EQ(m_fs.SetMode(m_dir.Path("missing"), 0644), ENOENT);
}

TEST_F(PosixFs, RealPathResolvesTheExistingPartOnly) {
    m_dir.MakeDir("real");
    m_dir.MakeDir("real/sub");
    m_dir.MakeSymlink("link", "real");
    m_dir.WriteFile("file", "x");
    char* lpszRoot = ::realpath(m_dir.Root().c_str(), nullptr);
    ASSERT_NE(lpszRoot, nullptr);
    const std::string strRoot = lpszRoot;
    std::free(lpszRoot);

    struct Case {
        const char* lpszIn;
        const char* lpszOut;
    };
    const Case cases[] = {
        {"real", "/real"},
        {"link/sub", "/real/sub"},
        {"link/sub/../sub/.", "/real/sub"},
        {"link/new", "/real/new"},
        {"link/new/deeper/", "/real/new/deeper"},
        {"link/new/./x/../y", "/real/new/y"},
        {"link//new", "/real/new"},
        {"link/new/../../file", "/file"},
        {"file/below", "/file/below"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lpszIn);
        std::string strOut;
        ASSERT_EQ(m_fs.RealPath(m_dir.Path(c.lpszIn), strOut), 0);
        EXPECT_EQ(strOut, strRoot + c.lpszOut);
    }
    std::string strOut;
    EXPECT_EQ(m_fs.RealPath("/", strOut), 0);
    EXPECT_EQ(strOut, "/");
    EXPECT_EQ(m_fs.RealPath("/no-such-dir-kovrel/x/..", strOut), 0);
    EXPECT_EQ(strOut, "/no-such-dir-kovrel");
}

// Write permission on a directory: an unprivileged owner of a read-only
// directory still gets its entries changed, and the directory's bits are back
// afterwards. Root ignores permission bits, so the check runs in a child that
// has given up root for an ordinary user.
// bTops: the directory lies below an item's top, reached through its parent's
// descriptor; the permission is lent through that descriptor too.
void ReadOnlyDirectoryCase(TempDir& dir, bool bTops) {
    constexpr uid_t kUser = 65534;
    constexpr gid_t kGroup = 65534;
    dir.SetMode("", 0755);
    dir.MakeDir("ro");
    dir.WriteFile("ro/old", "old");
    dir.WriteFile("ro/gone", "x");
    dir.MakeDir("ro/emptysub");
    dir.WriteFile("src", "new");
    dir.MakeSymlink("srclink", "src");
    for (const char* lpszRel : {"ro", "ro/old", "ro/gone", "ro/emptysub", "src"})
        ASSERT_EQ(::chown(dir.Path(lpszRel).c_str(), kUser, kGroup), 0);
    ASSERT_EQ(::lchown(dir.Path("srclink").c_str(), kUser, kGroup), 0);
    dir.SetMode("ro", 0555);

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // Child: plain exit codes only, no test framework calls.
        if (::setgid(kGroup) != 0 || ::setuid(kUser) != 0)
            ::_exit(90);
        PosixFileSystem fs;
        if (bTops)
            fs.SetTops(dir.Root(), {});
        const std::string strRo = dir.Path("ro");
        struct stat st {};
        const auto bitsBack = [&] {
            return ::stat(strRo.c_str(), &st) == 0 && (st.st_mode & 07777) == 0555;
        };
        if (::mkdir((strRo + "/probe").c_str(), 0777) == 0 || errno != EACCES)
            ::_exit(91); // the directory really is closed to this user
        if (fs.CopyFile(dir.Path("src"), strRo + "/old") != 0 || !bitsBack())
            ::_exit(92);
        if (fs.CopyFile(dir.Path("srclink"), strRo + "/link") != 0 || !bitsBack())
            ::_exit(93);
        if (fs.DeleteFile(strRo + "/gone") != 0 || !bitsBack())
            ::_exit(94);
        if (fs.CreateDir(strRo + "/newsub") != 0 || !bitsBack())
            ::_exit(95);
        if (fs.RemoveDir(strRo + "/emptysub") != 0 || !bitsBack())
            ::_exit(96);
        if (fs.DeleteFile(strRo + "/missing") != ENOENT || !bitsBack())
            ::_exit(97);
        ::_exit(0);
    }
    int nStatus = 0;
    ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
    ASSERT_TRUE(WIFEXITED(nStatus));
    EXPECT_EQ(WEXITSTATUS(nStatus), 0);
    EXPECT_EQ(dir.ReadFile("ro/old"), "new");
    EXPECT_FALSE(dir.Exists("ro/gone"));
    EXPECT_FALSE(dir.Exists("ro/emptysub"));
    EXPECT_TRUE(dir.Exists("ro/newsub"));
    struct stat st {};
    ASSERT_TRUE(dir.Stat("ro/link", st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// A whole-file read takes no more than its caller allows: a larger file is
// refused before any memory is taken for it, and so is a file whose size says
// nothing (a pseudo-file reports 0) once its bytes pass the limit.
TEST_F(PosixFs, ReadFileRefusesMoreThanItsLimit) {
    m_dir.WriteFile("ten", "0123456789");
    struct Case {
        std::string strPath;
        std::size_t nMaxBytes;
        FileStage eStage;
        int nError;
        const char* lpszData;
    };
    for (const Case& c : {Case{m_dir.Path("ten"), 10, FileStage::Done, 0, "0123456789"},
                          Case{m_dir.Path("ten"), 9, FileStage::TooLarge, EFBIG, "before"},
                          Case{m_dir.Path("ten"), 0, FileStage::TooLarge, EFBIG, "before"},
                          Case{"/proc/self/status", 16, FileStage::TooLarge, EFBIG, "before"}}) {
        std::string data = "before";
        const FileResult r = m_fs.ReadFile(c.strPath, data, c.nMaxBytes);
        EXPECT_EQ(r.eStage, c.eStage) << c.strPath << " " << c.nMaxBytes;
        EXPECT_EQ(r.nError, c.nError) << c.strPath << " " << c.nMaxBytes;
        EXPECT_EQ(data, c.lpszData) << c.strPath << " " << c.nMaxBytes;
    }
}

TEST_F(PosixFs, ReadOnlyDirectoryIsOpenedForTheChangeAndRestored) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to switch to an unprivileged user";
    ReadOnlyDirectoryCase(m_dir, false);
}

TEST(PosixFsBelowTop, ReadOnlyDirectoryIsOpenedForTheChangeAndRestored) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to switch to an unprivileged user";
    TempDir dir;
    ReadOnlyDirectoryCase(dir, true);
}

} // namespace
} // namespace kovrel::platform

namespace kovrel::platform {
namespace {

// Holes stay holes: only the data regions of a sparse file are copied, and the
// copy reads back byte for byte, a hole at the end included.
TEST_F(PosixFs, SparseFilesKeepTheirHoles) {
    constexpr off_t kMiB = 1024 * 1024;
    struct Case {
        const char* lpszName;
        std::vector<off_t> dataAt; // 4 KiB of data at each
        off_t nSize;
    };
    const Case cases[] = {
        {"middle", {kMiB, 40 * kMiB}, 64 * kMiB},
        {"at-end", {0, 64 * kMiB - 4096}, 64 * kMiB},
        {"all-hole", {}, 64 * kMiB},
    };
    for (const Case& c : cases) {
        const std::string strFrom = m_dir.Path(c.lpszName);
        {
            UniqueFd fd(::open(strFrom.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
            ASSERT_GE(fd.Get(), 0);
            const std::string strData = Pattern(4096, static_cast<unsigned>(c.dataAt.size()));
            for (const off_t nAt : c.dataAt)
                ASSERT_EQ(::pwrite(fd.Get(), strData.data(), strData.size(), nAt), 4096);
            ASSERT_EQ(::ftruncate(fd.Get(), c.nSize), 0);
        }
        struct stat stFrom {};
        ASSERT_TRUE(m_dir.Stat(c.lpszName, stFrom));
        if (stFrom.st_blocks * 512 >= stFrom.st_size)
            GTEST_SKIP() << "this file system keeps no holes";

        const std::string strTo = strFrom + ".copy";
        ASSERT_EQ(m_fs.CopyFile(strFrom, strTo), 0) << c.lpszName;
        struct stat stTo {};
        ASSERT_TRUE(m_dir.Stat(std::string(c.lpszName) + ".copy", stTo));
        EXPECT_EQ(stTo.st_size, c.nSize) << c.lpszName;
        EXPECT_LE(stTo.st_blocks, stFrom.st_blocks + 64) << c.lpszName; // no filled holes
        EXPECT_TRUE(m_dir.ReadFile(c.lpszName) == m_dir.ReadFile(std::string(c.lpszName) + ".copy"))
            << c.lpszName;
    }
}

} // namespace
} // namespace kovrel::platform

namespace kovrel::platform {
namespace {

// A copy replaces its target only while the target is what the caller expected;
// otherwise it answers kErrTargetChanged, keeps the target as it is and leaves no
// temporary. The overlay of a dry run answers the same.
TEST(CopyExpectation, TargetIsReplacedOnlyAsExpected) {
    struct Case {
        const char* lpszName;
        bool bTargetBefore; // the target exists when the caller looks
        bool bEdit;         // it is written (or made) after the look
        bool bExpectAbsent; // the caller expects no target
        int nResult;
    };
    const Case cases[] = {
        {"unchanged target", true, false, false, 0},
        {"target rewritten since", true, true, false, kErrTargetChanged},
        {"absent target stays absent", false, false, true, 0},
        {"target appeared since", false, true, true, kErrTargetChanged},
        {"expected target gone", true, false, false, kErrTargetChanged},
    };
    for (const bool bOverlay : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.lpszName) + (bOverlay ? " (overlay)" : ""));
            test::TempDir dir;
            PosixFileSystem posix;
            OverlayFileSystem overlay(posix);
            FileSystem& fs = bOverlay ? static_cast<FileSystem&>(overlay) : posix;
            dir.WriteFile("src", "new contents");
            if (c.bTargetBefore)
                dir.WriteFile("dst", "old");
            FileAttr attrSeen;
            int nError = 0;
            const bool bSeen = fs.GetAttr(dir.Path("dst"), attrSeen, nError) == AttrStatus::Ok;
            ASSERT_EQ(bSeen, c.bTargetBefore);
            if (c.bEdit) {
                // Saved the careful way: a new file under the old name.
                dir.WriteFile("dst.new", "the user's edit");
                ASSERT_EQ(std::rename(dir.Path("dst.new").c_str(), dir.Path("dst").c_str()), 0);
            }
            if (c.bTargetBefore && !c.bEdit && c.nResult != 0) {
                ASSERT_EQ(std::remove(dir.Path("dst").c_str()), 0);
            }
            const ExpectedTarget expect =
                c.bExpectAbsent ? ExpectedTarget::None() : ExpectedTarget::SameAs(attrSeen);

            EXPECT_EQ(fs.CopyFile(dir.Path("src"), dir.Path("dst"), expect), c.nResult);
            FileAttr attrNow;
            const AttrStatus status = fs.GetAttr(dir.Path("dst"), attrNow, nError);
            if (c.nResult == 0) {
                ASSERT_EQ(status, AttrStatus::Ok);
                EXPECT_EQ(attrNow.nSize, 12u);
            } else if (c.bEdit) {
                EXPECT_EQ(dir.ReadFile("dst"), "the user's edit");
            } else {
                EXPECT_EQ(status, AttrStatus::Absent);
            }
            if (!bOverlay && c.nResult == 0) {
                EXPECT_EQ(dir.ReadFile("dst"), "new contents");
            }
            for (const std::string& strName : dir.Names())
                EXPECT_FALSE(IsCopyTempName(strName)) << strName;
        }
    }
}

} // namespace
} // namespace kovrel::platform
