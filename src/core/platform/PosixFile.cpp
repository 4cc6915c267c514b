#include "platform/PosixFile.h"

#include "platform/Path.h"

#include <atomic>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovrel::platform {

int UniqueFd::Close() noexcept {
    if (m_fd < 0)
        return 0;
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0 ? 0 : errno;
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
        (void)::chmod(m_strDir.c_str(), m_mode);
        errno = nSaved;
    }
}

bool DirWriteGrant::Grant() {
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
    : m_strTarget(strTarget), m_strPrefix(strPrefix), m_bGrantDirWrite(bGrantDirWrite) {}

CReplaceFile::~CReplaceFile() {
    (void)m_fd.Close();
    if (!m_strTemp.empty())
        (void)::unlink(m_strTemp.c_str());
}

// Creates a new, unused temporary name beside the target by the given maker
// (open with O_EXCL, symlink): tries fresh suffixes while the name is taken.
template <class F> int CReplaceFile::MakeTemp(F&& fnMake) {
    static std::atomic<std::uint64_t> s_nCounter{0};
    const std::string strDir = ParentPath(m_strTarget);
    const std::string strPid = std::to_string(static_cast<long long>(::getpid()));
    const auto tryAll = [&] {
        for (int nTry = 0; nTry < 1000; ++nTry) {
            std::string strName(m_strPrefix);
            strName += strPid;
            strName += '-';
            strName += std::to_string(s_nCounter.fetch_add(1, std::memory_order_relaxed));
            std::string strTemp = JoinPath(strDir, strName);
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
        m_grant.emplace(strDir);
        if (m_grant->Grant())
            nErr = tryAll();
    }
    return nErr;
}

int CReplaceFile::CreateFile(mode_t mode) {
    return MakeTemp([&](const std::string& strTemp) {
        const int fd = RetryEintr([&] {
            return ::open(strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          mode);
        });
        if (fd < 0)
            return errno;
        m_fd.Reset(fd);
        return 0;
    });
}

int CReplaceFile::CreateSymlink(const std::string& strLinkText) {
    return MakeTemp([&](const std::string& strTemp) {
        return ::symlink(strLinkText.c_str(), strTemp.c_str()) == 0 ? 0 : errno;
    });
}

std::optional<CReplaceFile::Failure> CReplaceFile::Commit(bool bSync) {
    int nErr = 0;
    if (bSync && m_fd.Get() >= 0 && RetryEintr([&] { return ::fsync(m_fd.Get()); }) != 0)
        nErr = errno;
    // The close is checked as well: only a temporary whose every byte arrived
    // may take the target's place.
    if (const int nCloseErr = m_fd.Close(); nErr == 0)
        nErr = nCloseErr;
    if (nErr != 0)
        return Failure{Stage::Write, nErr};
    if (RetryEintr([&] { return ::rename(m_strTemp.c_str(), m_strTarget.c_str()); }) != 0)
        return Failure{Stage::Rename, errno};
    m_strTemp.clear();
    return std::nullopt;
}

} // namespace kovrel::platform
