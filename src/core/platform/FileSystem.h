// The engine and the document touch the disk only through this interface: the
// POSIX implementation does the real work, the overlay one lets a dry run see its
// own earlier actions without changing anything, and the tests' fault-injecting
// one makes failures that root cannot provoke with permission bits.
//
// Every call reports its result and none may be dropped unseen; where a caller
// goes on whatever happens (putting a mode or a time back after a failure), it
// says so with IgnoreFailure (platform/IgnoreFailure.h).
//
// One result shape per kind of answer; a new call takes the shape of its kind,
// and nothing here answers with a bool or -1:
// - An operation that either happens or fails: int, 0 or the errno value
//   (ListDir, CopyFile, DeleteFile, CreateDir, RemoveDir, GetTimes, SetTimes,
//   SetMode, RealPath, CountUnlisted). What it yields goes to out-parameters,
//   which are meaningful only on 0.
// - A look at an entry, whose answer has more outcomes than success and failure
//   (there, absent, could not be looked at): an enum status, the errno value in
//   an out-parameter that is 0 unless the status is an error (GetAttr and
//   AttrStatus).
// - A whole-file read or write, failing at stages that the caller reports in
//   different words: FileResult, the stage and the errno value.
// - What a device keeps of a time, which cannot fail (an unknown device is
//   exact): the value itself (GetTimeInfo, TimeInfo).
// - A move into the trash, whose failures the caller answers differently (no
//   trash on this file system, no hard links, this one entry failed):
//   TrashResult, a status, the errno value and where it happened.
#pragma once

#include "platform/IgnoreFailure.h"
#include "text/Utf8.h"

#include <algorithm>
#include <cerrno>
#include <climits>
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
    // Set by the kernel alone: its nanoseconds tell a whole-second file system.
    FileTime ftChange;
    std::uint64_t nDevice = 0; // the file system it lies on
    std::uint64_t nInode = 0;  // the entry's number on that file system

    bool IsDirectory() const noexcept { return type == EntryType::Directory; }
    // The read-only attribute is the owner-write bit.
    bool IsReadOnly() const noexcept { return (dwMode & 0200u) == 0; }
};

// Copies the entry's times to where the pointers point; a null one is skipped.
inline void TakeTimes(const FileAttr& attr, FileTime* pAccess, FileTime* pWrite) noexcept {
    if (pAccess)
        *pAccess = attr.ftAccess;
    if (pWrite)
        *pWrite = attr.ftWrite;
}

struct DirEntry {
    std::string strName;
    FileAttr attr;
};

enum class AttrStatus { Ok, Absent, Error };

// Whether an entry is still the one a caller looked at: the same kind of entry,
// the same file (device and inode), the same size and write time. Permission
// bits and the change time are left out: the pass itself lends a read-only file
// its write bit before it replaces or deletes it.
inline bool IsSameEntry(const FileAttr& seen, const FileAttr& now) noexcept {
    return seen.type == now.type && seen.nDevice == now.nDevice && seen.nInode == now.nInode &&
           seen.nSize == now.nSize && seen.ftWrite == now.ftWrite;
}

// What a copy expects at its target when it takes the target's place: the
// caller decided on what it saw there, and a target that has changed since
// (a user's edit saved meanwhile) must be kept.
struct ExpectedTarget {
    enum class Kind : std::uint8_t {
        Anything, // whatever is there is replaced
        Absent,   // nothing may be there: an entry that appeared is never replaced
        Same,     // the entry attr describes (IsSameEntry) must still be there
    };
    Kind eKind = Kind::Anything;
    FileAttr attr; // Same only

    static ExpectedTarget Anything() noexcept { return {}; }
    static ExpectedTarget None() noexcept { return {Kind::Absent, {}}; }
    static ExpectedTarget SameAs(const FileAttr& attrSeen) noexcept {
        return {Kind::Same, attrSeen};
    }
    // Target absent (null) or as seen.
    static ExpectedTarget Of(const FileAttr* pSeen) noexcept {
        return pSeen ? SameAs(*pSeen) : None();
    }
    // True when the target as it is now (null: absent) may be replaced.
    bool Holds(const FileAttr* pNow) const noexcept {
        switch (eKind) {
        case Kind::Anything:
            return true;
        case Kind::Absent:
            return pNow == nullptr;
        case Kind::Same:
            return pNow != nullptr && IsSameEntry(attr, *pNow);
        }
        return false;
    }
};

// What a copy returns when its target is no longer what the caller expected
// (ExpectedTarget): nothing was replaced and no temporary is left. ESTALE, as
// what the caller knows of the target has gone stale.
inline constexpr int kErrTargetChanged = ESTALE;

// Temporary files of a copy in progress carry this prefix in the target's
// directory, followed by the machine, the boot and the process that made them
// (CopyTempName), so a later run can tell an abandoned one from a live one.
inline constexpr std::string_view kCopyTempPrefix = ".kovrel-copy~";

// The parts of a temporary's name after its prefix:
// <16 hex: machine>-<32 hex: boot>-<pid>-<counter>, lower-case hex, decimal
// numbers without leading zeros.
struct CopyTempName {
    std::string_view strHost;
    std::string_view strBoot;
    std::uint64_t nPid = 0;
};
// True when strName is exactly prefix + that form; fills parts.
bool ParseCopyTempName(std::string_view strName, std::string_view strPrefix,
                       CopyTempName& parts) noexcept;
// True for a name of the exact form a copy gives its temporary.
inline bool IsCopyTempName(std::string_view strName) noexcept {
    CopyTempName parts;
    return ParseCopyTempName(strName, kCopyTempPrefix, parts);
}

// What a file system keeps of a time, as far as it can be known without writing
// anything: its granularity (1 ns, 1 s, FAT's 2 s) and the range of seconds it
// can hold; a time outside is stored clamped to the nearest end (give or take
// nRangeSlackSec where the file system keeps local time).
struct TimeInfo {
    std::int64_t nGrainNs = 1;
    std::int64_t nMinSec = INT64_MIN;
    std::int64_t nMaxSec = INT64_MAX;
    std::int64_t nRangeSlackSec = 0;
    bool IsExact() const noexcept {
        return nGrainNs == 1 && nMinSec == INT64_MIN && nMaxSec == INT64_MAX;
    }
};

// Where a whole-file read or write stopped.
enum class FileStage : std::uint8_t {
    Done,     // nothing failed
    Open,     // the file could not be opened (errno)
    NotAFile, // a FIFO, device or socket: never read (errno 0)
    Read,     // reading failed (errno; EISDIR for a directory)
    Create,   // the temporary beside the file could not be made (errno)
    Write,    // writing, flushing or closing the temporary failed (errno)
    Rename,   // the temporary could not take the file's place (errno)
    TooLarge, // the file holds more than the reader's limit: not read (EFBIG)
};

struct FileResult {
    FileStage eStage = FileStage::Done;
    int nError = 0;
    bool Ok() const noexcept { return eStage == FileStage::Done; }
};

// Told how a file copy goes, between the chunks of its data, and asked whether
// it is to go on. A chunk is small enough that the calls come at least every
// tenth of a second or so while data is moving.
class ICopyObserver {
public:
    virtual ~ICopyObserver() = default;
    // nDone of the nTotal bytes of the file's data are written (nDone equals
    // nTotal once at the end of each copied file). False abandons the copy:
    // CopyFile returns ECANCELED, its temporary is removed and the target stays
    // as it was.
    virtual bool OnCopyProgress(std::uint64_t nDone, std::uint64_t nTotal) = 0;
};

// What became of an entry that was to go to the trash. Whatever the status,
// only Done changed anything on the disk.
enum class TrashStatus : std::uint8_t {
    Done,        // in the trash, with the .trashinfo that lets it be restored
    NoTrash,     // this file system has no usable trash (read-only, a network
                 // share, the trash directory cannot be made): nError says why
    NoHardLinks, // KeepInTrash only: the file system makes no hard links, so the
                 // old version can only be kept by moving it (just before the replace)
    Failed,      // a trash is there, but this entry could not go in (nError)
};

struct TrashResult {
    TrashStatus eStatus = TrashStatus::Done;
    int nError = 0;
    // The mount point of the entry's file system: the caller asks and reports
    // "no trash" once for each. Set whenever it was found.
    std::string strMountPoint;
    // The trash directory used (or found unusable), and the entry's name in its
    // files/ directory (Done only).
    std::string strTrashDir;
    std::string strTrashName;
    bool Ok() const noexcept { return eStatus == TrashStatus::Done; }
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // The observer every later CopyFile reports to (null: none). Not owned; it
    // must outlive its use. A file system that wraps another hands it on.
    virtual void SetCopyObserver(ICopyObserver* pObserver) noexcept { m_pCopyObserver = pObserver; }
    ICopyObserver* GetCopyObserver() const noexcept { return m_pCopyObserver; }

    // Attributes of the entry itself (symbolic links are not followed).
    // Absent: ENOENT while the parent directory exists. ENOENT because a parent is
    // missing, ENOTDIR and every other failure: Error, with errno in nError.
    [[nodiscard]] virtual AttrStatus GetAttr(const std::string& strPath, FileAttr& attr,
                                             int& nError) = 0;

    // The pass is about to work below these two tops (an item's two top
    // directories; either may be empty). Below them a file system that can do so
    // refuses to follow a symbolic link in any component, even one that appears
    // while the run goes on: such a path fails (ELOOP or ENOTDIR) instead of
    // reaching outside the tree. The tops themselves are taken as before. Two
    // empty tops end the run: what was learnt about the devices is forgotten.
    virtual void SetTops(const std::string& strTop1, const std::string& strTop2) {
        (void)strTop1;
        (void)strTop2;
    }

    // What the file system of a device (FileAttr::nDevice) keeps of a time, as
    // far as its type tells; exact by default.
    [[nodiscard]] virtual TimeInfo GetTimeInfo(std::uint64_t nDevice) {
        (void)nDevice;
        return {};
    }

    // Every entry of a directory except "." and "..", with its lstat attributes,
    // sorted by text::CompareFolded. FIFOs, sockets and devices are listed as
    // EntryType::Other (never opened; the caller leaves them alone).
    // Trash directories (IsTrashDirEntry in platform/Trash.h) are not entries.
    // Temporary copy files (IsCopyTempName, regular files) are not entries: the
    // names of those provably abandoned (made on this machine by a process no
    // longer running) go to *pStaleTemps when it is given, so the caller can
    // clear them away; those of a live run or another machine are left out and
    // alone. Anything else is an entry, however its name looks. Both vectors are
    // filled afresh (emptied first, also on failure).
    // Returns 0 or errno.
    [[nodiscard]] virtual int ListDir(const std::string& strPath, std::vector<DirEntry>& entries,
                                      std::vector<std::string>* pStaleTemps = nullptr) = 0;

    // Whole-file copy that overwrites strTo: contents (or, for a symbolic link,
    // the link itself), permission bits, access and write times. Written to a
    // temporary file beside strTo and renamed over it, so a failure leaves the old
    // target untouched and no temporary behind. The rename happens only while
    // the target is what expect says; otherwise the temporary goes and the
    // result is kErrTargetChanged (an absent target is taken by a rename that
    // never replaces, so one that appears at the last moment is kept too). The
    // copy observer hears of its progress and can abandon it (ECANCELED).
    // Returns 0 or errno.
    [[nodiscard]] virtual int CopyFile(const std::string& strFrom, const std::string& strTo,
                                       const ExpectedTarget& expect = {}) = 0;

    [[nodiscard]] virtual int DeleteFile(const std::string& strPath) = 0;
    // Creates one directory (the parent must exist), for its owner alone (0700):
    // the caller gives it its final bits once it has filled it.
    [[nodiscard]] virtual int CreateDir(const std::string& strPath) = 0;
    // Removes one empty directory.
    [[nodiscard]] virtual int RemoveDir(const std::string& strPath) = 0;

    // Times of the entry itself; a null pointer is not read or not changed.
    [[nodiscard]] virtual int GetTimes(const std::string& strPath, FileTime* pAccess,
                                       FileTime* pWrite) = 0;
    [[nodiscard]] virtual int SetTimes(const std::string& strPath, const FileTime* pAccess,
                                       const FileTime* pWrite) = 0;

    // Sets the permission bits (07777). A symbolic link has none: succeeds, does nothing.
    [[nodiscard]] virtual int SetMode(const std::string& strPath, std::uint32_t dwMode) = 0;

    // The path with every existing leading part resolved (symbolic links, "." and
    // ".."), the rest appended as written. Returns 0 or errno.
    [[nodiscard]] virtual int RealPath(const std::string& strPath, std::string& strOut) = 0;

    // The names of the abandoned copy temporaries in a directory, as ListDir
    // reports them in *pStaleTemps, without the rest of the listing (the
    // directory of a single file may be large). Filled afresh. Returns 0 or errno.
    [[nodiscard]] virtual int ListStaleTemps(const std::string& strDir,
                                             std::vector<std::string>& staleTemps) {
        std::vector<DirEntry> entries;
        return ListDir(strDir, entries, &staleTemps);
    }

    // How many entries of a directory ListDir leaves out: trash directories and
    // the copy temporaries of live runs or other machines (stale ones are not
    // counted: ListDir reports those). They keep a directory from being removed, so a dry run
    // needs to know of them. Implementations without such entries keep this
    // default. Returns 0 or errno.
    [[nodiscard]] virtual int CountUnlisted(const std::string& strDir, std::size_t& nCount) {
        (void)strDir;
        nCount = 0;
        return 0;
    }

    // Moves a file, a symbolic link or a whole directory (as one entry) into the
    // trash of its file system. Below the tops no link is followed on the way.
    // A file system without a trash keeps this default.
    [[nodiscard]] virtual TrashResult MoveToTrash(const std::string& strPath) {
        (void)strPath;
        return {TrashStatus::NoTrash, ENOTSUP, {}, {}, {}};
    }

    // Keeps the present version of a file (or symbolic link) in the trash by a
    // hard link, the entry itself staying where it is, so that a replace by
    // rename afterwards leaves the old version restorable.
    [[nodiscard]] virtual TrashResult KeepInTrash(const std::string& strPath) {
        (void)strPath;
        return {TrashStatus::NoTrash, ENOTSUP, {}, {}, {}};
    }

    // Whether MoveToTrash would find a usable trash for strPath's file system,
    // learnt without making or writing anything (what a dry run predicts):
    // Done, or NoTrash with the reason and the mount point as MoveToTrash would
    // give them. The entry itself need not exist, its directory must (else
    // Failed with the errno).
    [[nodiscard]] virtual TrashResult ProbeTrash(const std::string& strPath) {
        (void)strPath;
        return {TrashStatus::NoTrash, ENOTSUP, {}, {}, {}};
    }

    // Takes a kept version out of the trash again (its entry and .trashinfo),
    // for a replace that did not happen after all. 0 or errno.
    [[nodiscard]] virtual int DropFromTrash(const TrashResult& kept) {
        (void)kept;
        return ENOTSUP;
    }

    // The whole contents of a regular file (a symbolic link is followed). A FIFO,
    // device or socket is not read at all (NotAFile), and opening one never
    // blocks. A file of more than nMaxBytes is refused (TooLarge) without taking
    // memory for it, also one that grows past the limit while it is read. On
    // failure data is left as it was.
    [[nodiscard]] virtual FileResult ReadFile(const std::string& strPath, std::string& data,
                                              std::size_t nMaxBytes) = 0;

    // Whether two regular files hold the same bytes, read side by side in
    // chunks (any size, little memory). Below the tops no link is followed. 0
    // with bSame set, or errno (EINVAL: one of them is no regular file); a file
    // system that cannot tell says ENOTSUP.
    [[nodiscard]] virtual int CompareFiles(const std::string& strPath1, const std::string& strPath2,
                                           bool& bSame) {
        (void)strPath1;
        (void)strPath2;
        bSame = false;
        return ENOTSUP;
    }

    // Replaces the contents of a file with data, as a careful save does: written
    // to a temporary beside the file, flushed to the disk, then renamed over it,
    // so a failure leaves the old file as it was and no temporary behind. An
    // existing file keeps its permission bits, a new one gets 0666 less the
    // umask; a symbolic link keeps pointing at the file, which is replaced where
    // it lies.
    [[nodiscard]] virtual FileResult WriteFile(const std::string& strPath,
                                               std::string_view data) = 0;

protected:
    // Whether a copy may go on after nDone of nTotal bytes.
    bool CopyMayGoOn(std::uint64_t nDone, std::uint64_t nTotal) {
        return !m_pCopyObserver || m_pCopyObserver->OnCopyProgress(nDone, nTotal);
    }

private:
    ICopyObserver* m_pCopyObserver = nullptr;
};

// The listing order: text::CompareFolded on the names.
inline bool EntryLess(const DirEntry& a, const DirEntry& b) noexcept {
    return text::CompareFolded(a.strName, b.strName) < 0;
}
inline void SortEntries(std::vector<DirEntry>& entries) {
    std::sort(entries.begin(), entries.end(), EntryLess);
}

} // namespace kovrel::platform
