// floor_walk: the least work a synchronisation of two trees has to do, as a yardstick.
//
// It walks the two trees together the way a sync pass does: lists every directory of both
// sides (opendir/readdir) and lstat-s every entry once (fstatat relative to the open
// directory, so no path is resolved twice), then descends into the subdirectories of both
// sides, pairing a side-1 subdirectory with the side-2 one of the same name. It opens no
// file, compares nothing and changes nothing. A sync run is measured against this.
//
// Prints: entries N dirs N (entries counts every listed entry of both sides).

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace kovrel::bench {
namespace {

struct SCounts {
    std::uint64_t nEntries = 0;
    std::uint64_t nDirs = 0;
    std::uint64_t nErrors = 0;
};

void Report(const std::string& strPath, int nErr, SCounts& counts) {
    std::fprintf(stderr, "floor_walk: %s: %s\n", strPath.c_str(), std::strerror(nErr));
    ++counts.nErrors;
}

// One side of a directory pair: the names of its subdirectories, read and stat-ed.
struct SListing {
    DIR* pDir = nullptr;
    std::vector<std::string> subdirs;
};

// Lists one directory and stats each entry; the stream stays open so the caller can open
// the subdirectories relative to it.
SListing List(int parentFd, const char* pszName, const std::string& strPath, SCounts& counts) {
    SListing listing;
    const int fd = ::openat(parentFd, pszName, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        Report(strPath, errno, counts);
        return listing;
    }
    listing.pDir = ::fdopendir(fd);
    if (listing.pDir == nullptr) {
        Report(strPath, errno, counts);
        ::close(fd);
        return listing;
    }
    ++counts.nDirs;
    const int dirFd = ::dirfd(listing.pDir);
    for (;;) {
        errno = 0;
        const dirent* pEnt = ::readdir(listing.pDir);
        if (pEnt == nullptr) {
            if (errno != 0)
                Report(strPath, errno, counts);
            break;
        }
        const char* n = pEnt->d_name;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')))
            continue;
        ++counts.nEntries;
        struct stat st;
        if (::fstatat(dirFd, n, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            Report(strPath + "/" + n, errno, counts);
            continue;
        }
        if (S_ISDIR(st.st_mode))
            listing.subdirs.emplace_back(n);
    }
    return listing;
}

// Walks the pair (side-1 directory, side-2 directory); either may be absent (fd -1 / null).
void WalkPair(int parent1, const char* pszName1, const std::string& strPath1, int parent2,
              const char* pszName2, const std::string& strPath2, SCounts& counts) {
    SListing side1, side2;
    if (pszName1 != nullptr)
        side1 = List(parent1, pszName1, strPath1, counts);
    if (pszName2 != nullptr)
        side2 = List(parent2, pszName2, strPath2, counts);
    const int fd1 = side1.pDir != nullptr ? ::dirfd(side1.pDir) : -1;
    const int fd2 = side2.pDir != nullptr ? ::dirfd(side2.pDir) : -1;

    std::unordered_set<std::string_view> onSide2(side2.subdirs.begin(), side2.subdirs.end());
    for (const auto& strName : side1.subdirs) {
        const bool bBoth = onSide2.erase(strName) != 0;
        WalkPair(fd1, strName.c_str(), strPath1 + "/" + strName, fd2,
                 bBoth ? strName.c_str() : nullptr, strPath2 + "/" + strName, counts);
    }
    for (const auto& strName : side2.subdirs) {
        if (onSide2.count(strName) != 0)
            WalkPair(-1, nullptr, strPath1 + "/" + strName, fd2, strName.c_str(),
                     strPath2 + "/" + strName, counts);
    }
    if (side1.pDir != nullptr)
        ::closedir(side1.pDir);
    if (side2.pDir != nullptr)
        ::closedir(side2.pDir);
}

} // namespace
} // namespace kovrel::bench

int main(int argc, char** argv) {
    using namespace kovrel::bench;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::puts("Usage: floor_walk DIR1 DIR2\n"
                  "\n"
                  "Walks both trees together, listing every directory and lstat-ing every\n"
                  "entry once, and prints: entries N dirs N. Exit status 1 on any error.");
        return 0;
    }
    if (argc != 3) {
        std::fputs("Usage: floor_walk DIR1 DIR2\n", stderr);
        return 2;
    }
    SCounts counts;
    WalkPair(AT_FDCWD, argv[1], argv[1], AT_FDCWD, argv[2], argv[2], counts);
    std::printf("entries %llu dirs %llu\n", static_cast<unsigned long long>(counts.nEntries),
                static_cast<unsigned long long>(counts.nDirs));
    return counts.nErrors == 0 ? 0 : 1;
}
