// Below an item's tops the POSIX file system follows no link in any component,
// whichever way it walks there; the tops themselves are taken as before.
#include "platform/PosixFileSystem.h"

#include "support/BelowTopsWalks.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace kovrel::platform {
namespace {

using test::TempDir;

class BelowTops : public ::testing::TestWithParam<PosixFileSystem::BelowTops> {
protected:
    void SetUp() override {
        // top/in/f, and outside/f with outside/sub, reachable through links.
        m_dir.MakeDir("top");
        m_dir.MakeDir("top/in");
        m_dir.WriteFile("top/in/f", "inside");
        m_dir.MakeDir("outside");
        m_dir.MakeDir("outside/sub");
        m_dir.WriteFile("outside/f", "outside");
        m_dir.WriteFile("src", "source");
        m_dir.MakeSymlink("top/link", m_dir.Path("outside"));
        m_fs.SetTops(m_dir.Path("top"), m_dir.Path("other-top"));
    }
    std::string P(std::string_view strRel) const { return m_dir.Path(strRel); }

    TempDir m_dir;
    PosixFileSystem m_fs{GetParam()};
};

bool IsLinkRefusal(int nErr) {
    return nErr == ELOOP || nErr == ENOTDIR;
}

// Every operation on a path through a link below the top fails and leaves the
// link's target as it was.
TEST_P(BelowTops, EveryOperationRefusesALinkInTheWay) {
    const std::string strVia = P("top/link");
    const FileTime ft{5, 5};
    std::vector<DirEntry> entries;
    FileAttr attr;
    int nAttrErr = 0;
    struct Case {
        const char* lpszOp;
        std::function<int()> fn;
    };
    const Case cases[] = {
        {"GetAttr",
         [&] {
             return m_fs.GetAttr(strVia + "/f", attr, nAttrErr) == AttrStatus::Error ? nAttrErr : 0;
         }},
        {"ListDir", [&] { return m_fs.ListDir(strVia, entries); }},
        {"ListDir below", [&] { return m_fs.ListDir(strVia + "/sub", entries); }},
        {"CopyFile to", [&] { return m_fs.CopyFile(P("src"), strVia + "/f"); }},
        {"CopyFile new", [&] { return m_fs.CopyFile(P("src"), strVia + "/new"); }},
        {"CopyFile from", [&] { return m_fs.CopyFile(strVia + "/f", P("copied")); }},
        {"DeleteFile", [&] { return m_fs.DeleteFile(strVia + "/f"); }},
        {"CreateDir", [&] { return m_fs.CreateDir(strVia + "/made"); }},
        {"RemoveDir", [&] { return m_fs.RemoveDir(strVia + "/sub"); }},
        {"GetTimes", [&] { return m_fs.GetTimes(strVia + "/f", nullptr, nullptr); }},
        {"SetTimes", [&] { return m_fs.SetTimes(strVia + "/f", &ft, &ft); }},
        {"SetMode", [&] { return m_fs.SetMode(strVia + "/f", 0600); }},
        {"CompareFiles",
         [&] {
             bool bSame = true;
             const int nErr = m_fs.CompareFiles(strVia + "/f", P("top/in/f"), bSame);
             return bSame ? 0 : nErr;
         }},
    };
    for (const Case& c : cases)
        EXPECT_PRED1(IsLinkRefusal, c.fn()) << c.lpszOp;

    EXPECT_EQ(m_dir.Names("outside"), (std::vector<std::string>{"f", "sub"}));
    EXPECT_EQ(m_dir.ReadFile("outside/f"), "outside");
    struct stat st {};
    ASSERT_TRUE(m_dir.Stat("outside/f", st));
    EXPECT_NE(st.st_mtim.tv_sec, 5);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_FALSE(m_dir.Exists("copied"));
    // The link itself is an entry like any other: it can be seen and deleted.
    ASSERT_EQ(m_fs.GetAttr(strVia, attr, nAttrErr), AttrStatus::Ok);
    EXPECT_EQ(attr.type, EntryType::Symlink);
    EXPECT_EQ(m_fs.DeleteFile(strVia), 0);
    EXPECT_TRUE(m_dir.Exists("outside/f"));
}

// Two files compared side by side in chunks: the same bytes, or where they
// first differ, whatever their size; what is not a regular file is refused.
TEST_P(BelowTops, CompareFilesReadsBothWholeAndRefusesWhatIsNoFile) {
    const std::string strBig(600 * 1024 + 7, 'x'); // more than two chunks
    std::string strLastDiffers = strBig;
    strLastDiffers.back() = 'y';
    m_dir.WriteFile("top/a", strBig);
    m_dir.WriteFile("top/same", strBig);
    m_dir.WriteFile("top/late", strLastDiffers);
    m_dir.WriteFile("top/short", strBig.substr(1));
    m_dir.WriteFile("top/empty1", "");
    m_dir.WriteFile("top/empty2", "");
    m_dir.MakeFifo("top/pipe");
    m_dir.MakeSymlink("top/alink", "a");
    struct Case {
        const char* lpszOther;
        int nError;
        bool bSame;
    };
    const Case cases[] = {
        {"top/same", 0, true},       {"top/late", 0, false},       {"top/short", 0, false},
        {"top/pipe", EINVAL, false}, {"top/alink", EINVAL, false}, {"top/gone", ENOENT, false},
        {"top/in", EINVAL, false},
    };
    for (const Case& c : cases) {
        bool bSame = !c.bSame;
        EXPECT_EQ(m_fs.CompareFiles(P("top/a"), P(c.lpszOther), bSame), c.nError) << c.lpszOther;
        EXPECT_EQ(bSame, c.bSame) << c.lpszOther;
    }
    bool bSame = false;
    EXPECT_EQ(m_fs.CompareFiles(P("top/empty1"), P("top/empty2"), bSame), 0);
    EXPECT_TRUE(bSame);
}

// Ordinary paths below the top work as before, the top may itself be a link
// (the user chose it), and paths outside the tops are taken as written.
TEST_P(BelowTops, PathsInsideAndTheTopItselfWorkAsBefore) {
    m_dir.MakeSymlink("toplink", m_dir.Path("top"));
    m_fs.SetTops(P("toplink"), P("other-top"));
    std::vector<DirEntry> entries;
    ASSERT_EQ(m_fs.ListDir(P("toplink/in"), entries), 0);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(m_fs.CopyFile(P("src"), P("toplink/in/g")), 0);
    EXPECT_EQ(m_dir.ReadFile("top/in/g"), "source");
    EXPECT_EQ(m_fs.CreateDir(P("toplink/in/d")), 0);
    EXPECT_EQ(m_fs.RemoveDir(P("toplink/in/d")), 0);
    EXPECT_EQ(m_fs.DeleteFile(P("toplink/in/g")), 0);
    // A missing parent below the top is an error, a missing entry is absent.
    FileAttr attr;
    int nErr = 0;
    EXPECT_EQ(m_fs.GetAttr(P("toplink/in/none"), attr, nErr), AttrStatus::Absent);
    EXPECT_EQ(m_fs.GetAttr(P("toplink/none/x"), attr, nErr), AttrStatus::Error);
    EXPECT_EQ(nErr, ENOENT);
    // Written another way, the same path is still below the top.
    EXPECT_PRED1(IsLinkRefusal, m_fs.DeleteFile(P("toplink//link/./f")));
    EXPECT_TRUE(m_dir.Exists("outside/f"));
    // After the run links are followed as before.
    ASSERT_EQ(m_fs.GetAttr(P("toplink/link/f"), attr, nErr), AttrStatus::Error);
    m_fs.SetTops({}, {});
    ASSERT_EQ(m_fs.GetAttr(P("toplink/link/f"), attr, nErr), AttrStatus::Ok);
}

// A top that does not exist yet is opened once it has been made.
TEST_P(BelowTops, TopCreatedDuringTheItemIsUsedOnceItExists) {
    ASSERT_EQ(m_fs.CreateDir(P("other-top")), 0);
    ASSERT_EQ(m_fs.CreateDir(P("other-top/d")), 0);
    EXPECT_EQ(m_fs.CopyFile(P("src"), P("other-top/d/f")), 0);
    EXPECT_EQ(m_dir.ReadFile("other-top/d/f"), "source");
    // The directory swapped for a link after the top was opened.
    ASSERT_EQ(std::rename(P("other-top/d").c_str(), P("moved").c_str()), 0);
    m_dir.MakeSymlink("other-top/d", m_dir.Path("outside"));
    EXPECT_PRED1(IsLinkRefusal, m_fs.CopyFile(P("src"), P("other-top/d/f")));
    EXPECT_EQ(m_dir.ReadFile("outside/f"), "outside");
}

INSTANTIATE_TEST_SUITE_P(Walks, BelowTops, test::BelowTopsWalks(), test::BelowTopsWalkName);

} // namespace
} // namespace kovrel::platform
