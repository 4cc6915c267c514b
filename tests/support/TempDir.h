// A real temporary directory for one test, removed with everything in it when
// the object goes, plus the few helpers tests need to lay out and inspect trees.
// Paths given to the helpers are relative to the directory.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace kovrel::test {

class TempDir {
public:
    TempDir() {
        const char* lpszBase = std::getenv("TMPDIR");
        std::string strTemplate = (lpszBase && *lpszBase) ? lpszBase : "/tmp";
        strTemplate += "/kovrel-test-XXXXXX";
        if (!::mkdtemp(strTemplate.data()))
            Fail("mkdtemp", strTemplate);
        m_strPath = strTemplate;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        // A test may leave read-only directories behind; for a non-root user they
        // would keep their entries, so open everything up first.
        std::error_code ec;
        MakeWritable(m_strPath);
        std::filesystem::remove_all(m_strPath, ec);
    }

    const std::string& Root() const noexcept { return m_strPath; }
    // The absolute path of a relative one ("" is the directory itself).
    std::string Path(std::string_view strRel = {}) const {
        if (strRel.empty())
            return m_strPath;
        return m_strPath + "/" + std::string(strRel);
    }

    void WriteFile(std::string_view strRel, std::string_view strData,
                   std::uint32_t dwMode = 0644) const {
        const std::string strPath = Path(strRel);
        const int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0)
            Fail("open", strPath);
        std::size_t nOff = 0;
        while (nOff < strData.size()) {
            const ssize_t n = ::write(fd, strData.data() + nOff, strData.size() - nOff);
            if (n <= 0) {
                ::close(fd);
                Fail("write", strPath);
            }
            nOff += static_cast<std::size_t>(n);
        }
        if (::fchmod(fd, dwMode) != 0 || ::close(fd) != 0)
            Fail("fchmod/close", strPath);
    }

    // The contents of a regular file (a link is followed). Anything else (a
    // FIFO would block the test for good) throws, as does a missing file.
    std::string ReadFile(std::string_view strRel) const {
        const std::string strPath = Path(strRel);
        const int fd = ::open(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            Fail("open", strPath);
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            errno = EINVAL;
            Fail("not a regular file:", strPath);
        }
        std::string strData;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0) {
                ::close(fd);
                Fail("read", strPath);
            }
            if (n == 0)
                break;
            strData.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(fd);
        return strData;
    }

    void MakeDir(std::string_view strRel, std::uint32_t dwMode = 0755) const {
        const std::string strPath = Path(strRel);
        if (::mkdir(strPath.c_str(), 0700) != 0 || ::chmod(strPath.c_str(), dwMode) != 0)
            Fail("mkdir", strPath);
    }

    void MakeSymlink(std::string_view strRel, const std::string& strTarget) const {
        const std::string strPath = Path(strRel);
        if (::symlink(strTarget.c_str(), strPath.c_str()) != 0)
            Fail("symlink", strPath);
    }

    void MakeFifo(std::string_view strRel) const {
        const std::string strPath = Path(strRel);
        if (::mkfifo(strPath.c_str(), 0644) != 0)
            Fail("mkfifo", strPath);
    }

    // Access and write time of the entry itself (not following links).
    void SetTimes(std::string_view strRel, std::int64_t nAccessSec, long nAccessNsec,
                  std::int64_t nWriteSec, long nWriteNsec) const {
        const std::string strPath = Path(strRel);
        timespec times[2] = {{static_cast<time_t>(nAccessSec), nAccessNsec},
                             {static_cast<time_t>(nWriteSec), nWriteNsec}};
        if (::utimensat(AT_FDCWD, strPath.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
            Fail("utimensat", strPath);
    }

    void SetMode(std::string_view strRel, std::uint32_t dwMode) const {
        const std::string strPath = Path(strRel);
        if (::chmod(strPath.c_str(), dwMode) != 0)
            Fail("chmod", strPath);
    }

    // lstat of the entry; false when it does not exist.
    bool Stat(std::string_view strRel, struct stat& st) const {
        return ::lstat(Path(strRel).c_str(), &st) == 0;
    }
    bool Exists(std::string_view strRel) const {
        struct stat st {};
        return Stat(strRel, st);
    }

    // Names in a directory, unsorted, without "." and "..".
    std::vector<std::string> Names(std::string_view strRel = {}) const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Path(strRel)))
            names.push_back(entry.path().filename().string());
        return names;
    }

private:
    [[noreturn]] static void Fail(const char* lpszWhat, const std::string& strPath) {
        throw std::runtime_error(std::string(lpszWhat) + " " + strPath + ": " +
                                 std::strerror(errno));
    }

    static void MakeWritable(const std::string& strDir) {
        struct stat st {};
        if (::lstat(strDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return;
        ::chmod(strDir.c_str(), (st.st_mode & 07777) | S_IRWXU);
        std::error_code ec;
        for (std::filesystem::directory_iterator it(strDir, ec), end; !ec && it != end;
             it.increment(ec)) {
            if (it->is_directory(ec) && !it->is_symlink(ec))
                MakeWritable(it->path().string());
        }
    }

    std::string m_strPath;
};

} // namespace kovrel::test
