// The copy observer: a copy reports its progress between chunks of its data and
// stops when told to, leaving the target as it was and no temporary behind. On
// the disk (dense, sparse), on the overlay of a dry run, and through the fault
// file system, which hands the observer on.
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/OverlayFileSystem.h"
#include "platform/PosixFileSystem.h"
#include "support/FaultFileSystem.h"
#include "support/TempDir.h"

namespace kovrel::platform {
namespace {

using test::TempDir;

// Records every report; says stop at the nStopAt-th one (1-based; 0: never).
class CRecordingObserver : public ICopyObserver {
public:
    explicit CRecordingObserver(int nStopAt = 0) : m_nStopAt(nStopAt) {}
    bool OnCopyProgress(std::uint64_t nDone, std::uint64_t nTotal) override {
        m_calls.emplace_back(nDone, nTotal);
        return m_nStopAt == 0 || static_cast<int>(m_calls.size()) < m_nStopAt;
    }
    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_calls;

private:
    int m_nStopAt;
};

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

// A dense file of nBytes of varied data.
void WriteDense(const std::string& strPath, std::uint64_t nBytes) {
    const int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    std::string strBlock(kMiB, '\0');
    for (std::uint64_t n = 0; n < nBytes; n += kMiB) {
        for (std::size_t i = 0; i < strBlock.size(); i += 4096)
            strBlock[i] = static_cast<char>('a' + (n / kMiB + i / 4096) % 26);
        ASSERT_EQ(::write(fd, strBlock.data(), strBlock.size()),
                  static_cast<ssize_t>(strBlock.size()));
    }
    ASSERT_EQ(::close(fd), 0);
}

// A sparse file of nBytes with data regions of 8 MiB at the start and in the middle.
void WriteSparse(const std::string& strPath, std::uint64_t nBytes) {
    const int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const std::string strData(8 * kMiB, 'd');
    for (const std::uint64_t nAt : {std::uint64_t{0}, nBytes / 2})
        ASSERT_EQ(::pwrite(fd, strData.data(), strData.size(), static_cast<off_t>(nAt)),
                  static_cast<ssize_t>(strData.size()));
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(nBytes)), 0);
    ASSERT_EQ(::close(fd), 0);
}

// Whatever is in the directory besides the given names (a temporary left behind).
std::vector<std::string> Others(const TempDir& tmp, std::vector<std::string> known) {
    std::vector<std::string> others;
    for (const std::string& strName : tmp.Names(""))
        if (std::find(known.begin(), known.end(), strName) == known.end())
            others.push_back(strName);
    return others;
}

// Reports go forward, stay within the total and end with the total exactly
// once; a large file gives many; stopping anywhere abandons the copy.
TEST(CopyObserver, DiskCopyReportsChunksAndStopsWhenTold) {
    struct Case {
        const char* pszName;
        void (*fnWrite)(const std::string&, std::uint64_t);
        std::uint64_t nBytes;
    };
    const Case cases[] = {
        {"dense", WriteDense, 48 * kMiB},
        {"sparse", WriteSparse, 1024 * kMiB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        TempDir tmp;
        c.fnWrite(tmp.Path("big"), c.nBytes);
        tmp.WriteFile("target", "the old target");
        PosixFileSystem fs;

        CRecordingObserver all;
        fs.SetCopyObserver(&all);
        ASSERT_EQ(fs.CopyFile(tmp.Path("big"), tmp.Path("copy")), 0);
        ASSERT_GE(all.m_calls.size(), 3u);
        for (std::size_t i = 0; i < all.m_calls.size(); ++i) {
            EXPECT_EQ(all.m_calls[i].second, c.nBytes);
            EXPECT_LE(all.m_calls[i].first, c.nBytes);
            if (i > 0) {
                EXPECT_GE(all.m_calls[i].first, all.m_calls[i - 1].first);
            }
            EXPECT_EQ(all.m_calls[i].first == c.nBytes, i + 1 == all.m_calls.size()) << i;
        }
        struct stat st {};
        ASSERT_EQ(::stat(tmp.Path("copy").c_str(), &st), 0);
        EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), c.nBytes);

        for (const int nStopAt : {1, 2, static_cast<int>(all.m_calls.size())}) {
            SCOPED_TRACE(nStopAt);
            CRecordingObserver stop(nStopAt);
            fs.SetCopyObserver(&stop);
            EXPECT_EQ(fs.CopyFile(tmp.Path("big"), tmp.Path("target")), ECANCELED);
            EXPECT_EQ(static_cast<int>(stop.m_calls.size()), nStopAt);
            EXPECT_EQ(tmp.ReadFile("target"), "the old target");
            EXPECT_EQ(Others(tmp, {"big", "copy", "target"}), std::vector<std::string>{});
        }
        // Without an observer the copy simply runs.
        fs.SetCopyObserver(nullptr);
        EXPECT_EQ(fs.CopyFile(tmp.Path("big"), tmp.Path("target")), 0);
    }
}

// An empty file and a small one report their end once; a link reports nothing.
TEST(CopyObserver, SmallFilesReportTheirEndOnly) {
    TempDir tmp;
    tmp.WriteFile("empty", "");
    tmp.WriteFile("small", "12345");
    ASSERT_EQ(::symlink("small", tmp.Path("link").c_str()), 0);
    PosixFileSystem fs;
    CRecordingObserver obs;
    fs.SetCopyObserver(&obs);
    ASSERT_EQ(fs.CopyFile(tmp.Path("empty"), tmp.Path("empty2")), 0);
    ASSERT_EQ(fs.CopyFile(tmp.Path("small"), tmp.Path("small2")), 0);
    ASSERT_EQ(fs.CopyFile(tmp.Path("link"), tmp.Path("link2")), 0);
    using Call = std::pair<std::uint64_t, std::uint64_t>;
    EXPECT_EQ(obs.m_calls, (std::vector<Call>{{0, 0}, {5, 5}}));
}

// The overlay moves nothing, so it reports the end alone, and can be stopped
// there; the fault file system hands the observer to the one that copies.
TEST(CopyObserver, OverlayAndFaultFileSystemsFollow) {
    TempDir tmp;
    WriteDense(tmp.Path("big"), 16 * kMiB);
    tmp.WriteFile("target", "old");
    PosixFileSystem disk;
    {
        OverlayFileSystem overlay(disk);
        CRecordingObserver obs;
        overlay.SetCopyObserver(&obs);
        ASSERT_EQ(overlay.CopyFile(tmp.Path("big"), tmp.Path("target")), 0);
        using Call = std::pair<std::uint64_t, std::uint64_t>;
        EXPECT_EQ(obs.m_calls, (std::vector<Call>{{16 * kMiB, 16 * kMiB}}));
        CRecordingObserver stop(1);
        overlay.SetCopyObserver(&stop);
        EXPECT_EQ(overlay.CopyFile(tmp.Path("big"), tmp.Path("new")), ECANCELED);
        FileAttr attr;
        int nError = 0;
        EXPECT_EQ(overlay.GetAttr(tmp.Path("new"), attr, nError), AttrStatus::Absent);
    }
    {
        FaultFileSystem faults(disk);
        CRecordingObserver stop(2);
        faults.SetCopyObserver(&stop);
        EXPECT_EQ(faults.CopyFile(tmp.Path("big"), tmp.Path("target")), ECANCELED);
        EXPECT_EQ(stop.m_calls.size(), 2u);
        EXPECT_EQ(tmp.ReadFile("target"), "old");
        EXPECT_EQ(Others(tmp, {"big", "target"}), std::vector<std::string>{});
        faults.SetCopyObserver(nullptr);
        EXPECT_EQ(disk.GetCopyObserver(), nullptr);
    }
}

} // namespace
} // namespace kovrel::platform
