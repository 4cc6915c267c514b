#include "platform/PosixFileSystem.h"

#include "platform/Path.h"
#include "platform/PosixCopyData.h"
#include "platform/PosixFile.h"
#include "platform/Trash.h"

#include <algorithm>
#include <cerrno>
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

// A directory stream, closed with its owner.
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

namespace {

timespec ToTimespec(const FileTime& ft) noexcept {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ft.nSec);
    ts.tv_nsec = ft.nNsec;
    return ts;
}

// What a listing makes of a directory entry. Every decision about which entries
// are shown lives here.
enum class Listed : std::uint8_t { Entry, LeftOut, StaleTemp };

Listed ClassifyEntry(std::string_view strName, EntryType type, std::uint32_t dwMode) {
    // The trash of a file system sits at its mount point, often an item's top:
    // never copied to the other side, never deleted by a run.
    if (IsTrashDirEntry(strName, type, dwMode))
        return Listed::LeftOut;
    // FIFOs, sockets and devices are entries (never opened): the pass must see
    // that the name is taken, and leaves it alone on both sides.
    if (type == EntryType::Directory || type == EntryType::Other)
        return Listed::Entry;
    CopyTempName parts;
    if (!ParseCopyTempName(strName, kCopyTempPrefix, parts))
        return Listed::Entry; // a user's file, whatever its name looks like
    // Ours: only a regular file that no live process can still be writing goes.
    if (type == EntryType::File && IsAbandonedTemp(parts))
        return Listed::StaleTemp;
    return Listed::LeftOut;
}

// Reads until buf is full or the file ends: the byte count, or -1 with errno.
ssize_t ReadFull(int fd, char* buf, std::size_t nSize) noexcept {
    std::size_t nGot = 0;
    while (nGot < nSize) {
        const ssize_t n = RetryEintr([&] { return ::read(fd, buf + nGot, nSize - nGot); });
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        nGot += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(nGot);
}

int StatAt(int fdDir, const char* lpszName, struct stat& st) noexcept {
    return RetryEintr([&] { return ::fstatat(fdDir, lpszName, &st, AT_SYMLINK_NOFOLLOW); }) == 0
               ? 0
               : errno;
}

int LStat(const std::string& strPath, struct stat& st) noexcept {
    return RetryEintr([&] { return ::lstat(strPath.c_str(), &st); }) == 0 ? 0 : errno;
}

// Takes an open directory over for reading its entries; 0 or errno.
int AdoptDir(UniqueFd& fd, std::optional<UniqueDir>& dir) {
    DIR* pDir = ::fdopendir(fd.Get());
    if (!pDir)
        return errno;
    IgnoreFailure(fd.Release()); // the DIR owns it now
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

EntryType TypeOfDType(unsigned char nType) noexcept {
    switch (nType) {
    case DT_REG:
        return EntryType::File;
    case DT_DIR:
        return EntryType::Directory;
    case DT_LNK:
        return EntryType::Symlink;
    default:
        return EntryType::Other;
    }
}

// Runs a change of one directory entry (fn returns 0 or errno); when it is
// refused for want of permission on the parent, grants that for one more try.
template <class F> int WithParentWritable(const std::string& strDirPath, F&& fn) {
    const int nErr = fn();
    if (nErr != EACCES)
        return nErr;
    DirWriteGrant grant(strDirPath);
    if (!grant.Grant())
        return nErr;
    return fn();
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

// ---------------------------------------------------------------------------
// Operations (the tops and the paths below them: PosixBelowTops.cpp; the times
// of a device: PosixDeviceTimes.cpp; the data of a copy: PosixCopyData.cpp)

AttrStatus PosixFileSystem::GetAttr(const std::string& strPath, FileAttr& attr, int& nError) {
    Place place;
    if (const int nErr = Locate(strPath, place)) {
        nError = nErr; // the parent is missing or a link: an error, never absent
        return AttrStatus::Error;
    }
    struct stat st {};
    const int nErr = StatAt(place.fdDir, place.strName.c_str(), st);
    if (nErr == 0) {
        FillAttr(st, attr);
        if (!m_deviceTimes.contains(attr.nDevice)) {
            UniqueFd fdParent(place.fdDir == AT_FDCWD ? RetryEintr([&] {
                return ::open(place.strDirPath.c_str(), O_PATH | O_CLOEXEC);
            })
                                                      : -1);
            NoteDevice(attr.nDevice, place.fdDir == AT_FDCWD ? fdParent.Get() : place.fdDir);
        }
        nError = 0;
        return AttrStatus::Ok;
    }
    if (nErr == ENOENT && !strPath.empty()) {
        // Absent only when the entry alone is missing; a missing parent is an
        // error, as a path that leads nowhere is. Below a top the parent was
        // reached already.
        struct stat stParent {};
        if (place.fdDir != AT_FDCWD ||
            (RetryEintr([&] { return ::stat(place.strDirPath.c_str(), &stParent); }) == 0 &&
             S_ISDIR(stParent.st_mode))) {
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
    int fdDir = -1;
    if (const int nErr = OpenForReading(strPath, dir, fdDir))
        return nErr;
    struct stat stDir {};
    if (::fstat(fdDir, &stDir) == 0)
        NoteDevice(static_cast<std::uint64_t>(stDir.st_dev), fdDir);

    const int nErr = ReadEntries(dir->Get(), [&](const dirent& ent) {
        const char* lpszName = ent.d_name;
        const std::string_view strName(lpszName);
        // The type readdir gives spares a stat of what is left out anyway.
        if (ent.d_type != DT_UNKNOWN && ent.d_type != DT_DIR && ent.d_type != DT_LNK &&
            ClassifyEntry(strName, TypeOfDType(ent.d_type), 0) == Listed::LeftOut)
            return 0;

        struct stat st {};
        if (const int nStatErr = StatAt(fdDir, lpszName, st))
            return nStatErr == ENOENT ? 0 : nStatErr; // gone since readdir, removed by another
        if (IsHomeTrash(strName, st))
            return 0;
        switch (ClassifyEntry(strName, TypeOfMode(st.st_mode), st.st_mode & 07777)) {
        case Listed::LeftOut:
            return 0;
        case Listed::StaleTemp:
            if (pStaleTemps)
                pStaleTemps->emplace_back(strName);
            return 0;
        case Listed::Entry:
            break;
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

int PosixFileSystem::OpenForReading(const std::string& strDir, std::optional<UniqueDir>& dir,
                                    int& fdDir) {
    UniqueFd fdOpen;
    if (const int nErr = OpenDirectory(strDir, fdOpen))
        return nErr;
    fdDir = fdOpen.Get();
    return AdoptDir(fdOpen, dir);
}

int PosixFileSystem::CountUnlisted(const std::string& strDir, std::size_t& nCount) {
    nCount = 0;
    std::optional<UniqueDir> dir;
    int fdDir = -1;
    if (const int nErr = OpenForReading(strDir, dir, fdDir))
        return nErr;
    return ReadEntries(dir->Get(), [&](const dirent& ent) {
        EntryType type = TypeOfDType(ent.d_type);
        std::uint32_t dwMode = 0;
        // A trash directory is told by its mode as well as its name, the home
        // trash by its identity.
        if (ent.d_type == DT_UNKNOWN ||
            (ent.d_type == DT_DIR && (std::strncmp(ent.d_name, ".Trash", 6) == 0 ||
                                      std::strcmp(ent.d_name, "Trash") == 0))) {
            struct stat st {};
            if (StatAt(fdDir, ent.d_name, st) != 0)
                return 0; // gone since readdir
            if (IsHomeTrash(ent.d_name, st)) {
                ++nCount;
                return 0;
            }
            type = TypeOfMode(st.st_mode);
            dwMode = st.st_mode & 07777;
        }
        if (ClassifyEntry(ent.d_name, type, dwMode) == Listed::LeftOut)
            ++nCount;
        return 0;
    });
}

int PosixFileSystem::ListStaleTemps(const std::string& strDir,
                                    std::vector<std::string>& staleTemps) {
    staleTemps.clear();
    std::optional<UniqueDir> dir;
    int fdDir = -1;
    if (const int nErr = OpenForReading(strDir, dir, fdDir))
        return nErr;
    const int nErr = ReadEntries(dir->Get(), [&](const dirent& ent) {
        // Only names of the temporaries' form are looked at closer.
        const std::string_view strName(ent.d_name);
        if (!strName.starts_with(kCopyTempPrefix))
            return 0;
        struct stat st {};
        if (StatAt(fdDir, ent.d_name, st) != 0)
            return 0; // gone since readdir
        if (ClassifyEntry(strName, TypeOfMode(st.st_mode), st.st_mode & 07777) == Listed::StaleTemp)
            staleTemps.emplace_back(strName);
        return 0;
    });
    if (nErr != 0)
        staleTemps.clear();
    return nErr;
}

const std::string& PosixFileSystem::FollowFileTop(const std::string& strPath,
                                                  std::string& strScratch) {
    const std::string strNorm = NormalizePath(strPath);
    if (strNorm != m_strTopPaths[0] && strNorm != m_strTopPaths[1])
        return strPath;
    struct stat st {};
    if (LStat(strPath, st) != 0 || !S_ISLNK(st.st_mode))
        return strPath;
    char* lpszReal = ::realpath(strPath.c_str(), nullptr);
    if (!lpszReal)
        return strPath; // dangling: the link itself is the entry
    strScratch = lpszReal;
    std::free(lpszReal);
    if (RetryEintr([&] { return ::stat(strScratch.c_str(), &st); }) != 0 || !S_ISREG(st.st_mode))
        return strPath;
    return strScratch;
}

int PosixFileSystem::CopyFile(const std::string& strFromGiven, const std::string& strToGiven,
                              const ExpectedTarget& expect) {
    // An item's top that links to a file: read from that file, or write in its
    // place (beside it), so neither side turns into a link because of it.
    std::string strFromReal;
    std::string strToReal;
    const std::string& strFrom = FollowFileTop(strFromGiven, strFromReal);
    const std::string& strTo = FollowFileTop(strToGiven, strToReal);
    Place from;
    if (const int nErr = Locate(strFrom, from))
        return nErr;
    struct stat st {};
    if (const int nErr = StatAt(from.fdDir, from.strName.c_str(), st))
        return nErr;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        return EINVAL; // a FIFO or device is never opened: that could block or have effects
    Place to;
    if (const int nErr = Locate(strTo, to))
        return nErr;
    return S_ISLNK(st.st_mode) ? CopySymlink(from, st, to, expect) : CopyRegular(from, to, expect);
}

int PosixFileSystem::CopyRegular(Place& from, Place& to, const ExpectedTarget& expect) {
    // O_NONBLOCK: should the name have turned into a FIFO since lstat, the open
    // must not hang; fstat below turns the copy down then. O_NOFOLLOW: nor may
    // it have turned into a link.
    UniqueFd fdIn(RetryEintr([&] {
        return ::openat(from.fdDir, from.strName.c_str(),
                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    }));
    if (fdIn.Get() < 0)
        return errno;
    struct stat st {};
    if (::fstat(fdIn.Get(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;

    CReplaceFile temp(to.fdDir, to.strDirPath, to.strName, kCopyTempPrefix, true);
    if (const int nErr = temp.CreateFile(0600))
        return nErr;
    if (const int nErr = CopyData(fdIn.Get(), temp.Fd(), st, GetCopyObserver()))
        return nErr;
    if (RetryEintr([&] { return ::fchmod(temp.Fd(), st.st_mode & 07777); }) != 0)
        return errno;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (RetryEintr([&] { return ::futimens(temp.Fd(), times); }) != 0)
        return errno;
    // Copies are not flushed to the disk, as cp does not: a sync per file would
    // make a tree copy many times slower.
    const auto failure = temp.Commit(false, &expect);
    return failure ? failure->nError : 0;
}

int PosixFileSystem::CopySymlink(Place& from, const struct stat& stFrom, Place& to,
                                 const ExpectedTarget& expect) {
    // The link is recreated, never followed: its target text is copied as it is.
    std::string strTarget(static_cast<std::size_t>(std::max<std::uint64_t>(
                              static_cast<std::uint64_t>(stFrom.st_size), 63)) +
                              1,
                          '\0');
    for (;;) {
        const ssize_t n =
            ::readlinkat(from.fdDir, from.strName.c_str(), strTarget.data(), strTarget.size());
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

    CReplaceFile temp(to.fdDir, to.strDirPath, to.strName, kCopyTempPrefix, true);
    if (const int nErr = temp.CreateSymlink(strTarget))
        return nErr;
    const timespec times[2] = {stFrom.st_atim, stFrom.st_mtim};
    if (::utimensat(temp.DirFd(), temp.TempPath().c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    const auto failure = temp.Commit(false, &expect);
    return failure ? failure->nError : 0;
}

int PosixFileSystem::DeleteFile(const std::string& strPath) {
    Place place;
    if (const int nErr = Locate(strPath, place))
        return nErr;
    return WithParentWritable(place.strDirPath, [&] {
        return ::unlinkat(place.fdDir, place.strName.c_str(), 0) == 0 ? 0 : errno;
    });
}

int PosixFileSystem::CreateDir(const std::string& strPath) {
    Place place;
    if (const int nErr = Locate(strPath, place))
        return nErr;
    const int nErr = WithParentWritable(place.strDirPath, [&] {
        // Owner only: the pass gives it the model's bits once it has filled it,
        // and a run killed meanwhile must not leave a private tree readable by
        // others.
        return ::mkdirat(place.fdDir, place.strName.c_str(), 0700) == 0 ? 0 : errno;
    });
    if (nErr != 0)
        return nErr;
    // The owner must be able to enter and write it whatever the umask says. Best
    // effort: should it fail, the pass reports each entry it cannot make inside.
    struct stat st {};
    if (StatAt(place.fdDir, place.strName.c_str(), st) == 0 && S_ISDIR(st.st_mode) &&
        (st.st_mode & S_IRWXU) != S_IRWXU)
        IgnoreFailure(::fchmodat(place.fdDir, place.strName.c_str(), (st.st_mode & 07777) | S_IRWXU,
                                 AT_SYMLINK_NOFOLLOW));
    return 0;
}

int PosixFileSystem::RemoveDir(const std::string& strPath) {
    Place place;
    if (const int nErr = Locate(strPath, place))
        return nErr;
    return WithParentWritable(place.strDirPath, [&] {
        return ::unlinkat(place.fdDir, place.strName.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
    });
}

int PosixFileSystem::GetTimes(const std::string& strPath, FileTime* pAccess, FileTime* pWrite) {
    Place place;
    if (const int nErr = Locate(strPath, place))
        return nErr;
    struct stat st {};
    if (const int nErr = StatAt(place.fdDir, place.strName.c_str(), st))
        return nErr;
    FileAttr attr;
    FillAttr(st, attr);
    TakeTimes(attr, pAccess, pWrite);
    return 0;
}

int PosixFileSystem::SetTimes(const std::string& strPath, const FileTime* pAccess,
                              const FileTime* pWrite) {
    Place place;
    if (const int nErr = Locate(strPath, place))
        return nErr;
    timespec times[2];
    times[0] = pAccess ? ToTimespec(*pAccess) : timespec{0, UTIME_OMIT};
    times[1] = pWrite ? ToTimespec(*pWrite) : timespec{0, UTIME_OMIT};
    return ::utimensat(place.fdDir, place.strName.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 ? 0
                                                                                            : errno;
}

int PosixFileSystem::SetMode(const std::string& strPath, std::uint32_t dwMode) {
    Place place;
    if (const int nErr = Locate(strPath, place))
        return nErr;
    struct stat st {};
    if (const int nErr = StatAt(place.fdDir, place.strName.c_str(), st))
        return nErr;
    if (S_ISLNK(st.st_mode))
        return 0; // a link has no bits of its own; chmod would change its target
    // AT_SYMLINK_NOFOLLOW: a link that took the entry's place since is refused.
    return ::fchmodat(place.fdDir, place.strName.c_str(), static_cast<mode_t>(dwMode & 07777),
                      AT_SYMLINK_NOFOLLOW) == 0
               ? 0
               : errno;
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

int PosixFileSystem::CompareFiles(const std::string& strPath1, const std::string& strPath2,
                                  bool& bSame) {
    bSame = false;
    UniqueFd fds[2];
    std::uint64_t nSizes[2] = {0, 0};
    const std::string* paths[2] = {&strPath1, &strPath2};
    for (int i = 0; i < 2; ++i) {
        std::string strReal;
        Place place;
        if (const int nErr = Locate(FollowFileTop(*paths[i], strReal), place))
            return nErr;
        // As a copy's source: never through a link, never blocking on a FIFO.
        fds[i].Reset(RetryEintr([&] {
            return ::openat(place.fdDir, place.strName.c_str(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        }));
        if (fds[i].Get() < 0)
            return errno == ELOOP ? EINVAL : errno;
        struct stat st {};
        if (::fstat(fds[i].Get(), &st) != 0)
            return errno;
        if (!S_ISREG(st.st_mode))
            return EINVAL;
        nSizes[i] = static_cast<std::uint64_t>(st.st_size);
    }
    if (nSizes[0] != nSizes[1])
        return 0;
    constexpr std::size_t kChunk = std::size_t{1} << 18;
    std::vector<char> buf1(kChunk);
    std::vector<char> buf2(kChunk);
    for (;;) {
        const ssize_t n1 = ReadFull(fds[0].Get(), buf1.data(), kChunk);
        if (n1 < 0)
            return errno;
        const ssize_t n2 = ReadFull(fds[1].Get(), buf2.data(), kChunk);
        if (n2 < 0)
            return errno;
        if (n1 != n2 || std::memcmp(buf1.data(), buf2.data(), static_cast<std::size_t>(n1)) != 0)
            return 0;
        if (n1 == 0) {
            bSame = true;
            return 0;
        }
    }
}

FileResult PosixFileSystem::ReadFile(const std::string& strPath, std::string& data,
                                     std::size_t nMaxBytes) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer that may never come.
    // Only a regular file is read: a FIFO or a device could hand out bytes
    // without end, or none and block for good.
    UniqueFd fd(RetryEintr(
        [&] { return ::open(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY); }));
    if (fd.Get() < 0)
        return {FileStage::Open, errno};
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0)
        return {FileStage::Read, errno};
    if (S_ISDIR(st.st_mode))
        return {FileStage::Read, EISDIR};
    if (!S_ISREG(st.st_mode))
        return {FileStage::NotAFile, 0};
    if (static_cast<std::uint64_t>(st.st_size) > nMaxBytes)
        return {FileStage::TooLarge, EFBIG};
    std::string strRead;
    strRead.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = RetryEintr([&] { return ::read(fd.Get(), buf, sizeof buf); });
        if (n < 0)
            return {FileStage::Read, errno};
        if (n == 0)
            break;
        if (static_cast<std::size_t>(n) > nMaxBytes - strRead.size())
            return {FileStage::TooLarge, EFBIG}; // it grew while being read
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
