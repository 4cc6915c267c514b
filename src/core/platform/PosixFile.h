// The pieces of POSIX file handling that the file system's copy and the
// document's save share: an owned descriptor, the retry of interrupted calls,
// the write permission a read-only directory lends for one change, and the
// replacement of a file through a temporary beside it.
#pragma once

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <sys/stat.h>
#include <sys/types.h>

#include "platform/FileSystem.h"

namespace kovrel::platform {

// Temporary files of a document save carry this prefix beside the document.
inline constexpr std::string_view kSaveTempPrefix = ".kovrel-save~";

// A signal (Ctrl+C lets the current operation finish) must not turn into a
// failed operation: every call that can be interrupted is simply made again.
template <class F> auto RetryEintr(F&& fn) {
    decltype(fn()) r;
    do {
        r = fn();
    } while (r == -1 && errno == EINTR);
    return r;
}

// The kind of entry a stat mode names.
EntryType TypeOfMode(mode_t mode) noexcept;
// The attributes of an entry as the file system reports them, from its lstat.
void FillAttr(const struct stat& st, FileAttr& attr) noexcept;

// Owns a descriptor; Close() reports the error that a plain close would swallow
// (on some file systems the last data only fails to arrive at close).
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) noexcept : m_fd(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { IgnoreFailure(Close()); }
    int Get() const noexcept { return m_fd; }
    void Reset(int fd) noexcept {
        IgnoreFailure(Close());
        m_fd = fd;
    }
    // Gives the descriptor up without closing it.
    int Release() noexcept {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // 0 or errno; 0 when nothing was open.
    [[nodiscard]] int Close() noexcept;

private:
    int m_fd;
};

// The tokens a temporary's name carries (see CopyTempName): this machine (a
// hash of its machine id and host name, 16 hex digits) and this boot of it (the
// kernel's boot id, 32 hex digits; zeros where it cannot be read).
const std::string& ThisMachineToken();
const std::string& ThisBootToken();

// True when a temporary of that name was made on this machine by a process that
// is not running: made in an earlier boot, or its pid is no process now. One of
// another machine, of this process or of any running process is not.
bool IsAbandonedTemp(const CopyTempName& parts);

// Writes all of data, going on after short writes. 0 or errno; a write that
// takes nothing is a full disk (ENOSPC).
[[nodiscard]] int WriteAll(int fd, std::string_view data) noexcept;

// Windows lets a program change a directory's entries whatever the directory's
// own read-only flag says; POSIX wants write and search permission on it. Where
// they are missing the owner gets them for the one change, and the previous bits
// come back when the grant ends.
class DirWriteGrant {
public:
    explicit DirWriteGrant(std::string strDir) : m_strDir(std::move(strDir)) {}
    DirWriteGrant(const DirWriteGrant&) = delete;
    DirWriteGrant& operator=(const DirWriteGrant&) = delete;
    ~DirWriteGrant();

    // True when the bits were missing and have been added, so that the denied
    // change is worth another try.
    [[nodiscard]] bool Grant();

private:
    std::string m_strDir;
    mode_t m_mode = 0;
    bool m_bGranted = false;
};

// Replaces a file the safe way: the new contents go to a temporary in the
// target's directory, which takes the target's place by rename only once it is
// complete. Until then the old target stays as it was; a replacement that is
// given up (or fails) removes its temporary.
class CReplaceFile {
public:
    enum class Stage : std::uint8_t { Create, Write, Rename };
    struct Failure {
        Stage eStage;
        int nError;
    };

    // bGrantDirWrite: where the target's directory is read-only, lend it write
    // permission for as long as the replacement lasts.
    CReplaceFile(const std::string& strTarget, std::string_view strPrefix, bool bGrantDirWrite);
    // The same for the entry strName of the directory open as fdDir (not owned,
    // kept open by the caller until this is gone); strDirPath names that
    // directory for the permission grant.
    CReplaceFile(int fdDir, std::string strDirPath, std::string strName, std::string_view strPrefix,
                 bool bGrantDirWrite);
    CReplaceFile(const CReplaceFile&) = delete;
    CReplaceFile& operator=(const CReplaceFile&) = delete;
    ~CReplaceFile();

    // Makes the temporary as a new regular file with these permission bits
    // (the umask applies). 0 or errno.
    [[nodiscard]] int CreateFile(mode_t mode);
    // Makes the temporary as a symbolic link with this target text. 0 or errno.
    [[nodiscard]] int CreateSymlink(const std::string& strLinkText);

    // The temporary's descriptor (CreateFile), and its path relative to DirFd().
    int Fd() const noexcept { return m_fd.Get(); }
    int DirFd() const noexcept { return m_fdDir; }
    const std::string& TempPath() const noexcept { return m_strTemp; }

    // Flushes the temporary to the disk when bSync, closes it (a failed close is
    // a failed write) and renames it over the target. On failure the temporary
    // is gone and the stage tells which step failed (Write or Rename). With
    // pExpect the rename happens only while the target is as expected; else the
    // failure is at Rename with kErrTargetChanged.
    [[nodiscard]] std::optional<Failure> Commit(bool bSync,
                                                const ExpectedTarget* pExpect = nullptr);

private:
    template <class F> int MakeTemp(F&& fnMake);
    // The rename itself, as pExpect allows. 0 or errno.
    int RenameOver(const ExpectedTarget* pExpect);

    int m_fdDir;
    std::string m_strDirPath;  // the directory, for the grant
    std::string m_strTarget;   // relative to m_fdDir
    std::string m_strTempBase; // what comes before a temporary's name
    std::string m_strPrefix;
    std::optional<DirWriteGrant> m_grant; // held until the rename or the clean-up is done
    bool m_bGrantDirWrite;
    UniqueFd m_fd;
    std::string m_strTemp; // empty while there is no temporary
};

} // namespace kovrel::platform
