#include "platform/PosixFileSystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace kovrel::platform {

namespace {

// A signal (Ctrl+C lets the current operation finish) must not turn into a
// failed copy: every call that can be interrupted is simply made again.
template <class F> auto RetryEintr(F&& fn) {
    decltype(fn()) r;
    do {
        r = fn();
    } while (r == -1 && errno == EINTR);
    return r;
}

FileTime ToFileTime(const timespec& ts) noexcept {
    return FileTime{static_cast<std::int64_t>(ts.tv_sec), static_cast<std::int32_t>(ts.tv_nsec)};
}

timespec ToTimespec(const FileTime& ft) noexcept {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ft.nSec);
    ts.tv_nsec = ft.nNsec;
    return ts;
}

EntryType TypeOfMode(mode_t mode) noexcept {
    if (S_ISREG(mode))
        return EntryType::File;
    if (S_ISDIR(mode))
        return EntryType::Directory;
    if (S_ISLNK(mode))
        return EntryType::Symlink;
    return EntryType::Other;
}

void FillAttr(const struct stat& st, FileAttr& attr) noexcept {
    attr.type = TypeOfMode(st.st_mode);
    attr.dwMode = static_cast<std::uint32_t>(st.st_mode & 07777);
    attr.nSize = static_cast<std::uint64_t>(st.st_size);
    attr.ftAccess = ToFileTime(st.st_atim);
    attr.ftWrite = ToFileTime(st.st_mtim);
}

int LStat(const std::string& strPath, struct stat& st) noexcept {
    return RetryEintr([&] { return ::lstat(strPath.c_str(), &st); }) == 0 ? 0 : errno;
}

// Owns a descriptor; Close() reports the error that a plain close would swallow
// (on some file systems the last data only fails to arrive at close).
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) noexcept : m_fd(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int Get() const noexcept { return m_fd; }
    void Reset(int fd) noexcept {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    int Close() noexcept {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

class UniqueDir {
public:
    explicit UniqueDir(DIR* pDir) noexcept : m_pDir(pDir) {}
    UniqueDir(const UniqueDir&) = delete;
    UniqueDir& operator=(const UniqueDir&) = delete;
    ~UniqueDir() {
        if (m_pDir)
            ::closedir(m_pDir);
    }
    DIR* Get() const noexcept { return m_pDir; }

private:
    DIR* m_pDir;
};

// Opens a directory for reading its entries; 0 or errno.
int OpenDir(const std::string& strPath, std::optional<UniqueDir>& dir) {
    const int fd = RetryEintr(
        [&] { return ::open(strPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY); });
    if (fd < 0)
        return errno;
    DIR* pDir = ::fdopendir(fd);
    if (!pDir) {
        const int nErr = errno;
        ::close(fd);
        return nErr;
    }
    dir.emplace(pDir);
    return 0;
}

bool IsDotOrDotDot(const char* lpszName) noexcept {
    return lpszName[0] == '.' &&
           (lpszName[1] == '\0' || (lpszName[1] == '.' && lpszName[2] == '\0'));
}

bool IsSpecialDType(unsigned char nType) noexcept {
    return nType == DT_FIFO || nType == DT_SOCK || nType == DT_CHR || nType == DT_BLK;
}

// Windows lets a program change a directory's entries whatever the directory's
// own read-only flag says; POSIX wants write and search permission on it. Where
// they are missing the owner gets them for the one change, and the previous bits
// come back as soon as the change is done.
class DirWriteGrant {
public:
    explicit DirWriteGrant(std::string strDir) : m_strDir(std::move(strDir)) {}
    DirWriteGrant(const DirWriteGrant&) = delete;
    DirWriteGrant& operator=(const DirWriteGrant&) = delete;
    ~DirWriteGrant() {
        if (m_bGranted) {
            const int nSaved = errno;
            ::chmod(m_strDir.c_str(), m_mode);
            errno = nSaved;
        }
    }

    // True when the bits were missing and have been added, so that the denied
    // change is worth another try.
    bool Grant() {
        struct stat st {};
        if (::stat(m_strDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return false;
        const mode_t oldMode = st.st_mode & 07777;
        const mode_t newMode = oldMode | S_IWUSR | S_IXUSR;
        if (newMode == oldMode || ::chmod(m_strDir.c_str(), newMode) != 0)
            return false;
        m_mode = oldMode;
        m_bGranted = true;
        return true;
    }

private:
    std::string m_strDir;
    mode_t m_mode = 0;
    bool m_bGranted = false;
};

// Runs a change of one directory entry (fn returns 0 or errno); when it is
// refused for want of permission on the parent, grants that for one more try.
template <class F> int WithParentWritable(const std::string& strPath, F&& fn) {
    const int nErr = fn();
    if (nErr != EACCES)
        return nErr;
    DirWriteGrant grant(ParentPath(strPath));
    if (!grant.Grant())
        return nErr;
    return fn();
}

std::string JoinPath(const std::string& strDir, std::string_view strName) {
    std::string s;
    s.reserve(strDir.size() + 1 + strName.size());
    s = strDir;
    if (s.empty() || s.back() != '/')
        s += '/';
    s += strName;
    return s;
}

// Creates a new, unused temporary name beside the target by the given maker
// (open with O_EXCL, symlink): tries fresh suffixes while the name is taken.
template <class F> int MakeTemp(const std::string& strDir, std::string& strTemp, F&& make) {
    static std::atomic<std::uint64_t> s_nCounter{0};
    const std::string strPid = std::to_string(static_cast<long long>(::getpid()));
    for (int nTry = 0; nTry < 1000; ++nTry) {
        std::string strName(kCopyTempPrefix);
        strName += strPid;
        strName += '-';
        strName += std::to_string(s_nCounter.fetch_add(1, std::memory_order_relaxed));
        strTemp = JoinPath(strDir, strName);
        const int nErr = make(strTemp);
        if (nErr != EEXIST)
            return nErr;
    }
    return EEXIST;
}

bool IsRangeCopyUnsupported(int nErr) noexcept {
    return nErr == EXDEV || nErr == ENOSYS || nErr == EINVAL || nErr == EOPNOTSUPP ||
           nErr == EBADF || nErr == EPERM || nErr == ETXTBSY;
}

} // namespace

std::string ParentPath(const std::string& strPath) {
    std::size_t n = strPath.size();
    while (n > 1 && strPath[n - 1] == '/')
        --n;
    if (n == 0)
        return ".";
    const std::size_t nSlash = strPath.rfind('/', n - 1);
    if (nSlash == std::string::npos)
        return ".";
    std::size_t nEnd = nSlash;
    while (nEnd > 0 && strPath[nEnd - 1] == '/')
        --nEnd;
    if (nEnd == 0)
        return "/";
    return strPath.substr(0, nEnd);
}

std::uint32_t ProcessUmask() {
    // /proc shows the mask without the set-and-restore dance of umask(), which
    // would race with other threads creating files.
    if (FILE* pFile = std::fopen("/proc/self/status", "re")) {
        char szLine[256];
        unsigned int nMask = 0;
        bool bFound = false;
        while (!bFound && std::fgets(szLine, sizeof szLine, pFile))
            bFound = std::sscanf(szLine, "Umask: %o", &nMask) == 1;
        std::fclose(pFile);
        if (bFound)
            return static_cast<std::uint32_t>(nMask & 0777);
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return static_cast<std::uint32_t>(mask & 0777);
}

AttrStatus PosixFileSystem::GetAttr(const std::string& strPath, FileAttr& attr, int& nError) {
    struct stat st {};
    int nErr = LStat(strPath, st);
    if (nErr == 0) {
        FillAttr(st, attr);
        nError = 0;
        return AttrStatus::Ok;
    }
    if (nErr == ENOENT && !strPath.empty()) {
        // Absent only when the entry alone is missing; a missing parent is an
        // error, as a path that leads nowhere is.
        struct stat stParent {};
        const std::string strParent = ParentPath(strPath);
        if (RetryEintr([&] { return ::stat(strParent.c_str(), &stParent); }) == 0 &&
            S_ISDIR(stParent.st_mode)) {
            nError = 0;
            return AttrStatus::Absent;
        }
    }
    nError = nErr;
    return AttrStatus::Error;
}

int PosixFileSystem::ListDir(const std::string& strPath, std::vector<DirEntry>& entries,
                             std::vector<std::string>* pStaleTemps) {
    entries.clear();
    if (pStaleTemps)
        pStaleTemps->clear();

    std::optional<UniqueDir> dir;
    if (const int nErr = OpenDir(strPath, dir))
        return nErr;
    const int fdDir = ::dirfd(dir->Get());

    for (;;) {
        errno = 0;
        const dirent* pEnt = ::readdir(dir->Get());
        if (!pEnt) {
            if (errno == EINTR)
                continue;
            if (errno != 0) {
                const int nErr = errno;
                entries.clear();
                if (pStaleTemps)
                    pStaleTemps->clear();
                return nErr;
            }
            break;
        }
        const char* lpszName = pEnt->d_name;
        if (IsDotOrDotDot(lpszName) || IsSpecialDType(pEnt->d_type))
            continue;
        const std::string_view strName(lpszName);
        if (pEnt->d_type != DT_UNKNOWN && pEnt->d_type != DT_DIR && IsCopyTempName(strName)) {
            if (pStaleTemps)
                pStaleTemps->emplace_back(strName);
            continue;
        }

        struct stat st {};
        if (RetryEintr([&] { return ::fstatat(fdDir, lpszName, &st, AT_SYMLINK_NOFOLLOW); }) != 0) {
            if (errno == ENOENT)
                continue; // gone since readdir: another program removed it
            const int nErr = errno;
            entries.clear();
            if (pStaleTemps)
                pStaleTemps->clear();
            return nErr;
        }
        const EntryType type = TypeOfMode(st.st_mode);
        if (type == EntryType::Other)
            continue;
        if (type != EntryType::Directory && IsCopyTempName(strName)) {
            if (pStaleTemps)
                pStaleTemps->emplace_back(strName);
            continue;
        }
        DirEntry& entry = entries.emplace_back();
        entry.strName.assign(strName);
        FillAttr(st, entry.attr);
    }
    SortEntries(entries);
    return 0;
}

int PosixFileSystem::CountUnlisted(const std::string& strDir, std::size_t& nCount) {
    nCount = 0;
    std::optional<UniqueDir> dir;
    if (const int nErr = OpenDir(strDir, dir))
        return nErr;
    for (;;) {
        errno = 0;
        const dirent* pEnt = ::readdir(dir->Get());
        if (!pEnt) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (IsDotOrDotDot(pEnt->d_name))
            continue;
        if (IsSpecialDType(pEnt->d_type)) {
            ++nCount;
        } else if (pEnt->d_type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(::dirfd(dir->Get()), pEnt->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                TypeOfMode(st.st_mode) == EntryType::Other)
                ++nCount;
        }
    }
}

int PosixFileSystem::CopyFile(const std::string& strFrom, const std::string& strTo) {
    struct stat st {};
    if (const int nErr = LStat(strFrom, st))
        return nErr;
    if (S_ISLNK(st.st_mode))
        return CopySymlink(strFrom, strTo, static_cast<std::uint64_t>(st.st_size),
                           ToFileTime(st.st_atim), ToFileTime(st.st_mtim));
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return EINVAL; // a FIFO or device is never opened: that could block or have effects
    return CopyRegular(strFrom, strTo);
}

int PosixFileSystem::CopyRegular(const std::string& strFrom, const std::string& strTo) {
    // O_NONBLOCK: should the name have turned into a FIFO since lstat, the open
    // must not hang; fstat below turns the copy down then.
    UniqueFd fdIn(RetryEintr([&] {
        return ::open(strFrom.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    }));
    if (fdIn.Get() < 0)
        return errno;
    struct stat st {};
    if (::fstat(fdIn.Get(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;

    const std::string strDir = ParentPath(strTo);
    std::string strTemp;
    UniqueFd fdOut;
    const auto makeFile = [&](const std::string& strName) {
        const int fd = RetryEintr([&] {
            return ::open(strName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          0600);
        });
        if (fd < 0)
            return errno;
        fdOut.Reset(fd);
        return 0;
    };
    std::optional<DirWriteGrant> grant; // held until the rename or the clean-up is done
    int nErr = MakeTemp(strDir, strTemp, makeFile);
    if (nErr == EACCES) {
        grant.emplace(strDir);
        if (grant->Grant())
            nErr = MakeTemp(strDir, strTemp, makeFile);
    }
    if (nErr != 0)
        return nErr;

    nErr = CopyData(fdIn.Get(), fdOut.Get(), strTo);
    if (nErr == 0 && RetryEintr([&] { return ::fchmod(fdOut.Get(), st.st_mode & 07777); }) != 0)
        nErr = errno;
    if (nErr == 0) {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        if (RetryEintr([&] { return ::futimens(fdOut.Get(), times); }) != 0)
            nErr = errno;
    }
    // The close is checked as well: only a temporary whose every byte arrived
    // may take the target's place.
    if (const int nCloseErr = fdOut.Close(); nErr == 0)
        nErr = nCloseErr;
    if (nErr == 0 && RetryEintr([&] { return ::rename(strTemp.c_str(), strTo.c_str()); }) != 0)
        nErr = errno;
    if (nErr != 0)
        ::unlink(strTemp.c_str());
    return nErr;
}

int PosixFileSystem::CopyData(int fdIn, int fdOut, const std::string& strTo) {
    constexpr std::size_t kRangeChunk = std::size_t{1} << 30;
    std::uint64_t nDone = 0;
    for (;;) {
        std::size_t nChunk = kRangeChunk;
        if (m_copyChunkHook) {
            if (const int nErr = m_copyChunkHook(strTo, nDone, nChunk))
                return nErr;
            nChunk = std::clamp<std::size_t>(nChunk, 1, kRangeChunk);
        }
        const ssize_t n = ::copy_file_range(fdIn, nullptr, fdOut, nullptr, nChunk, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (IsRangeCopyUnsupported(errno))
                return CopyDataReadWrite(fdIn, fdOut, strTo, nDone); // offsets moved together
            return errno;
        }
        if (n == 0)
            break;
        nDone += static_cast<std::uint64_t>(n);
    }
    // Some file systems (proc, sys, some FUSE ones) answer copy_file_range with an
    // immediate end of file although the file has data: read it the plain way.
    if (nDone == 0)
        return CopyDataReadWrite(fdIn, fdOut, strTo, nDone);
    return 0;
}

int PosixFileSystem::CopyDataReadWrite(int fdIn, int fdOut, const std::string& strTo,
                                       std::uint64_t& nDone) {
    constexpr std::size_t kBufSize = 256 * 1024;
    const auto buffer = std::make_unique_for_overwrite<char[]>(kBufSize);
    for (;;) {
        const ssize_t nRead = RetryEintr([&] { return ::read(fdIn, buffer.get(), kBufSize); });
        if (nRead < 0)
            return errno;
        if (nRead == 0)
            return 0;
        std::size_t nOff = 0;
        const auto nHave = static_cast<std::size_t>(nRead);
        while (nOff < nHave) {
            std::size_t nChunk = nHave - nOff;
            if (m_copyChunkHook) {
                if (const int nErr = m_copyChunkHook(strTo, nDone, nChunk))
                    return nErr;
                nChunk = std::clamp<std::size_t>(nChunk, 1, nHave - nOff);
            }
            const ssize_t nWritten = ::write(fdOut, buffer.get() + nOff, nChunk);
            if (nWritten < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            if (nWritten == 0)
                return ENOSPC;
            nOff += static_cast<std::size_t>(nWritten);
            nDone += static_cast<std::uint64_t>(nWritten);
        }
    }
}

int PosixFileSystem::CopySymlink(const std::string& strFrom, const std::string& strTo,
                                 std::uint64_t nTargetSize, const FileTime& ftAccess,
                                 const FileTime& ftWrite) {
    // The link is recreated, never followed: its target text is copied as it is.
    std::string strTarget(static_cast<std::size_t>(std::max<std::uint64_t>(nTargetSize, 63)) + 1,
                          '\0');
    for (;;) {
        const ssize_t n = ::readlink(strFrom.c_str(), strTarget.data(), strTarget.size());
        if (n < 0)
            return errno;
        if (static_cast<std::size_t>(n) < strTarget.size()) {
            strTarget.resize(static_cast<std::size_t>(n));
            break;
        }
        if (strTarget.size() > 1024 * 1024)
            return ENAMETOOLONG;
        strTarget.resize(strTarget.size() * 2);
    }

    const std::string strDir = ParentPath(strTo);
    std::string strTemp;
    const auto makeLink = [&](const std::string& strName) {
        return ::symlink(strTarget.c_str(), strName.c_str()) == 0 ? 0 : errno;
    };
    std::optional<DirWriteGrant> grant;
    int nErr = MakeTemp(strDir, strTemp, makeLink);
    if (nErr == EACCES) {
        grant.emplace(strDir);
        if (grant->Grant())
            nErr = MakeTemp(strDir, strTemp, makeLink);
    }
    if (nErr != 0)
        return nErr;

    const timespec times[2] = {ToTimespec(ftAccess), ToTimespec(ftWrite)};
    if (::utimensat(AT_FDCWD, strTemp.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        nErr = errno;
    if (nErr == 0 && RetryEintr([&] { return ::rename(strTemp.c_str(), strTo.c_str()); }) != 0)
        nErr = errno;
    if (nErr != 0)
        ::unlink(strTemp.c_str());
    return nErr;
}

int PosixFileSystem::DeleteFile(const std::string& strPath) {
    return WithParentWritable(strPath, [&] { return ::unlink(strPath.c_str()) == 0 ? 0 : errno; });
}

int PosixFileSystem::CreateDir(const std::string& strPath) {
    const int nErr = WithParentWritable(
        strPath, [&] { return ::mkdir(strPath.c_str(), 0777) == 0 ? 0 : errno; });
    if (nErr != 0)
        return nErr;
    // The pass fills the new directory before it gives it the model's bits, so
    // the owner must be able to enter and write it whatever the umask says.
    struct stat st {};
    if (LStat(strPath, st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_IRWXU) != S_IRWXU)
        ::chmod(strPath.c_str(), (st.st_mode & 07777) | S_IRWXU);
    return 0;
}

int PosixFileSystem::RemoveDir(const std::string& strPath) {
    return WithParentWritable(strPath, [&] { return ::rmdir(strPath.c_str()) == 0 ? 0 : errno; });
}

int PosixFileSystem::GetTimes(const std::string& strPath, FileTime* pAccess, FileTime* pWrite) {
    struct stat st {};
    if (const int nErr = LStat(strPath, st))
        return nErr;
    if (pAccess)
        *pAccess = ToFileTime(st.st_atim);
    if (pWrite)
        *pWrite = ToFileTime(st.st_mtim);
    return 0;
}

int PosixFileSystem::SetTimes(const std::string& strPath, const FileTime* pAccess,
                              const FileTime* pWrite) {
    timespec times[2];
    times[0] = pAccess ? ToTimespec(*pAccess) : timespec{0, UTIME_OMIT};
    times[1] = pWrite ? ToTimespec(*pWrite) : timespec{0, UTIME_OMIT};
    return ::utimensat(AT_FDCWD, strPath.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int PosixFileSystem::SetMode(const std::string& strPath, std::uint32_t dwMode) {
    struct stat st {};
    if (const int nErr = LStat(strPath, st))
        return nErr;
    if (S_ISLNK(st.st_mode))
        return 0; // a link has no bits of its own; chmod would change its target
    return ::chmod(strPath.c_str(), static_cast<mode_t>(dwMode & 07777)) == 0 ? 0 : errno;
}

int PosixFileSystem::RealPath(const std::string& strPath, std::string& strOut) {
    if (strPath.empty())
        return ENOENT;

    // Components after the longest prefix that exists, kept as written.
    std::string strPrefix = strPath;
    std::vector<std::string> rest;
    std::string strResolved;
    for (;;) {
        if (char* lpszReal = ::realpath(strPrefix.c_str(), nullptr)) {
            strResolved = lpszReal;
            std::free(lpszReal);
            break;
        }
        const int nErr = errno;
        if ((nErr != ENOENT && nErr != ENOTDIR) || strPrefix == "." || strPrefix == "/")
            return nErr;
        // Peel the last component off the prefix.
        std::size_t n = strPrefix.size();
        while (n > 1 && strPrefix[n - 1] == '/')
            --n;
        const std::size_t nSlash = strPrefix.rfind('/', n - 1);
        const std::size_t nStart = nSlash == std::string::npos ? 0 : nSlash + 1;
        rest.emplace_back(strPrefix, nStart, n - nStart);
        if (nSlash == std::string::npos) {
            strPrefix = ".";
        } else {
            std::size_t nEnd = nSlash;
            while (nEnd > 0 && strPrefix[nEnd - 1] == '/')
                --nEnd;
            strPrefix = nEnd == 0 ? "/" : strPrefix.substr(0, nEnd);
        }
    }

    // What does not exist yet is taken lexically: "." stays, ".." steps back.
    for (auto it = rest.rbegin(); it != rest.rend(); ++it) {
        const std::string& strPart = *it;
        if (strPart.empty() || strPart == ".")
            continue;
        if (strPart == "..") {
            const std::size_t nSlash = strResolved.rfind('/');
            strResolved.resize(nSlash == 0 || nSlash == std::string::npos ? 1 : nSlash);
            continue;
        }
        if (strResolved.back() != '/')
            strResolved += '/';
        strResolved += strPart;
    }
    strOut = std::move(strResolved);
    return 0;
}

} // namespace kovrel::platform
