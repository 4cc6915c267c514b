#include "support/FaultFileSystem.h"

#include "platform/PosixFileSystem.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

namespace kovrel::platform {
namespace {

using test::TempDir;

class FaultFs : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir.WriteFile("a.txt", "side one");
        m_dir.WriteFile("b.txt", "other");
        m_dir.MakeDir("sub");
        m_dir.MakeDir("gone");
        m_dir.WriteFile("sub/a.txt", "below");
    }

    TempDir m_dir;
    PosixFileSystem m_posix;
    FaultFileSystem m_fs{m_posix};
};

TEST(MatchPathPattern, StarsStandForAnyRun) {
    EXPECT_TRUE(MatchPathPattern("/t/a.txt", "/t/a.txt"));
    EXPECT_FALSE(MatchPathPattern("/t/a.txt", "/t/a.txt2"));
    EXPECT_TRUE(MatchPathPattern("*/a.txt", "/t/sub/a.txt"));
    EXPECT_FALSE(MatchPathPattern("*/a.txt", "/t/ba.txt"));
    EXPECT_TRUE(MatchPathPattern("/t/*", "/t/x/y"));
    EXPECT_FALSE(MatchPathPattern("/t/*", "/u/t/x"));
    EXPECT_TRUE(MatchPathPattern("/t/*.txt", "/t/x/y.txt"));
    EXPECT_FALSE(MatchPathPattern("/t/x*x", "/t/x")); // the star may not take back a byte
    EXPECT_TRUE(MatchPathPattern("*", ""));
    EXPECT_TRUE(MatchPathPattern("*/sub/*", "/t/sub/a/sub/b"));
    EXPECT_FALSE(MatchPathPattern("*/sub/*", "/t/subway/a"));
    EXPECT_TRUE(MatchPathPattern("*a*b*c", "xaxxbxxbc"));
    EXPECT_FALSE(MatchPathPattern("*a*b*c", "xaxxbxxbcd"));
}

// Every operation fails on the chosen path with the chosen error, leaves the
// disk alone, and other paths go through to the real file system.
TEST_F(FaultFs, EachOperationFailsOnItsPathOnly) {
    struct Case {
        FsOp op;
        std::function<int(FileSystem&, const TempDir&)> call;
    };
    const FileTime ft{5, 5};
    const std::vector<Case> cases = {
        {FsOp::GetAttr,
         [](FileSystem& fs, const TempDir& d) {
             FileAttr attr;
             int nError = 0;
             const AttrStatus status = fs.GetAttr(d.Path("a.txt"), attr, nError);
             return status == AttrStatus::Error ? nError : 0;
         }},
        {FsOp::ListDir,
         [](FileSystem& fs, const TempDir& d) {
             std::vector<DirEntry> entries;
             return fs.ListDir(d.Path("sub"), entries);
         }},
        {FsOp::CopyFile,
         [](FileSystem& fs, const TempDir& d) {
             return fs.CopyFile(d.Path("b.txt"), d.Path("a.txt"));
         }},
        {FsOp::DeleteFile,
         [](FileSystem& fs, const TempDir& d) { return fs.DeleteFile(d.Path("b.txt")); }},
        {FsOp::CreateDir,
         [](FileSystem& fs, const TempDir& d) { return fs.CreateDir(d.Path("new")); }},
        {FsOp::RemoveDir,
         [](FileSystem& fs, const TempDir& d) { return fs.RemoveDir(d.Path("gone")); }},
        {FsOp::GetTimes,
         [](FileSystem& fs, const TempDir& d) {
             FileTime ftWrite;
             return fs.GetTimes(d.Path("a.txt"), nullptr, &ftWrite);
         }},
        {FsOp::SetTimes,
         [ft](FileSystem& fs, const TempDir& d) { return fs.SetTimes(d.Path("a.txt"), &ft, &ft); }},
        {FsOp::SetMode,
         [](FileSystem& fs, const TempDir& d) { return fs.SetMode(d.Path("a.txt"), 0400); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(FsOpName(c.op));
        TempDir dir;
        dir.WriteFile("a.txt", "side one");
        dir.WriteFile("b.txt", "other");
        dir.MakeDir("sub");
        dir.MakeDir("gone");
        PosixFileSystem posix;
        FaultFileSystem fs(posix);
        // A fault on another operation and one on another path change nothing.
        fs.AddFault(c.op == FsOp::GetAttr ? FsOp::ListDir : FsOp::GetAttr, "*", EPERM);
        fs.AddFault(c.op, dir.Path("unrelated"), EROFS);
        fs.AddFault(c.op, "*", EIO, 1);

        EXPECT_EQ(c.call(fs, dir), EIO);
        EXPECT_EQ(dir.ReadFile("a.txt"), "side one");
        EXPECT_TRUE(dir.Exists("b.txt"));
        EXPECT_FALSE(dir.Exists("new"));
        EXPECT_TRUE(dir.Exists("gone"));
        struct stat st {};
        ASSERT_TRUE(dir.Stat("a.txt", st));
        EXPECT_EQ(st.st_mode & 07777, 0644u);
        EXPECT_NE(st.st_mtim.tv_sec, 5);

        // Used up after one call: the retry reaches the disk.
        EXPECT_EQ(c.call(fs, dir), 0);
        ASSERT_EQ(fs.Calls().size(), 2u);
        EXPECT_EQ(fs.Calls()[0].op, c.op);
        EXPECT_EQ(fs.Calls()[0].nResult, EIO);
        EXPECT_EQ(fs.Calls()[1].nResult, 0);
    }
}

TEST_F(FaultFs, FaultsCountDownOrStayAndMatchCopiesByEitherPath) {
    m_fs.AddFault(FsOp::DeleteFile, "*/b.txt", EBUSY, 2);
    EXPECT_EQ(m_fs.DeleteFile(m_dir.Path("b.txt")), EBUSY);
    EXPECT_EQ(m_fs.DeleteFile(m_dir.Path("b.txt")), EBUSY);
    EXPECT_EQ(m_fs.DeleteFile(m_dir.Path("b.txt")), 0);
    EXPECT_FALSE(m_dir.Exists("b.txt"));

    m_fs.AddFault(FsOp::CopyFile, "*/sub/*", EACCES); // forever
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m_fs.CopyFile(m_dir.Path("a.txt"), m_dir.Path("sub/a.txt")), EACCES);
        EXPECT_EQ(m_fs.CopyFile(m_dir.Path("sub/a.txt"), m_dir.Path("c.txt")), EACCES);
    }
    EXPECT_EQ(m_dir.ReadFile("sub/a.txt"), "below");
    EXPECT_FALSE(m_dir.Exists("c.txt"));
    EXPECT_EQ(m_fs.CopyFile(m_dir.Path("a.txt"), m_dir.Path("c.txt")), 0);
    EXPECT_EQ(m_dir.ReadFile("c.txt"), "side one");

    m_fs.ClearFaults();
    EXPECT_EQ(m_fs.CopyFile(m_dir.Path("a.txt"), m_dir.Path("sub/a.txt")), 0);
    EXPECT_EQ(m_dir.ReadFile("sub/a.txt"), "side one");
}

TEST_F(FaultFs, GetAttrFaultIsAnErrorEvenForEnoent) {
    m_fs.AddFault(FsOp::GetAttr, m_dir.Path("a.txt"), ENOENT, 1);
    FileAttr attr;
    int nError = 0;
    EXPECT_EQ(m_fs.GetAttr(m_dir.Path("a.txt"), attr, nError), AttrStatus::Error);
    EXPECT_EQ(nError, ENOENT);
    EXPECT_EQ(m_fs.GetAttr(m_dir.Path("a.txt"), attr, nError), AttrStatus::Ok);
    EXPECT_EQ(m_fs.GetAttr(m_dir.Path("none"), attr, nError), AttrStatus::Absent);
    EXPECT_EQ(m_fs.Calls().back().nResult, -1); // Absent in the log
}

TEST_F(FaultFs, ListDirFaultGivesNoEntries) {
    m_fs.AddFault(FsOp::ListDir, m_dir.Path("sub"), EIO);
    std::vector<DirEntry> entries(2);
    std::vector<std::string> stale = {"x"};
    EXPECT_EQ(m_fs.ListDir(m_dir.Path("sub"), entries, &stale), EIO);
    EXPECT_TRUE(entries.empty());
    EXPECT_TRUE(stale.empty());
    EXPECT_EQ(m_fs.ListDir(m_dir.Root(), entries, &stale), 0);
    EXPECT_EQ(entries.size(), 4u);
}

TEST_F(FaultFs, CopyThatRunsOutOfRoomHalfWay) {
    std::string strNew(3 * 1024 * 1024, 'n');
    strNew[12345] = 'x';
    const std::string strOld(1000, 'o');
    m_dir.WriteFile("big", strNew);
    m_dir.WriteFile("target", strOld, 0444);
    m_dir.SetTimes("target", 7, 7, 7, 7);

    m_fs.AddPartialCopyFault("*/target", 1024 * 1024, ENOSPC, 1);
    EXPECT_EQ(m_fs.CopyFile(m_dir.Path("big"), m_dir.Path("target")), ENOSPC);
    EXPECT_TRUE(m_dir.ReadFile("target") == strOld);
    struct stat st {};
    ASSERT_TRUE(m_dir.Stat("target", st));
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(st.st_mtim.tv_sec, 7);
    for (const std::string& strName : m_dir.Names())
        EXPECT_FALSE(IsCopyTempName(strName)) << strName;

    // The fault was used up; the disk has room again and the hook is gone.
    EXPECT_EQ(m_fs.CopyFile(m_dir.Path("big"), m_dir.Path("target")), 0);
    EXPECT_TRUE(m_dir.ReadFile("target") == strNew);

    // The limit is a real amount of data: a file that fits copies whole.
    m_fs.AddPartialCopyFault("*/small-target", 100);
    EXPECT_EQ(m_fs.CopyFile(m_dir.Path("a.txt"), m_dir.Path("small-target")), 0);
    EXPECT_EQ(m_dir.ReadFile("small-target"), "side one");
    EXPECT_EQ(m_fs.CopyFile(m_dir.Path("big"), m_dir.Path("small-target")), ENOSPC);
    EXPECT_EQ(m_dir.ReadFile("small-target"), "side one");
}

TEST_F(FaultFs, PartialCopyFaultOverAnotherFileSystemFailsWithoutWriting) {
    FaultFileSystem inner(m_posix);
    FaultFileSystem outer(static_cast<FileSystem&>(inner));
    outer.AddPartialCopyFault("*", 10);
    EXPECT_EQ(outer.CopyFile(m_dir.Path("a.txt"), m_dir.Path("c.txt")), ENOSPC);
    EXPECT_TRUE(inner.Calls().empty());
    EXPECT_FALSE(m_dir.Exists("c.txt"));
}

// Whole-file faults: a read fails at its open, a write before its temporary, and
// a partial write over anything but the real disk fails before writing anything.
TEST_F(FaultFs, WholeFileFaults) {
    std::string data = "before";
    m_fs.AddFault(FsOp::ReadFile, "*/a.txt", EIO, 1);
    FileResult r = m_fs.ReadFile(m_dir.Path("a.txt"), data, 1024);
    EXPECT_EQ(r.eStage, FileStage::Open);
    EXPECT_EQ(r.nError, EIO);
    EXPECT_EQ(data, "before");
    ASSERT_TRUE(m_fs.ReadFile(m_dir.Path("a.txt"), data, 1024).Ok());
    EXPECT_EQ(data, "side one");

    m_fs.AddFault(FsOp::WriteFile, "*/a.txt", EDQUOT, 1);
    r = m_fs.WriteFile(m_dir.Path("a.txt"), "new");
    EXPECT_EQ(r.eStage, FileStage::Create);
    EXPECT_EQ(r.nError, EDQUOT);
    EXPECT_EQ(m_dir.ReadFile("a.txt"), "side one");
    EXPECT_EQ(m_fs.CountCalls(FsOp::WriteFile), 1u);

    FaultFileSystem inner(m_posix);
    FaultFileSystem outer(static_cast<FileSystem&>(inner));
    outer.AddPartialWriteFault("*", 2);
    r = outer.WriteFile(m_dir.Path("a.txt"), "longer than two");
    EXPECT_EQ(r.eStage, FileStage::Create);
    EXPECT_EQ(r.nError, ENOSPC);
    EXPECT_TRUE(inner.Calls().empty());
    EXPECT_EQ(m_dir.ReadFile("a.txt"), "side one");
}

TEST_F(FaultFs, CallLogRecordsOperationsPathsAndResults) {
    FileAttr attr;
    int nError = 0;
    std::vector<DirEntry> entries;
    // The results are read back from the log below.
    IgnoreFailure(m_fs.ListDir(m_dir.Root(), entries));
    for (const DirEntry& e : entries)
        IgnoreFailure(m_fs.GetAttr(m_dir.Path(e.strName), attr, nError));
    IgnoreFailure(m_fs.CopyFile(m_dir.Path("a.txt"), m_dir.Path("sub/copy.txt")));
    IgnoreFailure(m_fs.DeleteFile(m_dir.Path("missing")));

    EXPECT_EQ(m_fs.CountCalls(FsOp::ListDir), 1u);
    EXPECT_EQ(m_fs.CountCalls(FsOp::GetAttr), 4u);
    EXPECT_EQ(m_fs.CountCalls(FsOp::GetAttr, "*.txt"), 2u);
    EXPECT_EQ(m_fs.CountCalls(FsOp::CopyFile, "*/sub/*"), 1u); // by the target
    EXPECT_EQ(m_fs.CountCalls(FsOp::SetMode), 0u);
    const FaultFileSystem::Call& copy = m_fs.Calls()[5];
    EXPECT_EQ(copy.op, FsOp::CopyFile);
    EXPECT_EQ(copy.strPath, m_dir.Path("a.txt"));
    EXPECT_EQ(copy.strPath2, m_dir.Path("sub/copy.txt"));
    EXPECT_EQ(copy.nResult, 0);
    EXPECT_EQ(m_fs.Calls().back().nResult, ENOENT);

    m_fs.ClearCalls();
    m_fs.SetLogCalls(false);
    EXPECT_EQ(m_fs.DeleteFile(m_dir.Path("b.txt")), 0);
    EXPECT_TRUE(m_fs.Calls().empty());
}

} // namespace
} // namespace kovrel::platform
