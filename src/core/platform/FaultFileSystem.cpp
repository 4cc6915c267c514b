#include "platform/FaultFileSystem.h"

#include "platform/PosixFileSystem.h"

#include <algorithm>
#include <utility>

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

AttrStatus FaultFileSystem::GetAttr(const std::string& strPath, FileAttr& attr, int& nError) {
    if (const Fault* pFault = TakeFault(Op::GetAttr, strPath, {})) {
        nError = pFault->nErrno;
        Log(Op::GetAttr, strPath, nError);
        return AttrStatus::Error;
    }
    const AttrStatus status = m_inner.GetAttr(strPath, attr, nError);
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
    return Log(Op::ListDir, strPath, m_inner.ListDir(strPath, entries, pStaleTemps));
}

int FaultFileSystem::CopyFile(const std::string& strFrom, const std::string& strTo) {
    const Fault* pFault = TakeFault(Op::CopyFile, strFrom, strTo);
    if (!pFault)
        return Log(Op::CopyFile, strFrom, m_inner.CopyFile(strFrom, strTo), strTo);

    auto* pPosix = dynamic_cast<PosixFileSystem*>(&m_inner);
    if (!pFault->bPartial || !pPosix)
        return Log(Op::CopyFile, strFrom, pFault->nErrno, strTo);

    // Let the real copy write up to the limit, then refuse the next byte.
    const std::uint64_t nLimit = pFault->nAfterBytes;
    const int nErrno = pFault->nErrno;
    pPosix->SetCopyChunkHook(
        [nLimit, nErrno](const std::string&, std::uint64_t nDone, std::size_t& nChunk) {
            if (nDone >= nLimit)
                return nErrno;
            nChunk = static_cast<std::size_t>(std::min<std::uint64_t>(nChunk, nLimit - nDone));
            return 0;
        });
    struct HookReset {
        PosixFileSystem* pFs;
        ~HookReset() { pFs->SetCopyChunkHook({}); }
    } reset{pPosix};
    // A file shorter than the limit fits and is copied whole.
    const int nResult = pPosix->CopyFile(strFrom, strTo);
    return Log(Op::CopyFile, strFrom, nResult, strTo);
}

int FaultFileSystem::DeleteFile(const std::string& strPath) {
    if (const Fault* pFault = TakeFault(Op::DeleteFile, strPath, {}))
        return Log(Op::DeleteFile, strPath, pFault->nErrno);
    return Log(Op::DeleteFile, strPath, m_inner.DeleteFile(strPath));
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
    return Log(Op::GetTimes, strPath, m_inner.GetTimes(strPath, pAccess, pWrite));
}

int FaultFileSystem::SetTimes(const std::string& strPath, const FileTime* pAccess,
                              const FileTime* pWrite) {
    if (const Fault* pFault = TakeFault(Op::SetTimes, strPath, {}))
        return Log(Op::SetTimes, strPath, pFault->nErrno);
    return Log(Op::SetTimes, strPath, m_inner.SetTimes(strPath, pAccess, pWrite));
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
