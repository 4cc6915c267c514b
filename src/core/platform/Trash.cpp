#include "platform/Trash.h"

#include "platform/Path.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovrel::platform {

namespace {

constexpr std::string_view kInfoSuffix = ".trashinfo";

// "\040" and the like, as the kernel writes spaces, tabs, new lines and
// backslashes in the mount table.
std::string UnescapeMountField(std::string_view str) {
    std::string strOut;
    strOut.reserve(str.size());
    for (std::size_t i = 0; i < str.size(); ++i) {
        if (str[i] == '\\' && i + 3 < str.size() && str[i + 1] >= '0' && str[i + 1] <= '3' &&
            str[i + 2] >= '0' && str[i + 2] <= '7' && str[i + 3] >= '0' && str[i + 3] <= '7') {
            strOut += static_cast<char>(((str[i + 1] - '0') << 6) | ((str[i + 2] - '0') << 3) |
                                        (str[i + 3] - '0'));
            i += 3;
        } else {
            strOut += str[i];
        }
    }
    return strOut;
}

bool HasOption(std::string_view strOptions, std::string_view strOption) {
    while (!strOptions.empty()) {
        const std::size_t nComma = strOptions.find(',');
        if (strOptions.substr(0, nComma) == strOption)
            return true;
        if (nComma == std::string_view::npos)
            break;
        strOptions.remove_prefix(nComma + 1);
    }
    return false;
}

std::vector<std::string_view> SplitFields(std::string_view strLine) {
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < strLine.size()) {
        while (i < strLine.size() && strLine[i] == ' ')
            ++i;
        const std::size_t nStart = i;
        while (i < strLine.size() && strLine[i] != ' ')
            ++i;
        if (i > nStart)
            fields.push_back(strLine.substr(nStart, i - nStart));
    }
    return fields;
}

std::string ReadWholeFile(const char* lpszPath) {
    std::string str;
    const int fd = RetryEintr([&] { return ::open(lpszPath, O_RDONLY | O_CLOEXEC); });
    if (fd < 0)
        return str;
    char buf[16384];
    for (;;) {
        const ssize_t n = RetryEintr([&] { return ::read(fd, buf, sizeof buf); });
        if (n <= 0)
            break;
        str.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return str;
}

// A directory entry opened without following a link: a link or a file where
// the directory should be is ENOTDIR. 0 or errno.
int OpenDirNoFollow(int fdParent, const char* lpszName, UniqueFd& fd) {
    const int fdDir = RetryEintr([&] {
        return ::openat(fdParent, lpszName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    });
    if (fdDir < 0)
        return errno == ELOOP ? ENOTDIR : errno;
    fd.Reset(fdDir);
    return 0;
}

// A directory entry, created owner-only when missing, opened without
// following a link. 0 or errno.
int MakeAndOpenDir(int fdParent, const char* lpszName, UniqueFd& fd) {
    if (::mkdirat(fdParent, lpszName, 0700) != 0 && errno != EEXIST)
        return errno;
    return OpenDirNoFollow(fdParent, lpszName, fd);
}

// The shared trash an administrator made at a mount point (fdTop): a real
// directory with the sticky bit, so that no user can take another's directory
// away. -1 when there is none.
UniqueFd OpenSharedTrash(int fdTop) {
    struct stat st {};
    if (::fstatat(fdTop, ".Trash", &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
        (st.st_mode & S_ISVTX) == 0)
        return UniqueFd(-1);
    return UniqueFd(RetryEintr(
        [&] { return ::openat(fdTop, ".Trash", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }));
}

// True when the open directory belongs to uid (a trash directory someone else
// made in our name could be read by them).
bool OwnedBy(int fd, std::uint32_t nUid) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == nUid;
}

// What MakeAndOpenDir would meet, found by looking only. fdParent below 0:
// the parent is still to be made, so this one would be made as well. 0 leaves
// fd holding the existing directory, or -1 when it would be made.
int LookAtDir(int fdParent, const char* lpszName, UniqueFd& fd) {
    fd.Reset(-1);
    if (fdParent < 0)
        return 0;
    struct stat st {};
    if (::fstatat(fdParent, lpszName, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        // mkdirat's EEXIST, then the open that refuses a link or a file.
        if (!S_ISDIR(st.st_mode))
            return ENOTDIR;
        return OpenDirNoFollow(fdParent, lpszName, fd);
    }
    if (errno != ENOENT)
        return errno;
    // mkdirat would write into the parent (EROFS, EACCES as it would say).
    return ::faccessat(fdParent, ".", W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

// True when the trash directory fd (-1: one this process would make) belongs
// to nUid.
bool WouldBeOwnedBy(const UniqueFd& fd, std::uint32_t nUid) {
    if (fd.Get() < 0)
        return static_cast<std::uint32_t>(::geteuid()) == nUid;
    return OwnedBy(fd.Get(), nUid);
}

// The name an entry gets in files/: its own, shortened (never inside a UTF-8
// sequence) where a number and ".trashinfo" would make it too long for one
// directory entry.
std::string TrashBaseName(std::string_view strName) {
    constexpr std::size_t kRoom = NAME_MAX - kInfoSuffix.size() - 11; // "." + 10 digits
    if (strName.size() <= kRoom)
        return std::string(strName);
    std::size_t n = kRoom;
    while (n > 0 && (static_cast<unsigned char>(strName[n]) & 0xC0) == 0x80)
        --n;
    return std::string(strName.substr(0, n));
}

bool IsNoHardLinkError(int nErr) noexcept {
    return nErr == EPERM || nErr == EOPNOTSUPP || nErr == EMLINK;
}

// rename without replacing: the name in files/ was free a moment ago, but
// another program may be putting something there too.
int RenameNoReplace(int fdFrom, const char* lpszFrom, int fdTo, const char* lpszTo) {
    if (RetryEintr([&] { return ::renameat2(fdFrom, lpszFrom, fdTo, lpszTo, RENAME_NOREPLACE); }) ==
        0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system that cannot promise it: look, then rename.
    struct stat st {};
    if (::fstatat(fdTo, lpszTo, &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return RetryEintr([&] { return ::renameat(fdFrom, lpszFrom, fdTo, lpszTo); }) == 0 ? 0 : errno;
}

} // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view strText) {
    std::vector<MountEntry> mounts;
    while (!strText.empty()) {
        const std::size_t nEnd = strText.find('\n');
        const std::string_view strLine = strText.substr(0, nEnd);
        strText = nEnd == std::string_view::npos ? std::string_view() : strText.substr(nEnd + 1);
        // id parent major:minor root mount-point options [optional...] - type source super-options
        const std::vector<std::string_view> fields = SplitFields(strLine);
        const auto itDash = std::find(fields.begin(), fields.end(), std::string_view("-"));
        if (fields.size() < 6 || itDash == fields.end() || itDash - fields.begin() < 6 ||
            fields.end() - itDash < 3)
            continue;
        MountEntry entry;
        const std::string strId(fields[0]);
        char* pEnd = nullptr;
        const long nId = std::strtol(strId.c_str(), &pEnd, 10);
        if (pEnd == strId.c_str() || *pEnd != '\0' || nId < 0 || nId > INT_MAX)
            continue;
        entry.nMountId = static_cast<int>(nId);
        entry.strMountPoint = UnescapeMountField(fields[4]);
        entry.strFsType = UnescapeMountField(itDash[1]);
        entry.strSource = UnescapeMountField(itDash[2]);
        entry.bReadOnly =
            HasOption(fields[5], "ro") || (fields.end() - itDash > 3 && HasOption(itDash[3], "ro"));
        mounts.push_back(std::move(entry));
    }
    return mounts;
}

const MountEntry* FindMount(const std::vector<MountEntry>& mounts, std::string_view strRealPath) {
    const MountEntry* pBest = nullptr;
    for (const MountEntry& entry : mounts) {
        if (!IsSameOrInside(entry.strMountPoint, strRealPath))
            continue;
        // ">=": a later mount on the same point hides the earlier one.
        if (!pBest || entry.strMountPoint.size() >= pBest->strMountPoint.size())
            pBest = &entry;
    }
    return pBest;
}

bool IsNetworkFsType(std::string_view strFsType) {
    static constexpr std::string_view kTypes[] = {"nfs",          "nfs4",
                                                  "cifs",         "smb3",
                                                  "smbfs",        "9p",
                                                  "ceph",         "glusterfs",
                                                  "afs",          "ncpfs",
                                                  "coda",         "davfs",
                                                  "lustre",       "gfs2",
                                                  "ocfs2",        "fuse.sshfs",
                                                  "sshfs",        "fuse.gvfsd-fuse",
                                                  "fuse.rclone",  "fuse.s3fs",
                                                  "fuse.davfs2",  "fuse.glusterfs",
                                                  "fuse.ceph",    "fuse.curlftpfs",
                                                  "fuse.smbnetfs"};
    return std::find(std::begin(kTypes), std::end(kTypes), strFsType) != std::end(kTypes);
}

std::string PercentEncodePath(std::string_view strPath) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string strOut;
    strOut.reserve(strPath.size() + 16);
    for (const char ch : strPath) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            strOut += ch;
        } else {
            strOut += '%';
            strOut += kHex[c >> 4];
            strOut += kHex[c & 0xF];
        }
    }
    return strOut;
}

bool PercentDecodePath(std::string_view strEncoded, std::string& strOut) {
    const auto hexValue = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    std::string str;
    for (std::size_t i = 0; i < strEncoded.size(); ++i) {
        if (strEncoded[i] != '%') {
            str += strEncoded[i];
            continue;
        }
        if (i + 2 >= strEncoded.size())
            return false;
        const int nHigh = hexValue(strEncoded[i + 1]);
        const int nLow = hexValue(strEncoded[i + 2]);
        if (nHigh < 0 || nLow < 0)
            return false;
        str += static_cast<char>((nHigh << 4) | nLow);
        i += 2;
    }
    strOut = std::move(str);
    return true;
}

std::string FormatDeletionDate(std::time_t nTime) {
    std::tm tmLocal{};
    if (!::localtime_r(&nTime, &tmLocal))
        return {};
    char sz[32];
    const std::size_t n = std::strftime(sz, sizeof sz, "%Y-%m-%dT%H:%M:%S", &tmLocal);
    return std::string(sz, n);
}

std::string TrashInfoText(std::string_view strPath, std::time_t nDeleted) {
    std::string str = "[Trash Info]\nPath=";
    str += PercentEncodePath(strPath);
    str += "\nDeletionDate=";
    str += FormatDeletionDate(nDeleted);
    str += '\n';
    return str;
}

std::string CTrash::HomeTrashPath() const {
    return JoinPath(m_env.strDataHome, "Trash");
}

bool IsTrashDirEntry(std::string_view strName, EntryType type, std::uint32_t dwMode) noexcept {
    if (type != EntryType::Directory)
        return false;
    if (strName == ".Trash")
        return (dwMode & S_ISVTX) != 0;
    constexpr std::string_view kUserPrefix = ".Trash-";
    if (strName.size() <= kUserPrefix.size() ||
        strName.substr(0, kUserPrefix.size()) != kUserPrefix)
        return false;
    const std::string_view strUid = strName.substr(kUserPrefix.size());
    return strUid.size() <= 10 &&
           std::all_of(strUid.begin(), strUid.end(), [](char c) { return c >= '0' && c <= '9'; });
}

TrashEnv TrashEnv::FromProcess() {
    TrashEnv env;
    env.nUid = static_cast<std::uint32_t>(::geteuid());
    // A relative XDG_DATA_HOME is to be ignored, as an unset one.
    if (const char* lpszData = std::getenv("XDG_DATA_HOME"); lpszData && lpszData[0] == '/') {
        env.strDataHome = lpszData;
    } else {
        std::string strHome;
        if (const char* lpszHome = std::getenv("HOME"); lpszHome && lpszHome[0] == '/') {
            strHome = lpszHome;
        } else {
            passwd pw{};
            passwd* pResult = nullptr;
            std::vector<char> buf(16384);
            if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &pResult) == 0 && pResult &&
                pResult->pw_dir)
                strHome = pResult->pw_dir;
        }
        if (!strHome.empty())
            env.strDataHome = JoinPath(strHome, ".local/share");
    }
    env.fnReadMountInfo = [] { return ReadWholeFile("/proc/self/mountinfo"); };
    return env;
}

// One file system's trash, or why it has none.
struct CTrash::Bin {
    TrashStatus eStatus = TrashStatus::Done; // Done: usable; NoTrash: nError says why
    int nError = 0;
    bool bHome = false;
    std::string strMountPoint;
    std::string strTrashDir;
    UniqueFd fdFiles;
    UniqueFd fdInfo;
    // The next number worth trying for a name, so a thousand files of one
    // name do not each try every number taken before them.
    std::unordered_map<std::string, unsigned> nextNumber;
};

CTrash::CTrash(TrashEnv env) : m_env(std::move(env)) {}

CTrash::~CTrash() = default;

void CTrash::Reset() {
    m_bins.clear();
    m_probed.clear();
    m_mounts.clear();
    m_bMountsRead = false;
    m_nHomeMountId = -1;
    m_nHomeDev = 0;
}

void CTrash::ReadMounts() {
    m_bMountsRead = true;
    m_mounts = ParseMountInfo(m_env.fnReadMountInfo ? m_env.fnReadMountInfo() : std::string());
    m_nHomeMountId = -1;
    if (m_env.strDataHome.empty())
        return;
    // The home trash, or the nearest of its parents that exists: that is the
    // file system it is (or will be) made on.
    std::string strPath = JoinPath(m_env.strDataHome, "Trash");
    for (;;) {
        if (char* lpszReal = ::realpath(strPath.c_str(), nullptr)) {
            const std::string strReal = lpszReal;
            std::free(lpszReal);
            struct stat st {};
            if (const MountEntry* pMount = FindMount(m_mounts, strReal);
                pMount && ::stat(strReal.c_str(), &st) == 0) {
                m_nHomeMountId = pMount->nMountId;
                m_nHomeDev = static_cast<std::uint64_t>(st.st_dev);
            }
            return;
        }
        const std::string strParent = ParentPath(strPath);
        if (strParent == strPath)
            return;
        strPath = strParent;
    }
}

const MountEntry* CTrash::FindMountOf(int fdDir, const std::string& strRealDir, bool& bHome) {
    if (!m_bMountsRead)
        ReadMounts();
    const MountEntry* pMount = FindMount(m_mounts, strRealDir);
    bHome = false;
    if (pMount && pMount->nMountId == m_nHomeMountId) {
        struct stat stDir {};
        bHome =
            ::fstat(fdDir, &stDir) == 0 && static_cast<std::uint64_t>(stDir.st_dev) == m_nHomeDev;
    }
    return pMount;
}

CTrash::Bin* CTrash::FindBin(int fdDir, const std::string& strRealDir, TrashResult& result) {
    bool bHome = false;
    const MountEntry* pMount = FindMountOf(fdDir, strRealDir, bHome);
    if (!pMount) {
        result.eStatus = TrashStatus::NoTrash;
        result.nError = ENOENT; // no mount table to find the file system in
        return nullptr;
    }
    result.strMountPoint = pMount->strMountPoint;

    auto& pSlot = m_bins[pMount->nMountId];
    if (!pSlot) {
        pSlot = std::make_unique<Bin>();
        Bin& bin = *pSlot;
        bin.strMountPoint = pMount->strMountPoint;
        bin.bHome = bHome;

        // The trash directory itself: 0 or errno.
        UniqueFd fdTrash;
        int nErr = 0;
        if (bin.bHome) {
            bin.strTrashDir = JoinPath(m_env.strDataHome, "Trash");
            // $XDG_DATA_HOME itself may be missing on a fresh account.
            std::string strSoFar;
            std::string_view strRest = m_env.strDataHome;
            while (nErr == 0 && !strRest.empty()) {
                const std::size_t nSep = strRest.find(kPathSep, 1);
                strSoFar += strRest.substr(0, nSep);
                strRest =
                    nSep == std::string_view::npos ? std::string_view() : strRest.substr(nSep);
                if (::mkdir(strSoFar.c_str(), 0700) != 0 && errno != EEXIST)
                    nErr = errno;
            }
            if (nErr == 0) {
                UniqueFd fdData(RetryEintr([&] {
                    return ::open(m_env.strDataHome.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
                }));
                nErr = fdData.Get() < 0 ? errno : MakeAndOpenDir(fdData.Get(), "Trash", fdTrash);
            }
        } else if (IsNetworkFsType(pMount->strFsType)) {
            nErr = EREMOTE;
        } else if (pMount->bReadOnly) {
            nErr = EROFS;
        } else {
            UniqueFd fdTop(RetryEintr([&] {
                return ::open(pMount->strMountPoint.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            }));
            if (fdTop.Get() < 0) {
                nErr = errno;
            } else {
                const std::string strUid = std::to_string(m_env.nUid);
                // The shared trash an administrator made: a real directory with the
                // sticky bit, so that no user can take another's directory away.
                if (UniqueFd fdShared = OpenSharedTrash(fdTop.Get()); fdShared.Get() >= 0) {
                    if (MakeAndOpenDir(fdShared.Get(), strUid.c_str(), fdTrash) == 0 &&
                        OwnedBy(fdTrash.Get(), m_env.nUid)) {
                        bin.strTrashDir =
                            JoinPath(JoinPath(pMount->strMountPoint, ".Trash"), strUid);
                    } else {
                        fdTrash.Reset(-1); // not usable: the user's own one below
                    }
                }
                if (fdTrash.Get() < 0) {
                    const std::string strName = ".Trash-" + strUid;
                    bin.strTrashDir = JoinPath(pMount->strMountPoint, strName);
                    nErr = MakeAndOpenDir(fdTop.Get(), strName.c_str(), fdTrash);
                    if (nErr == 0 && !OwnedBy(fdTrash.Get(), m_env.nUid))
                        nErr = EPERM;
                }
            }
        }
        if (nErr == 0)
            nErr = MakeAndOpenDir(fdTrash.Get(), "files", bin.fdFiles);
        if (nErr == 0)
            nErr = MakeAndOpenDir(fdTrash.Get(), "info", bin.fdInfo);
        if (nErr != 0) {
            bin.eStatus = TrashStatus::NoTrash;
            bin.nError = nErr;
            IgnoreFailure(bin.fdFiles.Close());
            IgnoreFailure(bin.fdInfo.Close());
        }
    }
    Bin& bin = *pSlot;
    result.strTrashDir = bin.strTrashDir;
    if (bin.eStatus != TrashStatus::Done) {
        result.eStatus = bin.eStatus;
        result.nError = bin.nError;
        return nullptr;
    }
    return &bin;
}

TrashResult CTrash::Probe(int fdDir, const std::string& strRealDir) {
    TrashResult result;
    bool bHome = false;
    const MountEntry* pMount = FindMountOf(fdDir, strRealDir, bHome);
    if (!pMount) {
        result.eStatus = TrashStatus::NoTrash;
        result.nError = ENOENT;
        return result;
    }
    result.strMountPoint = pMount->strMountPoint;
    int nErr = 0;
    if (const auto itBin = m_bins.find(pMount->nMountId); itBin != m_bins.end()) {
        // A real move has been here already: its finding stands.
        nErr = itBin->second->eStatus == TrashStatus::Done ? 0 : itBin->second->nError;
    } else {
        // The directories looked at do not change while a dry run goes on:
        // one look for each file system.
        const auto [it, bNew] = m_probed.try_emplace(pMount->nMountId, 0);
        if (bNew)
            it->second = LookForBin(*pMount, bHome);
        nErr = it->second;
    }
    if (nErr != 0) {
        result.eStatus = TrashStatus::NoTrash;
        result.nError = nErr;
    }
    return result;
}

int CTrash::LookForBin(const MountEntry& mount, bool bHome) const {
    UniqueFd fdTrash;
    if (bHome) {
        // Each missing component of $XDG_DATA_HOME would be made in turn: the
        // first one missing decides, everything below it would be new.
        std::string strSoFar;
        std::string_view strRest = m_env.strDataHome;
        bool bMissing = false;
        while (!bMissing && !strRest.empty()) {
            const std::size_t nSep = strRest.find(kPathSep, 1);
            const std::string strParent = strSoFar.empty() ? std::string(1, kPathSep) : strSoFar;
            strSoFar += strRest.substr(0, nSep);
            strRest = nSep == std::string_view::npos ? std::string_view() : strRest.substr(nSep);
            struct stat st {};
            if (::lstat(strSoFar.c_str(), &st) == 0)
                continue; // mkdir's EEXIST, whatever it is
            if (errno != ENOENT)
                return errno;
            bMissing = true;
            if (::faccessat(AT_FDCWD, strParent.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
                return errno;
        }
        if (!bMissing) {
            UniqueFd fdData(RetryEintr([&] {
                return ::open(m_env.strDataHome.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            }));
            if (fdData.Get() < 0)
                return errno;
            if (const int nErr = LookAtDir(fdData.Get(), "Trash", fdTrash))
                return nErr;
        }
    } else if (IsNetworkFsType(mount.strFsType)) {
        return EREMOTE;
    } else if (mount.bReadOnly) {
        return EROFS;
    } else {
        UniqueFd fdTop(RetryEintr(
            [&] { return ::open(mount.strMountPoint.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); }));
        if (fdTop.Get() < 0)
            return errno;
        const std::string strUid = std::to_string(m_env.nUid);
        bool bShared = false;
        if (UniqueFd fdShared = OpenSharedTrash(fdTop.Get()); fdShared.Get() >= 0)
            bShared = LookAtDir(fdShared.Get(), strUid.c_str(), fdTrash) == 0 &&
                      WouldBeOwnedBy(fdTrash, m_env.nUid);
        if (!bShared) {
            const std::string strName = ".Trash-" + strUid;
            if (const int nErr = LookAtDir(fdTop.Get(), strName.c_str(), fdTrash))
                return nErr;
            if (!WouldBeOwnedBy(fdTrash, m_env.nUid))
                return EPERM;
        }
    }
    // files/ and info/ inside it; a trash still to be made gets both.
    UniqueFd fdSub;
    for (const char* lpszSub : {"files", "info"})
        if (const int nErr = LookAtDir(fdTrash.Get(), lpszSub, fdSub))
            return nErr;
    return 0;
}

TrashResult CTrash::Move(int fdDir, const std::string& strName, const std::string& strRealDir,
                         const std::string& strDirPath) {
    return Put(Action::Move, fdDir, strName, strRealDir, strDirPath);
}

TrashResult CTrash::Keep(int fdDir, const std::string& strName, const std::string& strRealDir) {
    return Put(Action::Link, fdDir, strName, strRealDir, {});
}

TrashResult CTrash::Put(Action eAction, int fdDir, const std::string& strName,
                        const std::string& strRealDir, const std::string& strDirPath) {
    TrashResult result;
    const auto fail = [&](TrashStatus eStatus, int nErr) {
        result.eStatus = eStatus;
        result.nError = nErr;
        result.strTrashName.clear();
        return result;
    };
    if (strName.empty() || strName == "." || strName == ".." ||
        strName.find(kPathSep) != std::string::npos)
        return fail(TrashStatus::Failed, EINVAL);

    if (eAction == Action::Link) {
        // A directory has no hard links; linkat's EPERM would read as a file
        // system without them. (A move needs no look: the rename tells.)
        struct stat st {};
        if (::fstatat(fdDir, strName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return fail(TrashStatus::Failed, errno);
        if (S_ISDIR(st.st_mode))
            return fail(TrashStatus::Failed, EISDIR);
    }

    for (int nAttempt = 0;; ++nAttempt) {
        Bin* pBin = FindBin(fdDir, strRealDir, result);
        if (!pBin)
            return result;
        Bin& bin = *pBin;

        // Path=: absolute in the home trash, relative to the mount point in the
        // trash of another file system (which may be mounted elsewhere later).
        const std::string strRealPath = JoinPath(strRealDir, strName);
        std::string_view strInfoPath = strRealPath;
        if (!bin.bHome) {
            strInfoPath.remove_prefix(std::min(bin.strMountPoint.size(), strInfoPath.size()));
            while (!strInfoPath.empty() && strInfoPath.front() == kPathSep)
                strInfoPath.remove_prefix(1);
        }
        const std::string strInfo = TrashInfoText(strInfoPath, std::time(nullptr));

        const std::string strBase = TrashBaseName(strName);
        unsigned& nNext = bin.nextNumber[strBase];
        bool bTrashGone = false;
        for (unsigned nTries = 0; nTries < 100000; ++nTries) {
            const unsigned nNumber = std::max(nNext, 1u) + nTries;
            const std::string strCand =
                nNumber == 1 ? strBase : strBase + '.' + std::to_string(nNumber);
            const std::string strInfoName = strCand + std::string(kInfoSuffix);

            // The .trashinfo comes first: it claims the name (O_EXCL), and an
            // entry in files/ without one would be invisible to the user.
            UniqueFd fdInfo(RetryEintr([&] {
                return ::openat(bin.fdInfo.Get(), strInfoName.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            }));
            if (fdInfo.Get() < 0) {
                if (errno == EEXIST)
                    continue;
                if (errno == ENOENT && nAttempt == 0) {
                    bTrashGone = true; // emptied away while we held it: make it afresh
                    break;
                }
                return fail(TrashStatus::Failed, errno);
            }
            const auto dropInfo = [&] {
                IgnoreFailure(::unlinkat(bin.fdInfo.Get(), strInfoName.c_str(), 0));
            };
            int nErr = WriteAll(fdInfo.Get(), strInfo);
            if (const int nCloseErr = fdInfo.Close(); nErr == 0)
                nErr = nCloseErr;
            if (nErr != 0) {
                dropInfo();
                return fail(TrashStatus::Failed, nErr);
            }

            if (eAction == Action::Link) {
                nErr =
                    m_env.fnLink
                        ? m_env.fnLink(fdDir, strName.c_str(), bin.fdFiles.Get(), strCand.c_str())
                    : ::linkat(fdDir, strName.c_str(), bin.fdFiles.Get(), strCand.c_str(), 0) == 0
                        ? 0
                        : errno;
            } else {
                nErr = RenameNoReplace(fdDir, strName.c_str(), bin.fdFiles.Get(), strCand.c_str());
                if (nErr == EACCES && !strDirPath.empty()) {
                    // A read-only directory gives its entry up as on Windows.
                    DirWriteGrant grant(strDirPath);
                    if (grant.Grant())
                        nErr = RenameNoReplace(fdDir, strName.c_str(), bin.fdFiles.Get(),
                                               strCand.c_str());
                }
            }
            if (nErr == 0) {
                nNext = nNumber + 1;
                result.eStatus = TrashStatus::Done;
                result.nError = 0;
                result.strTrashName = strCand;
                return result;
            }
            dropInfo();
            if (nErr == EEXIST)
                continue; // files/ holds the name without a .trashinfo
            if (eAction == Action::Link && IsNoHardLinkError(nErr))
                return fail(TrashStatus::NoHardLinks, nErr);
            if (nErr == EXDEV)
                return fail(TrashStatus::NoTrash, nErr); // the trash is not where it should be
            return fail(TrashStatus::Failed, nErr);
        }
        if (!bTrashGone)
            return fail(TrashStatus::Failed, EEXIST);
        // Forget the vanished trash and find (or make) it again, once.
        for (auto it = m_bins.begin(); it != m_bins.end(); ++it) {
            if (it->second.get() == pBin) {
                m_bins.erase(it);
                break;
            }
        }
    }
}

int CTrash::Drop(const TrashResult& kept) {
    if (kept.eStatus != TrashStatus::Done || kept.strTrashDir.empty() ||
        kept.strTrashName.empty() || kept.strTrashName.find(kPathSep) != std::string::npos)
        return EINVAL;
    // Through the trash directories as they were opened (or, after a Reset,
    // opened again without following a link), never by a path that a link
    // put in since could send elsewhere.
    int fdFiles = -1;
    int fdInfo = -1;
    UniqueFd fdOwnedFiles;
    UniqueFd fdOwnedInfo;
    for (const auto& [nMountId, pBin] : m_bins) {
        if (pBin->eStatus == TrashStatus::Done && pBin->strTrashDir == kept.strTrashDir) {
            fdFiles = pBin->fdFiles.Get();
            fdInfo = pBin->fdInfo.Get();
            break;
        }
    }
    if (fdFiles < 0) {
        UniqueFd fdTrash(RetryEintr([&] {
            return ::open(kept.strTrashDir.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }));
        if (fdTrash.Get() < 0)
            return errno;
        for (auto [lpszSub, pFd, pOwned] : {std::tuple{"files", &fdFiles, &fdOwnedFiles},
                                            std::tuple{"info", &fdInfo, &fdOwnedInfo}}) {
            // A plain copy: a lambda may not capture a structured binding here.
            const char* const lpszName = lpszSub;
            pOwned->Reset(RetryEintr([&] {
                return ::openat(fdTrash.Get(), lpszName,
                                O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            }));
            if (pOwned->Get() < 0)
                return errno;
            *pFd = pOwned->Get();
        }
    }
    if (::unlinkat(fdFiles, kept.strTrashName.c_str(), 0) != 0)
        return errno;
    // Without its entry the .trashinfo is only clutter: its loss is no failure.
    IgnoreFailure(::unlinkat(fdInfo, (kept.strTrashName + std::string(kInfoSuffix)).c_str(), 0));
    return 0;
}

} // namespace kovrel::platform
