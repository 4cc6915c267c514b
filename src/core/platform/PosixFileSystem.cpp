#include "platform/PosixFileSystem.h"

#include "platform/Path.h"
#include "platform/PosixFile.h"

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

// Calls fnEntry(const dirent&) for every entry of an open directory except "."
// and ".."; fnEntry returns 0 to go on or an errno that ends the listing.
// 0, that errno, or the error readdir gave.
template <class F> int ReadEntries(DIR* pDir, F&& fnEntry) {
    for (;;) {
        errno = 0;
        const dirent* pEnt = ::readdir(pDir);
        if (!pEnt) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (IsDotOrDotDot(pEnt->d_name))
            continue;
        if (const int nErr = fnEntry(*pEnt))
            return nErr;
    }
}

bool IsSpecialDType(unsigned char nType) noexcept {
    return nType == DT_FIFO || nType == DT_SOCK || nType == DT_CHR || nType == DT_BLK;
}

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

bool IsRangeCopyUnsupported(int nErr) noexcept {
    return nErr == EXDEV || nErr == ENOSYS || nErr == EINVAL || nErr == EOPNOTSUPP ||
           nErr == EBADF || nErr == EPERM || nErr == ETXTBSY;
}

// Copies the data the plain way, from where both offsets stand now.
int CopyDataReadWrite(int fdIn, int fdOut) {
    constexpr std::size_t kBufSize = 256 * 1024;
    const auto buffer = std::make_unique_for_overwrite<char[]>(kBufSize);
    for (;;) {
        const ssize_t nRead = RetryEintr([&] { return ::read(fdIn, buffer.get(), kBufSize); });
        if (nRead < 0)
            return errno;
        if (nRead == 0)
            return 0;
        if (const int nErr =
                WriteAll(fdOut, std::string_view(buffer.get(), static_cast<std::size_t>(nRead))))
            return nErr;
    }
}

// The data of a regular file, in the kernel where it can be done there.
int CopyData(int fdIn, int fdOut) {
    constexpr std::size_t kRangeChunk = std::size_t{1} << 30;
    std::uint64_t nDone = 0;
    for (;;) {
        const ssize_t n = ::copy_file_range(fdIn, nullptr, fdOut, nullptr, kRangeChunk, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (IsRangeCopyUnsupported(errno))
                return CopyDataReadWrite(fdIn, fdOut); // offsets moved together
            return errno;
        }
        if (n == 0)
            break;
        nDone += static_cast<std::uint64_t>(n);
    }
    // Some file systems (proc, sys, some FUSE ones) answer copy_file_range with an
    // immediate end of file although the file has data: read it the plain way.
    if (nDone == 0)
        return CopyDataReadWrite(fdIn, fdOut);
    return 0;
}

} // namespace

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

    const int nErr = ReadEntries(dir->Get(), [&](const dirent& ent) {
        const char* lpszName = ent.d_name;
        if (IsSpecialDType(ent.d_type))
            return 0;
        const std::string_view strName(lpszName);
        if (ent.d_type != DT_UNKNOWN && ent.d_type != DT_DIR && IsCopyTempName(strName)) {
            if (pStaleTemps)
                pStaleTemps->emplace_back(strName);
            return 0;
        }

        struct stat st {};
        if (RetryEintr([&] { return ::fstatat(fdDir, lpszName, &st, AT_SYMLINK_NOFOLLOW); }) != 0)
            return errno == ENOENT ? 0 : errno; // ENOENT: gone since readdir, removed by another
        const EntryType type = TypeOfMode(st.st_mode);
        if (type == EntryType::Other)
            return 0;
        if (type != EntryType::Directory && IsCopyTempName(strName)) {
            if (pStaleTemps)
                pStaleTemps->emplace_back(strName);
            return 0;
        }
        DirEntry& entry = entries.emplace_back();
        entry.strName.assign(strName);
        FillAttr(st, entry.attr);
        return 0;
    });
    if (nErr != 0) {
        entries.clear();
        if (pStaleTemps)
            pStaleTemps->clear();
        return nErr;
    }
    SortEntries(entries);
    return 0;
}

int PosixFileSystem::CountUnlisted(const std::string& strDir, std::size_t& nCount) {
    nCount = 0;
    std::optional<UniqueDir> dir;
    if (const int nErr = OpenDir(strDir, dir))
        return nErr;
    const int fdDir = ::dirfd(dir->Get());
    return ReadEntries(dir->Get(), [&](const dirent& ent) {
        if (IsSpecialDType(ent.d_type)) {
            ++nCount;
        } else if (ent.d_type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(fdDir, ent.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                TypeOfMode(st.st_mode) == EntryType::Other)
                ++nCount;
        }
        return 0;
    });
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

    CReplaceFile temp(strTo, kCopyTempPrefix, true);
    if (const int nErr = temp.CreateFile(0600))
        return nErr;
    if (const int nErr = CopyData(fdIn.Get(), temp.Fd()))
        return nErr;
    if (RetryEintr([&] { return ::fchmod(temp.Fd(), st.st_mode & 07777); }) != 0)
        return errno;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (RetryEintr([&] { return ::futimens(temp.Fd(), times); }) != 0)
        return errno;
    // Copies are not flushed to the disk, as cp does not: a sync per file would
    // make a tree copy many times slower.
    const auto failure = temp.Commit(false);
    return failure ? failure->nError : 0;
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

    CReplaceFile temp(strTo, kCopyTempPrefix, true);
    if (const int nErr = temp.CreateSymlink(strTarget))
        return nErr;
    const timespec times[2] = {ToTimespec(ftAccess), ToTimespec(ftWrite)};
    if (::utimensat(AT_FDCWD, temp.TempPath().c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    const auto failure = temp.Commit(false);
    return failure ? failure->nError : 0;
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
    // the owner must be able to enter and write it whatever the umask says. Best
    // effort: should it fail, the pass reports each entry it cannot make inside.
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
    FileAttr attr;
    FillAttr(st, attr);
    TakeTimes(attr, pAccess, pWrite);
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
        const PathParts parts = SplitPath(strPrefix);
        rest.emplace_back(parts.strName);
        strPrefix = std::string(parts.strParent);
    }

    // What does not exist yet is taken lexically: "." stays, ".." steps back.
    for (auto it = rest.rbegin(); it != rest.rend(); ++it) {
        const std::string& strPart = *it;
        if (strPart.empty() || strPart == ".")
            continue;
        if (strPart == "..")
            strResolved = ParentPath(strResolved);
        else
            strResolved = JoinPath(strResolved, strPart);
    }
    strOut = std::move(strResolved);
    return 0;
}

FileResult PosixFileSystem::ReadFile(const std::string& strPath, std::string& data) {
    UniqueFd fd(RetryEintr([&] { return ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC); }));
    if (fd.Get() < 0)
        return {FileStage::Open, errno};
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0)
        return {FileStage::Read, errno};
    if (S_ISDIR(st.st_mode))
        return {FileStage::Read, EISDIR};
    // A device could hand out bytes without end; a file read whole is never one.
    if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode))
        return {FileStage::NotAFile, 0};
    std::string strRead;
    if (S_ISREG(st.st_mode))
        strRead.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = RetryEintr([&] { return ::read(fd.Get(), buf, sizeof buf); });
        if (n < 0)
            return {FileStage::Read, errno};
        if (n == 0)
            break;
        strRead.append(buf, static_cast<std::size_t>(n));
    }
    data = std::move(strRead);
    return {};
}

FileResult PosixFileSystem::WriteFile(const std::string& strPath, std::string_view data) {
    // Save over the file a symbolic link points at, not over the link.
    std::string strTarget = strPath;
    struct stat st {};
    if (LStat(strPath, st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* pszReal = ::realpath(strPath.c_str(), nullptr)) {
            strTarget = pszReal;
            std::free(pszReal);
        }
    }
    const bool bExists = ::stat(strTarget.c_str(), &st) == 0;

    // 0666 lets the umask decide for a new file, as for any other.
    CReplaceFile temp(strTarget, kSaveTempPrefix, false);
    if (const int nErr = temp.CreateFile(0666))
        return {FileStage::Create, nErr};
    if (const int nErr = WriteAll(temp.Fd(), data))
        return {FileStage::Write, nErr};
    if (bExists && ::fchmod(temp.Fd(), st.st_mode & 07777) != 0)
        return {FileStage::Write, errno};
    if (const auto failure = temp.Commit(true))
        return {failure->eStage == CReplaceFile::Stage::Rename ? FileStage::Rename
                                                               : FileStage::Write,
                failure->nError};
    return {};
}

} // namespace kovrel::platform
