#include "support/FaultFileSystem.h"

#include "platform/Path.h"
#include "platform/PosixFile.h"

#include <algorithm>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovrel::platform {

const char* FsOpName(FsOp op) noexcept {
    switch (op) {
    case FsOp::GetAttr:
        return "GetAttr";
    case FsOp::ListDir:
        return "ListDir";
    case FsOp::CopyFile:
        return "CopyFile";
    case FsOp::DeleteFile:
        return "DeleteFile";
    case FsOp::CreateDir:
        return "CreateDir";
    case FsOp::RemoveDir:
        return "RemoveDir";
    case FsOp::GetTimes:
        return "GetTimes";
    case FsOp::SetTimes:
        return "SetTimes";
    case FsOp::SetMode:
        return "SetMode";
    case FsOp::RealPath:
        return "RealPath";
    case FsOp::CountUnlisted:
        return "CountUnlisted";
    case FsOp::ReadFile:
        return "ReadFile";
    case FsOp::WriteFile:
        return "WriteFile";
    case FsOp::MoveToTrash:
        return "MoveToTrash";
    case FsOp::KeepInTrash:
        return "KeepInTrash";
    case FsOp::DropFromTrash:
        return "DropFromTrash";
    }
    return "?";
}

bool MatchPathPattern(std::string_view strPattern, std::string_view strPath) noexcept {
    // Greedy match with a step back to the last "*": linear enough for test paths.
    std::size_t nPat = 0, nPath = 0;
    std::size_t nStar = std::string_view::npos, nResume = 0;
    while (nPath < strPath.size()) {
        if (nPat < strPattern.size() && strPattern[nPat] == '*') {
            nStar = nPat++;
            nResume = nPath;
        } else if (nPat < strPattern.size() && strPattern[nPat] == strPath[nPath]) {
            ++nPat;
            ++nPath;
        } else if (nStar != std::string_view::npos) {
            nPat = nStar + 1;
            nPath = ++nResume;
        } else {
            return false;
        }
    }
    while (nPat < strPattern.size() && strPattern[nPat] == '*')
        ++nPat;
    return nPat == strPattern.size();
}

void FaultFileSystem::AddFault(Op op, std::string strPathPattern, int nErrno, int nTimes) {
    m_faults.push_back(Fault{op, std::move(strPathPattern), nErrno, nTimes, false, 0});
}

void FaultFileSystem::AddPartialCopyFault(std::string strPathPattern, std::uint64_t nAfterBytes,
                                          int nErrno, int nTimes) {
    m_faults.push_back(
        Fault{Op::CopyFile, std::move(strPathPattern), nErrno, nTimes, true, nAfterBytes});
}

void FaultFileSystem::AddPartialWriteFault(std::string strPathPattern, std::uint64_t nAfterBytes,
                                           int nErrno, int nTimes) {
    m_faults.push_back(
        Fault{Op::WriteFile, std::move(strPathPattern), nErrno, nTimes, true, nAfterBytes});
}

std::size_t FaultFileSystem::CountCalls(Op op, std::string_view strPathPattern) const {
    return static_cast<std::size_t>(
        std::count_if(m_calls.begin(), m_calls.end(), [&](const Call& c) {
            return c.op == op &&
                   (MatchPathPattern(strPathPattern, c.strPath) ||
                    (!c.strPath2.empty() && MatchPathPattern(strPathPattern, c.strPath2)));
        }));
}

const FaultFileSystem::Fault* FaultFileSystem::TakeFault(Op op, const std::string& strPath,
                                                         const std::string& strPath2) {
    if (m_fnBefore)
        m_fnBefore(op, strPath);
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (it->op != op || it->nTimes == 0)
            continue;
        if (!MatchPathPattern(it->strPattern, strPath) &&
            (strPath2.empty() || !MatchPathPattern(it->strPattern, strPath2)))
            continue;
        m_taken = *it;
        if (it->nTimes > 0 && --it->nTimes == 0)
            m_faults.erase(it);
        return &m_taken;
    }
    return nullptr;
}

int FaultFileSystem::Log(Op op, const std::string& strPath, int nResult,
                         const std::string& strPath2) {
    if (m_bLogCalls)
        m_calls.push_back(Call{op, strPath, strPath2, nResult});
    return nResult;
}

FileTime FaultFileSystem::Coarsen(const FileTime& ft) const noexcept {
    constexpr std::int64_t kNsPerSec = 1'000'000'000;
    FileTime out = ft;
    if (m_coarse.nGrainNs >= kNsPerSec) {
        const std::int64_t nStep = m_coarse.nGrainNs / kNsPerSec;
        out.nSec = (ft.nSec >= 0 ? ft.nSec : ft.nSec - nStep + 1) / nStep * nStep;
        out.nNsec = 0;
    } else if (m_coarse.nGrainNs > 1) {
        out.nNsec = static_cast<std::int32_t>(ft.nNsec - ft.nNsec % m_coarse.nGrainNs);
    }
    if (out.nSec > m_coarse.nMaxSec)
        out = FileTime{m_coarse.nMaxSec, 0};
    if (out.nSec < m_coarse.nMinSec)
        out = FileTime{m_coarse.nMinSec, 0};
    return out;
}

void FaultFileSystem::CoarsenAttr(FileAttr& attr) const noexcept {
    attr.ftAccess = Coarsen(attr.ftAccess);
    attr.ftWrite = Coarsen(attr.ftWrite);
    attr.ftChange = Coarsen(attr.ftChange);
    attr.nDevice = kCoarseDevice;
}

void FaultFileSystem::CoarsenStored(const std::string& strPath) {
    FileTime ftAccess;
    FileTime ftWrite;
    if (m_inner.GetTimes(strPath, &ftAccess, &ftWrite) == 0) {
        ftAccess = Coarsen(ftAccess);
        ftWrite = Coarsen(ftWrite);
        IgnoreFailure(m_inner.SetTimes(strPath, &ftAccess, &ftWrite));
    }
}

void FaultFileSystem::TakeSameTree(const std::string& strPath, FileAttr& attr) {
    for (const auto& [strAt, strSame] : m_sameTrees) {
        if (NormalizePath(strPath) != NormalizePath(strAt))
            continue;
        FileAttr attrSame;
        int nError = 0;
        if (m_inner.GetAttr(strSame, attrSame, nError) == AttrStatus::Ok) {
            attr.nDevice = attrSame.nDevice;
            attr.nInode = attrSame.nInode;
        }
    }
}

AttrStatus FaultFileSystem::GetAttr(const std::string& strPath, FileAttr& attr, int& nError) {
    if (const Fault* pFault = TakeFault(Op::GetAttr, strPath, {})) {
        nError = pFault->nErrno;
        Log(Op::GetAttr, strPath, nError);
        return AttrStatus::Error;
    }
    const AttrStatus status = m_inner.GetAttr(strPath, attr, nError);
    if (status == AttrStatus::Ok && IsCoarse(strPath))
        CoarsenAttr(attr);
    if (status == AttrStatus::Ok && !m_sameTrees.empty())
        TakeSameTree(strPath, attr);
    Log(Op::GetAttr, strPath,
        status == AttrStatus::Ok ? 0 : (status == AttrStatus::Absent ? -1 : nError));
    return status;
}

int FaultFileSystem::ListDir(const std::string& strPath, std::vector<DirEntry>& entries,
                             std::vector<std::string>* pStaleTemps) {
    if (const Fault* pFault = TakeFault(Op::ListDir, strPath, {})) {
        entries.clear();
        if (pStaleTemps)
            pStaleTemps->clear();
        return Log(Op::ListDir, strPath, pFault->nErrno);
    }
    const int nResult = m_inner.ListDir(strPath, entries, pStaleTemps);
    if (!m_sameTrees.empty()) {
        const std::string strPrefix = DirPrefix(strPath);
        for (DirEntry& entry : entries)
            TakeSameTree(strPrefix + entry.strName, entry.attr);
    }
    if (!m_strCoarse.empty()) {
        const std::string strPrefix = DirPrefix(strPath);
        for (DirEntry& entry : entries)
            if (IsCoarse(strPrefix + entry.strName))
                CoarsenAttr(entry.attr);
    }
    return Log(Op::ListDir, strPath, nResult);
}

FileResult FaultFileSystem::LogFile(Op op, const std::string& strPath, FileResult result) {
    Log(op, strPath, result.nError);
    return result;
}

template <class F>
FileResult FaultFileSystem::WriteUntilFull(const std::string& strTarget, std::string_view strPrefix,
                                           std::uint64_t nLimit, F&& fnRead) {
    // The product's own temporary: it is removed on the way out, as after any
    // failed write, since it is never committed.
    CReplaceFile temp(strTarget, strPrefix, true);
    if (const int nErr = temp.CreateFile(0600))
        return {FileStage::Create, nErr};
    std::string strChunk;
    for (std::uint64_t nDone = 0; nDone < nLimit;) {
        strChunk.clear();
        if (const int nErr = fnRead(nDone, nLimit - nDone, strChunk))
            return {FileStage::Read, nErr};
        if (strChunk.empty())
            break;
        if (const int nErr = WriteAll(temp.Fd(), strChunk))
            return {FileStage::Write, nErr};
        nDone += strChunk.size();
    }
    return {FileStage::Write, m_taken.nErrno};
}

int FaultFileSystem::CopyFile(const std::string& strFrom, const std::string& strTo,
                              const ExpectedTarget& expectSeen) {
    const Fault* pFault = TakeFault(Op::CopyFile, strFrom, strTo);
    // A target on the coarse file system was seen with its times cut: the
    // inner file system knows it by its own.
    ExpectedTarget expect = expectSeen;
    if (expect.eKind == ExpectedTarget::Kind::Same && IsCoarse(strTo)) {
        FileAttr attrNow;
        int nError = 0;
        if (m_inner.GetAttr(strTo, attrNow, nError) == AttrStatus::Ok) {
            FileAttr attrCut = attrNow;
            CoarsenAttr(attrCut);
            if (IsSameEntry(expect.attr, attrCut))
                expect.attr = attrNow;
        }
    }
    if (!pFault) {
        const int nResult = m_inner.CopyFile(strFrom, strTo, expect);
        if (nResult == 0 && IsCoarse(strTo))
            CoarsenStored(strTo);
        return Log(Op::CopyFile, strFrom, nResult, strTo);
    }
    if (!pFault->bPartial || !m_bOverDisk)
        return Log(Op::CopyFile, strFrom, pFault->nErrno, strTo);

    // A file shorter than the limit fits and is copied whole.
    struct stat st {};
    if (::lstat(strFrom.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uint64_t>(st.st_size) <= pFault->nAfterBytes)
        return Log(Op::CopyFile, strFrom, m_inner.CopyFile(strFrom, strTo, expect), strTo);

    UniqueFd fdIn(::open(strFrom.c_str(), O_RDONLY | O_CLOEXEC));
    if (fdIn.Get() < 0)
        return Log(Op::CopyFile, strFrom, errno, strTo);
    const FileResult result = WriteUntilFull(
        strTo, kCopyTempPrefix, pFault->nAfterBytes,
        [&](std::uint64_t, std::uint64_t nWant, std::string& strChunk) {
            strChunk.resize(static_cast<std::size_t>(std::min<std::uint64_t>(nWant, 65536)));
            const ssize_t n = ::read(fdIn.Get(), strChunk.data(), strChunk.size());
            if (n < 0)
                return errno;
            strChunk.resize(static_cast<std::size_t>(n));
            return 0;
        });
    return Log(Op::CopyFile, strFrom, result.nError, strTo);
}

FileResult FaultFileSystem::ReadFile(const std::string& strPath, std::string& data,
                                     std::size_t nMaxBytes) {
    if (const Fault* pFault = TakeFault(Op::ReadFile, strPath, {}))
        return LogFile(Op::ReadFile, strPath, {FileStage::Open, pFault->nErrno});
    return LogFile(Op::ReadFile, strPath, m_inner.ReadFile(strPath, data, nMaxBytes));
}

FileResult FaultFileSystem::WriteFile(const std::string& strPath, std::string_view data) {
    const Fault* pFault = TakeFault(Op::WriteFile, strPath, {});
    if (!pFault)
        return LogFile(Op::WriteFile, strPath, m_inner.WriteFile(strPath, data));
    if (!pFault->bPartial || !m_bOverDisk)
        return LogFile(Op::WriteFile, strPath, {FileStage::Create, pFault->nErrno});
    if (data.size() <= pFault->nAfterBytes)
        return LogFile(Op::WriteFile, strPath, m_inner.WriteFile(strPath, data));

    const FileResult result =
        WriteUntilFull(strPath, kSaveTempPrefix, pFault->nAfterBytes,
                       [&](std::uint64_t nDone, std::uint64_t nWant, std::string& strChunk) {
                           strChunk.assign(data.substr(static_cast<std::size_t>(nDone),
                                                       static_cast<std::size_t>(nWant)));
                           return 0;
                       });
    return LogFile(Op::WriteFile, strPath, result);
}

int FaultFileSystem::DeleteFile(const std::string& strPath) {
    if (const Fault* pFault = TakeFault(Op::DeleteFile, strPath, {}))
        return Log(Op::DeleteFile, strPath, pFault->nErrno);
    return Log(Op::DeleteFile, strPath, m_inner.DeleteFile(strPath));
}

namespace {

// What a fault on a trash call stands for; the mount point is the fault's
// pattern, so that the question is asked once for each pattern.
TrashResult TrashFault(const std::string& strPattern, int nErrno) {
    TrashStatus eStatus = TrashStatus::NoTrash;
    if (nErrno == EMLINK)
        eStatus = TrashStatus::NoHardLinks;
    else if (nErrno == EIO)
        eStatus = TrashStatus::Failed;
    return {eStatus, nErrno, strPattern, {}, {}};
}

} // namespace

TrashResult FaultFileSystem::MoveToTrash(const std::string& strPath) {
    if (const Fault* pFault = TakeFault(Op::MoveToTrash, strPath, {})) {
        Log(Op::MoveToTrash, strPath, pFault->nErrno);
        return TrashFault(pFault->strPattern, pFault->nErrno);
    }
    TrashResult result = m_inner.MoveToTrash(strPath);
    Log(Op::MoveToTrash, strPath, result.Ok() ? 0 : (result.nError != 0 ? result.nError : -1));
    return result;
}

TrashResult FaultFileSystem::KeepInTrash(const std::string& strPath) {
    if (const Fault* pFault = TakeFault(Op::KeepInTrash, strPath, {})) {
        Log(Op::KeepInTrash, strPath, pFault->nErrno);
        return TrashFault(pFault->strPattern, pFault->nErrno);
    }
    TrashResult result = m_inner.KeepInTrash(strPath);
    Log(Op::KeepInTrash, strPath, result.Ok() ? 0 : (result.nError != 0 ? result.nError : -1));
    return result;
}

int FaultFileSystem::DropFromTrash(const TrashResult& kept) {
    const std::string strPath = kept.strTrashDir + "/files/" + kept.strTrashName;
    if (const Fault* pFault = TakeFault(Op::DropFromTrash, strPath, {}))
        return Log(Op::DropFromTrash, strPath, pFault->nErrno);
    return Log(Op::DropFromTrash, strPath, m_inner.DropFromTrash(kept));
}

int FaultFileSystem::CreateDir(const std::string& strPath) {
    if (const Fault* pFault = TakeFault(Op::CreateDir, strPath, {}))
        return Log(Op::CreateDir, strPath, pFault->nErrno);
    return Log(Op::CreateDir, strPath, m_inner.CreateDir(strPath));
}

int FaultFileSystem::RemoveDir(const std::string& strPath) {
    if (const Fault* pFault = TakeFault(Op::RemoveDir, strPath, {}))
        return Log(Op::RemoveDir, strPath, pFault->nErrno);
    return Log(Op::RemoveDir, strPath, m_inner.RemoveDir(strPath));
}

int FaultFileSystem::GetTimes(const std::string& strPath, FileTime* pAccess, FileTime* pWrite) {
    if (const Fault* pFault = TakeFault(Op::GetTimes, strPath, {}))
        return Log(Op::GetTimes, strPath, pFault->nErrno);
    const int nResult = m_inner.GetTimes(strPath, pAccess, pWrite);
    if (nResult == 0 && IsCoarse(strPath)) {
        if (pAccess)
            *pAccess = Coarsen(*pAccess);
        if (pWrite)
            *pWrite = Coarsen(*pWrite);
    }
    return Log(Op::GetTimes, strPath, nResult);
}

int FaultFileSystem::SetTimes(const std::string& strPath, const FileTime* pAccess,
                              const FileTime* pWrite) {
    if (const Fault* pFault = TakeFault(Op::SetTimes, strPath, {}))
        return Log(Op::SetTimes, strPath, pFault->nErrno);
    const int nResult = m_inner.SetTimes(strPath, pAccess, pWrite);
    if (nResult == 0 && IsCoarse(strPath))
        CoarsenStored(strPath);
    return Log(Op::SetTimes, strPath, nResult);
}

int FaultFileSystem::SetMode(const std::string& strPath, std::uint32_t dwMode) {
    if (const Fault* pFault = TakeFault(Op::SetMode, strPath, {}))
        return Log(Op::SetMode, strPath, pFault->nErrno);
    return Log(Op::SetMode, strPath, m_inner.SetMode(strPath, dwMode));
}

int FaultFileSystem::RealPath(const std::string& strPath, std::string& strOut) {
    if (const Fault* pFault = TakeFault(Op::RealPath, strPath, {}))
        return Log(Op::RealPath, strPath, pFault->nErrno);
    return Log(Op::RealPath, strPath, m_inner.RealPath(strPath, strOut));
}

int FaultFileSystem::CountUnlisted(const std::string& strDir, std::size_t& nCount) {
    if (const Fault* pFault = TakeFault(Op::CountUnlisted, strDir, {})) {
        nCount = 0;
        return Log(Op::CountUnlisted, strDir, pFault->nErrno);
    }
    return Log(Op::CountUnlisted, strDir, m_inner.CountUnlisted(strDir, nCount));
}

} // namespace kovrel::platform
