// Comparing file times across file systems that keep them differently. On
// ordinary file systems both sides keep nanoseconds and times compare exactly.
// A file system that keeps whole seconds (an ext4 made with small inodes), two
// seconds (FAT) or a shorter range of dates stores a copied time rounded or
// clamped; such a pair must count as equal, or every run would copy it again.
#pragma once

#include "platform/FileSystem.h"

#include <compare>
#include <cstdint>
#include <unordered_map>

namespace kovrel {

// Orders two write times at the precision of the coarser of their file
// systems; a time that is the other clamped to its file system's range is equal.
std::strong_ordering CompareFileTimes(const platform::FileTime& ft1,
                                      const platform::TimeInfo& info1,
                                      const platform::FileTime& ft2,
                                      const platform::TimeInfo& info2) noexcept;

// What a run has learnt of each device's times: the file system's type (asked
// once per device) and the change times of the entries listed so far, which the
// kernel alone sets, with nanoseconds always zero on a whole-second file system.
// Nothing is written to find out, so a dry run decides as the real run does.
class CDeviceTimes {
public:
    // So many change times, all whole seconds, before a device counts as keeping
    // whole seconds: a kernel whose clock ticks in milliseconds lands on a whole
    // second now and then.
    static constexpr int kWholeSecondEvidence = 3;

    void Clear() { m_devices.clear(); }
    void Observe(const platform::FileAttr& attr);
    platform::TimeInfo InfoFor(std::uint64_t nDevice, platform::FileSystem& fs);

private:
    struct Device {
        int nWholeSeconds = 0;
        bool bFine = false;
    };
    std::unordered_map<std::uint64_t, Device> m_devices;
    std::uint64_t m_nLastFine = 0; // a device known fine, to skip the look-up
    bool m_bLastFine = false;
};

} // namespace kovrel
