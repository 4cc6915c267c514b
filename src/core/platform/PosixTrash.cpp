// Moves into the trash: the entry is reached as every other operation reaches
// it (below a top through directories opened without following links), and
// leaves its directory by a rename relative to that directory's descriptor.
#include "platform/PosixFileSystem.h"

#include "platform/Path.h"

#include <cerrno>
#include <climits>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace kovrel::platform {

void PosixFileSystem::SetTrashEnv(TrashEnv env) {
    m_pTrash = std::make_unique<CTrash>(std::move(env));
}

CTrash& PosixFileSystem::Trash() {
    if (!m_pTrash)
        m_pTrash = std::make_unique<CTrash>(TrashEnv::FromProcess());
    return *m_pTrash;
}

bool PosixFileSystem::IsHomeTrash(std::string_view strName, const struct stat& st) {
    // Told by identity, not by path: the tree may reach it through another
    // name. Looked up afresh each time, as a run may create it meanwhile.
    if (strName != "Trash" || !S_ISDIR(st.st_mode))
        return false;
    struct stat stHome {};
    if (::lstat(Trash().HomeTrashPath().c_str(), &stHome) != 0)
        return false;
    return stHome.st_dev == st.st_dev && stHome.st_ino == st.st_ino;
}

int PosixFileSystem::LocateForTrash(const std::string& strPath, Place& place,
                                    std::string& strRealDir) {
    if (const int nErr = Locate(strPath, place))
        return nErr;
    if (place.fdDir == AT_FDCWD) {
        // Outside the tops the path is taken as written; the directory is held
        // open all the same, so that where it is and what is renamed agree.
        const PathParts parts = SplitPath(strPath);
        place.strName.assign(parts.strName);
        const int fd = RetryEintr(
            [&] { return ::open(place.strDirPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); });
        if (fd < 0)
            return errno;
        place.fdOwned.Reset(fd);
        place.fdDir = fd;
    }
    if (place.strName.empty() || place.strName == "." || place.strName == "..")
        return EINVAL;
    // The directory's own path as the kernel knows it: links resolved, and the
    // mount it was reached through (a bind mount is a file system of its own
    // for a rename).
    char szReal[PATH_MAX + 1];
    const std::string strFd = "/proc/self/fd/" + std::to_string(place.fdDir);
    const ssize_t n = ::readlink(strFd.c_str(), szReal, PATH_MAX);
    if (n <= 0)
        return n < 0 ? errno : ENOENT;
    strRealDir.assign(szReal, static_cast<std::size_t>(n));
    if (strRealDir.front() != kPathSep)
        return ENOENT; // removed meanwhile ("... (deleted)") or out of reach
    return 0;
}

TrashResult PosixFileSystem::MoveToTrash(const std::string& strPath) {
    Place place;
    std::string strRealDir;
    if (const int nErr = LocateForTrash(strPath, place, strRealDir))
        return {TrashStatus::Failed, nErr, {}, {}, {}};
    return Trash().Move(place.fdDir, place.strName, strRealDir, place.strDirPath);
}

TrashResult PosixFileSystem::KeepInTrash(const std::string& strPath) {
    Place place;
    std::string strRealDir;
    if (const int nErr = LocateForTrash(strPath, place, strRealDir))
        return {TrashStatus::Failed, nErr, {}, {}, {}};
    return Trash().Keep(place.fdDir, place.strName, strRealDir);
}

TrashResult PosixFileSystem::ProbeTrash(const std::string& strPath) {
    Place place;
    std::string strRealDir;
    if (const int nErr = LocateForTrash(strPath, place, strRealDir))
        return {TrashStatus::Failed, nErr, {}, {}, {}};
    return Trash().Probe(place.fdDir, strRealDir);
}

int PosixFileSystem::DropFromTrash(const TrashResult& kept) {
    return Trash().Drop(kept);
}

} // namespace kovrel::platform
