// The FileSystem of POSIX systems (Linux first). Everything that is specific to
// the operating system's file API lives in this file and the Posix*.cpp files
// beside it; a Windows port puts a sibling implementation next to it and leaves
// the engine alone. The class is spread over files by what they hold:
//   PosixFileSystem.cpp   the operations (attributes, listing, copy, delete, ...)
//   PosixBelowTops.cpp    the tops and the link-safe walk to the paths below them
//   PosixDeviceTimes.cpp  what each device's file system keeps of a time
//   PosixCopyData.cpp     the data of a copy (range copy, sparse files, read/write)
//   PosixTrash.cpp        moves into the trash (Trash.cpp finds and fills the trash)
//   PosixFile.cpp         descriptors, whole writes, the replace-by-rename file
#pragma once

#include "platform/FileSystem.h"

#include "platform/PosixFile.h"
#include "platform/Trash.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <sys/stat.h>

namespace kovrel::platform {

class UniqueDir;

class PosixFileSystem : public FileSystem {
public:
    // How a path below a top is reached without following links: by openat2
    // where the kernel has it, else one component at a time. ComponentWalk
    // takes the second way always (so tests can reach it on any kernel).
    enum class BelowTops : std::uint8_t { Auto, ComponentWalk };

    explicit PosixFileSystem(BelowTops eWalk = BelowTops::Auto) : m_eWalk(eWalk) {}
    PosixFileSystem(const PosixFileSystem&) = delete;
    PosixFileSystem& operator=(const PosixFileSystem&) = delete;

    void SetTops(const std::string& strTop1, const std::string& strTop2) override;
    [[nodiscard]] TimeInfo GetTimeInfo(std::uint64_t nDevice) override;

    [[nodiscard]] AttrStatus GetAttr(const std::string& strPath, FileAttr& attr,
                                     int& nError) override;
    [[nodiscard]] int ListDir(const std::string& strPath, std::vector<DirEntry>& entries,
                              std::vector<std::string>* pStaleTemps = nullptr) override;
    [[nodiscard]] int CopyFile(const std::string& strFrom, const std::string& strTo,
                               const ExpectedTarget& expect = {}) override;
    [[nodiscard]] int DeleteFile(const std::string& strPath) override;
    [[nodiscard]] int CreateDir(const std::string& strPath) override;
    [[nodiscard]] int RemoveDir(const std::string& strPath) override;
    [[nodiscard]] int GetTimes(const std::string& strPath, FileTime* pAccess,
                               FileTime* pWrite) override;
    [[nodiscard]] int SetTimes(const std::string& strPath, const FileTime* pAccess,
                               const FileTime* pWrite) override;
    [[nodiscard]] int SetMode(const std::string& strPath, std::uint32_t dwMode) override;
    [[nodiscard]] int RealPath(const std::string& strPath, std::string& strOut) override;
    [[nodiscard]] int CountUnlisted(const std::string& strDir, std::size_t& nCount) override;
    [[nodiscard]] int ListStaleTemps(const std::string& strDir,
                                     std::vector<std::string>& staleTemps) override;
    [[nodiscard]] FileResult ReadFile(const std::string& strPath, std::string& data,
                                      std::size_t nMaxBytes) override;
    [[nodiscard]] FileResult WriteFile(const std::string& strPath, std::string_view data) override;
    [[nodiscard]] TrashResult MoveToTrash(const std::string& strPath) override;
    [[nodiscard]] TrashResult KeepInTrash(const std::string& strPath) override;
    [[nodiscard]] int DropFromTrash(const TrashResult& kept) override;
    [[nodiscard]] TrashResult ProbeTrash(const std::string& strPath) override;
    [[nodiscard]] int CompareFiles(const std::string& strPath1, const std::string& strPath2,
                                   bool& bSame) override;

    // Where the trash is looked for (tests put a mount table and a home of their
    // own here); this process's environment until then.
    void SetTrashEnv(TrashEnv env);

private:
    // Where an operation on a path takes place: the entry strName of the
    // directory fdDir. Outside the tops that is AT_FDCWD and the path itself;
    // below a top, a descriptor of the parent reached without following links.
    struct Place {
        int fdDir = -1;
        UniqueFd fdOwned;       // fdDir when it had to be opened for this call
        std::string strName;    // relative to fdDir
        std::string strDirPath; // names the parent directory (for a permission grant)
    };

    // A top directory, held open for the item (following a link there).
    struct Anchor {
        std::string strPrefix;     // DirPrefix of the top as given
        std::string strNormPrefix; // the same of its normalized form
        UniqueFd fd;
    };

    // The top strPath lies below, with the rest of the path after it; null
    // when it lies below none (the top itself is not below it).
    Anchor* FindAnchor(std::string_view strPath, std::string_view& strRel);
    // The anchor's directory descriptor, opened on first use. 0 or errno.
    int AnchorFd(Anchor& anchor, int& fd);
    // Opens strRel below the anchor (nFlags of open(2)), refusing links in
    // every component, the last one included. 0 or errno.
    int OpenBelow(Anchor& anchor, std::string_view strRel, int nFlags, UniqueFd& fd);
    // Where an operation on strPath takes place. 0 or errno (the parent could
    // not be reached: ENOENT, or ELOOP / ENOTDIR for a link in the way).
    int Locate(const std::string& strPath, Place& place);
    // Opens a directory for listing: below a top without following links.
    int OpenDirectory(const std::string& strPath, UniqueFd& fd);
    // The same, taken over for reading its entries (fdDir stays its descriptor).
    int OpenForReading(const std::string& strDir, std::optional<UniqueDir>& dir, int& fdDir);
    // The parent directory of strPath held open (below a top reached without
    // following links), its resolved absolute path, and the entry's name.
    int LocateForTrash(const std::string& strPath, Place& place, std::string& strRealDir);
    CTrash& Trash();
    // True for the directory entry strName (lstat gave st) that is this user's
    // home trash: a tree holding the home directory must not copy or delete it.
    bool IsHomeTrash(std::string_view strName, const struct stat& st);

    // Notes the time keeping of a device seen for the first time.
    void NoteDevice(std::uint64_t nDevice, int fdOnDevice);

    // An item's own path that is a symbolic link to a regular file means that
    // file, as a link to a directory there means the directory: the file's
    // path then, else strPath itself.
    const std::string& FollowFileTop(const std::string& strPath, std::string& strScratch);

    int CopyRegular(Place& from, Place& to, const ExpectedTarget& expect);
    int CopySymlink(Place& from, const struct stat& stFrom, Place& to,
                    const ExpectedTarget& expect);

    BelowTops m_eWalk;
    Anchor m_anchors[2];
    std::string m_strTopPaths[2]; // the tops, normalized (empty: none)
    std::string m_strNormScratch; // a path written another way, as FindAnchor reads it
    std::unordered_map<std::uint64_t, TimeInfo> m_deviceTimes;
    std::unique_ptr<CTrash> m_pTrash; // made on first use
};

// The file mode creation mask of this process, read without changing it.
std::uint32_t ProcessUmask();

} // namespace kovrel::platform
