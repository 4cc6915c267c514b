#include "platform/PosixFile.h"

#include "platform/Path.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovrel::platform {

namespace {

FileTime ToFileTime(const timespec& ts) noexcept {
    return FileTime{static_cast<std::int64_t>(ts.tv_sec), static_cast<std::int32_t>(ts.tv_nsec)};
}

} // namespace

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
    attr.ftChange = ToFileTime(st.st_ctim);
    attr.nDevice = static_cast<std::uint64_t>(st.st_dev);
    attr.nInode = static_cast<std::uint64_t>(st.st_ino);
}

int UniqueFd::Close() noexcept {
    if (m_fd < 0)
        return 0;
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0 ? 0 : errno;
}

namespace {

// The first line of a small system file, or empty.
std::string ReadLine(const char* lpszPath) {
    std::string str;
    if (std::FILE* pFile = std::fopen(lpszPath, "re")) {
        char sz[256];
        if (std::fgets(sz, sizeof sz, pFile))
            str = sz;
        std::fclose(pFile);
    }
    while (!str.empty() && (str.back() == '\n' || str.back() == '\r'))
        str.pop_back();
    return str;
}

std::string Hex(std::uint64_t n, int nDigits) {
    std::string str(static_cast<std::size_t>(nDigits), '0');
    for (int i = nDigits - 1; i >= 0; --i, n >>= 4)
        str[static_cast<std::size_t>(i)] = "0123456789abcdef"[n & 0xF];
    return str;
}

} // namespace

const std::string& ThisMachineToken() {
    static const std::string s_str = [] {
        // Two containers may share a host name or a machine id, seldom both.
        std::string strId = ReadLine("/etc/machine-id");
        char szHost[256] = {};
        if (::gethostname(szHost, sizeof szHost - 1) == 0)
            strId += '\n' + std::string(szHost);
        std::uint64_t nHash = 14695981039346656037ull; // FNV-1a
        for (const char c : strId) {
            nHash ^= static_cast<unsigned char>(c);
            nHash *= 1099511628211ull;
        }
        return Hex(nHash, 16);
    }();
    return s_str;
}

const std::string& ThisBootToken() {
    static const std::string s_str = [] {
        std::string strBoot;
        for (const char c : ReadLine("/proc/sys/kernel/random/boot_id"))
            if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))
                strBoot += c;
        if (strBoot.size() != 32)
            strBoot.assign(32, '0');
        return strBoot;
    }();
    return s_str;
}

bool IsAbandonedTemp(const CopyTempName& parts) {
    if (parts.strHost != ThisMachineToken())
        return false; // another machine's, over a network file system
    if (parts.strBoot != ThisBootToken())
        return true; // no process of an earlier boot runs now
    if (parts.nPid == 0 || parts.nPid > static_cast<std::uint64_t>(INT32_MAX) ||
        parts.nPid == static_cast<std::uint64_t>(::getpid()))
        return false;
    return ::kill(static_cast<pid_t>(parts.nPid), 0) != 0 && errno == ESRCH;
}

int WriteAll(int fd, std::string_view data) noexcept {
    while (!data.empty()) {
        const ssize_t n = RetryEintr([&] { return ::write(fd, data.data(), data.size()); });
        if (n < 0)
            return errno;
        if (n == 0)
            return ENOSPC;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

DirWriteGrant::~DirWriteGrant() {
    if (m_bGranted) {
        // Best effort: a directory that cannot get its bits back keeps working.
        const int nSaved = errno;
        IgnoreFailure(::chmod(m_strDir.c_str(), m_mode));
        errno = nSaved;
    }
}

bool DirWriteGrant::Grant() {
    // The path may be /proc/self/fd/N of an open directory: stat and chmod follow
    // that to the directory itself.
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

CReplaceFile::CReplaceFile(const std::string& strTarget, std::string_view strPrefix,
                           bool bGrantDirWrite)
    : m_fdDir(AT_FDCWD), m_strDirPath(ParentPath(strTarget)), m_strTarget(strTarget),
      m_strTempBase(DirPrefix(m_strDirPath)), m_strPrefix(strPrefix),
      m_bGrantDirWrite(bGrantDirWrite) {}

CReplaceFile::CReplaceFile(int fdDir, std::string strDirPath, std::string strName,
                           std::string_view strPrefix, bool bGrantDirWrite)
    : m_fdDir(fdDir), m_strDirPath(std::move(strDirPath)), m_strTarget(std::move(strName)),
      m_strPrefix(strPrefix), m_bGrantDirWrite(bGrantDirWrite) {
    // Without a directory descriptor the names are paths: the temporary goes
    // into the target's own directory all the same.
    if (m_fdDir == AT_FDCWD)
        m_strTempBase = DirPrefix(m_strDirPath);
}

CReplaceFile::~CReplaceFile() {
    IgnoreFailure(m_fd.Close());
    if (!m_strTemp.empty())
        IgnoreFailure(::unlinkat(m_fdDir, m_strTemp.c_str(), 0));
}

// Creates a new, unused temporary name beside the target by the given maker
// (open with O_EXCL, symlink): tries fresh suffixes while the name is taken.
template <class F> int CReplaceFile::MakeTemp(F&& fnMake) {
    static std::atomic<std::uint64_t> s_nCounter{0};
    // The form CopyTempName reads back: whose temporary it is decides whether a
    // later run may clear it away.
    std::string strStem = m_strTempBase;
    strStem += m_strPrefix;
    strStem += ThisMachineToken();
    strStem += '-';
    strStem += ThisBootToken();
    strStem += '-';
    strStem += std::to_string(static_cast<long long>(::getpid()));
    strStem += '-';
    const auto tryAll = [&] {
        for (int nTry = 0; nTry < 1000; ++nTry) {
            std::string strTemp = strStem;
            strTemp += std::to_string(s_nCounter.fetch_add(1, std::memory_order_relaxed));
            const int nErr = fnMake(strTemp);
            if (nErr == 0)
                m_strTemp = std::move(strTemp);
            if (nErr != EEXIST)
                return nErr;
        }
        return EEXIST;
    };
    int nErr = tryAll();
    if (nErr == EACCES && m_bGrantDirWrite) {
        m_grant.emplace(m_strDirPath);
        if (m_grant->Grant())
            nErr = tryAll();
    }
    return nErr;
}

int CReplaceFile::CreateFile(mode_t mode) {
    return MakeTemp([&](const std::string& strTemp) {
        const int fd = RetryEintr([&] {
            return ::openat(m_fdDir, strTemp.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        });
        if (fd < 0)
            return errno;
        m_fd.Reset(fd);
        return 0;
    });
}

int CReplaceFile::CreateSymlink(const std::string& strLinkText) {
    return MakeTemp([&](const std::string& strTemp) {
        return ::symlinkat(strLinkText.c_str(), m_fdDir, strTemp.c_str()) == 0 ? 0 : errno;
    });
}

std::optional<CReplaceFile::Failure> CReplaceFile::Commit(bool bSync,
                                                          const ExpectedTarget* pExpect) {
    int nErr = 0;
    if (bSync && m_fd.Get() >= 0 && RetryEintr([&] { return ::fsync(m_fd.Get()); }) != 0)
        nErr = errno;
    // The close is checked as well: only a temporary whose every byte arrived
    // may take the target's place.
    if (const int nCloseErr = m_fd.Close(); nErr == 0)
        nErr = nCloseErr;
    if (nErr != 0)
        return Failure{Stage::Write, nErr};
    if (const int nRenameErr = RenameOver(pExpect))
        return Failure{Stage::Rename, nRenameErr};
    m_strTemp.clear();
    return std::nullopt;
}

int CReplaceFile::RenameOver(const ExpectedTarget* pExpect) {
    const auto rename = [&] {
        return RetryEintr([&] {
                   return ::renameat(m_fdDir, m_strTemp.c_str(), m_fdDir, m_strTarget.c_str());
               }) == 0
                   ? 0
                   : errno;
    };
    if (!pExpect || pExpect->eKind == ExpectedTarget::Kind::Anything)
        return rename();

    if (pExpect->eKind == ExpectedTarget::Kind::Absent) {
        // Nothing may be replaced: a file saved there since the decision stays.
        if (::renameat2(m_fdDir, m_strTemp.c_str(), m_fdDir, m_strTarget.c_str(),
                        RENAME_NOREPLACE) == 0)
            return 0;
        if (errno == EEXIST)
            return kErrTargetChanged;
        if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
            return errno;
        // A file system without the no-replace rename: a hard link is made only
        // where no name is, and the temporary's own name goes after it.
        if (::linkat(m_fdDir, m_strTemp.c_str(), m_fdDir, m_strTarget.c_str(), 0) == 0) {
            IgnoreFailure(::unlinkat(m_fdDir, m_strTemp.c_str(), 0));
            return 0;
        }
        if (errno == EEXIST)
            return kErrTargetChanged;
        // Nor hard links (FAT): the last look and the rename, as close as they go.
    }

    // The target is looked at right before the rename; the kernel has no rename
    // that compares, so a change in the microseconds between the two is the one
    // left unseen.
    struct stat st {};
    FileAttr attrNow;
    const bool bPresent =
        RetryEintr(
            [&] { return ::fstatat(m_fdDir, m_strTarget.c_str(), &st, AT_SYMLINK_NOFOLLOW); }) == 0;
    if (!bPresent && errno != ENOENT)
        return errno;
    if (bPresent)
        FillAttr(st, attrNow);
    if (!pExpect->Holds(bPresent ? &attrNow : nullptr))
        return kErrTargetChanged;
    return rename();
}

} // namespace kovrel::platform
