// The engine touches the disk only through this interface: the POSIX
// implementation does the real work, the fault-injecting one makes failures that
// root cannot provoke with permission bits, and the overlay one lets a dry run see
// its own earlier actions without changing anything.
#pragma once

#include "text/Utf8.h"

#include <algorithm>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kovrel::platform {

// A file time to the nanosecond; compared exactly.
struct FileTime {
    std::int64_t nSec = 0;
    std::int32_t nNsec = 0;
    friend auto operator<=>(const FileTime&, const FileTime&) = default;
};

enum class EntryType : std::uint8_t { File, Directory, Symlink, Other };

// What the pass needs to know of an entry: its own (lstat) attributes.
struct FileAttr {
    EntryType type = EntryType::File;
    std::uint32_t dwMode = 0; // permission bits, 07777
    std::uint64_t nSize = 0;
    FileTime ftAccess;
    FileTime ftWrite;

    bool IsDirectory() const noexcept { return type == EntryType::Directory; }
    // The read-only attribute is the owner-write bit.
    bool IsReadOnly() const noexcept { return (dwMode & 0200u) == 0; }
};

struct DirEntry {
    std::string strName;
    FileAttr attr;
};

enum class AttrStatus { Ok, Absent, Error };

// Temporary files of a copy in progress carry this prefix in the target's directory.
inline constexpr std::string_view kCopyTempPrefix = ".kovrel-copy~";
inline bool IsCopyTempName(std::string_view strName) noexcept {
    return strName.substr(0, kCopyTempPrefix.size()) == kCopyTempPrefix;
}

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Attributes of the entry itself (symbolic links are not followed).
    // Absent: ENOENT while the parent directory exists. ENOENT because a parent is
    // missing, ENOTDIR and every other failure: Error, with errno in nError.
    virtual AttrStatus GetAttr(const std::string& strPath, FileAttr& attr, int& nError) = 0;

    // Every entry of a directory except "." and "..", with its lstat attributes,
    // sorted by text::CompareFolded. FIFOs, sockets and devices are left out.
    // Temporary copy files (IsCopyTempName) are not entries: their names go to
    // *pStaleTemps when it is given, so the caller can clear them away. Both
    // vectors are filled afresh (emptied first, also on failure).
    // Returns 0 or errno.
    virtual int ListDir(const std::string& strPath, std::vector<DirEntry>& entries,
                        std::vector<std::string>* pStaleTemps = nullptr) = 0;

    // Whole-file copy that overwrites strTo: contents (or, for a symbolic link,
    // the link itself), permission bits, access and write times. Written to a
    // temporary file beside strTo and renamed over it, so a failure leaves the old
    // target untouched and no temporary behind. Returns 0 or errno.
    virtual int CopyFile(const std::string& strFrom, const std::string& strTo) = 0;

    virtual int DeleteFile(const std::string& strPath) = 0;
    // Creates one directory (the parent must exist), writable by its owner.
    virtual int CreateDir(const std::string& strPath) = 0;
    // Removes one empty directory.
    virtual int RemoveDir(const std::string& strPath) = 0;

    // Times of the entry itself; a null pointer is not read or not changed.
    virtual int GetTimes(const std::string& strPath, FileTime* pAccess, FileTime* pWrite) = 0;
    virtual int SetTimes(const std::string& strPath, const FileTime* pAccess,
                         const FileTime* pWrite) = 0;

    // Sets the permission bits (07777). A symbolic link has none: succeeds, does nothing.
    virtual int SetMode(const std::string& strPath, std::uint32_t dwMode) = 0;

    // The path with every existing leading part resolved (symbolic links, "." and
    // ".."), the rest appended as written. Returns 0 or errno.
    virtual int RealPath(const std::string& strPath, std::string& strOut) = 0;

    // How many entries of a directory ListDir leaves out as FIFOs, sockets or
    // devices (temporary copy files are not counted: ListDir reports those). They
    // keep a directory from being removed, so a dry run needs to know of them.
    // Implementations without such entries keep this default. Returns 0 or errno.
    virtual int CountUnlisted(const std::string& strDir, std::size_t& nCount) {
        (void)strDir;
        nCount = 0;
        return 0;
    }
};

// The listing order: text::CompareFolded on the names.
inline bool EntryLess(const DirEntry& a, const DirEntry& b) noexcept {
    return text::CompareFolded(a.strName, b.strName) < 0;
}
inline void SortEntries(std::vector<DirEntry>& entries) {
    std::sort(entries.begin(), entries.end(), EntryLess);
}

} // namespace kovrel::platform
