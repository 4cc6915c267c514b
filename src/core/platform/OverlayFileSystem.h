// The FileSystem of a dry run: it reads the real one below and never changes it.
// Every change the run makes is kept in memory instead, and every later question
// is answered as the disk would answer it after those changes, so the run walks a
// directory it has just created, finds a tree it is removing, and a later item
// sees what an earlier one copied or deleted. Failures that follow from the state
// (a missing directory, a directory that is not empty, a name already taken) are
// the ones the real file system would report.
#pragma once

#include "platform/FileSystem.h"
#include "platform/Path.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kovrel::platform {

class OverlayFileSystem : public FileSystem {
public:
    // lower is only read: GetAttr, ListDir, RealPath, CountUnlisted.
    explicit OverlayFileSystem(FileSystem& lower);
    OverlayFileSystem(const OverlayFileSystem&) = delete;
    OverlayFileSystem& operator=(const OverlayFileSystem&) = delete;

    // Passed on: the reads below the tops stay as safe as in a real run, and the
    // devices' times are judged as a real run judges them.
    void SetTops(const std::string& strTop1, const std::string& strTop2) override {
        m_lower.SetTops(strTop1, strTop2);
        m_strTops[0] = strTop1.empty() ? std::string() : NormalizePath(strTop1);
        m_strTops[1] = strTop2.empty() ? std::string() : NormalizePath(strTop2);
    }
    [[nodiscard]] TimeInfo GetTimeInfo(std::uint64_t nDevice) override {
        return m_lower.GetTimeInfo(nDevice);
    }
    [[nodiscard]] AttrStatus GetAttr(const std::string& strPath, FileAttr& attr,
                                     int& nError) override;
    [[nodiscard]] int ListDir(const std::string& strPath, std::vector<DirEntry>& entries,
                              std::vector<std::string>* pStaleTemps = nullptr) override;
    [[nodiscard]] int CopyFile(const std::string& strFrom, const std::string& strTo,
                               const ExpectedTarget& expect = {}) override;
    [[nodiscard]] int DeleteFile(const std::string& strPath) override;
    // A dry run asks the real file system whether a trash could be used there
    // (looking only): where one could, a move is a delete in the record and a
    // kept version changes nothing the run sees; where none could, the answer
    // is the real one's, so the run asks and tells as it would.
    [[nodiscard]] TrashResult MoveToTrash(const std::string& strPath) override;
    [[nodiscard]] TrashResult KeepInTrash(const std::string& strPath) override;
    [[nodiscard]] int DropFromTrash(const TrashResult& kept) override;
    [[nodiscard]] TrashResult ProbeTrash(const std::string& strPath) override {
        return ProbeLowerTrash(strPath);
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
    [[nodiscard]] int CompareFiles(const std::string& strPath1, const std::string& strPath2,
                                   bool& bSame) override;
    [[nodiscard]] FileResult ReadFile(const std::string& strPath, std::string& data,
                                      std::size_t nMaxBytes) override;
    [[nodiscard]] FileResult WriteFile(const std::string& strPath, std::string_view data) override;

    // Number of recorded entries (changed, created or deleted paths and removed
    // directories): what the overlay costs in memory.
    std::size_t RecordCount() const noexcept;

private:
    // What the overlay knows of one entry: there with these attributes, or gone.
    struct Node {
        bool bPresent = false;
        FileAttr attr;
    };
    // The recorded entries of one directory, by name. bWhole: the directory's
    // contents are these alone, nothing below (it was created here, or it was
    // removed, in which case it stays as an empty marker under a gone entry).
    struct DirState {
        bool bWhole = false;
        std::map<std::string, Node, std::less<>> entries;
    };

    static bool IsRoot(const std::string& strNorm) noexcept;
    static void Split(const std::string& strNorm, std::string& strParent, std::string& strName);

    // "name/" names a directory (the kernel refuses it for anything else).
    static bool NamesDirectory(std::string_view strPath) noexcept;

    // True when the overlay has a word of its own about the entry at strNorm
    // (changed, made or gone here), so the disk's answer no longer holds.
    bool IsRecorded(const std::string& strNorm) const;
    // The entry at a normalized path as the overlay sees it.
    AttrStatus Lookup(const std::string& strNorm, FileAttr& attr, int& nError);
    // The same for a path as given, with its trailing slash respected.
    AttrStatus LookupPath(const std::string& strPath, std::string& strNorm, FileAttr& attr,
                          int& nError);
    // An entry that must exist for an operation: 0, ENOENT when it is absent,
    // or the lookup's error. bAsWritten: as LookupPath (a trailing slash
    // respected), else as Lookup of the normalized path.
    int LookupExisting(const std::string& strPath, bool bAsWritten, std::string& strNorm,
                       FileAttr& attr);
    // How a missing entry whose parent is strParent reads: Absent when the
    // parent is a directory, else the error that the parent's state gives.
    AttrStatus MissingIn(const std::string& strParent, int& nError);
    // What the symbolic link at strNorm leads to.
    AttrStatus FollowLink(const std::string& strNorm, FileAttr& attr, int& nError);
    [[nodiscard]] int ListNormalized(const std::string& strNorm, std::vector<DirEntry>& entries,
                                     std::vector<std::string>* pStaleTemps);
    void Merge(const DirState& dir, std::vector<DirEntry>& entries,
               std::vector<std::string>* pStaleTemps) const;
    void Record(const std::string& strNorm, const FileAttr& attr);
    void Forget(const std::string& strNorm);

    // The lower file system's trash for strPath, asked of the nearest
    // directory on the disk when strPath's own lies in this overlay alone.
    TrashResult ProbeLowerTrash(const std::string& strPath);

    // An item's own path that is a link to a file means that file, as on the
    // real file system: its normalized path then, else strPath as given.
    std::string FollowFileTop(const std::string& strPath);

    FileSystem& m_lower;
    std::string m_strTops[2]; // normalized; empty: none
    std::unordered_map<std::string, DirState> m_dirs;
    std::uint32_t m_dwNewDirMode;
};

} // namespace kovrel::platform
