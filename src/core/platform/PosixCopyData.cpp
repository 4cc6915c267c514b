#include "platform/PosixCopyData.h"

#include "platform/PosixFile.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include <unistd.h>

namespace kovrel::platform {

namespace {

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
int CopyDense(int fdIn, int fdOut) {
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

// Copies [nFrom, nTo) of a file to the same place of the other.
int CopyRange(int fdIn, int fdOut, off_t nFrom, off_t nTo) {
    if (::lseek(fdIn, nFrom, SEEK_SET) < 0 || ::lseek(fdOut, nFrom, SEEK_SET) < 0)
        return errno;
    while (nFrom < nTo) {
        const auto nWant = static_cast<std::size_t>(std::min<off_t>(nTo - nFrom, off_t{1} << 30));
        const ssize_t n = ::copy_file_range(fdIn, nullptr, fdOut, nullptr, nWant, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && !IsRangeCopyUnsupported(errno))
            return errno;
        if (n <= 0)
            break; // unsupported, or the file shrank: the plain loop below decides
        nFrom += n;
    }
    constexpr std::size_t kBufSize = 256 * 1024;
    std::unique_ptr<char[]> buffer;
    while (nFrom < nTo) {
        if (!buffer)
            buffer = std::make_unique_for_overwrite<char[]>(kBufSize);
        const auto nWant = static_cast<std::size_t>(std::min<off_t>(nTo - nFrom, kBufSize));
        const ssize_t nRead = RetryEintr([&] { return ::read(fdIn, buffer.get(), nWant); });
        if (nRead < 0)
            return errno;
        if (nRead == 0)
            break;
        if (const int nErr =
                WriteAll(fdOut, std::string_view(buffer.get(), static_cast<std::size_t>(nRead))))
            return nErr;
        nFrom += nRead;
    }
    return 0;
}

// A file with holes: only its data regions are copied, the holes stay holes.
// False (with nothing written) where the file system cannot tell them apart.
bool CopySparse(int fdIn, int fdOut, off_t nSize, int& nErr) {
    off_t nPos = 0;
    bool bAny = false;
    while (nPos < nSize) {
        const off_t nData = ::lseek(fdIn, nPos, SEEK_DATA);
        if (nData < 0) {
            if (errno == ENXIO)
                break; // only a hole is left
            if (!bAny && (errno == EINVAL || errno == EOPNOTSUPP))
                return false;
            nErr = errno;
            return true;
        }
        off_t nHole = ::lseek(fdIn, nData, SEEK_HOLE);
        if (nHole < 0) {
            nErr = errno;
            return true;
        }
        nHole = std::min(nHole, nSize);
        bAny = true;
        if (nHole > nData) {
            if ((nErr = CopyRange(fdIn, fdOut, nData, nHole)) != 0)
                return true;
        }
        nPos = nHole;
    }
    // The tail hole (or a file that is all hole) is given by the length alone.
    nErr = RetryEintr([&] { return ::ftruncate(fdOut, nSize); }) == 0 ? 0 : errno;
    return true;
}

} // namespace

int CopyData(int fdIn, int fdOut, const struct stat& st) {
    // Fewer blocks than the length needs: there are holes worth keeping. A
    // dense file takes the straight way, at cp's speed.
    constexpr off_t kBlock = 512;
    if (st.st_size > 0 && st.st_blocks * kBlock < st.st_size) {
        int nErr = 0;
        if (CopySparse(fdIn, fdOut, st.st_size, nErr))
            return nErr;
    }
    return CopyDense(fdIn, fdOut);
}

} // namespace kovrel::platform
