// treegen: writes the benchmark data sets, the same bytes and names on every run.
//
//   tree   100,000 files of mostly small sizes in about 2,000 directories, at most 4 levels
//   flat   20,000 small files in one directory
//   large  four files of 256 MiB
//
// Everything scales with --scale (file and directory counts, the size of the large files),
// so the harness can be tried out in seconds. --plan prints what would be written, and how
// much disk it takes, without writing anything.
//
// The random numbers come from our own generator and our own range mapping, never from
// the standard distributions, whose output differs between library implementations.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kovrel::bench {
namespace {

constexpr std::uint64_t kDefaultSeed = 0x4B6F7672656C3031ULL;
constexpr std::uint64_t kTreeFiles = 100000;
constexpr std::uint64_t kTreeDirs = 2000;
constexpr int kTreeMaxDepth = 4;
constexpr std::uint64_t kFlatFiles = 20000;
constexpr int kLargeFiles = 4;
constexpr std::uint64_t kLargeSize = 256ULL << 20;
constexpr std::uint64_t kBlock = 4096;
// Content of the small files is cut from one pool of random bytes at random offsets.
constexpr std::size_t kPoolSize = 3u << 20;

// splitmix64: tiny, fast and the same everywhere.
class CRandom {
public:
    explicit CRandom(std::uint64_t dwSeed) : m_dwState(dwSeed) {}
    std::uint64_t Next() {
        std::uint64_t z = (m_dwState += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    // Uniform in [0, n); n > 0.
    std::uint64_t Below(std::uint64_t n) { return Next() % n; }
    // Log-uniform between lo and hi (bytes).
    std::uint64_t LogUniform(double lo, double hi) {
        return static_cast<std::uint64_t>(std::exp(std::log(lo) + Unit() * std::log(hi / lo)));
    }

private:
    std::uint64_t m_dwState;
};

struct SDir {
    int nParent;
    int nDepth;
    std::string strName;
    std::uint64_t nFiles = 0;
};

struct SFile {
    std::string strName;
    std::uint64_t nSize;
};

struct SStats {
    std::uint64_t nFiles = 0;
    std::uint64_t nDirs = 0;
    std::uint64_t nBytes = 0;
    std::uint64_t nDiskBytes = 0;
    std::uint64_t nWidest = 0;
    int nMaxDepth = 0;
};

constexpr const char* kSyllables[] = {"ka",  "ro", "mi", "ten", "sa", "lo",  "vek", "du",
                                      "ori", "na", "pe", "sul", "ta", "gra", "fi",  "mon",
                                      "el",  "zu", "ba", "rin", "co", "dex", "ya",  "hol"};
constexpr const char* kExtensions[] = {".txt", ".cpp",  ".h",   ".png", ".jpg", ".dat", ".log",
                                       ".md",  ".json", ".xml", ".csv", ".bin", ".o",   ""};

std::string Base36(std::uint64_t n) {
    std::string s;
    do {
        s.insert(s.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[n % 36]);
        n /= 36;
    } while (n != 0);
    return s;
}

// A plausible name, unique even when ASCII case is ignored thanks to the serial number.
std::string MakeName(CRandom& rng, std::uint64_t nSerial, bool bFile) {
    std::string s;
    const auto nSyl = 1 + rng.Below(4);
    for (std::uint64_t i = 0; i < nSyl; ++i)
        s += kSyllables[rng.Below(std::size(kSyllables))];
    if (rng.Below(4) == 0)
        s[0] = static_cast<char>(s[0] - 'a' + 'A');
    s += rng.Below(3) == 0 ? " " : (rng.Below(2) == 0 ? "_" : "-");
    s += Base36(nSerial);
    if (bFile)
        s += kExtensions[rng.Below(std::size(kExtensions))];
    return s;
}

// Mostly 0.5-8 KiB, some up to 64 KiB, a few up to 1 MiB, and the odd empty file.
std::uint64_t TreeFileSize(CRandom& rng) {
    const auto r = rng.Below(1000);
    if (r < 10)
        return 0;
    if (r < 930)
        return rng.LogUniform(512, 8192);
    if (r < 997)
        return rng.LogUniform(8192, 65536);
    return rng.LogUniform(65536, 1 << 20);
}

std::uint64_t FlatFileSize(CRandom& rng) {
    return rng.LogUniform(512, 8192);
}

std::uint64_t DiskSize(std::uint64_t nSize) {
    return (nSize + kBlock - 1) / kBlock * kBlock;
}

[[noreturn]] void Fail(const std::string& strWhat, int nErr) {
    std::fprintf(stderr, "treegen: %s: %s\n", strWhat.c_str(), std::strerror(nErr));
    std::exit(1);
}

void WriteAll(int fd, const char* p, std::size_t n, const std::string& strPath) {
    while (n > 0) {
        const auto r = ::write(fd, p, n);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            Fail(strPath, errno);
        }
        p += r;
        n -= static_cast<std::size_t>(r);
    }
}

class CWriter {
public:
    explicit CWriter(bool bPlan) : m_bPlan(bPlan), m_pool(kPoolSize) {
        CRandom rng(kDefaultSeed ^ 0xC0FFEE);
        for (auto& c : m_pool)
            c = static_cast<char>(rng.Next() >> 56);
    }

    // Creates directory `name` under `parentFd` and returns an fd for it (-1 in plan mode).
    int MakeDir(int parentFd, const std::string& strName, const std::string& strPath) {
        if (m_bPlan)
            return -1;
        if (::mkdirat(parentFd, strName.c_str(), 0755) != 0)
            Fail(strPath, errno);
        const int fd = ::openat(parentFd, strName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            Fail(strPath, errno);
        return fd;
    }

    void WriteFile(int dirFd, const SFile& file, std::uint64_t nOffsetSeed,
                   const std::string& strDirPath) {
        if (m_bPlan)
            return;
        const int fd =
            ::openat(dirFd, file.strName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            Fail(strDirPath + "/" + file.strName, errno);
        if (file.nSize > 0) {
            const auto nOffset = nOffsetSeed % (kPoolSize - file.nSize);
            WriteAll(fd, m_pool.data() + nOffset, file.nSize, strDirPath + "/" + file.strName);
        }
        if (::close(fd) != 0)
            Fail(strDirPath + "/" + file.strName, errno);
    }

    // A large file of fresh random bytes (no sparse runs, nothing for compression to find).
    void WriteLarge(int dirFd, const std::string& strName, std::uint64_t nSize,
                    std::uint64_t dwSeed, const std::string& strPath) {
        if (m_bPlan)
            return;
        const int fd =
            ::openat(dirFd, strName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            Fail(strPath, errno);
        constexpr std::size_t kChunk = 8u << 20;
        std::vector<std::uint64_t> buf(kChunk / sizeof(std::uint64_t));
        CRandom rng(dwSeed);
        std::uint64_t nLeft = nSize;
        while (nLeft > 0) {
            for (auto& w : buf)
                w = rng.Next();
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(nLeft, kChunk));
            WriteAll(fd, reinterpret_cast<const char*>(buf.data()), n, strPath);
            nLeft -= n;
        }
        if (::close(fd) != 0)
            Fail(strPath, errno);
    }

private:
    bool m_bPlan;
    std::vector<char> m_pool;
};

void CloseDir(int fd) {
    if (fd >= 0)
        ::close(fd);
}

std::uint64_t Scaled(std::uint64_t n, double dScale) {
    return std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::llround(n * dScale)));
}

SStats MakeTree(CWriter& writer, int rootFd, const std::string& strRoot, double dScale,
                std::uint64_t dwSeed) {
    CRandom rng(dwSeed ^ 0x7472656500000000ULL);
    const auto nDirs = Scaled(kTreeDirs, dScale);
    const auto nFiles = Scaled(kTreeFiles, dScale);

    // Directory shape: each new directory hangs below a random earlier one that is not yet
    // at the depth limit, which gives a few wide and many narrow branches.
    std::vector<SDir> dirs;
    dirs.push_back({-1, 0, "", 0});
    std::vector<int> open{0};
    for (std::uint64_t i = 1; i <= nDirs; ++i) {
        const int nParent = open[rng.Below(open.size())];
        const int nDepth = dirs[nParent].nDepth + 1;
        dirs.push_back({nParent, nDepth, MakeName(rng, i, false), 0});
        if (nDepth < kTreeMaxDepth)
            open.push_back(static_cast<int>(dirs.size() - 1));
    }

    // Files per directory: exponential weights, so a few directories hold several times
    // the average and the widest one is clearly wider than the rest.
    std::vector<double> cumulative;
    double dSum = 0;
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        dSum += -std::log(1.0 - rng.Unit());
        cumulative.push_back(dSum);
    }
    for (std::uint64_t i = 0; i < nFiles; ++i) {
        const auto it = std::upper_bound(cumulative.begin(), cumulative.end(), rng.Unit() * dSum);
        const auto nDir = std::min<std::size_t>(it - cumulative.begin(), dirs.size() - 1);
        ++dirs[nDir].nFiles;
    }

    SStats st;
    std::vector<std::uint64_t> entries(dirs.size(), 0);
    std::vector<int> fds(dirs.size(), -1);
    std::vector<std::string> paths(dirs.size());
    fds[0] = rootFd;
    paths[0] = strRoot;
    // Parents come before their children, so one forward pass creates everything.
    for (std::size_t i = 1; i < dirs.size(); ++i) {
        const auto& d = dirs[i];
        paths[i] = paths[d.nParent] + "/" + d.strName;
        fds[i] = writer.MakeDir(fds[d.nParent], d.strName, paths[i]);
        ++entries[d.nParent];
        ++st.nDirs;
        st.nDiskBytes += kBlock;
        st.nMaxDepth = std::max(st.nMaxDepth, d.nDepth);
    }
    std::uint64_t nSerial = 0;
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        for (std::uint64_t k = 0; k < dirs[i].nFiles; ++k) {
            SFile file{MakeName(rng, ++nSerial, true), TreeFileSize(rng)};
            writer.WriteFile(fds[i], file, rng.Next(), paths[i]);
            ++st.nFiles;
            st.nBytes += file.nSize;
            st.nDiskBytes += DiskSize(file.nSize);
        }
        entries[i] += dirs[i].nFiles;
    }
    for (std::size_t i = 1; i < dirs.size(); ++i)
        CloseDir(fds[i]);
    st.nWidest = *std::max_element(entries.begin(), entries.end());
    return st;
}

SStats MakeFlat(CWriter& writer, int dirFd, const std::string& strDir, double dScale,
                std::uint64_t dwSeed) {
    CRandom rng(dwSeed ^ 0x666C617400000000ULL);
    SStats st;
    const auto nFiles = Scaled(kFlatFiles, dScale);
    for (std::uint64_t i = 1; i <= nFiles; ++i) {
        SFile file{MakeName(rng, i, true), FlatFileSize(rng)};
        writer.WriteFile(dirFd, file, rng.Next(), strDir);
        ++st.nFiles;
        st.nBytes += file.nSize;
        st.nDiskBytes += DiskSize(file.nSize);
    }
    st.nWidest = st.nFiles;
    return st;
}

SStats MakeLarge(CWriter& writer, int dirFd, const std::string& strDir, double dScale,
                 std::uint64_t dwSeed) {
    SStats st;
    const auto nSize = std::max<std::uint64_t>(1, std::llround(kLargeSize * dScale));
    for (int i = 1; i <= kLargeFiles; ++i) {
        const std::string strName = "large-" + std::to_string(i) + ".bin";
        writer.WriteLarge(dirFd, strName, nSize, dwSeed + static_cast<std::uint64_t>(i),
                          strDir + "/" + strName);
        ++st.nFiles;
        st.nBytes += nSize;
        st.nDiskBytes += DiskSize(nSize);
    }
    st.nWidest = st.nFiles;
    return st;
}

void PrintStats(const char* pszKind, const std::string& strPath, const SStats& st) {
    std::printf("%s %s files %llu dirs %llu bytes %llu disk_bytes %llu widest %llu depth %d\n",
                pszKind, strPath.c_str(), static_cast<unsigned long long>(st.nFiles),
                static_cast<unsigned long long>(st.nDirs),
                static_cast<unsigned long long>(st.nBytes),
                static_cast<unsigned long long>(st.nDiskBytes),
                static_cast<unsigned long long>(st.nWidest), st.nMaxDepth);
}

void Usage(FILE* f) {
    std::fputs("Usage: treegen [--scale S] [--seed N] [--plan] ROOT [tree|flat|large]...\n"
               "\n"
               "Writes the benchmark data sets as ROOT/tree, ROOT/flat and ROOT/large (all\n"
               "three unless named). Each must not exist yet. The output is the same on\n"
               "every run for the same scale and seed.\n"
               "\n"
               "  --scale S  multiply file and directory counts and large file sizes by S\n"
               "             (default 1: 100,000 + 20,000 files, 4 x 256 MiB)\n"
               "  --seed N   another deterministic variant\n"
               "  --plan     print the statistics of each set without writing anything\n"
               "\n"
               "One line per set: KIND PATH files N dirs N bytes N disk_bytes N widest N depth N\n"
               "(disk_bytes rounds every file and directory up to 4 KiB blocks).\n",
               f);
}

int Run(int argc, char** argv) {
    double dScale = 1.0;
    std::uint64_t dwSeed = kDefaultSeed;
    bool bPlan = false;
    std::string strRoot;
    std::vector<std::string> kinds;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        }
        if ((arg == "--scale" || arg == "--seed") && i + 1 < argc) {
            char* pEnd = nullptr;
            errno = 0;
            if (arg == "--scale") {
                dScale = std::strtod(argv[++i], &pEnd);
                if (*pEnd != '\0' || errno != 0 || !(dScale > 0) || dScale > 16) {
                    std::fprintf(stderr, "treegen: bad --scale '%s' (0 < S <= 16)\n", argv[i]);
                    return 2;
                }
            } else {
                dwSeed = std::strtoull(argv[++i], &pEnd, 0);
                if (*pEnd != '\0' || errno != 0) {
                    std::fprintf(stderr, "treegen: bad --seed '%s'\n", argv[i]);
                    return 2;
                }
            }
        } else if (arg == "--plan") {
            bPlan = true;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "treegen: unknown option '%s'\n", argv[i]);
            Usage(stderr);
            return 2;
        } else if (strRoot.empty()) {
            strRoot = arg;
        } else if (arg == "tree" || arg == "flat" || arg == "large") {
            kinds.emplace_back(arg);
        } else {
            std::fprintf(stderr, "treegen: unknown data set '%s'\n", argv[i]);
            return 2;
        }
    }
    if (strRoot.empty()) {
        Usage(stderr);
        return 2;
    }
    if (kinds.empty())
        kinds = {"tree", "flat", "large"};

    int rootFd = -1;
    if (!bPlan) {
        if (::mkdir(strRoot.c_str(), 0755) != 0 && errno != EEXIST)
            Fail(strRoot, errno);
        rootFd = ::open(strRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (rootFd < 0)
            Fail(strRoot, errno);
    }
    CWriter writer(bPlan);
    for (const auto& strKind : kinds) {
        const std::string strPath = strRoot + "/" + strKind;
        const int fd = writer.MakeDir(rootFd, strKind, strPath);
        SStats st;
        if (strKind == "tree")
            st = MakeTree(writer, fd, strPath, dScale, dwSeed);
        else if (strKind == "flat")
            st = MakeFlat(writer, fd, strPath, dScale, dwSeed);
        else
            st = MakeLarge(writer, fd, strPath, dScale, dwSeed);
        CloseDir(fd);
        PrintStats(strKind.c_str(), strPath, st);
        std::fflush(stdout);
    }
    CloseDir(rootFd);
    return 0;
}

} // namespace
} // namespace kovrel::bench

int main(int argc, char** argv) {
    return kovrel::bench::Run(argc, argv);
}
