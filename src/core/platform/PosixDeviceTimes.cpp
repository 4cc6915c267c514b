// What the file system of each device keeps of a file time, learnt from its
// type the first time the device is seen.
#include "platform/PosixFileSystem.h"

#include "platform/PosixFile.h"

#include <cstdint>

#include <sys/statfs.h>

namespace kovrel::platform {

namespace {

// What the file system type tells of its times (statfs' f_type).
TimeInfo TimeInfoOfType(std::int64_t nType) noexcept {
    constexpr std::int64_t kSec1980 = 315532800;  // 1980-01-01
    constexpr std::int64_t kSec2107 = 4354819198; // 2107-12-31 23:59:58
    constexpr std::int64_t kLocalSlack = 86400;   // FAT keeps local time
    TimeInfo info;
    switch (nType) {
    case 0x4d44: // FAT
        info.nGrainNs = 2'000'000'000;
        info.nMinSec = kSec1980;
        info.nMaxSec = kSec2107;
        info.nRangeSlackSec = kLocalSlack;
        break;
    case 0x2011BAB0: // exFAT: 10 ms steps, FAT's range
        info.nGrainNs = 10'000'000;
        info.nMinSec = kSec1980;
        info.nMaxSec = kSec2107;
        info.nRangeSlackSec = kLocalSlack;
        break;
    case 0x482b: // HFS+: whole seconds from 1904, unsigned 32 bits
        info.nGrainNs = 1'000'000'000;
        info.nMinSec = -2082844800;
        info.nMaxSec = 2212122495;
        break;
    case 0x9660: // ISO 9660
        info.nGrainNs = 1'000'000'000;
        break;
    default:
        break;
    }
    return info;
}

} // namespace

void PosixFileSystem::NoteDevice(std::uint64_t nDevice, int fdOnDevice) {
    if (m_deviceTimes.contains(nDevice))
        return;
    struct statfs sfs {};
    TimeInfo info;
    if (RetryEintr([&] { return ::fstatfs(fdOnDevice, &sfs); }) == 0)
        info = TimeInfoOfType(static_cast<std::int64_t>(sfs.f_type));
    m_deviceTimes.emplace(nDevice, info);
}

TimeInfo PosixFileSystem::GetTimeInfo(std::uint64_t nDevice) {
    const auto it = m_deviceTimes.find(nDevice);
    return it != m_deviceTimes.end() ? it->second : TimeInfo{};
}

} // namespace kovrel::platform
