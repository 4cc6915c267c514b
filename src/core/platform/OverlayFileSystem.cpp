#include "platform/OverlayFileSystem.h"

#include "platform/Path.h"
#include "platform/PosixFileSystem.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>

namespace kovrel::platform {

namespace {

FileTime Now() {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    return FileTime{static_cast<std::int64_t>(ns / 1'000'000'000),
                    static_cast<std::int32_t>(ns % 1'000'000'000)};
}

// Index of the entry named strName among the first nCount (sorted) entries, or
// nCount when there is none.
std::size_t FindSorted(const std::vector<DirEntry>& entries, std::size_t nCount,
                       std::string_view strName) {
    const auto itEnd = entries.begin() + static_cast<std::ptrdiff_t>(nCount);
    const auto it = std::lower_bound(entries.begin(), itEnd, strName,
                                     [](const DirEntry& e, std::string_view s) {
                                         return text::CompareFolded(e.strName, s) < 0;
                                     });
    return (it != itEnd && it->strName == strName) ? static_cast<std::size_t>(it - entries.begin())
                                                   : nCount;
}

} // namespace

OverlayFileSystem::OverlayFileSystem(FileSystem& lower) : m_lower(lower), m_dwNewDirMode(0700u) {}

bool OverlayFileSystem::IsRoot(const std::string& strNorm) noexcept {
    return strNorm == "/" || strNorm == ".";
}

void OverlayFileSystem::Split(const std::string& strNorm, std::string& strParent,
                              std::string& strName) {
    const PathParts parts = SplitPath(strNorm);
    strParent = parts.strParent;
    strName = parts.strName;
}

bool OverlayFileSystem::IsRecorded(const std::string& strNorm) const {
    if (IsRoot(strNorm))
        return false;
    std::string strParent, strName;
    Split(strNorm, strParent, strName);
    const auto itDir = m_dirs.find(strParent);
    return itDir != m_dirs.end() &&
           (itDir->second.bWhole || itDir->second.entries.count(strName) != 0);
}

std::size_t OverlayFileSystem::RecordCount() const noexcept {
    std::size_t n = 0;
    for (const auto& [strDir, dir] : m_dirs)
        n += dir.entries.size() + (dir.bWhole ? 1 : 0);
    return n;
}

AttrStatus OverlayFileSystem::Lookup(const std::string& strNorm, FileAttr& attr, int& nError) {
    if (strNorm.empty()) {
        nError = ENOENT;
        return AttrStatus::Error;
    }
    if (IsRoot(strNorm))
        return m_lower.GetAttr(strNorm, attr, nError);

    std::string strParent, strName;
    Split(strNorm, strParent, strName);
    if (const auto itDir = m_dirs.find(strParent); itDir != m_dirs.end()) {
        const DirState& dir = itDir->second;
        if (const auto itNode = dir.entries.find(strName); itNode != dir.entries.end()) {
            if (itNode->second.bPresent) {
                attr = itNode->second.attr;
                nError = 0;
                return AttrStatus::Ok;
            }
            return MissingIn(strParent, nError);
        }
        if (dir.bWhole)
            return MissingIn(strParent, nError);
    }

    // Untouched here: what is on disk holds. An entry that exists on disk cannot
    // sit below a directory removed here, since only empty directories go.
    const AttrStatus status = m_lower.GetAttr(strNorm, attr, nError);
    if (status == AttrStatus::Ok ||
        (status == AttrStatus::Error && nError != ENOENT && nError != ENOTDIR))
        return status;
    return MissingIn(strParent, nError);
}

AttrStatus OverlayFileSystem::MissingIn(const std::string& strParent, int& nError) {
    FileAttr attr;
    int nErr = 0;
    switch (Lookup(strParent, attr, nErr)) {
    case AttrStatus::Absent:
        nError = ENOENT;
        return AttrStatus::Error;
    case AttrStatus::Error:
        nError = nErr; // the first missing or wrong part further up
        return AttrStatus::Error;
    case AttrStatus::Ok:
        break;
    }
    if (attr.type == EntryType::Symlink && FollowLink(strParent, attr, nErr) != AttrStatus::Ok) {
        nError = nErr;
        return AttrStatus::Error;
    }
    if (attr.IsDirectory()) {
        nError = 0;
        return AttrStatus::Absent;
    }
    nError = ENOTDIR;
    return AttrStatus::Error;
}

AttrStatus OverlayFileSystem::FollowLink(const std::string& strNorm, FileAttr& attr, int& nError) {
    // A directory reached through a symbolic link holds entries too, so follow
    // it as the kernel would: the link and its target are those on disk (a link
    // copied here has no target known to the overlay and reads as dangling).
    std::string strReal;
    if (m_lower.RealPath(strNorm, strReal) == 0) {
        strReal = NormalizePath(strReal);
        if (strReal != strNorm) {
            const AttrStatus status = Lookup(strReal, attr, nError);
            if (status == AttrStatus::Ok && attr.type != EntryType::Symlink)
                return status;
        }
    }
    nError = ENOENT;
    return AttrStatus::Error;
}

bool OverlayFileSystem::NamesDirectory(std::string_view strPath) noexcept {
    return strPath.size() > 1 && strPath.back() == '/';
}

AttrStatus OverlayFileSystem::LookupPath(const std::string& strPath, std::string& strNorm,
                                         FileAttr& attr, int& nError) {
    strNorm = NormalizePath(strPath);
    AttrStatus status = Lookup(strNorm, attr, nError);
    if (status != AttrStatus::Ok || !NamesDirectory(strPath) || attr.IsDirectory())
        return status;
    // "name/" is only ever a directory, or a link that leads to one.
    if (attr.type == EntryType::Symlink) {
        status = FollowLink(strNorm, attr, nError);
        if (status != AttrStatus::Ok || attr.IsDirectory())
            return status;
    }
    nError = ENOTDIR;
    return AttrStatus::Error;
}

int OverlayFileSystem::LookupExisting(const std::string& strPath, bool bAsWritten,
                                      std::string& strNorm, FileAttr& attr) {
    int nError = 0;
    AttrStatus status;
    if (bAsWritten) {
        status = LookupPath(strPath, strNorm, attr, nError);
    } else {
        strNorm = NormalizePath(strPath);
        status = Lookup(strNorm, attr, nError);
    }
    switch (status) {
    case AttrStatus::Ok:
        return 0;
    case AttrStatus::Absent:
        return ENOENT;
    case AttrStatus::Error:
        break;
    }
    return nError;
}

AttrStatus OverlayFileSystem::GetAttr(const std::string& strPath, FileAttr& attr, int& nError) {
    std::string strNorm;
    return LookupPath(strPath, strNorm, attr, nError);
}

void OverlayFileSystem::Merge(const DirState& dir, std::vector<DirEntry>& entries,
                              std::vector<std::string>* pStaleTemps) const {
    const std::size_t nLower = entries.size(); // the sorted part from the disk
    std::vector<std::size_t> removed;
    for (const auto& [strName, node] : dir.entries) {
        const std::size_t nIndex = FindSorted(entries, nLower, strName);
        if (node.bPresent) {
            if (nIndex < nLower) {
                entries[nIndex].attr = node.attr;
            } else {
                DirEntry& added = entries.emplace_back();
                added.strName = strName;
                added.attr = node.attr;
            }
        } else if (nIndex < nLower) {
            removed.push_back(nIndex);
        }
    }
    const bool bAdded = entries.size() > nLower;
    if (!removed.empty()) {
        // Marked only now, with an empty name (a listing holds none), so that
        // the searches above saw a sorted list.
        for (const std::size_t nIndex : removed)
            entries[nIndex].strName.clear();
        std::erase_if(entries, [](const DirEntry& e) { return e.strName.empty(); });
    }
    if (bAdded)
        SortEntries(entries);
    if (pStaleTemps) {
        std::erase_if(*pStaleTemps, [&](const std::string& strName) {
            const auto it = dir.entries.find(strName);
            return it != dir.entries.end() && !it->second.bPresent;
        });
    }
}

int OverlayFileSystem::ListNormalized(const std::string& strNorm, std::vector<DirEntry>& entries,
                                      std::vector<std::string>* pStaleTemps) {
    entries.clear();
    if (pStaleTemps)
        pStaleTemps->clear();
    if (strNorm.empty())
        return ENOENT;

    if (!IsRoot(strNorm)) {
        std::string strParent, strName;
        Split(strNorm, strParent, strName);
        if (const auto itDir = m_dirs.find(strParent); itDir != m_dirs.end()) {
            const DirState& parent = itDir->second;
            const auto itNode = parent.entries.find(strName);
            if (itNode != parent.entries.end()) {
                if (!itNode->second.bPresent)
                    return ENOENT;
                if (!itNode->second.attr.IsDirectory())
                    return itNode->second.attr.type == EntryType::Symlink ? ENOENT : ENOTDIR;
            } else if (parent.bWhole) {
                return ENOENT;
            }
        }
    }

    const auto itSelf = m_dirs.find(strNorm);
    if (itSelf != m_dirs.end() && itSelf->second.bWhole) {
        for (const auto& [strName, node] : itSelf->second.entries) {
            if (!node.bPresent)
                continue;
            DirEntry& entry = entries.emplace_back();
            entry.strName = strName;
            entry.attr = node.attr;
        }
        SortEntries(entries);
        return 0;
    }

    if (const int nErr = m_lower.ListDir(strNorm, entries, pStaleTemps))
        return nErr;
    if (itSelf != m_dirs.end())
        Merge(itSelf->second, entries, pStaleTemps);
    return 0;
}

int OverlayFileSystem::ListDir(const std::string& strPath, std::vector<DirEntry>& entries,
                               std::vector<std::string>* pStaleTemps) {
    return ListNormalized(NormalizePath(strPath), entries, pStaleTemps);
}

void OverlayFileSystem::Record(const std::string& strNorm, const FileAttr& attr) {
    std::string strParent, strName;
    Split(strNorm, strParent, strName);
    Node& node = m_dirs[strParent].entries[strName];
    node.bPresent = true;
    node.attr = attr;
}

void OverlayFileSystem::Forget(const std::string& strNorm) {
    std::string strParent, strName;
    Split(strNorm, strParent, strName);
    DirState& dir = m_dirs[strParent];
    if (dir.bWhole)
        dir.entries.erase(strName); // nothing below to hide
    else
        dir.entries[strName] = Node{};
}

std::string OverlayFileSystem::FollowFileTop(const std::string& strPath) {
    const std::string strNorm = NormalizePath(strPath);
    if (strNorm.empty() || (strNorm != m_strTops[0] && strNorm != m_strTops[1]))
        return strPath;
    FileAttr attr;
    int nError = 0;
    if (Lookup(strNorm, attr, nError) != AttrStatus::Ok || attr.type != EntryType::Symlink)
        return strPath;
    std::string strReal;
    if (m_lower.RealPath(strNorm, strReal) != 0)
        return strPath;
    strReal = NormalizePath(strReal);
    if (Lookup(strReal, attr, nError) != AttrStatus::Ok || attr.type != EntryType::File)
        return strPath;
    return strReal;
}

int OverlayFileSystem::CopyFile(const std::string& strFromGiven, const std::string& strToGiven,
                                const ExpectedTarget& expect) {
    const std::string strFrom = FollowFileTop(strFromGiven);
    const std::string strTo = FollowFileTop(strToGiven);
    std::string strNormFrom;
    FileAttr attrFrom;
    if (const int nErr = LookupExisting(strFrom, true, strNormFrom, attrFrom))
        return nErr;
    if (attrFrom.IsDirectory())
        return EISDIR;
    if (attrFrom.type == EntryType::Other)
        return EINVAL;

    const std::string strNormTo = NormalizePath(strTo);
    FileAttr attrTo;
    int nErr = 0;
    const AttrStatus status = Lookup(strNormTo, attrTo, nErr);
    if (status == AttrStatus::Error)
        return nErr;
    if (status == AttrStatus::Ok && attrTo.IsDirectory())
        return EISDIR;
    if (NamesDirectory(strTo))
        return ENOTDIR; // the rename onto "name/" is refused
    if (IsRoot(strNormTo))
        return EBUSY;
    if (!expect.Holds(status == AttrStatus::Ok ? &attrTo : nullptr))
        return kErrTargetChanged;
    // Nothing moves, so the observer hears of the end alone; it may still stop
    // the copy there, as it could on the disk.
    if (attrFrom.type == EntryType::File && !CopyMayGoOn(attrFrom.nSize, attrFrom.nSize))
        return ECANCELED;
    Record(strNormTo, attrFrom);
    return 0;
}

int OverlayFileSystem::DeleteFile(const std::string& strPath) {
    std::string strNorm;
    FileAttr attr;
    if (const int nErr = LookupExisting(strPath, true, strNorm, attr))
        return nErr;
    if (attr.IsDirectory())
        return EISDIR;
    Forget(strNorm);
    return 0;
}

TrashResult OverlayFileSystem::ProbeLowerTrash(const std::string& strPath) {
    // A directory made by this run is not on the disk; it would lie on the
    // file system of the nearest directory above it that is.
    std::string strAt = strPath;
    for (;;) {
        TrashResult result = m_lower.ProbeTrash(strAt);
        if (result.eStatus != TrashStatus::Failed || result.nError != ENOENT)
            return result;
        std::string strParent = ParentPath(strAt);
        if (strParent == strAt)
            return result;
        strAt = std::move(strParent);
    }
}

TrashResult OverlayFileSystem::MoveToTrash(const std::string& strPath) {
    std::string strNorm;
    FileAttr attr;
    if (const int nErr = LookupExisting(strPath, true, strNorm, attr))
        return {TrashStatus::Failed, nErr, {}, {}, {}};
    // Where the real trash cannot be used, nothing moves: the run asks, then
    // deletes for good or leaves the entry, as it would on the disk.
    TrashResult result = ProbeLowerTrash(strPath);
    if (result.eStatus == TrashStatus::NoTrash)
        return result;
    const int nErr = DeleteFile(strPath);
    result.eStatus = nErr == 0 ? TrashStatus::Done : TrashStatus::Failed;
    result.nError = nErr;
    return result;
}

TrashResult OverlayFileSystem::KeepInTrash(const std::string& strPath) {
    std::string strNorm;
    FileAttr attr;
    if (const int nErr = LookupExisting(strPath, true, strNorm, attr))
        return {TrashStatus::Failed, nErr, {}, {}, {}};
    if (attr.IsDirectory())
        return {TrashStatus::Failed, EISDIR, {}, {}, {}};
    TrashResult result = ProbeLowerTrash(strPath);
    if (result.eStatus != TrashStatus::NoTrash) {
        result.eStatus = TrashStatus::Done;
        result.nError = 0;
    }
    return result;
}

int OverlayFileSystem::DropFromTrash(const TrashResult& kept) {
    return kept.Ok() ? 0 : EINVAL;
}

int OverlayFileSystem::CreateDir(const std::string& strPath) {
    const std::string strNorm = NormalizePath(strPath);
    FileAttr attr;
    int nErr = 0;
    switch (Lookup(strNorm, attr, nErr)) {
    case AttrStatus::Ok:
        return EEXIST;
    case AttrStatus::Error:
        return nErr;
    case AttrStatus::Absent:
        break;
    }
    attr = FileAttr{};
    attr.type = EntryType::Directory;
    attr.dwMode = m_dwNewDirMode;
    attr.ftAccess = attr.ftWrite = Now();
    Record(strNorm, attr);
    // Whatever the disk holds under this name (a directory removed here, say)
    // is not part of the new one.
    DirState& dir = m_dirs[strNorm];
    dir.bWhole = true;
    dir.entries.clear();
    return 0;
}

int OverlayFileSystem::RemoveDir(const std::string& strPath) {
    std::string strNorm;
    FileAttr attr;
    if (const int nErr = LookupExisting(strPath, false, strNorm, attr))
        return nErr;
    if (!attr.IsDirectory())
        return ENOTDIR;
    if (IsRoot(strNorm))
        return EBUSY;

    std::vector<DirEntry> entries;
    std::vector<std::string> staleTemps;
    if (const int nListErr = ListNormalized(strNorm, entries, &staleTemps))
        return nListErr;
    if (!entries.empty() || !staleTemps.empty())
        return ENOTEMPTY;
    const auto itSelf = m_dirs.find(strNorm);
    if (itSelf == m_dirs.end() || !itSelf->second.bWhole) {
        // A live run's copy temporary on disk is never listed, yet keeps rmdir from working.
        std::size_t nUnlisted = 0;
        if (m_lower.CountUnlisted(strNorm, nUnlisted) == 0 && nUnlisted > 0)
            return ENOTEMPTY;
    }

    Forget(strNorm);
    // An empty, whole marker: names below it now read as gone, disk or not.
    DirState& dir = m_dirs[strNorm];
    dir.bWhole = true;
    dir.entries.clear();
    return 0;
}

int OverlayFileSystem::GetTimes(const std::string& strPath, FileTime* pAccess, FileTime* pWrite) {
    std::string strNorm;
    FileAttr attr;
    if (const int nErr = LookupExisting(strPath, true, strNorm, attr))
        return nErr;
    TakeTimes(attr, pAccess, pWrite);
    return 0;
}

int OverlayFileSystem::SetTimes(const std::string& strPath, const FileTime* pAccess,
                                const FileTime* pWrite) {
    std::string strNorm;
    FileAttr attr;
    if (const int nErr = LookupExisting(strPath, true, strNorm, attr))
        return nErr;
    if (!pAccess && !pWrite)
        return 0;
    if (pAccess)
        attr.ftAccess = *pAccess;
    if (pWrite)
        attr.ftWrite = *pWrite;
    if (!IsRoot(strNorm))
        Record(strNorm, attr);
    return 0;
}

int OverlayFileSystem::SetMode(const std::string& strPath, std::uint32_t dwMode) {
    std::string strNorm;
    FileAttr attr;
    if (const int nErr = LookupExisting(strPath, true, strNorm, attr))
        return nErr;
    if (attr.type == EntryType::Symlink || attr.dwMode == (dwMode & 07777u))
        return 0;
    attr.dwMode = dwMode & 07777u;
    if (!IsRoot(strNorm))
        Record(strNorm, attr);
    return 0;
}

int OverlayFileSystem::RealPath(const std::string& strPath, std::string& strOut) {
    // Directories created here do not exist below; the lower one appends such
    // parts as written, which is what they will be.
    return m_lower.RealPath(strPath, strOut);
}

int OverlayFileSystem::CountUnlisted(const std::string& strDir, std::size_t& nCount) {
    nCount = 0;
    std::string strNorm;
    FileAttr attr;
    if (const int nErr = LookupExisting(strDir, false, strNorm, attr))
        return nErr;
    if (!attr.IsDirectory())
        return ENOTDIR;
    if (const auto it = m_dirs.find(strNorm); it != m_dirs.end() && it->second.bWhole)
        return 0;
    return m_lower.CountUnlisted(strNorm, nCount);
}

int OverlayFileSystem::CompareFiles(const std::string& strPath1, const std::string& strPath2,
                                    bool& bSame) {
    bSame = false;
    // As ReadFile: only files the run has not touched are on the disk as seen.
    for (const std::string* pPath : {&strPath1, &strPath2}) {
        std::string strNorm;
        FileAttr attr;
        if (const int nErr = LookupExisting(*pPath, true, strNorm, attr))
            return nErr;
        if (attr.IsDirectory())
            return EINVAL;
        if (IsRecorded(strNorm))
            return EIO;
    }
    return m_lower.CompareFiles(strPath1, strPath2, bSame);
}

FileResult OverlayFileSystem::ReadFile(const std::string& strPath, std::string& data,
                                       std::size_t nMaxBytes) {
    std::string strNorm;
    FileAttr attr;
    if (const int nErr = LookupExisting(strPath, true, strNorm, attr))
        return {FileStage::Open, nErr};
    if (attr.IsDirectory())
        return {FileStage::Read, EISDIR};
    // The overlay keeps no contents: a file it has not touched is read from the
    // disk; one the run has replaced or made cannot be read before it exists.
    if (IsRecorded(strNorm))
        return {FileStage::Read, EIO};
    return m_lower.ReadFile(strPath, data, nMaxBytes);
}

FileResult OverlayFileSystem::WriteFile(const std::string& strPath, std::string_view data) {
    // A dry run writes no file of its own, and nothing else writes through it.
    (void)strPath;
    (void)data;
    return {FileStage::Create, EROFS};
}

} // namespace kovrel::platform
