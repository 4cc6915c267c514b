// The tops of an item and the paths below them: each top is held open, and
// every path below it is reached from there without following a link in any
// component (openat2 where the kernel has it, else one component at a time).
#include "platform/PosixFileSystem.h"

#include "platform/Path.h"
#include "platform/PosixFile.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kovrel::platform {

namespace {

std::string FdPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// openat2 with links refused; ENOSYS where the kernel (or a seccomp filter)
// does not have it.
int OpenAt2(int fdDir, const char* lpszPath, int nFlags) noexcept {
    open_how how{};
    how.flags = static_cast<std::uint64_t>(nFlags);
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    for (int nTry = 0;; ++nTry) {
        const long n = ::syscall(SYS_openat2, fdDir, lpszPath, &how, sizeof how);
        if (n >= 0)
            return static_cast<int>(n);
        // EAGAIN: a rename elsewhere raced the lookup; it is safe to look again.
        if (errno != EINTR && !(errno == EAGAIN && nTry < 16))
            return -1;
    }
}

std::atomic<bool> s_bNoOpenAt2{false};

// The same without openat2: one component at a time, none of them a link.
int OpenByComponents(int fdTop, std::string_view strRel, int nFlags) {
    UniqueFd fdHere;
    int fdCur = fdTop;
    while (!strRel.empty()) {
        const std::size_t nSep = strRel.find(kPathSep);
        const std::string strPart(strRel.substr(0, nSep));
        strRel = nSep == std::string_view::npos ? std::string_view() : strRel.substr(nSep + 1);
        while (!strRel.empty() && strRel.front() == kPathSep)
            strRel.remove_prefix(1);
        if (strPart.empty() || strPart == ".")
            continue;
        if (strPart == "..") {
            errno = EXDEV; // never back out of the top
            return -1;
        }
        const bool bLast = strRel.empty();
        const int nOpen = bLast ? (nFlags | O_NOFOLLOW | O_CLOEXEC)
                                : (O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int fd = RetryEintr([&] { return ::openat(fdCur, strPart.c_str(), nOpen, 0); });
        if (fd < 0)
            return -1;
        if (bLast)
            return fd;
        fdHere.Reset(fd);
        fdCur = fd;
    }
    // Nothing but the top itself.
    return RetryEintr([&] { return ::openat(fdTop, ".", nFlags | O_CLOEXEC, 0); });
}

} // namespace

void PosixFileSystem::SetTops(const std::string& strTop1, const std::string& strTop2) {
    const std::string* tops[2] = {&strTop1, &strTop2};
    for (int i = 0; i < 2; ++i) {
        Anchor& anchor = m_anchors[i];
        IgnoreFailure(anchor.fd.Close());
        anchor.strPrefix.clear();
        anchor.strNormPrefix.clear();
        m_strTopPaths[i].clear();
        if (tops[i]->empty())
            continue;
        m_strTopPaths[i] = NormalizePath(*tops[i]);
        anchor.strPrefix = DirPrefix(*tops[i]);
        const std::string strNorm = NormalizePath(*tops[i]);
        // "." holds every relative path, which the normalized form writes bare.
        anchor.strNormPrefix = strNorm == "." ? std::string() : DirPrefix(strNorm);
    }
    if (strTop1.empty() && strTop2.empty()) {
        m_deviceTimes.clear();
        // Mounts and trash directories may change before the next run.
        if (m_pTrash)
            m_pTrash->Reset();
    }
}

PosixFileSystem::Anchor* PosixFileSystem::FindAnchor(std::string_view strPath,
                                                     std::string_view& strRel) {
    const auto below = [](std::string_view strPrefix, std::string_view str) {
        return str.size() > strPrefix.size() && str.substr(0, strPrefix.size()) == strPrefix;
    };
    for (Anchor& anchor : m_anchors) {
        if (!anchor.strPrefix.empty() && below(anchor.strPrefix, strPath)) {
            strRel = strPath.substr(anchor.strPrefix.size());
            while (!strRel.empty() && strRel.front() == kPathSep)
                strRel.remove_prefix(1);
            if (strRel.empty())
                break; // the top itself, written with more separators
            return &anchor;
        }
    }
    // The overlay and the callers may write the same path another way.
    bool bNormalized = false;
    for (Anchor& anchor : m_anchors) {
        if (anchor.strPrefix.empty())
            continue;
        if (!bNormalized) {
            m_strNormScratch = NormalizePath(strPath);
            bNormalized = true;
        }
        const std::string_view strNorm = m_strNormScratch;
        const bool bInside = anchor.strNormPrefix.empty()
                                 ? (!strNorm.empty() && strNorm[0] != kPathSep && strNorm != "." &&
                                    strNorm != ".." && strNorm.substr(0, 3) != "../")
                                 : below(anchor.strNormPrefix, strNorm);
        if (bInside) {
            strRel = strNorm.substr(anchor.strNormPrefix.size());
            return &anchor;
        }
    }
    return nullptr;
}

int PosixFileSystem::AnchorFd(Anchor& anchor, int& fd) {
    if (anchor.fd.Get() < 0) {
        // The top itself is taken as the user wrote it: a link there is followed.
        // A top that does not exist yet (it is about to be created) is opened on
        // the first use after that.
        const int fdNew = RetryEintr(
            [&] { return ::open(anchor.strPrefix.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); });
        if (fdNew < 0)
            return errno;
        anchor.fd.Reset(fdNew);
    }
    fd = anchor.fd.Get();
    return 0;
}

int PosixFileSystem::OpenBelow(Anchor& anchor, std::string_view strRel, int nFlags, UniqueFd& fd) {
    int fdTop = -1;
    if (const int nErr = AnchorFd(anchor, fdTop))
        return nErr;
    int fdNew = -1;
    if (m_eWalk == BelowTops::Auto && !s_bNoOpenAt2.load(std::memory_order_relaxed)) {
        const std::string strRelPath(strRel);
        fdNew = OpenAt2(fdTop, strRelPath.c_str(), nFlags | O_CLOEXEC);
        if (fdNew < 0 && (errno == ENOSYS || errno == EPERM)) {
            s_bNoOpenAt2.store(true, std::memory_order_relaxed);
        } else if (fdNew < 0) {
            return errno;
        }
    }
    if (fdNew < 0) {
        fdNew = OpenByComponents(fdTop, strRel, nFlags);
        if (fdNew < 0)
            return errno;
    }
    fd.Reset(fdNew);
    return 0;
}

int PosixFileSystem::Locate(const std::string& strPath, Place& place) {
    std::string_view strRel;
    Anchor* pAnchor = FindAnchor(strPath, strRel);
    if (!pAnchor) {
        place.fdDir = AT_FDCWD;
        place.strName = strPath;
        place.strDirPath = ParentPath(strPath);
        return 0;
    }
    const PathParts parts = SplitPath(strRel);
    place.strName.assign(parts.strName);
    if (parts.strName.empty() || parts.strName == "." || parts.strName == "..")
        return EXDEV; // never the top or above it through a path below it
    if (parts.strParent == ".") {
        if (const int nErr = AnchorFd(*pAnchor, place.fdDir))
            return nErr;
    } else {
        if (const int nErr =
                OpenBelow(*pAnchor, parts.strParent, O_PATH | O_DIRECTORY, place.fdOwned))
            return nErr;
        place.fdDir = place.fdOwned.Get();
    }
    place.strDirPath = FdPath(place.fdDir);
    return 0;
}

int PosixFileSystem::OpenDirectory(const std::string& strPath, UniqueFd& fd) {
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOCTTY;
    std::string_view strRel;
    if (Anchor* pAnchor = FindAnchor(strPath, strRel))
        return OpenBelow(*pAnchor, strRel, kFlags, fd);
    fd.Reset(RetryEintr([&] { return ::open(strPath.c_str(), kFlags | O_CLOEXEC); }));
    return fd.Get() < 0 ? errno : 0;
}

} // namespace kovrel::platform
