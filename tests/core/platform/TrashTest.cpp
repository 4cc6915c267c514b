// The trash: where each file's trash is, what goes into it, and that nothing
// below an item's tops is reached through a link on the way.
#include "platform/Trash.h"

#include "platform/PosixFileSystem.h"
#include "support/BelowTopsWalks.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovrel::platform {
namespace {

using test::TempDir;

// ------------------------------------------------------------ text helpers

TEST(TrashText, PathIsPercentEncoded) {
    struct Case {
        const char* lpszPath;
        const char* lpszEncoded;
    } const cases[] = {
        {"/home/me/plain-name_1.0~", "/home/me/plain-name_1.0~"},
        {"/home/me/a b.txt", "/home/me/a%20b.txt"},
        {"日本.txt", "%E6%97%A5%E6%9C%AC.txt"},
        {"100%+a&b=c;d#e?f", "100%25%2Ba%26b%3Dc%3Bd%23e%3Ff"},
        {"tab\there\nnl", "tab%09here%0Anl"},
        {"\xff\x80", "%FF%80"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PercentEncodePath(c.lpszPath), c.lpszEncoded) << c.lpszPath;
        std::string strBack;
        ASSERT_TRUE(PercentDecodePath(c.lpszEncoded, strBack)) << c.lpszEncoded;
        EXPECT_EQ(strBack, c.lpszPath);
    }
    std::string strOut = "untouched";
    for (const char* lpszBroken : {"%", "a%4", "%G0", "%0g"})
        EXPECT_FALSE(PercentDecodePath(lpszBroken, strOut)) << lpszBroken;
    EXPECT_EQ(strOut, "untouched");
    EXPECT_TRUE(PercentDecodePath("%e6%97%a5", strOut));
    EXPECT_EQ(strOut, "日");
}

// Sets TZ for one test and puts the old one back.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* lpszZone) {
        if (const char* lpszOld = std::getenv("TZ")) {
            m_bHad = true;
            m_strOld = lpszOld;
        }
        ::setenv("TZ", lpszZone, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (m_bHad)
            ::setenv("TZ", m_strOld.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    bool m_bHad = false;
    std::string m_strOld;
};

TEST(TrashText, DeletionDateIsLocalTime) {
    struct Case {
        const char* lpszZone;
        std::time_t nTime;
        const char* lpszDate;
    } const cases[] = {
        {"UTC0", 0, "1970-01-01T00:00:00"},          {"UTC0", 1700000000, "2023-11-14T22:13:20"},
        {"JST-9", 0, "1970-01-01T09:00:00"},         {"JST-9", 1704034799, "2023-12-31T23:59:59"},
        {"EST5", 1704067200, "2023-12-31T19:00:00"},
    };
    for (const Case& c : cases) {
        ScopedTimeZone zone(c.lpszZone);
        EXPECT_EQ(FormatDeletionDate(c.nTime), c.lpszDate) << c.lpszZone << " " << c.nTime;
    }
    ScopedTimeZone zone("UTC0");
    EXPECT_EQ(TrashInfoText("dir/a b", 86400),
              "[Trash Info]\nPath=dir/a%20b\nDeletionDate=1970-01-02T00:00:00\n");
}

TEST(TrashText, MountInfoLinesAreRead) {
    const std::string strText =
        "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw,discard\n"
        "40 27 0:50 / /media/my\\040disk rw,nosuid master:3 propagate_from:2 - vfat /dev/sdb1 rw\n"
        "41 27 0:51 /sub /srv/ro ro,relatime - ext4 /dev/sdc1 rw\n"
        "42 27 0:52 / /srv/sro rw,relatime - ext4 /dev/sdd1 ro,errors=remount-ro\n"
        "43 27 0:53 / /net/share rw - nfs4 server:/export rw,vers=4.2\n"
        "garbage line\n"
        "x 27 0:54 / /bad rw - ext4 /dev/x rw\n"
        "44 27 0:55 / /no-dash rw ext4 /dev/y rw\n"
        "\n"
        "45 27 0:56 / /last\\134back\\011tab rw - tmpfs tmpfs rw";
    const std::vector<MountEntry> mounts = ParseMountInfo(strText);
    ASSERT_EQ(mounts.size(), 6u);
    struct Expect {
        int nId;
        const char* lpszPoint;
        const char* lpszType;
        const char* lpszSource;
        bool bReadOnly;
    } const expected[] = {
        {27, "/", "ext4", "/dev/vda", false},
        {40, "/media/my disk", "vfat", "/dev/sdb1", false},
        {41, "/srv/ro", "ext4", "/dev/sdc1", true},
        {42, "/srv/sro", "ext4", "/dev/sdd1", true},
        {43, "/net/share", "nfs4", "server:/export", false},
        {45, "/last\\back\ttab", "tmpfs", "tmpfs", false},
    };
    for (std::size_t i = 0; i < mounts.size(); ++i) {
        EXPECT_EQ(mounts[i].nMountId, expected[i].nId);
        EXPECT_EQ(mounts[i].strMountPoint, expected[i].lpszPoint);
        EXPECT_EQ(mounts[i].strFsType, expected[i].lpszType);
        EXPECT_EQ(mounts[i].strSource, expected[i].lpszSource);
        EXPECT_EQ(mounts[i].bReadOnly, expected[i].bReadOnly) << mounts[i].strMountPoint;
    }
}

TEST(TrashText, MountOfAPathIsTheLongestWholeComponentPrefix) {
    const std::vector<MountEntry> mounts = ParseMountInfo("1 0 0:1 / / rw - ext4 a rw\n"
                                                          "2 1 0:2 / /mnt/a rw - ext4 b rw\n"
                                                          "3 1 0:3 / /mnt/a/b rw - ext4 c rw\n"
                                                          "4 1 0:4 / /mnt/c rw - ext4 d rw\n"
                                                          "5 1 0:5 / /mnt/c rw - tmpfs e rw\n");
    struct Case {
        const char* lpszPath;
        int nId;
    } const cases[] =
        {
            {"/", 1},        {"/etc/passwd", 1}, {"/mnt/a", 2},    {"/mnt/a/x", 2},
            {"/mnt/ab", 1},  {"/mnt/a/b", 3},    {"/mnt/a/bc", 2}, {"/mnt/a/b/c/d", 3},
            {"/mnt/c/f", 5}, // the later mount on one point hides the earlier
        };
    for (const Case& c : cases) {
        const MountEntry* pMount = FindMount(mounts, c.lpszPath);
        ASSERT_NE(pMount, nullptr) << c.lpszPath;
        EXPECT_EQ(pMount->nMountId, c.nId) << c.lpszPath;
    }
    EXPECT_EQ(FindMount(ParseMountInfo("2 1 0:2 / /mnt rw - ext4 b rw\n"), "/etc"), nullptr);
}

TEST(TrashText, TrashDirectoryEntriesAndNetworkTypes) {
    struct Case {
        const char* lpszName;
        EntryType type;
        std::uint32_t dwMode;
        bool bTrash;
    } const cases[] = {
        {".Trash-0", EntryType::Directory, 0700, true},
        {".Trash-1000", EntryType::Directory, 0700, true},
        {".Trash-1000", EntryType::File, 0600, false},
        {".Trash-1000", EntryType::Symlink, 0777, false},
        {".Trash-", EntryType::Directory, 0700, false},
        {".Trash-10a", EntryType::Directory, 0700, false},
        {".Trash-12345678901", EntryType::Directory, 0700, false},
        {".trash-1000", EntryType::Directory, 0700, false},
        {".Trash", EntryType::Directory, 01777, true},
        {".Trash", EntryType::Directory, 0777, false},
        {".Trash", EntryType::Symlink, 01777, false},
        {"Trash", EntryType::Directory, 01777, false},
        {".Trash1000", EntryType::Directory, 0700, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsTrashDirEntry(c.lpszName, c.type, c.dwMode), c.bTrash)
            << c.lpszName << " " << static_cast<int>(c.type) << " " << c.dwMode;

    for (const char* lpszType : {"nfs", "nfs4", "cifs", "smb3", "fuse.sshfs", "9p"})
        EXPECT_TRUE(IsNetworkFsType(lpszType)) << lpszType;
    for (const char* lpszType : {"ext4", "tmpfs", "vfat", "exfat", "btrfs", "overlay", "nfsd"})
        EXPECT_FALSE(IsNetworkFsType(lpszType)) << lpszType;
}

// ------------------------------------------------------------ on the disk

std::string RealPathOf(const std::string& strPath) {
    char* lpszReal = ::realpath(strPath.c_str(), nullptr);
    if (!lpszReal)
        throw std::runtime_error("realpath " + strPath);
    std::string str = lpszReal;
    std::free(lpszReal);
    return str;
}

// The DeletionDate of a .trashinfo as a time, or -1.
std::time_t ParseDeletionDate(const std::string& strInfo) {
    const std::size_t nAt = strInfo.find("\nDeletionDate=");
    if (nAt == std::string::npos)
        return -1;
    std::tm tmLocal{};
    const char* lpszEnd = ::strptime(strInfo.c_str() + nAt + 14, "%Y-%m-%dT%H:%M:%S", &tmLocal);
    if (!lpszEnd || *lpszEnd != '\n')
        return -1;
    tmLocal.tm_isdst = -1;
    return std::mktime(&tmLocal);
}

std::string InfoPathLine(const std::string& strInfo) {
    const std::size_t nAt = strInfo.find("\nPath=");
    if (strInfo.rfind("[Trash Info]\n", 0) != 0 || nAt == std::string::npos)
        return {};
    return strInfo.substr(nAt + 6, strInfo.find('\n', nAt + 1) - nAt - 6);
}

// A temporary tree with a mount table of the test's making: the temporary
// directory lies on "/", "vol" is a file system of its own (not really: a
// rename into its trash works all the same), "net" a network share and "ro"
// a read-only mount; the home trash is home/.local/share/Trash.
class TrashDisk : public ::testing::TestWithParam<PosixFileSystem::BelowTops> {
protected:
    void SetUp() override {
        m_strRoot = RealPathOf(m_dir.Root());
        for (const char* lpszDir : {"home", "home/docs", "vol", "vol/sub", "net", "ro"})
            m_dir.MakeDir(lpszDir);
        m_strUid = std::to_string(::geteuid());
        m_fs.SetTrashEnv(Env());
    }

    TrashEnv Env() const {
        TrashEnv env;
        env.strDataHome = m_strRoot + "/home/.local/share";
        env.nUid = static_cast<std::uint32_t>(::geteuid());
        const std::string strTable = "1 0 0:1 / / rw - ext4 /dev/root rw\n"
                                     "2 1 0:2 / " +
                                     m_strRoot + "/vol rw - ext4 /dev/vol rw\n3 1 0:3 / " +
                                     m_strRoot + "/net rw - nfs4 server:/x rw\n4 1 0:4 / " +
                                     m_strRoot + "/ro ro - ext4 /dev/ro rw\n";
        env.fnReadMountInfo = [strTable] { return strTable; };
        return env;
    }

    std::string P(std::string_view strRel) const { return m_strRoot + "/" + std::string(strRel); }
    std::string Home() const { return "home/.local/share/Trash"; }
    std::string VolTrash() const { return "vol/.Trash-" + m_strUid; }

    // The entry and .trashinfo that a Done result names, checked for their form.
    void ExpectInTrash(const TrashResult& result, const std::string& strTrashRel,
                       const std::string& strName, const std::string& strPath) {
        ASSERT_EQ(result.eStatus, TrashStatus::Done) << result.nError;
        EXPECT_EQ(result.strTrashDir, P(strTrashRel));
        EXPECT_EQ(result.strTrashName, strName);
        EXPECT_TRUE(m_dir.Exists(strTrashRel + "/files/" + strName));
        const std::string strInfo = m_dir.ReadFile(strTrashRel + "/info/" + strName + ".trashinfo");
        EXPECT_EQ(InfoPathLine(strInfo), PercentEncodePath(strPath)) << strInfo;
        const std::time_t nDate = ParseDeletionDate(strInfo);
        EXPECT_GE(nDate, m_nStart - 1) << strInfo;
        EXPECT_LE(nDate, std::time(nullptr) + 1) << strInfo;
        EXPECT_EQ(strInfo.size(), strInfo.find("DeletionDate=") + 13 + 19 + 1) << strInfo;
    }

    TempDir m_dir;
    std::string m_strRoot;
    std::string m_strUid;
    std::time_t m_nStart = std::time(nullptr);
    PosixFileSystem m_fs{GetParam()};
};

TEST_P(TrashDisk, HomeTrashTakesFilesOfItsFileSystemWithAbsolutePaths) {
    m_dir.WriteFile("home/docs/a b.txt", "old text");
    m_dir.WriteFile("home/docs/日本 語.txt", "nihongo");
    m_dir.WriteFile("elsewhere.txt", "on the root");

    ExpectInTrash(m_fs.MoveToTrash(P("home/docs/a b.txt")), Home(), "a b.txt",
                  P("home/docs/a b.txt"));
    ExpectInTrash(m_fs.MoveToTrash(P("home/docs/日本 語.txt")), Home(), "日本 語.txt",
                  P("home/docs/日本 語.txt"));
    // The home trash serves the whole file system it is on, not only the home.
    ExpectInTrash(m_fs.MoveToTrash(P("elsewhere.txt")), Home(), "elsewhere.txt",
                  P("elsewhere.txt"));

    EXPECT_FALSE(m_dir.Exists("home/docs/a b.txt"));
    EXPECT_EQ(m_dir.ReadFile(Home() + "/files/a b.txt"), "old text");
    EXPECT_EQ(m_dir.ReadFile(Home() + "/files/日本 語.txt"), "nihongo");
    EXPECT_NE(m_dir.ReadFile(Home() + "/info/日本 語.txt.trashinfo")
                  .find("%E6%97%A5%E6%9C%AC%20%E8%AA%9E.txt\n"),
              std::string::npos);
    // Made for this user alone.
    for (const std::string& strDir : {Home(), Home() + "/files", Home() + "/info"}) {
        struct stat st {};
        ASSERT_TRUE(m_dir.Stat(strDir, st)) << strDir;
        EXPECT_EQ(st.st_mode & 07777, 0700u) << strDir;
    }
}

TEST_P(TrashDisk, OtherFileSystemsUseTheirMountPointTrashWithRelativePaths) {
    m_dir.WriteFile("vol/sub/f", "volume file");
    m_dir.MakeDir("vol/sub/dir");
    m_dir.WriteFile("vol/sub/dir/inner", "inner");
    m_dir.MakeSymlink("vol/sub/dir/link", "/etc/passwd");

    const TrashResult result = m_fs.MoveToTrash(P("vol/sub/f"));
    ExpectInTrash(result, VolTrash(), "f", "sub/f");
    EXPECT_EQ(result.strMountPoint, P("vol"));
    // A directory goes as one entry, with what it holds.
    ExpectInTrash(m_fs.MoveToTrash(P("vol/sub/dir")), VolTrash(), "dir", "sub/dir");
    EXPECT_EQ(m_dir.ReadFile(VolTrash() + "/files/dir/inner"), "inner");
    struct stat st {};
    ASSERT_TRUE(m_dir.Stat(VolTrash() + "/files/dir/link", st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(m_dir.Names("vol/sub"), std::vector<std::string>{});
    ASSERT_TRUE(m_dir.Stat(VolTrash(), st));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_FALSE(m_dir.Exists(Home()));
}

TEST_P(TrashDisk, AnAdministratorsTrashIsUsedOnlyWhenItPassesTheChecks) {
    struct Case {
        const char* lpszName;
        std::function<void()> fnMake;
        bool bShared;
    } const cases[] = {
        {"sticky directory", [&] { m_dir.MakeDir("vol/.Trash", 01777); }, true},
        {"no sticky bit", [&] { m_dir.MakeDir("vol/.Trash", 0777); }, false},
        {"a link to a sticky directory",
         [&] {
             m_dir.MakeDir("sticky", 01777);
             m_dir.MakeSymlink("vol/.Trash", P("sticky"));
         },
         false},
        {"a file", [&] { m_dir.WriteFile("vol/.Trash", ""); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lpszName);
        m_dir.WriteFile("vol/f", c.lpszName);
        c.fnMake();
        PosixFileSystem fs(GetParam());
        fs.SetTrashEnv(Env());
        const TrashResult result = fs.MoveToTrash(P("vol/f"));
        ExpectInTrash(result, c.bShared ? "vol/.Trash/" + m_strUid : VolTrash(), "f", "f");
        EXPECT_EQ(m_dir.ReadFile((c.bShared ? "vol/.Trash/" + m_strUid : VolTrash()) + "/files/f"),
                  c.lpszName);
        if (m_dir.Exists("sticky")) {
            EXPECT_EQ(m_dir.Names("sticky"), std::vector<std::string>{});
        }
        std::filesystem::remove_all(P("vol/.Trash"));
        std::filesystem::remove_all(P(VolTrash()));
        std::filesystem::remove_all(P("sticky"));
    }
}

TEST_P(TrashDisk, NoTrashIsReportedAndChangesNothing) {
    m_dir.WriteFile("net/f", "share");
    m_dir.WriteFile("ro/f", "read-only");
    m_dir.WriteFile("vol/f", "volume");
    struct Case {
        const char* lpszPath;
        int nError;
        const char* lpszMount;
    } const cases[] = {
        {"net/f", EREMOTE, "net"},
        {"ro/f", EROFS, "ro"},
    };
    for (const Case& c : cases) {
        for (const bool bKeep : {false, true}) {
            const TrashResult result =
                bKeep ? m_fs.KeepInTrash(P(c.lpszPath)) : m_fs.MoveToTrash(P(c.lpszPath));
            EXPECT_EQ(result.eStatus, TrashStatus::NoTrash) << c.lpszPath;
            EXPECT_EQ(result.nError, c.nError) << c.lpszPath;
            EXPECT_EQ(result.strMountPoint, P(c.lpszMount));
            EXPECT_TRUE(m_dir.Exists(c.lpszPath));
        }
    }
    EXPECT_EQ(m_dir.Names("net"), std::vector<std::string>{"f"});
    EXPECT_EQ(m_dir.Names("ro"), std::vector<std::string>{"f"});

    // A user trash directory that is not a directory, or not ours.
    m_dir.WriteFile(VolTrash(), "in the way");
    PosixFileSystem fs(GetParam());
    fs.SetTrashEnv(Env());
    TrashResult result = fs.MoveToTrash(P("vol/f"));
    EXPECT_EQ(result.eStatus, TrashStatus::NoTrash);
    EXPECT_EQ(result.nError, ENOTDIR);
    EXPECT_EQ(result.strTrashDir, P(VolTrash()));
    ASSERT_EQ(::unlink(P(VolTrash()).c_str()), 0);
    if (::geteuid() == 0) {
        m_dir.MakeDir(VolTrash(), 0700);
        ASSERT_EQ(::chown(P(VolTrash()).c_str(), 12345, 12345), 0);
        PosixFileSystem fsOwned(GetParam());
        fsOwned.SetTrashEnv(Env());
        result = fsOwned.MoveToTrash(P("vol/f"));
        EXPECT_EQ(result.eStatus, TrashStatus::NoTrash);
        EXPECT_EQ(result.nError, EPERM);
        EXPECT_EQ(m_dir.Names(VolTrash()), std::vector<std::string>{});
    }
    EXPECT_EQ(m_dir.ReadFile("vol/f"), "volume");
}

TEST_P(TrashDisk, NamesInTheTrashAreUnique) {
    // Four files of one name from different directories; the trash already
    // holds "x" (restorable) and "x.3" without its .trashinfo (left by a crash).
    for (const char* lpszDir : {"vol/1", "vol/2", "vol/3", "vol/4"}) {
        m_dir.MakeDir(lpszDir);
        m_dir.WriteFile(std::string(lpszDir) + "/x", lpszDir);
    }
    ExpectInTrash(m_fs.MoveToTrash(P("vol/1/x")), VolTrash(), "x", "1/x");
    m_dir.WriteFile(VolTrash() + "/files/x.3", "orphan");

    ExpectInTrash(m_fs.MoveToTrash(P("vol/2/x")), VolTrash(), "x.2", "2/x");
    ExpectInTrash(m_fs.MoveToTrash(P("vol/3/x")), VolTrash(), "x.4", "3/x");
    // A fresh file system object knows nothing of the numbers taken.
    PosixFileSystem fs(GetParam());
    fs.SetTrashEnv(Env());
    ExpectInTrash(fs.MoveToTrash(P("vol/4/x")), VolTrash(), "x.5", "4/x");

    EXPECT_EQ(m_dir.ReadFile(VolTrash() + "/files/x"), "vol/1");
    EXPECT_EQ(m_dir.ReadFile(VolTrash() + "/files/x.2"), "vol/2");
    EXPECT_EQ(m_dir.ReadFile(VolTrash() + "/files/x.3"), "orphan");
    EXPECT_EQ(m_dir.ReadFile(VolTrash() + "/files/x.4"), "vol/3");
    EXPECT_EQ(m_dir.ReadFile(VolTrash() + "/files/x.5"), "vol/4");
    EXPECT_FALSE(m_dir.Exists(VolTrash() + "/info/x.3.trashinfo"));

    // A name too long to take a number and ".trashinfo" is shortened, never
    // inside a UTF-8 sequence; Path= keeps the whole name.
    std::string strName = "a";
    while (strName.size() < 250)
        strName += "語";
    m_dir.WriteFile("vol/" + strName, "long");
    const TrashResult result = m_fs.MoveToTrash(P("vol/" + strName));
    ASSERT_EQ(result.eStatus, TrashStatus::Done) << result.nError;
    EXPECT_LT(result.strTrashName.size(), strName.size());
    EXPECT_EQ(strName.rfind(result.strTrashName, 0), 0u);
    EXPECT_EQ((result.strTrashName.size() - 1) % 3, 0u);
    ExpectInTrash(result, VolTrash(), result.strTrashName, strName);
}

TEST_P(TrashDisk, AnEmptiedTrashIsMadeAgain) {
    m_dir.WriteFile("vol/a", "a");
    m_dir.WriteFile("vol/b", "b");
    ExpectInTrash(m_fs.MoveToTrash(P("vol/a")), VolTrash(), "a", "a");
    std::filesystem::remove_all(P(VolTrash()));
    ExpectInTrash(m_fs.MoveToTrash(P("vol/b")), VolTrash(), "b", "b");
}

TEST_P(TrashDisk, KeepLeavesTheFileInPlaceAndTheOldVersionRestorable) {
    m_dir.WriteFile("vol/sub/doc", "version 1", 0640);
    m_dir.WriteFile("new", "version 2");
    const TrashResult kept = m_fs.KeepInTrash(P("vol/sub/doc"));
    ExpectInTrash(kept, VolTrash(), "doc", "sub/doc");
    struct stat stFile {};
    struct stat stKept {};
    ASSERT_TRUE(m_dir.Stat("vol/sub/doc", stFile));
    ASSERT_TRUE(m_dir.Stat(VolTrash() + "/files/doc", stKept));
    EXPECT_EQ(stFile.st_ino, stKept.st_ino);
    EXPECT_EQ(stKept.st_mode & 07777, 0640u);

    // The usual replace by rename: the trash keeps the old version.
    ASSERT_EQ(m_fs.CopyFile(P("new"), P("vol/sub/doc")), 0);
    EXPECT_EQ(m_dir.ReadFile("vol/sub/doc"), "version 2");
    EXPECT_EQ(m_dir.ReadFile(VolTrash() + "/files/doc"), "version 1");

    // A replace given up takes its kept version out again.
    m_dir.WriteFile("vol/sub/other", "other");
    const TrashResult dropped = m_fs.KeepInTrash(P("vol/sub/other"));
    ASSERT_EQ(dropped.eStatus, TrashStatus::Done);
    EXPECT_EQ(m_fs.DropFromTrash(dropped), 0);
    EXPECT_FALSE(m_dir.Exists(VolTrash() + "/files/other"));
    EXPECT_FALSE(m_dir.Exists(VolTrash() + "/info/other.trashinfo"));
    EXPECT_EQ(m_dir.ReadFile("vol/sub/other"), "other");
    // Also after the run that kept it ended (the trash is found again).
    const TrashResult later = m_fs.KeepInTrash(P("vol/sub/other"));
    ASSERT_EQ(later.eStatus, TrashStatus::Done);
    m_fs.SetTops("", "");
    EXPECT_EQ(m_fs.DropFromTrash(later), 0);
    EXPECT_EQ(m_dir.Names(VolTrash() + "/info"), std::vector<std::string>{"doc.trashinfo"});
    EXPECT_EQ(m_fs.DropFromTrash(later), ENOENT);
    EXPECT_EQ(m_fs.DropFromTrash(TrashResult{TrashStatus::NoTrash, EROFS, {}, {}, {}}), EINVAL);

    // Symbolic links are kept as links; directories cannot be kept.
    m_dir.MakeSymlink("vol/sub/link", "doc");
    ExpectInTrash(m_fs.KeepInTrash(P("vol/sub/link")), VolTrash(), "link", "sub/link");
    struct stat stLink {};
    ASSERT_TRUE(m_dir.Stat(VolTrash() + "/files/link", stLink));
    EXPECT_TRUE(S_ISLNK(stLink.st_mode));
    m_dir.MakeDir("vol/sub/dir");
    const TrashResult dir = m_fs.KeepInTrash(P("vol/sub/dir"));
    EXPECT_EQ(dir.eStatus, TrashStatus::Failed);
    EXPECT_EQ(dir.nError, EISDIR);
    EXPECT_EQ(m_fs.KeepInTrash(P("vol/sub/missing")).nError, ENOENT);
    EXPECT_EQ(m_dir.Names(VolTrash() + "/files").size(), 2u);
}

TEST_P(TrashDisk, WithoutHardLinksNothingIsKeptAndTheCallerIsTold) {
    m_dir.WriteFile("vol/doc", "old");
    for (const int nErr : {EPERM, EOPNOTSUPP, EMLINK, EIO}) {
        TrashEnv env = Env();
        env.fnLink = [nErr](int, const char*, int, const char*) { return nErr; };
        PosixFileSystem fs(GetParam());
        fs.SetTrashEnv(std::move(env));
        const TrashResult result = fs.KeepInTrash(P("vol/doc"));
        EXPECT_EQ(result.eStatus, nErr == EIO ? TrashStatus::Failed : TrashStatus::NoHardLinks);
        EXPECT_EQ(result.nError, nErr);
        EXPECT_EQ(result.strMountPoint, P("vol"));
        // No .trashinfo is left for an entry that never came.
        EXPECT_EQ(m_dir.Names(VolTrash() + "/info"), std::vector<std::string>{}) << nErr;
        EXPECT_EQ(m_dir.Names(VolTrash() + "/files"), std::vector<std::string>{}) << nErr;
        EXPECT_EQ(m_dir.ReadFile("vol/doc"), "old");
        // What the caller does then: moves it to the trash right before the replace.
        if (nErr == EPERM) {
            ExpectInTrash(fs.MoveToTrash(P("vol/doc")), VolTrash(), "doc", "doc");
            std::filesystem::remove_all(P(VolTrash()));
            m_dir.WriteFile("vol/doc", "old");
        }
    }
}

TEST_P(TrashDisk, AFailedRenameTakesItsTrashInfoAway) {
    // The home trash lies inside home: home cannot be moved into itself.
    m_dir.WriteFile("home/docs/f", "f");
    ExpectInTrash(m_fs.MoveToTrash(P("home/docs/f")), Home(), "f", P("home/docs/f"));
    const TrashResult result = m_fs.MoveToTrash(P("home"));
    EXPECT_EQ(result.eStatus, TrashStatus::Failed);
    EXPECT_EQ(result.nError, EINVAL);
    EXPECT_EQ(result.strTrashName, "");
    EXPECT_EQ(m_dir.Names(Home() + "/info"), std::vector<std::string>{"f.trashinfo"});
    EXPECT_TRUE(m_dir.Exists("home/docs"));
}

TEST_P(TrashDisk, ALinkBelowTheTopsIsNeverFollowed) {
    m_dir.MakeDir("vol/top");
    m_dir.MakeDir("vol/outside");
    m_dir.WriteFile("vol/outside/f", "outside");
    m_dir.MakeSymlink("vol/top/link", P("vol/outside"));
    m_fs.SetTops(P("vol/top"), P("home/docs"));

    for (const bool bKeep : {false, true}) {
        const TrashResult result =
            bKeep ? m_fs.KeepInTrash(P("vol/top/link/f")) : m_fs.MoveToTrash(P("vol/top/link/f"));
        EXPECT_EQ(result.eStatus, TrashStatus::Failed);
        EXPECT_TRUE(result.nError == ELOOP || result.nError == ENOTDIR) << result.nError;
    }
    EXPECT_EQ(m_dir.ReadFile("vol/outside/f"), "outside");
    EXPECT_FALSE(m_dir.Exists(VolTrash() + "/files/f"));

    // The link itself goes, as a link; what it points at stays.
    ExpectInTrash(m_fs.MoveToTrash(P("vol/top/link")), VolTrash(), "link", "top/link");
    struct stat st {};
    ASSERT_TRUE(m_dir.Stat(VolTrash() + "/files/link", st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(m_dir.Names("vol/outside"), std::vector<std::string>{"f"});
    EXPECT_FALSE(m_dir.Exists("vol/top/link"));
}

TEST_P(TrashDisk, ListingsLeaveTrashDirectoriesOut) {
    m_dir.WriteFile("vol/f", "f");
    ASSERT_TRUE(m_fs.MoveToTrash(P("vol/f")).Ok());
    m_dir.MakeDir("vol/.Trash", 01777);
    m_dir.MakeDir("vol/.Trash-4242");
    m_dir.MakeDir("vol/sub/.Trash");              // no sticky bit: a user's folder
    m_dir.WriteFile("vol/sub/.Trash-77", "file"); // not a directory
    m_dir.MakeDir("vol/sub/.Trash-7x");

    std::vector<DirEntry> entries;
    ASSERT_EQ(m_fs.ListDir(P("vol"), entries), 0);
    std::vector<std::string> names;
    for (const DirEntry& entry : entries)
        names.push_back(entry.strName);
    EXPECT_EQ(names, std::vector<std::string>{"sub"});
    std::size_t nUnlisted = 0;
    ASSERT_EQ(m_fs.CountUnlisted(P("vol"), nUnlisted), 0);
    EXPECT_EQ(nUnlisted, 3u);

    ASSERT_EQ(m_fs.ListDir(P("vol/sub"), entries), 0);
    names.clear();
    for (const DirEntry& entry : entries)
        names.push_back(entry.strName);
    EXPECT_EQ(names, (std::vector<std::string>{".Trash", ".Trash-77", ".Trash-7x"}));
    ASSERT_EQ(m_fs.CountUnlisted(P("vol/sub"), nUnlisted), 0);
    EXPECT_EQ(nUnlisted, 0u);
}

TEST_P(TrashDisk, ListingsLeaveTheHomeTrashOutWhereverATreeReachesIt) {
    m_dir.WriteFile("home/docs/f", "f");
    ASSERT_TRUE(m_fs.MoveToTrash(P("home/docs/f")).Ok());
    m_dir.MakeDir("home/docs/Trash"); // a user's folder of that name
    ASSERT_EQ(::symlink(P("home/.local").c_str(), P("local-link").c_str()), 0);

    // Below an item's top (the descriptor-relative walk) and through another
    // name for the same directory alike.
    m_fs.SetTops(P("home"), P("vol"));
    const auto names = [&](const std::string& strDir) {
        std::vector<DirEntry> entries;
        EXPECT_EQ(m_fs.ListDir(strDir, entries), 0) << strDir;
        std::vector<std::string> out;
        for (const DirEntry& entry : entries)
            out.push_back(entry.strName);
        return out;
    };
    EXPECT_EQ(names(P("home/.local/share")), std::vector<std::string>{});
    EXPECT_EQ(names(P("local-link/share")), std::vector<std::string>{});
    EXPECT_EQ(names(P("home/docs")), std::vector<std::string>{"Trash"});
    std::size_t nUnlisted = 0;
    ASSERT_EQ(m_fs.CountUnlisted(P("home/.local/share"), nUnlisted), 0);
    EXPECT_EQ(nUnlisted, 1u);
    ASSERT_EQ(m_fs.CountUnlisted(P("home/docs"), nUnlisted), 0);
    EXPECT_EQ(nUnlisted, 0u);
    m_fs.SetTops({}, {});
}

// Every path below the temporary directory, so a look can be shown to make nothing.
std::vector<std::string> TreeOf(const std::string& strRoot) {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(strRoot))
        paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

// A look at the trash answers as a move would, usable or not and why, and
// makes nothing on the way: not the home trash, not a .Trash-$uid.
TEST_P(TrashDisk, ProbeAnswersAsAMoveWouldAndMakesNothing) {
    struct Case {
        const char* lpszName;
        const char* lpszFile;     // the entry to put into the trash
        const char* lpszDataHome; // "" keeps the fixture's
        std::function<void()> fnPrepare;
        TrashStatus eStatus;
        int nError;
        const char* lpszMount; // relative; "" for "/"
    };
    const std::string strTrashName = ".Trash-" + m_strUid;
    const Case cases[] = {
        {"home trash to be made", "home/docs/f", "", {}, TrashStatus::Done, 0, ""},
        {"data home missing too", "home/docs/f", "home/none/share", {}, TrashStatus::Done, 0, ""},
        {"data home under a file", "home/docs/f", "blocker/share",
         [&] { m_dir.WriteFile("blocker", "a file"); }, TrashStatus::NoTrash, ENOTDIR, ""},
        {"home trash is a file", "home/docs/f", "",
         [&] {
             m_dir.MakeDir("home/.local");
             m_dir.MakeDir("home/.local/share");
             m_dir.WriteFile("home/.local/share/Trash", "a file");
         },
         TrashStatus::NoTrash, ENOTDIR, ""},
        {"volume trash to be made", "vol/sub/f", "", {}, TrashStatus::Done, 0, "vol"},
        {"volume trash is a file", "vol/sub/f", "",
         [&] { m_dir.WriteFile("vol/" + strTrashName, "a file"); }, TrashStatus::NoTrash, ENOTDIR,
         "vol"},
        {"volume trash files/ is a link", "vol/sub/f", "",
         [&] {
             m_dir.MakeDir("vol/" + strTrashName);
             ASSERT_EQ(::symlink("/tmp", P("vol/" + strTrashName + "/files").c_str()), 0);
         },
         TrashStatus::NoTrash, ENOTDIR, "vol"},
        {"shared trash taken", "vol/sub/f", "",
         [&] {
             m_dir.MakeDir("vol/.Trash", 01777);
             m_dir.MakeDir("vol/.Trash/" + m_strUid);
         },
         TrashStatus::Done, 0, "vol"},
        {"network share", "net/f", "", {}, TrashStatus::NoTrash, EREMOTE, "net"},
        {"read-only mount", "ro/f", "", {}, TrashStatus::NoTrash, EROFS, "ro"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lpszName);
        std::filesystem::remove_all(P("home/.local"));
        for (const char* lpszGone : {"blocker", "vol/.Trash", "home/none"})
            std::filesystem::remove_all(P(lpszGone));
        std::filesystem::remove_all(P("vol/" + strTrashName));
        if (c.fnPrepare)
            c.fnPrepare();
        m_dir.WriteFile(c.lpszFile, "data");
        TrashEnv env = Env();
        if (*c.lpszDataHome)
            env.strDataHome = P(c.lpszDataHome);

        const std::vector<std::string> before = TreeOf(m_strRoot);
        PosixFileSystem looker{GetParam()};
        looker.SetTrashEnv(env);
        const TrashResult probed = looker.ProbeTrash(P(c.lpszFile));
        // Asked twice, the same (the second from what the first learnt).
        const TrashResult again = looker.ProbeTrash(P(c.lpszFile));
        EXPECT_EQ(TreeOf(m_strRoot), before);

        PosixFileSystem mover{GetParam()};
        mover.SetTrashEnv(env);
        const TrashResult moved = mover.MoveToTrash(P(c.lpszFile));
        const std::string strMount = *c.lpszMount ? P(c.lpszMount) : std::string("/");
        for (const TrashResult* pResult : {&probed, &again, &moved}) {
            EXPECT_EQ(pResult->eStatus, c.eStatus) << pResult->nError;
            EXPECT_EQ(pResult->nError, c.nError);
            EXPECT_EQ(pResult->strMountPoint, strMount);
        }
        EXPECT_EQ(m_dir.Exists(c.lpszFile), c.eStatus != TrashStatus::Done);
    }
}

// Whose the trash directory is matters to a look as to a move.
TEST_P(TrashDisk, ProbeRefusesATrashDirectoryOfAnotherUser) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a directory to another user needs root";
    m_dir.MakeDir("vol/.Trash-" + m_strUid);
    ASSERT_EQ(::chown(P("vol/.Trash-" + m_strUid).c_str(), ::geteuid() + 4242, 0), 0);
    m_dir.WriteFile("vol/f", "data");
    const TrashResult probed = m_fs.ProbeTrash(P("vol/f"));
    EXPECT_EQ(probed.eStatus, TrashStatus::NoTrash);
    EXPECT_EQ(probed.nError, EPERM);
    PosixFileSystem mover{GetParam()};
    mover.SetTrashEnv(Env());
    const TrashResult moved = mover.MoveToTrash(P("vol/f"));
    EXPECT_EQ(moved.eStatus, TrashStatus::NoTrash);
    EXPECT_EQ(moved.nError, EPERM);
}

INSTANTIATE_TEST_SUITE_P(Walks, TrashDisk, test::BelowTopsWalks(), test::BelowTopsWalkName);

// ------------------------------------------------------------ real mounts

// A mount made for one test and taken away with it; Ok() is false where this
// process may not mount (the tests that need one skip then).
class ScopedMount {
public:
    ScopedMount(const std::string& strSource, const std::string& strTarget, const char* lpszType,
                unsigned long nFlags) {
        m_bOk = ::mount(strSource.c_str(), strTarget.c_str(), lpszType, nFlags, nullptr) == 0;
        if (m_bOk)
            m_strTarget = strTarget;
    }
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;
    ~ScopedMount() {
        if (m_bOk)
            ::umount2(m_strTarget.c_str(), MNT_DETACH);
    }
    bool Ok() const noexcept { return m_bOk; }
    // Makes a bind mount read-only.
    bool RemountReadOnly() {
        return ::mount(nullptr, m_strTarget.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                       nullptr) == 0;
    }

private:
    bool m_bOk = false;
    std::string m_strTarget;
};

class TrashMounts : public ::testing::Test {
protected:
    void SetUp() override {
        m_strRoot = RealPathOf(m_dir.Root());
        m_dir.MakeDir("home");
        m_strUid = std::to_string(::geteuid());
        TrashEnv env = TrashEnv::FromProcess(); // the real mount table
        env.strDataHome = m_strRoot + "/home/.local/share";
        m_fs.SetTrashEnv(std::move(env));
    }
    std::string P(std::string_view strRel) const { return m_strRoot + "/" + std::string(strRel); }

    TempDir m_dir;
    std::string m_strRoot;
    std::string m_strUid;
    PosixFileSystem m_fs;
};

TEST_F(TrashMounts, TmpfsGetsItsOwnTrashAndTheHomeFileSystemTheHomeTrash) {
    m_dir.MakeDir("mnt");
    ScopedMount mount("kovrel-test", P("mnt"), "tmpfs", 0);
    if (!mount.Ok())
        GTEST_SKIP() << "mounting is not allowed here";
    m_dir.WriteFile("mnt/f", "on tmpfs");
    m_dir.WriteFile("home/g", "beside the home");

    const TrashResult onTmpfs = m_fs.MoveToTrash(P("mnt/f"));
    ASSERT_EQ(onTmpfs.eStatus, TrashStatus::Done) << onTmpfs.nError;
    EXPECT_EQ(onTmpfs.strMountPoint, P("mnt"));
    EXPECT_EQ(m_dir.ReadFile("mnt/.Trash-" + m_strUid + "/files/f"), "on tmpfs");
    EXPECT_EQ(InfoPathLine(m_dir.ReadFile("mnt/.Trash-" + m_strUid + "/info/f.trashinfo")), "f");

    const TrashResult onHome = m_fs.MoveToTrash(P("home/g"));
    ASSERT_EQ(onHome.eStatus, TrashStatus::Done) << onHome.nError;
    EXPECT_EQ(m_dir.ReadFile("home/.local/share/Trash/files/g"), "beside the home");
    EXPECT_EQ(InfoPathLine(m_dir.ReadFile("home/.local/share/Trash/info/g.trashinfo")),
              PercentEncodePath(P("home/g")));
}

TEST_F(TrashMounts, ABindMountIsAFileSystemOfItsOwnAndAReadOnlyOneHasNoTrash) {
    m_dir.MakeDir("data");
    m_dir.MakeDir("bind");
    m_dir.MakeDir("robind");
    m_dir.WriteFile("data/f", "via the bind");
    m_dir.WriteFile("data/r", "read-only");
    ScopedMount bind(P("data"), P("bind"), nullptr, MS_BIND);
    if (!bind.Ok())
        GTEST_SKIP() << "mounting is not allowed here";
    ScopedMount robind(P("data"), P("robind"), nullptr, MS_BIND);
    ASSERT_TRUE(robind.Ok());
    if (!robind.RemountReadOnly())
        GTEST_SKIP() << "a read-only remount is not allowed here";

    // Same device as the home trash, yet another mount: a rename from here to
    // the home trash would fail, so the bind's own mount point holds the trash.
    const TrashResult viaBind = m_fs.MoveToTrash(P("bind/f"));
    ASSERT_EQ(viaBind.eStatus, TrashStatus::Done) << viaBind.nError;
    EXPECT_EQ(viaBind.strTrashDir, P("bind/.Trash-" + m_strUid));
    EXPECT_EQ(m_dir.ReadFile("data/.Trash-" + m_strUid + "/files/f"), "via the bind");
    EXPECT_FALSE(m_dir.Exists("home/.local/share/Trash/files/f"));

    for (const bool bKeep : {false, true}) {
        const TrashResult readOnly =
            bKeep ? m_fs.KeepInTrash(P("robind/r")) : m_fs.MoveToTrash(P("robind/r"));
        EXPECT_EQ(readOnly.eStatus, TrashStatus::NoTrash);
        EXPECT_EQ(readOnly.nError, EROFS);
        EXPECT_EQ(readOnly.strMountPoint, P("robind"));
    }
    EXPECT_EQ(m_dir.ReadFile("robind/r"), "read-only");
}

} // namespace
} // namespace kovrel::platform
