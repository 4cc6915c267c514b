// kovrel-sync on file systems mounted for the test: a tmpfs (its trash at its own
// mount point), a tmpfs whose trash cannot be made, and a read-only bind mount.
// The mounts live in a mount namespace of this test process (the program run
// inherits it), so nothing is left mounted on the machine whatever happens;
// where this process may not make one, the tests skip.
#include "ProcessRunner.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovrel {
namespace {

using test::PROCOPTIONS;
using test::PROCRESULT;
using test::TempDir;

// The lines of a run's standard output without the two that carry the time.
std::vector<std::string> TimelessLines(const std::string& str) {
    std::vector<std::string> lines;
    std::istringstream in(str);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("<< Synchronize ", 0) != 0)
            lines.push_back(line);
    return lines;
}

bool Contains(const std::string& strText, const std::string& strPart) {
    return strText.find(strPart) != std::string::npos;
}

// Every file below a directory with its contents; directories as "<dir>".
std::map<std::string, std::string> Tree(const std::string& strRoot) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(strRoot)) {
        const std::string strRel = entry.path().string().substr(strRoot.size());
        if (entry.is_directory()) {
            tree[strRel] = "<dir>";
        } else {
            std::ifstream in(entry.path(), std::ios::binary);
            tree[strRel] = std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    return tree;
}

// Mount namespace of this process, once: later mounts are seen by this process
// and its children only, and go with them. An empty text when that worked,
// else why not.
const std::string& PrivateMounts() {
    static const std::string strWhyNot = [] {
        if (::unshare(CLONE_NEWNS) != 0)
            return std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("making / private: ") + std::strerror(errno);
        return std::string();
    }();
    return strWhyNot;
}

// One mount, taken away when the test ends (before its temporary directory).
class ScopedMount {
public:
    ScopedMount() = default;
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;
    ~ScopedMount() {
        if (!m_strTarget.empty())
            ::umount2(m_strTarget.c_str(), MNT_DETACH);
    }
    // 0 or errno.
    int Mount(const std::string& strSource, const std::string& strTarget, const char* lpszType,
              unsigned long nFlags) {
        if (::mount(strSource.c_str(), strTarget.c_str(), lpszType, nFlags, nullptr) != 0)
            return errno;
        m_strTarget = strTarget;
        return 0;
    }
    int RemountReadOnly() const {
        return ::mount(nullptr, m_strTarget.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                       nullptr) == 0
                   ? 0
                   : errno;
    }

private:
    std::string m_strTarget;
};

class NoTrashMount : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string& strWhyNot = PrivateMounts(); !strWhyNot.empty())
            GTEST_SKIP() << "no mount namespace here (" << strWhyNot << ")";
        m_tmp.MakeDir("config");
        m_tmp.MakeDir("share");
        m_tmp.MakeDir("mnt");
        m_strUid = std::to_string(::geteuid());
    }

    PROCRESULT Sync(std::vector<std::string> args) {
        PROCOPTIONS opt;
        opt.args = std::move(args);
        // The home trash lies in the temporary directory, off every test mount.
        opt.env = {{"XDG_CONFIG_HOME", m_tmp.Path("config")},
                   {"HOME", m_tmp.Path("config")},
                   {"XDG_DATA_HOME", m_tmp.Path("share")}};
        return test::RunProcess(KOVREL_SYNC_EXE, opt);
    }

    // Under strDir (absolute): s1/a.txt newer than s2/a.txt, s2/gone.txt alone on
    // side 2.
    static void Layout(const std::string& strDir) {
        for (const char* lpszSub : {"/s1", "/s2"})
            std::filesystem::create_directories(strDir + lpszSub);
        Write(strDir + "/s1/a.txt", "new", 2000);
        Write(strDir + "/s2/a.txt", "old", 1000);
        Write(strDir + "/s2/gone.txt", "gone", 1000);
    }

    // A document of one item that mirrors side 1 onto side 2 (option 0x1): it
    // copies a.txt over and deletes gone.txt.
    std::string Document(const std::string& strSide1, const std::string& strSide2) {
        const std::string strDoc = m_tmp.Path("doc.kvd");
        std::filesystem::remove(strDoc);
        const PROCRESULT r = Sync({"--add-item", strDoc, strSide1, strSide2, "0x1"});
        EXPECT_EQ(r.nExit, 0) << r.strErr;
        return strDoc;
    }

    static void Write(const std::string& strPath, const std::string& strData, time_t nTime) {
        std::ofstream(strPath, std::ios::binary | std::ios::trunc) << strData;
        const timespec times[2] = {{nTime, 0}, {nTime, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, strPath.c_str(), times, 0), 0) << strPath;
    }

    TempDir m_tmp;
    std::string m_strUid;
};

// A tmpfs is a file system of its own: the run's deleted file and overwritten
// version go to the trash at its mount point, not to the home trash.
TEST_F(NoTrashMount, TmpfsKeepsItsTrashAtItsMountPoint) {
    ScopedMount mount;
    if (const int nErr = mount.Mount("kovrel-test", m_tmp.Path("mnt"), "tmpfs", 0))
        GTEST_SKIP() << "mounting a tmpfs is refused: " << std::strerror(nErr);
    const std::string strTop = m_tmp.Path("mnt");
    Layout(strTop);
    const std::string strDoc = Document(strTop + "/s1", strTop + "/s2");

    const PROCRESULT r = Sync({strDoc});
    EXPECT_EQ(r.nExit, 0) << r.strOut << r.strErr;
    EXPECT_EQ(r.strErr, "");
    const std::string strTrash = strTop + "/.Trash-" + m_strUid;
    EXPECT_EQ(m_tmp.ReadFile("mnt/s2/a.txt"), "new");
    EXPECT_FALSE(m_tmp.Exists("mnt/s2/gone.txt"));
    EXPECT_EQ(m_tmp.ReadFile("mnt/.Trash-" + m_strUid + "/files/gone.txt"), "gone");
    EXPECT_EQ(m_tmp.ReadFile("mnt/.Trash-" + m_strUid + "/files/a.txt"), "old");
    // Path= relative to the mount point, as in every trash but the home one.
    EXPECT_TRUE(Contains(m_tmp.ReadFile("mnt/.Trash-" + m_strUid + "/info/gone.txt.trashinfo"),
                         "\nPath=s2/gone.txt\n"));
    EXPECT_FALSE(m_tmp.Exists("share/Trash"));
}

// A writable tmpfs whose trash cannot be made (a file holds its name): the
// overwrite goes ahead with a line saying no old version was kept, the
// deletion is left with the reason and exit status 1, and --dry-run prints
// and says exactly that beforehand while changing nothing. --trash=no deletes.
TEST_F(NoTrashMount, TmpfsWithoutAUsableTrashLeavesDeletionsAndTheDryRunSaysSo) {
    ScopedMount mount;
    if (const int nErr = mount.Mount("kovrel-test", m_tmp.Path("mnt"), "tmpfs", 0))
        GTEST_SKIP() << "mounting a tmpfs is refused: " << std::strerror(nErr);
    const std::string strTop = m_tmp.Path("mnt");
    Layout(strTop);
    const std::string strDoc = Document(strTop + "/s1", strTop + "/s2");
    m_tmp.WriteFile("mnt/.Trash-" + m_strUid, "in the trash's place");

    const auto before = Tree(strTop);
    const PROCRESULT dry = Sync({"--dry-run", strDoc});
    EXPECT_EQ(Tree(strTop), before);

    const PROCRESULT r = Sync({strDoc});
    EXPECT_EQ(r.nExit, 1) << r.strOut << r.strErr;
    EXPECT_EQ(dry.nExit, r.nExit) << dry.strOut << dry.strErr;
    EXPECT_EQ(TimelessLines(dry.strOut), TimelessLines(r.strOut));
    EXPECT_EQ(dry.strErr, r.strErr);
    EXPECT_EQ(r.strErr, "kovrel-sync: no trash can be used on " + strTop +
                            " (Not a directory): files to be deleted there are left in place "
                            "(--trash=no deletes them for good)\n");
    const std::vector<std::string> lines = TimelessLines(r.strOut);
    for (const std::string& strLine :
         {"No trash on " + strTop + ": overwritten files there are not kept",
          strTop + "/s1/a.txt -> " + strTop + "/s2/a.txt",
          "Delete skipped (no trash) " + strTop + "/s2/gone.txt"})
        EXPECT_EQ(std::count(lines.begin(), lines.end(), strLine), 1) << strLine << "\n"
                                                                      << r.strOut;
    EXPECT_EQ(m_tmp.ReadFile("mnt/s2/a.txt"), "new");
    EXPECT_EQ(m_tmp.ReadFile("mnt/s2/gone.txt"), "gone");
    EXPECT_EQ(m_tmp.ReadFile("mnt/.Trash-" + m_strUid), "in the trash's place");

    const PROCRESULT forGood = Sync({"--trash=no", strDoc});
    EXPECT_EQ(forGood.nExit, 0) << forGood.strOut << forGood.strErr;
    EXPECT_FALSE(m_tmp.Exists("mnt/s2/gone.txt"));
}

// A read-only bind mount of side 2: no trash there and no writing at all. The
// run says so for the deletion, fails the copy with the system's reason, and
// changes nothing behind the bind; with --trash=no the delete fails the same way.
TEST_F(NoTrashMount, ReadOnlyBindChangesNothingAndSaysWhy) {
    const std::string strData = m_tmp.Path("data");
    Layout(strData);
    ScopedMount bind;
    if (const int nErr = bind.Mount(strData, m_tmp.Path("mnt"), nullptr, MS_BIND))
        GTEST_SKIP() << "a bind mount is refused: " << std::strerror(nErr);
    if (const int nErr = bind.RemountReadOnly())
        GTEST_SKIP() << "a read-only remount is refused: " << std::strerror(nErr);
    const std::string strTop = m_tmp.Path("mnt");
    const std::string strDoc = Document(strData + "/s1", strTop + "/s2");
    const auto before = Tree(strData);

    for (const bool bTrash : {true, false}) {
        SCOPED_TRACE(bTrash ? "trash" : "no trash");
        const PROCRESULT r =
            Sync({bTrash ? "--trash=yes" : "--trash=no", "--on-failure=ignore", strDoc});
        EXPECT_NE(r.nExit, 0) << r.strOut << r.strErr;
        EXPECT_EQ(Tree(strData), before);
        const std::vector<std::string> lines = TimelessLines(r.strOut);
        const std::string strCopyFailed =
            "Copy failed !! " + strData + "/s1/a.txt -> " + strTop + "/s2/a.txt";
        EXPECT_EQ(std::count(lines.begin(), lines.end(), strCopyFailed), 1) << r.strOut;
        EXPECT_TRUE(Contains(r.strErr, std::strerror(EROFS))) << r.strErr;
        if (bTrash) {
            EXPECT_TRUE(Contains(r.strErr, "no trash can be used on " + strTop + " (" +
                                               std::strerror(EROFS) + ")"))
                << r.strErr;
            EXPECT_EQ(std::count(lines.begin(), lines.end(),
                                 "Delete skipped (no trash) " + strTop + "/s2/gone.txt"),
                      1)
                << r.strOut;
        } else {
            EXPECT_EQ(std::count(lines.begin(), lines.end(),
                                 "Delete failed !! " + strTop + "/s2/gone.txt"),
                      1)
                << r.strOut;
        }
    }
}

} // namespace
} // namespace kovrel
