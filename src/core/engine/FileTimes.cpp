#include "engine/FileTimes.h"

#include <algorithm>

namespace kovrel {

using platform::FileTime;
using platform::TimeInfo;

namespace {

constexpr std::int64_t kNsPerSec = 1'000'000'000;

std::int64_t FloorDiv(std::int64_t n, std::int64_t d) noexcept {
    const std::int64_t q = n / d;
    return (n % d != 0 && (n < 0) != (d < 0)) ? q - 1 : q;
}

FileTime Floor(const FileTime& ft, std::int64_t nGrainNs) noexcept {
    if (nGrainNs <= 1)
        return ft;
    if (nGrainNs < kNsPerSec)
        return FileTime{ft.nSec, static_cast<std::int32_t>(ft.nNsec - ft.nNsec % nGrainNs)};
    const std::int64_t nStep = nGrainNs / kNsPerSec;
    return FileTime{FloorDiv(ft.nSec, nStep) * nStep, 0};
}

// True when stored is what a file system of that kind made of source by
// clamping it to its range.
bool IsClampOf(const FileTime& source, const FileTime& stored, const TimeInfo& info) noexcept {
    if (source.nSec > info.nMaxSec)
        return stored.nSec <= info.nMaxSec && stored.nSec >= info.nMaxSec - info.nRangeSlackSec;
    if (source.nSec < info.nMinSec)
        return stored.nSec >= info.nMinSec && stored.nSec <= info.nMinSec + info.nRangeSlackSec;
    return false;
}

} // namespace

std::strong_ordering CompareFileTimes(const FileTime& ft1, const TimeInfo& info1,
                                      const FileTime& ft2, const TimeInfo& info2) noexcept {
    if (ft1 == ft2 || (info1.IsExact() && info2.IsExact()))
        return ft1 <=> ft2;
    if (IsClampOf(ft1, ft2, info2) || IsClampOf(ft2, ft1, info1))
        return std::strong_ordering::equal;
    const std::int64_t nGrain = std::max(info1.nGrainNs, info2.nGrainNs);
    return Floor(ft1, nGrain) <=> Floor(ft2, nGrain);
}

void CDeviceTimes::Observe(const platform::FileAttr& attr) {
    if (m_bLastFine && attr.nDevice == m_nLastFine)
        return;
    Device& dev = m_devices[attr.nDevice];
    if (attr.ftChange.nNsec != 0)
        dev.bFine = true;
    else if (!dev.bFine)
        ++dev.nWholeSeconds;
    if (dev.bFine) {
        m_nLastFine = attr.nDevice;
        m_bLastFine = true;
    }
}

TimeInfo CDeviceTimes::InfoFor(std::uint64_t nDevice, platform::FileSystem& fs) {
    TimeInfo info = fs.GetTimeInfo(nDevice);
    const auto it = m_devices.find(nDevice);
    if (it == m_devices.end() || it->second.bFine ||
        it->second.nWholeSeconds < kWholeSecondEvidence)
        return info;
    // Whole seconds: the ext file systems that keep them (small inodes) keep
    // signed 32-bit seconds too.
    info.nGrainNs = std::max(info.nGrainNs, kNsPerSec);
    if (info.nMinSec == INT64_MIN && info.nMaxSec == INT64_MAX) {
        info.nMinSec = INT32_MIN;
        info.nMaxSec = INT32_MAX;
    }
    return info;
}

} // namespace kovrel
