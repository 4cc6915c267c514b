#include "platform/OverlayFileSystem.h"

#include "platform/PosixFileSystem.h"
#include "support/FaultFileSystem.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kovrel::platform {
namespace {

using test::TempDir;

// Everything a FileSystem shows below a root, one line per path: type, bits,
// size and both times of files and links, bits of directories (their times and
// sizes move with every change inside), and the temporaries a listing reports.
std::map<std::string, std::string> Snapshot(FileSystem& fs, const std::string& strRoot,
                                            const std::string& strRel = {}) {
    std::map<std::string, std::string> shot;
    std::vector<DirEntry> entries;
    std::vector<std::string> stale;
    const std::string strDir = strRel.empty() ? strRoot : strRoot + "/" + strRel;
    const int nErr = fs.ListDir(strDir, entries, &stale);
    if (nErr != 0) {
        shot[strRel] = "list error " + std::to_string(nErr);
        return shot;
    }
    std::string strOrder;
    for (const DirEntry& e : entries)
        strOrder += e.strName + "|";
    shot[strRel + "/<order>"] = strOrder;
    for (const std::string& strName : stale)
        shot[strRel + "/" + strName] = "stale temporary";
    for (const DirEntry& e : entries) {
        const std::string strChild = strRel.empty() ? e.strName : strRel + "/" + e.strName;
        const FileAttr& a = e.attr;
        std::string strLine =
            std::to_string(static_cast<int>(a.type)) + " " + std::to_string(a.dwMode);
        if (!a.IsDirectory()) {
            strLine += " " + std::to_string(a.nSize) + " a" + std::to_string(a.ftAccess.nSec) +
                       "." + std::to_string(a.ftAccess.nNsec) + " w" +
                       std::to_string(a.ftWrite.nSec) + "." + std::to_string(a.ftWrite.nNsec);
        }
        shot[strChild] = strLine;
        if (a.IsDirectory())
            shot.merge(Snapshot(fs, strRoot, strChild));
    }
    return shot;
}

// The same small tree in a fresh directory. Access times lie in the future,
// after the change times, so that reading a file or a link (as a real copy does)
// does not move them on a relatime mount.
void BuildTree(const TempDir& d) {
    const std::int64_t nNow = static_cast<std::int64_t>(std::time(nullptr));
    const std::int64_t nLater = nNow + 100'000;
    const auto file = [&](const char* lpszRel, const char* lpszData, std::uint32_t dwMode,
                          long nNsec) {
        d.WriteFile(lpszRel, lpszData, dwMode);
        d.SetTimes(lpszRel, nLater, nNsec, nNow - 5000, nNsec + 1);
    };
    file("f1", "one", 0644, 1);
    file("f2", "two two", 0444, 2);
    d.MakeDir("sub");
    file("sub/s1", "s", 0644, 3);
    file("sub/s2", "ss", 0600, 4);
    d.MakeDir("sub/deep");
    file("sub/deep/d1", "d", 0644, 5);
    d.MakeDir("empty");
    d.MakeSymlink("link", "f1");
    d.SetTimes("link", nLater, 6, nNow - 5000, 7);
    d.MakeDir("withpipe");
    d.MakeFifo("withpipe/pipe");
    d.SetTimes("withpipe/pipe", nLater, 12, nNow - 5000, 13);
    d.MakeDir("stale");
    file("stale/keep", "k", 0644, 8);
    file(".kovrel-copy~9-9", "half", 0600, 9);
    file("stale/.kovrel-copy~9-9", "half", 0600, 9);
    d.MakeDir("realdir");
    d.MakeSymlink("linkdir", "realdir");
    d.SetTimes("linkdir", nLater, 10, nNow - 5000, 11);
}

struct Step {
    const char* lpszWhat;
    std::function<int(FileSystem&, const std::string&)> run; // root given
    int nExpected;
};

int Copy(FileSystem& fs, const std::string& r, const char* a, const char* b) {
    return fs.CopyFile(r + "/" + a, r + "/" + b);
}

std::vector<Step> Steps() {
    using S = const std::string&;
    static const FileTime ftSet{1'650'000'000, 42};
    return {
        {"copy new", [](FileSystem& fs, S r) { return Copy(fs, r, "f1", "f3"); }, 0},
        {"copy read-only over", [](FileSystem& fs, S r) { return Copy(fs, r, "f2", "f1"); }, 0},
        {"copy link", [](FileSystem& fs, S r) { return Copy(fs, r, "link", "sub/link2"); }, 0},
        {"copy no parent", [](FileSystem& fs, S r) { return Copy(fs, r, "f1", "nodir/x"); },
         ENOENT},
        {"copy below file", [](FileSystem& fs, S r) { return Copy(fs, r, "f1", "f2/x"); }, ENOTDIR},
        {"copy onto dir", [](FileSystem& fs, S r) { return Copy(fs, r, "f1", "sub"); }, EISDIR},
        {"copy a dir", [](FileSystem& fs, S r) { return Copy(fs, r, "sub", "f9"); }, EISDIR},
        {"copy missing", [](FileSystem& fs, S r) { return Copy(fs, r, "missing", "f9"); }, ENOENT},
        {"copy a fifo", [](FileSystem& fs, S r) { return Copy(fs, r, "withpipe/pipe", "f9"); },
         EINVAL},
        {"mkdir", [](FileSystem& fs, S r) { return fs.CreateDir(r + "/new"); }, 0},
        {"mkdir again", [](FileSystem& fs, S r) { return fs.CreateDir(r + "/new"); }, EEXIST},
        {"mkdir on file", [](FileSystem& fs, S r) { return fs.CreateDir(r + "/f1"); }, EEXIST},
        {"mkdir inside new", [](FileSystem& fs, S r) { return fs.CreateDir(r + "/new/inner"); }, 0},
        {"fill new", [](FileSystem& fs, S r) { return Copy(fs, r, "f3", "new/inner/f"); }, 0},
        {"copy from new", [](FileSystem& fs, S r) { return Copy(fs, r, "new/inner/f", "new/g"); },
         0},
        {"mkdir no parent", [](FileSystem& fs, S r) { return fs.CreateDir(r + "/nodir/x"); },
         ENOENT},
        {"mkdir below file", [](FileSystem& fs, S r) { return fs.CreateDir(r + "/f1/x"); },
         ENOTDIR},
        {"delete", [](FileSystem& fs, S r) { return fs.DeleteFile(r + "/f3"); }, 0},
        {"delete again", [](FileSystem& fs, S r) { return fs.DeleteFile(r + "/f3"); }, ENOENT},
        {"delete a dir", [](FileSystem& fs, S r) { return fs.DeleteFile(r + "/sub"); }, EISDIR},
        {"delete no parent", [](FileSystem& fs, S r) { return fs.DeleteFile(r + "/nodir/x"); },
         ENOENT},
        {"rmdir full", [](FileSystem& fs, S r) { return fs.RemoveDir(r + "/sub"); }, ENOTEMPTY},
        {"empty sub 1", [](FileSystem& fs, S r) { return fs.DeleteFile(r + "/sub/s1"); }, 0},
        {"empty sub 2", [](FileSystem& fs, S r) { return fs.DeleteFile(r + "/sub/s2"); }, 0},
        {"empty sub 3", [](FileSystem& fs, S r) { return fs.DeleteFile(r + "/sub/link2"); }, 0},
        {"rmdir still full", [](FileSystem& fs, S r) { return fs.RemoveDir(r + "/sub"); },
         ENOTEMPTY},
        {"empty deep", [](FileSystem& fs, S r) { return fs.DeleteFile(r + "/sub/deep/d1"); }, 0},
        {"rmdir deep", [](FileSystem& fs, S r) { return fs.RemoveDir(r + "/sub/deep"); }, 0},
        {"rmdir sub", [](FileSystem& fs, S r) { return fs.RemoveDir(r + "/sub"); }, 0},
        {"copy into removed", [](FileSystem& fs, S r) { return Copy(fs, r, "f1", "sub/deep/x"); },
         ENOENT},
        {"mkdir removed again", [](FileSystem& fs, S r) { return fs.CreateDir(r + "/sub"); }, 0},
        {"rmdir with fifo", [](FileSystem& fs, S r) { return fs.RemoveDir(r + "/withpipe"); },
         ENOTEMPTY},
        {"delete beside temp", [](FileSystem& fs, S r) { return fs.DeleteFile(r + "/stale/keep"); },
         0},
        {"rmdir temp left", [](FileSystem& fs, S r) { return fs.RemoveDir(r + "/stale"); },
         ENOTEMPTY},
        {"clear temp",
         [](FileSystem& fs, S r) { return fs.DeleteFile(r + "/stale/.kovrel-copy~9-9"); }, 0},
        {"clear top temp",
         [](FileSystem& fs, S r) { return fs.DeleteFile(r + "/.kovrel-copy~9-9"); }, 0},
        {"rmdir stale", [](FileSystem& fs, S r) { return fs.RemoveDir(r + "/stale"); }, 0},
        {"chmod", [](FileSystem& fs, S r) { return fs.SetMode(r + "/f1", 0600); }, 0},
        {"chmod link", [](FileSystem& fs, S r) { return fs.SetMode(r + "/link", 0600); }, 0},
        {"chmod dir", [](FileSystem& fs, S r) { return fs.SetMode(r + "/new", 0500); }, 0},
        {"chmod missing", [](FileSystem& fs, S r) { return fs.SetMode(r + "/f3", 0600); }, ENOENT},
        {"touch write", [](FileSystem& fs, S r) { return fs.SetTimes(r + "/f2", nullptr, &ftSet); },
         0},
        {"touch link", [](FileSystem& fs, S r) { return fs.SetTimes(r + "/link", &ftSet, &ftSet); },
         0},
        {"touch missing",
         [](FileSystem& fs, S r) { return fs.SetTimes(r + "/nodir/x", &ftSet, &ftSet); }, ENOENT},
        {"rmdir empty", [](FileSystem& fs, S r) { return fs.RemoveDir(r + "/empty"); }, 0},
        {"rmdir empty again", [](FileSystem& fs, S r) { return fs.RemoveDir(r + "/empty"); },
         ENOENT},
        {"rmdir a file", [](FileSystem& fs, S r) { return fs.RemoveDir(r + "/f1"); }, ENOTDIR},
        {"rmdir new full", [](FileSystem& fs, S r) { return fs.RemoveDir(r + "/new"); }, ENOTEMPTY},
        {"rmdir recreated", [](FileSystem& fs, S r) { return fs.RemoveDir(r + "/sub"); }, 0},
        {"file where dir was", [](FileSystem& fs, S r) { return Copy(fs, r, "f2", "sub"); }, 0},
        {"copy below it", [](FileSystem& fs, S r) { return Copy(fs, r, "f1", "sub/x"); }, ENOTDIR},
        {"through a link", [](FileSystem& fs, S r) { return Copy(fs, r, "f1", "linkdir/a"); }, 0},
        {"through a link, del", [](FileSystem& fs, S r) { return fs.DeleteFile(r + "/linkdir/a"); },
         0},
        {"odd spelling", [](FileSystem& fs, S r) { return Copy(fs, r, "./f1", "new//inner/./h"); },
         0},
        {"slash: not a dir", [](FileSystem& fs, S r) { return Copy(fs, r, "f1", "new/inner/k/"); },
         ENOTDIR},
        {"slash: source", [](FileSystem& fs, S r) { return Copy(fs, r, "f1/", "new/inner/k"); },
         ENOTDIR},
        {"slash: delete", [](FileSystem& fs, S r) { return fs.DeleteFile(r + "/new/g/"); },
         ENOTDIR},
        {"slash: delete dir", [](FileSystem& fs, S r) { return fs.DeleteFile(r + "/new/"); },
         EISDIR},
        {"slash: mkdir", [](FileSystem& fs, S r) { return fs.CreateDir(r + "/new/k/"); }, 0},
        {"slash: mkdir file", [](FileSystem& fs, S r) { return fs.CreateDir(r + "/f1/"); }, EEXIST},
        {"slash: rmdir", [](FileSystem& fs, S r) { return fs.RemoveDir(r + "/new/k//"); }, 0},
        {"slash: rmdir file", [](FileSystem& fs, S r) { return fs.RemoveDir(r + "/f1/"); },
         ENOTDIR},
        {"slash: chmod", [](FileSystem& fs, S r) { return fs.SetMode(r + "/f1/", 0600); }, ENOTDIR},
    };
}

// The overlay over one tree must answer exactly as the disk does after the
// same changes are made for real to an identical tree, and leave its own tree
// as it was.
TEST(OverlayFs, AnswersAsTheDiskWouldAfterTheSameChanges) {
    TempDir real, dry;
    BuildTree(real);
    BuildTree(dry);
    PosixFileSystem posix;
    FaultFileSystem lower(posix); // only to see what the overlay asks of the disk
    OverlayFileSystem overlay(lower);
    const auto before = Snapshot(posix, dry.Root());

    for (const Step& step : Steps()) {
        SCOPED_TRACE(step.lpszWhat);
        EXPECT_EQ(step.run(posix, real.Root()), step.nExpected);
        EXPECT_EQ(step.run(overlay, dry.Root()), step.nExpected);
    }

    // Attribute questions, absent versus error included.
    for (const char* lpszRel : {"f1",
                                "f2",
                                "f3",
                                "sub",
                                "sub/x",
                                "sub/deep/d1",
                                "new/inner/f",
                                "new/inner/h",
                                "new/g",
                                "empty",
                                "empty/x",
                                "stale/keep",
                                "stale/x/y",
                                "nodir/x",
                                "linkdir/a",
                                "linkdir/zz/x",
                                "link",
                                "withpipe/pipe",
                                "new/inner/f/x",
                                "f1/",
                                "new/",
                                "linkdir/",
                                "empty/",
                                "nodir/",
                                "linkdir/a/",
                                "sub/"}) {
        SCOPED_TRACE(lpszRel);
        FileAttr attrReal, attrDry;
        int nErrReal = -1, nErrDry = -2;
        const AttrStatus stReal = posix.GetAttr(real.Path(lpszRel), attrReal, nErrReal);
        const AttrStatus stDry = overlay.GetAttr(dry.Path(lpszRel), attrDry, nErrDry);
        EXPECT_EQ(stReal, stDry);
        EXPECT_EQ(nErrReal, nErrDry);
        if (stReal == AttrStatus::Ok && stDry == AttrStatus::Ok && !attrReal.IsDirectory()) {
            EXPECT_EQ(attrReal.dwMode, attrDry.dwMode);
            EXPECT_EQ(attrReal.nSize, attrDry.nSize);
            EXPECT_EQ(attrReal.ftWrite, attrDry.ftWrite);
        }
        FileTime ftReal, ftDry;
        EXPECT_EQ(posix.GetTimes(real.Path(lpszRel), nullptr, &ftReal),
                  overlay.GetTimes(dry.Path(lpszRel), nullptr, &ftDry));
    }

    EXPECT_EQ(Snapshot(posix, real.Root()), Snapshot(overlay, dry.Root()));
    EXPECT_EQ(Snapshot(posix, dry.Root()), before);
    for (const FsOp op : {FsOp::CopyFile, FsOp::DeleteFile, FsOp::CreateDir, FsOp::RemoveDir,
                          FsOp::SetTimes, FsOp::SetMode})
        EXPECT_EQ(lower.CountCalls(op), 0u) << FsOpName(op);
}

class OverlayOnTree : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir.WriteFile("a", "a");
        m_dir.WriteFile("b", "b");
        m_dir.MakeDir("d");
        m_dir.WriteFile("d/x", "x");
        m_dir.WriteFile("d/y", "y");
        m_dir.MakeDir("d/e");
        m_dir.WriteFile("d/e/z", "z");
    }
    std::vector<std::string> List(const std::string& strRel) {
        std::vector<DirEntry> entries;
        std::vector<std::string> names;
        const int nErr = m_fs.ListDir(m_dir.Path(strRel), entries);
        if (nErr != 0)
            return {"error " + std::to_string(nErr)};
        for (const DirEntry& e : entries)
            names.push_back(e.strName);
        return names;
    }

    TempDir m_dir;
    PosixFileSystem m_posix;
    OverlayFileSystem m_fs{m_posix};
};

TEST_F(OverlayOnTree, ListingsMergeInTheListingOrder) {
    ASSERT_EQ(m_fs.CopyFile(m_dir.Path("a"), m_dir.Path("_x")), 0);
    ASSERT_EQ(m_fs.CopyFile(m_dir.Path("a"), m_dir.Path("B")), 0);
    ASSERT_EQ(m_fs.CreateDir(m_dir.Path("C")), 0);
    ASSERT_EQ(m_fs.DeleteFile(m_dir.Path("a")), 0);
    ASSERT_EQ(m_fs.CopyFile(m_dir.Path("b"), m_dir.Path("A")), 0);
    EXPECT_EQ(List(""), (std::vector<std::string>{"A", "B", "b", "C", "d", "_x"}));

    // A new directory lists what was put in it, nothing else.
    EXPECT_EQ(List("C"), std::vector<std::string>{});
    ASSERT_EQ(m_fs.CopyFile(m_dir.Path("d/y"), m_dir.Path("C/y")), 0);
    ASSERT_EQ(m_fs.CopyFile(m_dir.Path("d/x"), m_dir.Path("C/x")), 0);
    EXPECT_EQ(List("C"), (std::vector<std::string>{"x", "y"}));

    FileAttr attr;
    int nError = 0;
    ASSERT_EQ(m_fs.GetAttr(m_dir.Path("A"), attr, nError), AttrStatus::Ok);
    EXPECT_EQ(attr.nSize, 1u);
    EXPECT_EQ(m_fs.GetAttr(m_dir.Path("a"), attr, nError), AttrStatus::Absent);
    EXPECT_EQ(m_dir.Names().size(), 3u); // a, b, d: the disk is as it was
}

TEST_F(OverlayOnTree, RemovedTreeIsGoneAndARecreatedOneStartsEmpty) {
    for (const char* lpszRel : {"d/x", "d/y", "d/e/z"})
        ASSERT_EQ(m_fs.DeleteFile(m_dir.Path(lpszRel)), 0);
    EXPECT_EQ(List("d"), std::vector<std::string>{"e"});
    ASSERT_EQ(m_fs.RemoveDir(m_dir.Path("d/e")), 0);
    ASSERT_EQ(m_fs.RemoveDir(m_dir.Path("d")), 0);

    EXPECT_EQ(List("d"), std::vector<std::string>{"error " + std::to_string(ENOENT)});
    EXPECT_EQ(List("d/e"), std::vector<std::string>{"error " + std::to_string(ENOENT)});
    FileAttr attr;
    int nError = 0;
    EXPECT_EQ(m_fs.GetAttr(m_dir.Path("d"), attr, nError), AttrStatus::Absent);
    EXPECT_EQ(m_fs.GetAttr(m_dir.Path("d/x"), attr, nError), AttrStatus::Error);
    EXPECT_EQ(nError, ENOENT);
    EXPECT_EQ(m_fs.GetAttr(m_dir.Path("d/e/z"), attr, nError), AttrStatus::Error);

    ASSERT_EQ(m_fs.CreateDir(m_dir.Path("d")), 0);
    EXPECT_EQ(List("d"), std::vector<std::string>{});
    EXPECT_EQ(m_fs.GetAttr(m_dir.Path("d/x"), attr, nError), AttrStatus::Absent);
    EXPECT_EQ(m_fs.GetAttr(m_dir.Path("d/e/z"), attr, nError), AttrStatus::Error);
    EXPECT_EQ(m_dir.ReadFile("d/e/z"), "z");
}

TEST_F(OverlayOnTree, CopyOfACopyCarriesTheRecordedAttributes) {
    m_dir.SetMode("a", 0440);
    m_dir.SetTimes("a", 11, 12, 13, 14);
    ASSERT_EQ(m_fs.CreateDir(m_dir.Path("n")), 0);
    ASSERT_EQ(m_fs.CopyFile(m_dir.Path("a"), m_dir.Path("n/a1")), 0);
    const FileTime ftNew{20, 21};
    ASSERT_EQ(m_fs.SetTimes(m_dir.Path("n/a1"), nullptr, &ftNew), 0);
    ASSERT_EQ(m_fs.SetMode(m_dir.Path("n/a1"), 0640), 0);
    ASSERT_EQ(m_fs.CopyFile(m_dir.Path("n/a1"), m_dir.Path("d/a2")), 0);

    FileAttr attr;
    int nError = 0;
    ASSERT_EQ(m_fs.GetAttr(m_dir.Path("d/a2"), attr, nError), AttrStatus::Ok);
    EXPECT_EQ(attr.type, EntryType::File);
    EXPECT_EQ(attr.dwMode, 0640u);
    EXPECT_EQ(attr.nSize, 1u);
    EXPECT_EQ(attr.ftAccess, (FileTime{11, 12}));
    EXPECT_EQ(attr.ftWrite, ftNew);
    EXPECT_FALSE(m_dir.Exists("n"));
    EXPECT_FALSE(m_dir.Exists("d/a2"));
}

TEST_F(OverlayOnTree, MemoryFollowsTheChangesNotTheTree) {
    for (int i = 0; i < 200; ++i)
        m_dir.WriteFile("d/many" + std::to_string(i), "m");
    std::vector<DirEntry> entries;
    ASSERT_EQ(m_fs.ListDir(m_dir.Path("d"), entries), 0);
    EXPECT_EQ(entries.size(), 203u);
    EXPECT_EQ(m_fs.RecordCount(), 0u); // reading records nothing

    ASSERT_EQ(m_fs.CreateDir(m_dir.Path("n")), 0);
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(m_fs.CopyFile(m_dir.Path("a"), m_dir.Path("n/c" + std::to_string(i))), 0);
    ASSERT_EQ(m_fs.DeleteFile(m_dir.Path("d/x")), 0);
    EXPECT_EQ(m_fs.RecordCount(), 1u + 1u + 50u + 1u); // n, its contents marker, copies, x
}

// Whole-file reads see the disk where the run has not changed it; the overlay
// keeps no contents, so a file the run replaced, made or removed cannot be read,
// and nothing is ever written through it.
TEST_F(OverlayOnTree, WholeFilesAreReadFromTheDiskAndNeverWritten) {
    ASSERT_EQ(m_fs.CopyFile(m_dir.Path("a"), m_dir.Path("b")), 0);
    ASSERT_EQ(m_fs.CopyFile(m_dir.Path("a"), m_dir.Path("d/new")), 0);
    ASSERT_EQ(m_fs.DeleteFile(m_dir.Path("d/x")), 0);
    struct Case {
        const char* lpszRel;
        FileStage eStage;
        int nError;
        const char* lpszData;
    } const cases[] = {
        {"a", FileStage::Done, 0, "a"},        {"d/y", FileStage::Done, 0, "y"},
        {"b", FileStage::Read, EIO, ""},       {"d/new", FileStage::Read, EIO, ""},
        {"d/x", FileStage::Open, ENOENT, ""},  {"d", FileStage::Read, EISDIR, ""},
        {"none", FileStage::Open, ENOENT, ""},
    };
    for (const Case& c : cases) {
        std::string data;
        const FileResult r = m_fs.ReadFile(m_dir.Path(c.lpszRel), data, 1024);
        EXPECT_EQ(r.eStage, c.eStage) << c.lpszRel;
        EXPECT_EQ(r.nError, c.nError) << c.lpszRel;
        EXPECT_EQ(data, c.lpszData) << c.lpszRel;
    }
    const FileResult w = m_fs.WriteFile(m_dir.Path("a"), "changed");
    EXPECT_EQ(w.eStage, FileStage::Create);
    EXPECT_EQ(w.nError, EROFS);
    EXPECT_EQ(m_dir.ReadFile("a"), "a");
    EXPECT_EQ(m_dir.ReadFile("b"), "b");
}

} // namespace
} // namespace kovrel::platform
