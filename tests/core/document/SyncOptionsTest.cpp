#include "document/SyncOptions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>

namespace kovrel {
namespace {

// What every accessor reads from one word.
struct ReadCase {
    std::uint32_t dwRaw;
    MissingAction missing1;
    MissingAction missing2;
    bool bForce1;
    bool bForce2;
    OneWayDir oneWay;
    bool bMayChange1;
    bool bMayChange2;
    bool bCopyOlder;
    bool bSubdirs;
    std::uint32_t dwUnknown;
};

constexpr MissingAction kCopy = MissingAction::Copy;
constexpr MissingAction kDelete = MissingAction::Delete;
constexpr MissingAction kIgnore = MissingAction::Ignore;
constexpr MissingAction kOther = MissingAction::Other;
constexpr OneWayDir kBoth = OneWayDir::None;
constexpr OneWayDir k1To2 = OneWayDir::From1To2;
constexpr OneWayDir k2To1 = OneWayDir::From2To1;

const ReadCase kReadCases[] = {
    // raw        miss1    miss2    ro1    ro2    one-way may1   may2   older  subdir unknown
    {0x00000000, kCopy, kCopy, false, false, kBoth, true, true, false, true, 0},
    {0x00000001, kDelete, kCopy, false, false, kBoth, true, true, false, true, 0},
    {0x00000002, kIgnore, kCopy, false, false, kBoth, true, true, false, true, 0},
    {0x00000003, kOther, kCopy, false, false, kBoth, true, true, false, true, 0},
    {0x00000007, kOther, kCopy, false, false, kBoth, true, true, false, true, 0},
    {0x00000010, kCopy, kDelete, false, false, kBoth, true, true, false, true, 0},
    {0x00000020, kCopy, kIgnore, false, false, kBoth, true, true, false, true, 0},
    {0x00000030, kCopy, kOther, false, false, kBoth, true, true, false, true, 0},
    {0x00000070, kCopy, kOther, false, false, kBoth, true, true, false, true, 0},
    {0x00000008, kCopy, kCopy, true, false, kBoth, true, true, false, true, 0},
    {0x00000080, kCopy, kCopy, false, true, kBoth, true, true, false, true, 0},
    {0x00000181, kDelete, kCopy, false, true, k1To2, false, true, false, true, 0},
    {0x00000200, kCopy, kCopy, false, false, k2To1, true, false, false, true, 0},
    // Both one-way bits: reads as 1 to 2, yet each side may change.
    {0x00000300, kCopy, kCopy, false, false, k1To2, true, true, false, true, 0},
    {0x00000400, kCopy, kCopy, false, false, kBoth, true, true, true, true, 0},
    {0x00000622, kIgnore, kIgnore, false, false, k2To1, true, false, true, true, 0},
    {0x00010000, kCopy, kCopy, false, false, kBoth, true, true, false, false, 0},
    {0x000107FF, kOther, kOther, true, true, k1To2, true, true, true, false, 0},
    // The remembered-state bit is known; the bits around it are not.
    {0x00020000, kCopy, kCopy, false, false, kBoth, true, true, false, true, 0},
    // Bits nobody knows: read back as they came, no accessor sees them.
    {0x00040000, kCopy, kCopy, false, false, kBoth, true, true, false, true, 0x00040000},
    {0xFFFCF800, kCopy, kCopy, false, false, kBoth, true, true, false, true, 0xFFFCF800},
    {0xFFFEF800, kCopy, kCopy, false, false, kBoth, true, true, false, true, 0xFFFCF800},
    {0xFFFFFFFF, kOther, kOther, true, true, k1To2, true, true, true, false, 0xFFFCF800},
};

void PrintTo(const ReadCase& c, std::ostream* pOs) {
    *pOs << std::hex << "0x" << c.dwRaw;
}

class SyncOptionsRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(SyncOptionsRead, EveryAccessorReadsItsBits) {
    const ReadCase& c = GetParam();
    const CSyncOptions opt(c.dwRaw);
    EXPECT_EQ(opt.Raw(), c.dwRaw);
    EXPECT_EQ(opt.MissingOn1(), c.missing1);
    EXPECT_EQ(opt.MissingOn2(), c.missing2);
    EXPECT_EQ(opt.MissingOn(1), c.missing1);
    EXPECT_EQ(opt.MissingOn(2), c.missing2);
    EXPECT_EQ(opt.ForceReadOnly1(), c.bForce1);
    EXPECT_EQ(opt.ForceReadOnly2(), c.bForce2);
    EXPECT_EQ(opt.ForceReadOnly(1), c.bForce1);
    EXPECT_EQ(opt.ForceReadOnly(2), c.bForce2);
    EXPECT_EQ(opt.OneWay(), c.oneWay);
    EXPECT_EQ(opt.IsOneWay(), (c.dwRaw & 0x300) != 0);
    EXPECT_EQ(opt.MayChange1(), c.bMayChange1);
    EXPECT_EQ(opt.MayChange2(), c.bMayChange2);
    EXPECT_EQ(opt.MayChange(1), c.bMayChange1);
    EXPECT_EQ(opt.MayChange(2), c.bMayChange2);
    EXPECT_EQ(opt.CopyOlder(), c.bCopyOlder);
    EXPECT_EQ(opt.Subdirs(), c.bSubdirs);
    EXPECT_EQ(opt.UnknownBits(), c.dwUnknown);
    EXPECT_EQ(opt.RememberState(), (c.dwRaw & 0x20000) != 0);
    EXPECT_EQ(opt.UsesRememberedState(), (c.dwRaw & 0x20000) != 0 && c.oneWay == kBoth);
}

std::string ReadName(const ::testing::TestParamInfo<ReadCase>& param) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "x%08X", static_cast<unsigned>(param.param.dwRaw));
    return buf;
}

INSTANTIATE_TEST_SUITE_P(Words, SyncOptionsRead, ::testing::ValuesIn(kReadCases), ReadName);

// A setter changes its own bits and nothing else.
struct WriteCase {
    const char* pszName;
    std::uint32_t dwBefore;
    std::function<void(CSyncOptions&)> set;
    std::uint32_t dwAfter;
};

const WriteCase kWriteCases[] = {
    {"Missing1Delete", 0x0, [](CSyncOptions& o) { o.SetMissingOn1(kDelete); }, 0x1},
    {"Missing1Ignore", 0x1, [](CSyncOptions& o) { o.SetMissingOn1(kIgnore); }, 0x2},
    {"Missing1Copy", 0xFFFFFFFF, [](CSyncOptions& o) { o.SetMissingOn1(kCopy); }, 0xFFFFFFF8},
    {"Missing1OtherStoresIgnore", 0x7, [](CSyncOptions& o) { o.SetMissingOn1(kOther); }, 0x2},
    {"Missing2Delete", 0x0, [](CSyncOptions& o) { o.SetMissingOn2(kDelete); }, 0x10},
    {"Missing2Ignore", 0x12, [](CSyncOptions& o) { o.SetMissingOn2(kIgnore); }, 0x22},
    {"Missing2Copy", 0xFFFFFFFF, [](CSyncOptions& o) { o.SetMissingOn2(kCopy); }, 0xFFFFFF8F},
    {"Missing2OtherStoresIgnore", 0x70, [](CSyncOptions& o) { o.SetMissingOn2(kOther); }, 0x20},
    {"Force1On", 0x20000, [](CSyncOptions& o) { o.SetForceReadOnly1(true); }, 0x20008},
    {"Force1Off", 0xFFFFFFFF, [](CSyncOptions& o) { o.SetForceReadOnly1(false); }, 0xFFFFFFF7},
    {"Force2On", 0x1, [](CSyncOptions& o) { o.SetForceReadOnly2(true); }, 0x81},
    {"Force2Off", 0xFFFFFFFF, [](CSyncOptions& o) { o.SetForceReadOnly2(false); }, 0xFFFFFF7F},
    {"OneWay1To2", 0x200, [](CSyncOptions& o) { o.SetOneWay(k1To2); }, 0x100},
    {"OneWay2To1", 0x300, [](CSyncOptions& o) { o.SetOneWay(k2To1); }, 0x200},
    {"OneWayOff", 0xFFFFFFFF, [](CSyncOptions& o) { o.SetOneWay(kBoth); }, 0xFFFFFCFF},
    {"CopyOlderOn", 0x100, [](CSyncOptions& o) { o.SetCopyOlder(true); }, 0x500},
    {"CopyOlderOff", 0xFFFFFFFF, [](CSyncOptions& o) { o.SetCopyOlder(false); }, 0xFFFFFBFF},
    {"SubdirsOff", 0x0, [](CSyncOptions& o) { o.SetSubdirs(false); }, 0x10000},
    {"SubdirsOn", 0xFFFFFFFF, [](CSyncOptions& o) { o.SetSubdirs(true); }, 0xFFFEFFFF},
    {"RememberOn", 0x10000, [](CSyncOptions& o) { o.SetRememberState(true); }, 0x30000},
    {"RememberOff", 0xFFFFFFFF, [](CSyncOptions& o) { o.SetRememberState(false); }, 0xFFFDFFFF},
};

// Failures name the case, not its bytes.
void PrintTo(const WriteCase& c, std::ostream* pOs) {
    *pOs << c.pszName;
}

class SyncOptionsWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(SyncOptionsWrite, SetterTouchesOnlyItsBits) {
    const WriteCase& c = GetParam();
    CSyncOptions opt(c.dwBefore);
    c.set(opt);
    EXPECT_EQ(opt.Raw(), c.dwAfter);
    EXPECT_EQ(opt.UnknownBits(), CSyncOptions(c.dwBefore).UnknownBits());
}

std::string WriteName(const ::testing::TestParamInfo<WriteCase>& param) {
    return param.param.pszName;
}

INSTANTIATE_TEST_SUITE_P(Setters, SyncOptionsWrite, ::testing::ValuesIn(kWriteCases), WriteName);

TEST(SyncOptions, BuiltFromNothingEqualsTheDefaultWord) {
    CSyncOptions opt;
    EXPECT_EQ(opt.Raw(), 0u);
    opt.SetMissingOn1(kIgnore);
    opt.SetMissingOn2(kDelete);
    opt.SetForceReadOnly2(true);
    opt.SetOneWay(k2To1);
    opt.SetCopyOlder(true);
    opt.SetSubdirs(false);
    EXPECT_EQ(opt, CSyncOptions(0x2 | 0x10 | 0x80 | 0x200 | 0x400 | 0x10000));
    EXPECT_NE(opt, CSyncOptions(0));
}

// The remembered state counts only for a two-way word; the bit itself is kept
// whatever the one-way bits say, as a document holds it.
TEST(SyncOptions, RememberedStateNeedsATwoWayWord) {
    struct Case {
        std::uint32_t dwRaw;
        bool bUses;
    };
    const Case cases[] = {
        {0x20000, true},          {0x20000 | 0x10000 | 0x88 | 0x22, true},
        {0x20000 | 0x400, true}, // the older-source bit alone is no one-way mode
        {0x20000 | 0x100, false}, {0x20000 | 0x200, false},
        {0x20000 | 0x300, false}, {0x0, false},
        {0xFFFDFFFF, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.dwRaw);
        CSyncOptions opt(c.dwRaw);
        EXPECT_EQ(opt.UsesRememberedState(), c.bUses);
        EXPECT_EQ(opt.Raw(), c.dwRaw);
        // Turning one-way copying off brings a kept bit into force.
        opt.SetOneWay(kBoth);
        EXPECT_EQ(opt.UsesRememberedState(), (c.dwRaw & 0x20000) != 0);
    }
}

} // namespace
} // namespace kovrel
