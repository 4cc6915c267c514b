#include "platform/PosixCopyData.h"

#include "platform/FileSystem.h"
#include "platform/PosixFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
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

constexpr std::size_t kBufSize = 256 * 1024;

// How far a copy is, for its observer, and how much the kernel is asked to copy
// at once. A run must be able to stop within a tenth of a second or so even in
// a file of many gigabytes, so the kernel's copy goes in chunks, each sized
// from how long the last one took: a fast disk gets large chunks (few calls,
// full speed), a slow or remote one small chunks.
class CCopyProgress {
public:
    CCopyProgress(ICopyObserver* pObserver, std::uint64_t nTotal)
        : m_pObserver(pObserver), m_nTotal(nTotal) {}

    std::size_t RangeChunk() const noexcept { return m_nRangeChunk; }
    void StartChunk() noexcept { m_tStart = Clock::now(); }

    // nBytes more are copied; the next chunk is sized from how long this one
    // took. False: the observer stops the copy.
    bool Advance(std::uint64_t nBytes, bool bRangeChunk) {
        if (bRangeChunk) {
            const auto elapsed = Clock::now() - m_tStart;
            if (elapsed < std::chrono::milliseconds(20) && m_nRangeChunk < kMaxRangeChunk)
                m_nRangeChunk *= 2;
            else if (elapsed > std::chrono::milliseconds(60) && m_nRangeChunk > kMinRangeChunk)
                m_nRangeChunk /= 2;
        }
        return Reached(m_nDone + nBytes);
    }

    // The copy stands at nDone bytes of the file (a hole passed over counts).
    // The observer hears of the end only once, from End.
    bool Reached(std::uint64_t nDone) {
        m_nDone = std::min(nDone, m_nTotal);
        return m_nDone == m_nTotal || Tell();
    }
    bool End() {
        m_nDone = m_nTotal;
        return Tell();
    }

private:
    using Clock = std::chrono::steady_clock;
    bool Tell() { return !m_pObserver || m_pObserver->OnCopyProgress(m_nDone, m_nTotal); }

    static constexpr std::size_t kMinRangeChunk = kBufSize;
    static constexpr std::size_t kMaxRangeChunk = std::size_t{64} << 20;

    ICopyObserver* m_pObserver;
    std::uint64_t m_nTotal;
    std::uint64_t m_nDone = 0;
    std::size_t m_nRangeChunk = std::size_t{4} << 20;
    Clock::time_point m_tStart;
};

// Copies the data the plain way, from where both offsets stand now.
int CopyDataReadWrite(int fdIn, int fdOut, CCopyProgress& progress) {
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
        if (!progress.Advance(static_cast<std::uint64_t>(nRead), false))
            return ECANCELED;
    }
}

// The data of a regular file, in the kernel where it can be done there.
int CopyDense(int fdIn, int fdOut, CCopyProgress& progress) {
    std::uint64_t nDone = 0;
    for (;;) {
        progress.StartChunk();
        const ssize_t n =
            ::copy_file_range(fdIn, nullptr, fdOut, nullptr, progress.RangeChunk(), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (IsRangeCopyUnsupported(errno))
                return CopyDataReadWrite(fdIn, fdOut, progress); // offsets moved together
            return errno;
        }
        if (n == 0)
            break;
        nDone += static_cast<std::uint64_t>(n);
        if (!progress.Advance(static_cast<std::uint64_t>(n), true))
            return ECANCELED;
    }
    // Some file systems (proc, sys, some FUSE ones) answer copy_file_range with an
    // immediate end of file although the file has data: read it the plain way.
    if (nDone == 0)
        return CopyDataReadWrite(fdIn, fdOut, progress);
    return 0;
}

// Copies [nFrom, nTo) of a file to the same place of the other.
int CopyRange(int fdIn, int fdOut, off_t nFrom, off_t nTo, CCopyProgress& progress) {
    if (::lseek(fdIn, nFrom, SEEK_SET) < 0 || ::lseek(fdOut, nFrom, SEEK_SET) < 0)
        return errno;
    while (nFrom < nTo) {
        const auto nWant = static_cast<std::size_t>(
            std::min<off_t>(nTo - nFrom, static_cast<off_t>(progress.RangeChunk())));
        progress.StartChunk();
        const ssize_t n = ::copy_file_range(fdIn, nullptr, fdOut, nullptr, nWant, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && !IsRangeCopyUnsupported(errno))
            return errno;
        if (n <= 0)
            break; // unsupported, or the file shrank: the plain loop below decides
        nFrom += n;
        if (!progress.Advance(static_cast<std::uint64_t>(n), true))
            return ECANCELED;
    }
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
        if (!progress.Advance(static_cast<std::uint64_t>(nRead), false))
            return ECANCELED;
    }
    return 0;
}

// A file with holes: only its data regions are copied, the holes stay holes.
// False (with nothing written) where the file system cannot tell them apart.
bool CopySparse(int fdIn, int fdOut, off_t nSize, CCopyProgress& progress, int& nErr) {
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
            // The hole before this region counts as done.
            if (!progress.Reached(static_cast<std::uint64_t>(nData))) {
                nErr = ECANCELED;
                return true;
            }
            if ((nErr = CopyRange(fdIn, fdOut, nData, nHole, progress)) != 0)
                return true;
        }
        nPos = nHole;
    }
    // The tail hole (or a file that is all hole) is given by the length alone.
    nErr = RetryEintr([&] { return ::ftruncate(fdOut, nSize); }) == 0 ? 0 : errno;
    return true;
}

} // namespace

int CopyData(int fdIn, int fdOut, const struct stat& st, ICopyObserver* pObserver) {
    const auto nTotal = static_cast<std::uint64_t>(std::max<off_t>(st.st_size, 0));
    CCopyProgress progress(pObserver, nTotal);
    // Fewer blocks than the length needs: there are holes worth keeping. A
    // dense file takes the straight way, at cp's speed.
    constexpr off_t kBlock = 512;
    int nErr = 0;
    if (st.st_size > 0 && st.st_blocks * kBlock < st.st_size) {
        if (!CopySparse(fdIn, fdOut, st.st_size, progress, nErr))
            nErr = CopyDense(fdIn, fdOut, progress);
    } else {
        nErr = CopyDense(fdIn, fdOut, progress);
    }
    if (nErr != 0)
        return nErr;
    // The end, once per file, also for an empty one or one that was all hole.
    return progress.End() ? 0 : ECANCELED;
}

} // namespace kovrel::platform
