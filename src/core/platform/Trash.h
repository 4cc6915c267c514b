// The desktop's trash (the freedesktop.org layout): every file system has one
// place where deleted files wait until the user empties them or puts them
// back, each with a .trashinfo file saying where it came from and when.
//
// - The home trash, $XDG_DATA_HOME/Trash, takes the files of its own file system.
// - Any other file system keeps its trash at its mount point ($topdir): in
//   $topdir/.Trash/$uid where an administrator made $topdir/.Trash (a real
//   directory with the sticky bit), else in $topdir/.Trash-$uid.
// - Each trash holds files/NAME (the entry itself) and info/NAME.trashinfo.
//
// $topdir comes from the mount table, never from device numbers alone: a bind
// mount shares its device with the file system it shows, and a rename out of
// it into the other mount's trash fails however equal the devices look.
#pragma once

#include "platform/FileSystem.h"
#include "platform/PosixFile.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kovrel::platform {

// One line of /proc/self/mountinfo.
struct MountEntry {
    int nMountId = 0;
    std::string strMountPoint; // unescaped ("\040" is a space)
    std::string strFsType;     // "ext4", "nfs4", "fuse.sshfs", ...
    std::string strSource;
    bool bReadOnly = false; // mounted read-only (this mount or its super block)
};

// The lines of a mountinfo text; malformed lines are passed over.
std::vector<MountEntry> ParseMountInfo(std::string_view strText);

// The mount an absolute, resolved path lies on: the one whose mount point is the
// path's longest whole-component prefix ("/mnt/a" holds "/mnt/a/x" but not
// "/mnt/ab"); of several mounts on one point the last, which hides the others.
// Null when none holds it (a table without "/").
const MountEntry* FindMount(const std::vector<MountEntry>& mounts, std::string_view strRealPath);

// True for file system types that reach another machine (nfs, cifs, sshfs...):
// their trash would live on the server, shared with whoever else mounts it.
bool IsNetworkFsType(std::string_view strFsType);

// Path= of a .trashinfo: every byte but the unreserved ASCII ones
// (A-Z a-z 0-9 - . _ ~) and "/" written as %XX with upper-case hex digits.
std::string PercentEncodePath(std::string_view strPath);
// The reverse; false for a broken escape.
bool PercentDecodePath(std::string_view strEncoded, std::string& strOut);

// DeletionDate= of a .trashinfo: the local time as YYYY-MM-DDThh:mm:ss.
std::string FormatDeletionDate(std::time_t nTime);

// The whole text of a .trashinfo file.
std::string TrashInfoText(std::string_view strPath, std::time_t nDeleted);

// True for a directory entry that is some user's trash on this file system: a
// directory named ".Trash-<uid>" (any user's), or ".Trash" with the sticky bit
// (the shared one an administrator makes). A listing leaves them out: they are
// neither copied nor deleted by a run. A ".Trash" without the sticky bit is no
// trash (it would never be used as one) and stays an ordinary entry.
bool IsTrashDirEntry(std::string_view strName, EntryType type, std::uint32_t dwMode) noexcept;

// Where the trash of this process is: the home trash's location, the user whose
// trash directories are used, and the mount table. Tests put their own here.
struct TrashEnv {
    std::string strDataHome; // $XDG_DATA_HOME, absolute; the home trash is its "Trash"
    std::uint32_t nUid = 0;
    std::function<std::string()> fnReadMountInfo; // the text of /proc/self/mountinfo
    // How a kept version's hard link is made: linkat(2) when empty. Tests stand
    // in a file system without hard links (FAT) here. 0 or errno.
    std::function<int(int fdFrom, const char* lpszFrom, int fdTo, const char* lpszTo)> fnLink;

    // This process's: $XDG_DATA_HOME when absolute, else $HOME/.local/share (the
    // password database's home when HOME is unset), the effective user id, and
    // /proc/self/mountinfo.
    static TrashEnv FromProcess();
};

// Finds, makes and fills the trash directories of the file systems a run
// meets. What it learnt (the mount table, each trash directory held open, or
// why a file system has none) is kept until Reset, so deleting many files pays
// for it once.
class CTrash {
public:
    explicit CTrash(TrashEnv env);
    CTrash(const CTrash&) = delete;
    CTrash& operator=(const CTrash&) = delete;
    ~CTrash();

    // Forgets everything learnt: the mount table is read again at the next call.
    void Reset();

    // Moves the entry strName of the directory fdDir into the trash by rename.
    // strRealDir is that directory's absolute path with every link resolved
    // (where the file system lies, what Path= says); strDirPath names the
    // directory for a permission grant when it is read-only.
    [[nodiscard]] TrashResult Move(int fdDir, const std::string& strName,
                                   const std::string& strRealDir, const std::string& strDirPath);
    // Keeps the entry by a hard link into the trash; the entry stays.
    [[nodiscard]] TrashResult Keep(int fdDir, const std::string& strName,
                                   const std::string& strRealDir);
    // Removes what Keep (or Move) put into a trash. 0 or errno.
    [[nodiscard]] int Drop(const TrashResult& kept);
    // Where the home trash is ($XDG_DATA_HOME/Trash), whether it exists or not.
    std::string HomeTrashPath() const;
    // Whether Move would find a trash for an entry of fdDir, learnt by looking
    // only: nothing is made or written (a dry run asks this). Done when the
    // trash is there or could be made, else NoTrash with the reason Move would
    // give; the mount point whenever it was found.
    [[nodiscard]] TrashResult Probe(int fdDir, const std::string& strRealDir);

private:
    struct Bin;
    enum class Action : std::uint8_t { Move, Link };

    [[nodiscard]] TrashResult Put(Action eAction, int fdDir, const std::string& strName,
                                  const std::string& strRealDir, const std::string& strDirPath);
    // The trash for an entry of fdDir; null with result filled when there is none.
    Bin* FindBin(int fdDir, const std::string& strRealDir, TrashResult& result);
    void ReadMounts();
    // The mount of strRealDir, and whether the home trash serves entries of
    // fdDir there; null when the mount table does not hold it.
    const MountEntry* FindMountOf(int fdDir, const std::string& strRealDir, bool& bHome);
    // What making the trash directories of a file system would meet, found
    // without making them: 0 or the errno FindBin would fail with.
    int LookForBin(const MountEntry& mount, bool bHome) const;

    TrashEnv m_env;
    bool m_bMountsRead = false;
    std::vector<MountEntry> m_mounts;
    int m_nHomeMountId = -1;                              // the mount the home trash lies on
    std::uint64_t m_nHomeDev = 0;                         // its device
    std::unordered_map<int, std::unique_ptr<Bin>> m_bins; // by mount id
    std::unordered_map<int, int> m_probed; // Probe's findings by mount id: 0 or errno
};

} // namespace kovrel::platform
