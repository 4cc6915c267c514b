// A FileSystem for tests: passes every call on to another one (normally the
// POSIX one over a temporary directory) and makes chosen calls on chosen paths
// fail with chosen errors, the failures that root cannot provoke with permission
// bits. It also keeps a log of the calls, so a test can see what was touched.
#pragma once

#include "platform/FileSystem.h"
#include "platform/PosixFileSystem.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kovrel::platform {

enum class FsOp : std::uint8_t {
    GetAttr,
    ListDir,
    CopyFile,
    DeleteFile,
    CreateDir,
    RemoveDir,
    GetTimes,
    SetTimes,
    SetMode,
    RealPath,
    CountUnlisted,
    ReadFile,
    WriteFile,
    MoveToTrash, // a fault is a file system without a usable trash (NoTrash), but
    KeepInTrash, // EMLINK: one without hard links (NoHardLinks); EIO: this entry Failed
    DropFromTrash,
};

const char* FsOpName(FsOp op) noexcept;

// In a path pattern "*" stands for any run of bytes, "/" included; every other
// byte stands for itself: "/t/a.txt" is that path only, "*/a.txt" every a.txt,
// "/t/*" everything below /t, "*/sub/*" everything below any sub, "*" every path.
bool MatchPathPattern(std::string_view strPattern, std::string_view strPath) noexcept;

class FaultFileSystem : public FileSystem {
public:
    using Op = FsOp;

    struct Call {
        Op op;
        std::string strPath;
        std::string strPath2; // the target of a copy, else empty
        int nResult;          // 0 or errno; GetAttr: 0 Ok, -1 Absent, errno on Error
    };

    // Over the real disk: partial faults write real data (see AddPartialCopyFault).
    explicit FaultFileSystem(PosixFileSystem& disk) : m_inner(disk), m_bOverDisk(true) {}
    // Over any other file system: partial faults fail before writing anything.
    explicit FaultFileSystem(FileSystem& inner) : m_inner(inner), m_bOverDisk(false) {}
    // Not copyable: to stack one on another, pass it as FileSystem&.
    FaultFileSystem(const FaultFileSystem&) = delete;
    FaultFileSystem& operator=(const FaultFileSystem&) = delete;

    // The next nTimes calls of op whose path matches the pattern (a copy matches
    // by its source or its target) fail with nErrno without reaching the inner
    // file system; nTimes -1 means every call from now on. A GetAttr fault is an
    // Error with that errno (ENOENT too: the missing-parent kind); a ReadFile
    // fault fails at FileStage::Open, a WriteFile fault at FileStage::Create.
    void AddFault(Op op, std::string strPathPattern, int nErrno, int nTimes = -1);

    // A copy that runs out of room: a regular file longer than nAfterBytes is
    // copied by this file system's own loop, which writes nAfterBytes of it into
    // a temporary beside the target, then fails with nErrno and removes the
    // temporary, as the real copy does after a failed write. A file that fits is
    // copied whole by the inner file system. Over anything but the real disk the
    // copy fails before writing anything.
    void AddPartialCopyFault(std::string strPathPattern, std::uint64_t nAfterBytes,
                             int nErrno = ENOSPC, int nTimes = -1);
    // The same for WriteFile (a document save): data longer than nAfterBytes
    // gets that far into the temporary, then the write fails with nErrno at
    // FileStage::Write.
    void AddPartialWriteFault(std::string strPathPattern, std::uint64_t nAfterBytes,
                              int nErrno = ENOSPC, int nTimes = -1);

    void ClearFaults() { m_faults.clear(); }

    // Called at the start of every call, before any fault: lets a test change
    // the disk between two operations (a directory turned into a link).
    void SetBeforeCall(std::function<void(Op, const std::string&)> fnBefore) {
        m_fnBefore = std::move(fnBefore);
    }

    // Entries whose path matches the pattern lie on a coarser file system: the
    // times they show are cut to info's granularity (change times too, as the
    // kernel of such a file system sets them) and clamped to its range, and
    // they report kCoarseDevice, whose GetTimeInfo is typeInfo (what the type
    // of such a file system tells; keep it exact to leave the granularity to be
    // found from the change times). Times set or copied there are stored so.
    static constexpr std::uint64_t kCoarseDevice = 0xC0A25E;
    void SetCoarseTimes(std::string strPathPattern, const TimeInfo& info,
                        const TimeInfo& typeInfo) {
        m_strCoarse = std::move(strPathPattern);
        m_coarse = info;
        m_coarseType = typeInfo;
    }

    // The entry at exactly strPath reports the identity (device and inode) of
    // the entry at strSamePath, as a bind mount of that directory would: the
    // same tree reached by two paths, without a mount.
    void AddSameTree(std::string strPath, std::string strSamePath) {
        m_sameTrees.emplace_back(std::move(strPath), std::move(strSamePath));
    }

    void SetTops(const std::string& strTop1, const std::string& strTop2) override {
        m_inner.SetTops(strTop1, strTop2);
    }
    // The inner file system does the copies, so it hears of their progress.
    void SetCopyObserver(ICopyObserver* pObserver) noexcept override {
        FileSystem::SetCopyObserver(pObserver);
        m_inner.SetCopyObserver(pObserver);
    }
    [[nodiscard]] TimeInfo GetTimeInfo(std::uint64_t nDevice) override {
        return !m_strCoarse.empty() && nDevice == kCoarseDevice ? m_coarseType
                                                                : m_inner.GetTimeInfo(nDevice);
    }

    const std::vector<Call>& Calls() const noexcept { return m_calls; }
    // Calls of op with a path (or, for a copy, either path) that matches.
    std::size_t CountCalls(Op op, std::string_view strPathPattern = "*") const;
    void ClearCalls() { m_calls.clear(); }
    // The log costs memory in long runs; it is on by default.
    void SetLogCalls(bool bLog) noexcept { m_bLogCalls = bLog; }

    [[nodiscard]] AttrStatus GetAttr(const std::string& strPath, FileAttr& attr,
                                     int& nError) override;
    [[nodiscard]] int ListDir(const std::string& strPath, std::vector<DirEntry>& entries,
                              std::vector<std::string>* pStaleTemps = nullptr) override;
    [[nodiscard]] int CopyFile(const std::string& strFrom, const std::string& strTo,
                               const ExpectedTarget& expect = {}) override;
    [[nodiscard]] int DeleteFile(const std::string& strPath) override;
    [[nodiscard]] TrashResult MoveToTrash(const std::string& strPath) override;
    [[nodiscard]] TrashResult KeepInTrash(const std::string& strPath) override;
    [[nodiscard]] int DropFromTrash(const TrashResult& kept) override;
    // Passed on as it is: a look changes nothing, so there is nothing to fault.
    [[nodiscard]] int CompareFiles(const std::string& strPath1, const std::string& strPath2,
                                   bool& bSame) override {
        return m_inner.CompareFiles(strPath1, strPath2, bSame);
    }
    [[nodiscard]] TrashResult ProbeTrash(const std::string& strPath) override {
        return m_inner.ProbeTrash(strPath);
    }
    [[nodiscard]] int CreateDir(const std::string& strPath) override;
    [[nodiscard]] int RemoveDir(const std::string& strPath) override;
    [[nodiscard]] int GetTimes(const std::string& strPath, FileTime* pAccess,
                               FileTime* pWrite) override;
    [[nodiscard]] int SetTimes(const std::string& strPath, const FileTime* pAccess,
                               const FileTime* pWrite) override;
    [[nodiscard]] int SetMode(const std::string& strPath, std::uint32_t dwMode) override;
    [[nodiscard]] int RealPath(const std::string& strPath, std::string& strOut) override;
    [[nodiscard]] int CountUnlisted(const std::string& strDir, std::size_t& nCount) override;
    [[nodiscard]] FileResult ReadFile(const std::string& strPath, std::string& data,
                                      std::size_t nMaxBytes) override;
    [[nodiscard]] FileResult WriteFile(const std::string& strPath, std::string_view data) override;

private:
    struct Fault {
        Op op;
        std::string strPattern;
        int nErrno;
        int nTimes;
        bool bPartial;
        std::uint64_t nAfterBytes;
    };

    // The first live fault for this call, used up by one; null when none.
    const Fault* TakeFault(Op op, const std::string& strPath, const std::string& strPath2);
    int Log(Op op, const std::string& strPath, int nResult, const std::string& strPath2 = {});
    FileResult LogFile(Op op, const std::string& strPath, FileResult result);
    // The partial write of a copy or a save: up to nLimit bytes from fnRead into
    // a temporary beside strTarget, then the fault's errno at FileStage::Write.
    template <class F>
    FileResult WriteUntilFull(const std::string& strTarget, std::string_view strPrefix,
                              std::uint64_t nLimit, F&& fnRead);

    // Gives attr the identity AddSameTree names for strPath, if any.
    void TakeSameTree(const std::string& strPath, FileAttr& attr);

    bool IsCoarse(std::string_view strPath) const noexcept {
        return !m_strCoarse.empty() && MatchPathPattern(m_strCoarse, strPath);
    }
    FileTime Coarsen(const FileTime& ft) const noexcept;
    void CoarsenAttr(FileAttr& attr) const noexcept;
    // Stores the entry's times as the coarse file system would have them.
    void CoarsenStored(const std::string& strPath);

    FileSystem& m_inner;
    bool m_bOverDisk;
    std::function<void(Op, const std::string&)> m_fnBefore;
    std::string m_strCoarse;
    TimeInfo m_coarse;
    TimeInfo m_coarseType;
    std::vector<Fault> m_faults;
    std::vector<std::pair<std::string, std::string>> m_sameTrees;
    std::vector<Call> m_calls;
    bool m_bLogCalls = true;
    Fault m_taken{}; // the fault last handed out by TakeFault
};

} // namespace kovrel::platform
