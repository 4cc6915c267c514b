#include "engine/FileTimes.h"

#include <gtest/gtest.h>

#include <climits>
#include <compare>

namespace kovrel {
namespace {

using platform::FileAttr;
using platform::FileTime;
using platform::TimeInfo;

constexpr std::int64_t kSec = 1'000'000'000;

TimeInfo Grain(std::int64_t nGrainNs) {
    TimeInfo info;
    info.nGrainNs = nGrainNs;
    return info;
}

TimeInfo Fat() {
    TimeInfo info;
    info.nGrainNs = 2 * kSec;
    info.nMinSec = 315532800;
    info.nMaxSec = 4354819198;
    info.nRangeSlackSec = 86400;
    return info;
}

TimeInfo WholeSeconds32() {
    TimeInfo info;
    info.nGrainNs = kSec;
    info.nMinSec = INT32_MIN;
    info.nMaxSec = INT32_MAX;
    return info;
}

TEST(FileTimes, ComparedAtTheCoarserSidesPrecision) {
    const TimeInfo exact;
    struct Case {
        FileTime ft1;
        TimeInfo info1;
        FileTime ft2;
        TimeInfo info2;
        std::strong_ordering expected;
    };
    const Case cases[] = {
        // Ordinary file systems: to the nanosecond, as always.
        {{100, 5}, exact, {100, 6}, exact, std::strong_ordering::less},
        {{100, 5}, exact, {100, 5}, exact, std::strong_ordering::equal},
        // Whole seconds on either side: the nanoseconds do not count.
        {{100, 999'999'999}, exact, {100, 0}, Grain(kSec), std::strong_ordering::equal},
        {{100, 0}, Grain(kSec), {100, 5}, exact, std::strong_ordering::equal},
        {{101, 0}, Grain(kSec), {100, 5}, exact, std::strong_ordering::greater},
        {{-5, 500}, exact, {-5, 0}, Grain(kSec), std::strong_ordering::equal},
        // FAT's two seconds: an odd second is stored as the even one before it.
        {{101, 500'000'000}, exact, {100, 0}, Fat(), std::strong_ordering::equal},
        {{102, 0}, exact, {100, 0}, Fat(), std::strong_ordering::greater},
        {{-1, 0}, Grain(2 * kSec), {-2, 0}, exact, std::strong_ordering::equal},
        // exFAT's 10 ms.
        {{100, 19'999'999},
         exact,
         {100, 10'000'000},
         Grain(10'000'000),
         std::strong_ordering::equal},
        {{100, 20'000'000},
         exact,
         {100, 10'000'000},
         Grain(10'000'000),
         std::strong_ordering::greater},
        // A date the file system cannot hold is stored clamped to its range.
        {{4102444800, 0}, exact, {INT32_MAX, 0}, WholeSeconds32(), std::strong_ordering::equal},
        {{4102444800, 0},
         exact,
         {INT32_MAX - 1, 0},
         WholeSeconds32(),
         std::strong_ordering::greater},
        {{INT32_MAX, 0}, WholeSeconds32(), {4102444800, 0}, exact, std::strong_ordering::equal},
        // FAT keeps local time: the clamped end lies up to a day off in UTC.
        {{0, 0}, exact, {315532800 + 3600 * 9, 0}, Fat(), std::strong_ordering::equal},
        {{0, 0}, exact, {315532800 + 86400 * 3, 0}, Fat(), std::strong_ordering::less},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareFileTimes(c.ft1, c.info1, c.ft2, c.info2), c.expected)
            << c.ft1.nSec << "." << c.ft1.nNsec << " vs " << c.ft2.nSec << "." << c.ft2.nNsec;
        // The order is the same seen from the other side.
        const auto back = CompareFileTimes(c.ft2, c.info2, c.ft1, c.info1);
        EXPECT_EQ(back, 0 <=> c.expected);
    }
}

class StubFs final : public platform::FileSystem {
public:
    TimeInfo m_info;
    TimeInfo GetTimeInfo(std::uint64_t) override { return m_info; }
    platform::AttrStatus GetAttr(const std::string&, FileAttr&, int&) override {
        return platform::AttrStatus::Error;
    }
    int ListDir(const std::string&, std::vector<platform::DirEntry>&,
                std::vector<std::string>*) override {
        return ENOSYS;
    }
    int CopyFile(const std::string&, const std::string&, const platform::ExpectedTarget&) override {
        return ENOSYS;
    }
    int DeleteFile(const std::string&) override { return ENOSYS; }
    int CreateDir(const std::string&) override { return ENOSYS; }
    int RemoveDir(const std::string&) override { return ENOSYS; }
    int GetTimes(const std::string&, FileTime*, FileTime*) override { return ENOSYS; }
    int SetTimes(const std::string&, const FileTime*, const FileTime*) override { return ENOSYS; }
    int SetMode(const std::string&, std::uint32_t) override { return ENOSYS; }
    int RealPath(const std::string&, std::string&) override { return ENOSYS; }
    platform::FileResult ReadFile(const std::string&, std::string&, std::size_t) override {
        return {};
    }
    platform::FileResult WriteFile(const std::string&, std::string_view) override { return {}; }
};

FileAttr Changed(std::uint64_t nDevice, std::int32_t nNsec) {
    FileAttr attr;
    attr.nDevice = nDevice;
    attr.ftChange = FileTime{1000, nNsec};
    return attr;
}

// A device counts as keeping whole seconds only after a few change times all
// on the second, never once one shows nanoseconds; the type's own knowledge
// stays.
TEST(FileTimes, DeviceGranularityFromChangeTimes) {
    StubFs fs;
    CDeviceTimes times;
    for (int i = 1; i < CDeviceTimes::kWholeSecondEvidence; ++i)
        times.Observe(Changed(1, 0));
    EXPECT_TRUE(times.InfoFor(1, fs).IsExact());
    times.Observe(Changed(1, 0));
    const TimeInfo whole = times.InfoFor(1, fs);
    EXPECT_EQ(whole.nGrainNs, kSec);
    EXPECT_EQ(whole.nMaxSec, INT32_MAX);

    for (int i = 0; i < 5; ++i)
        times.Observe(Changed(2, 0));
    times.Observe(Changed(2, 4'000'000));
    times.Observe(Changed(2, 0));
    EXPECT_TRUE(times.InfoFor(2, fs).IsExact());

    fs.m_info = Fat();
    EXPECT_EQ(times.InfoFor(2, fs).nGrainNs, 2 * kSec);
    EXPECT_EQ(times.InfoFor(1, fs).nGrainNs, 2 * kSec);
    EXPECT_EQ(times.InfoFor(1, fs).nMaxSec, Fat().nMaxSec);

    times.Clear();
    fs.m_info = TimeInfo{};
    EXPECT_TRUE(times.InfoFor(1, fs).IsExact());
}

} // namespace
} // namespace kovrel
