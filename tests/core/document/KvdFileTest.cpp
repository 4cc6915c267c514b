#include "document/KvdFormat.h"

#include "platform/PosixFileSystem.h"
#include "support/AllocationHooks.h"
#include "support/FaultFileSystem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kovrel {
namespace {

namespace fs = std::filesystem;

class KvdFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::string strTemplate = (fs::temp_directory_path() / "kovrel-kvdfile-XXXXXX").string();
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        m_dir = strTemplate;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Path(const char* pszName) const { return (m_dir / pszName).string(); }

    static std::string ReadBytes(const std::string& strPath) {
        std::ifstream in(strPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static void WriteBytes(const std::string& strPath, const std::string& data) {
        std::ofstream out(strPath, std::ios::binary);
        out << data;
    }

    // Names in the directory other than the expected ones: leftover temporaries.
    std::size_t EntryCount() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));
    }

    static void Fill(CSyncItemList& list) {
        list.SetAt(-1, "/home/\xE8\xB3\x87\xE6\x96\x99", "/mnt/caf\xC3\xA9", "*.c")->dwOption =
            0x100;
        list.m_strDocLog = "a/var/log/k.log";
    }

    fs::path m_dir;
};

TEST_F(KvdFile, SaveThenLoadGivesTheSameDocument) {
    CSyncItemList list;
    Fill(list);
    const std::string strPath = Path("doc.kvd");
    ASSERT_EQ(SaveKvdFile(strPath, list, KVD_VERSION_1_0).eStatus, KvdFileStatus::Ok);
    EXPECT_EQ(ReadBytes(strPath), WriteKvd(list, KVD_VERSION_1_0));
    EXPECT_EQ(EntryCount(), 1u); // no temporary left beside it

    CSyncItemList back;
    int nVersion = 0;
    const KvdFileResult r = LoadKvdFile(strPath, back, nVersion);
    ASSERT_EQ(r.eStatus, KvdFileStatus::Ok);
    ASSERT_EQ(back.GetCount(), 1);
    EXPECT_EQ(back.GetAt(0)->lpszPath1, list.GetAt(0)->lpszPath1);
    EXPECT_EQ(back.GetAt(0)->lpszPath2, list.GetAt(0)->lpszPath2);
    EXPECT_EQ(back.GetAt(0)->lpszPattern, "*.c");
    EXPECT_EQ(back.GetAt(0)->dwOption, 0x100u);
    EXPECT_EQ(back.m_strDocLog, "a/var/log/k.log");
    EXPECT_EQ(nVersion, KVD_VERSION_1_0);
}

TEST_F(KvdFile, SaveOverAnExistingDocumentKeepsItsPermissions) {
    const std::string strPath = Path("doc.kvd");
    WriteBytes(strPath, "old contents");
    ASSERT_EQ(::chmod(strPath.c_str(), 0640), 0);
    CSyncItemList list;
    Fill(list);
    ASSERT_EQ(SaveKvdFile(strPath, list, 0).eStatus, KvdFileStatus::Ok);
    struct stat st {};
    ASSERT_EQ(::stat(strPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadBytes(strPath), WriteKvd(list, 0));
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(KvdFile, SaveThroughASymbolicLinkReplacesTheDocumentItPointsAt) {
    const std::string strReal = Path("real.kvd");
    const std::string strLink = Path("link.kvd");
    WriteBytes(strReal, "old");
    ASSERT_EQ(::symlink("real.kvd", strLink.c_str()), 0);
    CSyncItemList list;
    Fill(list);
    ASSERT_EQ(SaveKvdFile(strLink, list, KVD_VERSION_1_0).eStatus, KvdFileStatus::Ok);
    EXPECT_TRUE(fs::is_symlink(strLink));
    EXPECT_EQ(ReadBytes(strReal), WriteKvd(list, KVD_VERSION_1_0));
    EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(KvdFile, SaveIntoAMissingDirectoryFailsWithItsCause) {
    CSyncItemList list;
    const KvdFileResult r = SaveKvdFile(Path("missing/doc.kvd"), list, KVD_VERSION_1_0);
    EXPECT_EQ(r.eStatus, KvdFileStatus::CreateFailed);
    EXPECT_EQ(r.nErrno, ENOENT);
    EXPECT_EQ(EntryCount(), 0u);
}

TEST_F(KvdFile, FailedRenameLeavesTheTargetAndNoTemporary) {
    // A directory in the document's place cannot be replaced by a file.
    const std::string strPath = Path("doc.kvd");
    fs::create_directory(strPath);
    WriteBytes(strPath + "/inside", "keep");
    CSyncItemList list;
    Fill(list);
    const KvdFileResult r = SaveKvdFile(strPath, list, KVD_VERSION_1_0);
    EXPECT_EQ(r.eStatus, KvdFileStatus::RenameFailed);
    EXPECT_EQ(r.nErrno, EISDIR);
    EXPECT_EQ(ReadBytes(strPath + "/inside"), "keep");
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(KvdFile, LoadFailuresBeforeReadingLeaveEverythingAlone) {
    const std::string strDir = Path("adir");
    fs::create_directory(strDir);
    struct Case {
        std::string strPath;
        KvdFileStatus eStatus;
        int nErrno;
    };
    for (const Case& c : {Case{Path("missing.kvd"), KvdFileStatus::OpenFailed, ENOENT},
                          Case{Path("missing/doc.kvd"), KvdFileStatus::OpenFailed, ENOENT},
                          Case{strDir, KvdFileStatus::ReadFailed, EISDIR},
                          Case{"/dev/zero", KvdFileStatus::NotAFile, 0}}) {
        CSyncItemList list;
        list.SetAt(-1, "keep", "me", nullptr);
        list.m_strDocLog = "wkeep";
        int nVersion = 0x105;
        const KvdFileResult r = LoadKvdFile(c.strPath, list, nVersion);
        EXPECT_EQ(r.eStatus, c.eStatus) << c.strPath;
        EXPECT_EQ(r.nErrno, c.nErrno) << c.strPath;
        EXPECT_EQ(list.GetCount(), 1) << c.strPath;
        EXPECT_EQ(list.m_strDocLog, "wkeep");
        EXPECT_EQ(nVersion, 0x105);
    }
}

// A FIFO as the document: refused at once as not a file, whether or not anyone
// writes into it, never read (a writer could hand out bytes without end, or
// none and keep the open waiting for good).
TEST_F(KvdFile, FifoIsRefusedWithoutWaitingOrReading) {
    const std::string strFifo = Path("pipe.kvd");
    ASSERT_EQ(::mkfifo(strFifo.c_str(), 0644), 0);
    CSyncItemList src;
    Fill(src);
    const std::string strDoc = WriteKvd(src, KVD_VERSION_1_0);
    struct SigPipeIgnored {
        void (*pfnOld)(int) = std::signal(SIGPIPE, SIG_IGN);
        ~SigPipeIgnored() { std::signal(SIGPIPE, pfnOld); }
    } sigPipe;

    for (const bool bWriter : {true, false}) {
        SCOPED_TRACE(bWriter ? "with a writer" : "without a writer");
        // A writer waits for a reader, hands over a whole document and leaves.
        std::thread writer;
        if (bWriter) {
            writer = std::thread([&] {
                const int fd = ::open(strFifo.c_str(), O_WRONLY | O_CLOEXEC);
                if (fd >= 0) {
                    // The reader may be gone already (EPIPE): that is the point.
                    platform::IgnoreFailure(::write(fd, strDoc.data(), strDoc.size()));
                    ::close(fd);
                }
            });
        }
        CSyncItemList list;
        int nVersion = 0;
        const KvdFileResult r = LoadKvdFile(strFifo, list, nVersion);
        EXPECT_EQ(r.eStatus, KvdFileStatus::NotAFile);
        EXPECT_EQ(list.GetCount(), 0);
        if (bWriter) {
            // Let a writer still waiting for its reader go.
            const int fd = ::open(strFifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            writer.join();
            if (fd >= 0)
                ::close(fd);
        }
    }
}

TEST_F(KvdFile, LoadReportsWhatTheBytesSay) {
    struct Case {
        const char* pszName;
        std::string data;
        KvdFileStatus eStatus;
    };
    CSyncItemList src;
    Fill(src);
    const std::string good = WriteKvd(src, KVD_VERSION_1_0);
    for (const Case& c :
         {Case{"empty.kvd", "", KvdFileStatus::Ok}, Case{"good.kvd", good, KvdFileStatus::Ok},
          Case{"foreign.kvd", "\x05hello world", KvdFileStatus::ForeignHeader},
          Case{"cut.kvd", good.substr(0, good.size() - 1), KvdFileStatus::ArchiveError}}) {
        const std::string strPath = Path(c.pszName);
        WriteBytes(strPath, c.data);
        CSyncItemList list;
        int nVersion = 0;
        EXPECT_EQ(LoadKvdFile(strPath, list, nVersion).eStatus, c.eStatus) << c.pszName;
    }
}

// A valid beginning followed by gigabytes (a sparse file: no disk taken) is
// refused as larger than any document before a byte of it is read: an archive
// error that empties the list like any other, with no memory taken for the
// file's size. The limit itself holds to the byte.
TEST_F(KvdFile, DocumentLargerThanTheLimitIsRefusedUnread) {
    CSyncItemList src;
    Fill(src);
    const std::string good = WriteKvd(src, KVD_VERSION_1_0);
    struct Case {
        const char* pszName;
        off_t nSize;
        KvdFileStatus eStatus;
        KvdFault eFault;
    };
    const auto nLimit = static_cast<off_t>(KVD_MAX_FILE_BYTES);
    for (const Case& c :
         {Case{"4 GiB", off_t{4} << 30, KvdFileStatus::ArchiveError, KvdFault::TooLarge},
          Case{"one byte over", nLimit + 1, KvdFileStatus::ArchiveError, KvdFault::TooLarge},
          Case{"at the limit", nLimit, KvdFileStatus::Ok, KvdFault::None}}) {
        SCOPED_TRACE(c.pszName);
        const std::string strPath = Path("big.kvd");
        WriteBytes(strPath, good);
        ASSERT_EQ(::truncate(strPath.c_str(), c.nSize), 0);
        CSyncItemList list;
        list.SetAt(-1, "keep", "me", nullptr);
        list.m_strDocLog = "wkeep";
        int nVersion = 0x105;
        test::g_nLargestAllocation = 0;
        test::g_bTrackLargest = true;
        const KvdFileResult r = LoadKvdFile(strPath, list, nVersion);
        test::g_bTrackLargest = false;
        EXPECT_EQ(r.eStatus, c.eStatus);
        EXPECT_EQ(r.read.eFault, c.eFault);
        if (c.eStatus == KvdFileStatus::Ok) {
            // Zeros after the end mark are never looked at.
            EXPECT_EQ(list.GetCount(), 1);
            EXPECT_EQ(nVersion, KVD_VERSION_1_0);
            continue;
        }
        EXPECT_EQ(list.GetCount(), 0);
        EXPECT_EQ(list.m_strDocLog, "");
        EXPECT_EQ(nVersion, 0x105);
        EXPECT_LT(test::g_nLargestAllocation.load(), std::size_t{1} << 20);
    }
}

// A save that fails on the way keeps the old document byte for byte, leaves no
// temporary beside it, and tells which step failed with its errno, so the
// caller can word each case on its own.
TEST_F(KvdFile, FailedSaveKeepsTheOldDocumentAndTellsTheStep) {
    using platform::FaultFileSystem;
    using platform::FsOp;
    struct Case {
        const char* pszName;
        std::function<void(FaultFileSystem&)> fnFault;
        KvdFileStatus eStatus;
        int nErrno;
    };
    const Case cases[] = {
        {"disk full half way",
         [](FaultFileSystem& fs) { fs.AddPartialWriteFault("*/doc.kvd", 10); },
         KvdFileStatus::WriteFailed, ENOSPC},
        {"disk full at once", [](FaultFileSystem& fs) { fs.AddPartialWriteFault("*/doc.kvd", 0); },
         KvdFileStatus::WriteFailed, ENOSPC},
        {"device error half way",
         [](FaultFileSystem& fs) { fs.AddPartialWriteFault("*/doc.kvd", 20, EIO); },
         KvdFileStatus::WriteFailed, EIO},
        {"no temporary allowed",
         [](FaultFileSystem& fs) { fs.AddFault(FsOp::WriteFile, "*/doc.kvd", EACCES); },
         KvdFileStatus::CreateFailed, EACCES},
    };
    CSyncItemList list;
    Fill(list);
    const std::string strPath = Path("doc.kvd");
    const std::string strOld = "KovrelDuplicator, the old bytes";
    platform::PosixFileSystem posix;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        WriteBytes(strPath, strOld);
        FaultFileSystem fs(posix);
        c.fnFault(fs);
        const KvdFileResult r = SaveKvdFile(fs, strPath, list, KVD_VERSION_1_0);
        EXPECT_EQ(r.eStatus, c.eStatus);
        EXPECT_EQ(r.nErrno, c.nErrno);
        EXPECT_EQ(ReadBytes(strPath), strOld);
        EXPECT_EQ(EntryCount(), 1u);
        EXPECT_EQ(fs.CountCalls(FsOp::WriteFile), 1u);
        // The fault is used up: the next save goes through.
        fs.ClearFaults();
        ASSERT_EQ(SaveKvdFile(fs, strPath, list, KVD_VERSION_1_0).eStatus, KvdFileStatus::Ok);
        EXPECT_EQ(ReadBytes(strPath), WriteKvd(list, KVD_VERSION_1_0));
        EXPECT_EQ(EntryCount(), 1u);
    }
}

// Something in the way: a file where the document's directory should be, a
// directory where the document should be.
TEST_F(KvdFile, SaveWithSomethingInTheWayTellsWhat) {
    WriteBytes(Path("file"), "a file");
    fs::create_directory(Path("dir.kvd"));
    WriteBytes(Path("dir.kvd") + "/inside", "keep");
    struct Case {
        std::string strPath;
        KvdFileStatus eStatus;
        int nErrno;
    };
    CSyncItemList list;
    Fill(list);
    for (const Case& c : {Case{Path("file/doc.kvd"), KvdFileStatus::CreateFailed, ENOTDIR},
                          Case{Path("missing/doc.kvd"), KvdFileStatus::CreateFailed, ENOENT},
                          Case{Path("dir.kvd"), KvdFileStatus::RenameFailed, EISDIR}}) {
        const KvdFileResult r = SaveKvdFile(c.strPath, list, KVD_VERSION_1_0);
        EXPECT_EQ(r.eStatus, c.eStatus) << c.strPath;
        EXPECT_EQ(r.nErrno, c.nErrno) << c.strPath;
    }
    EXPECT_EQ(ReadBytes(Path("file")), "a file");
    EXPECT_EQ(ReadBytes(Path("dir.kvd") + "/inside"), "keep");
    EXPECT_EQ(EntryCount(), 2u);
}

// A read that fails (an I/O error the disk gives at open) leaves the list, its
// log setting and the version alone.
TEST_F(KvdFile, LoadThroughAFailingFileSystemLeavesEverythingAlone) {
    CSyncItemList src;
    Fill(src);
    const std::string strPath = Path("doc.kvd");
    WriteBytes(strPath, WriteKvd(src, KVD_VERSION_1_0));
    platform::PosixFileSystem posix;
    platform::FaultFileSystem fs(posix);
    fs.AddFault(platform::FsOp::ReadFile, "*/doc.kvd", EIO, 1);
    CSyncItemList list;
    list.SetAt(-1, "keep", "me", nullptr);
    list.m_strDocLog = "wkeep";
    int nVersion = 0x105;
    const KvdFileResult r = LoadKvdFile(fs, strPath, list, nVersion);
    EXPECT_EQ(r.eStatus, KvdFileStatus::OpenFailed);
    EXPECT_EQ(r.nErrno, EIO);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.m_strDocLog, "wkeep");
    EXPECT_EQ(nVersion, 0x105);
    // The same file through the same file system, once the fault is used up.
    ASSERT_EQ(LoadKvdFile(fs, strPath, list, nVersion).eStatus, KvdFileStatus::Ok);
    EXPECT_EQ(list.m_strDocLog, "a/var/log/k.log");
}

} // namespace
} // namespace kovrel
