#include "engine/PairDecision.h"

#include <gtest/gtest.h>

#include <compare>
#include <cstdint>
#include <ostream>
#include <string>

namespace kovrel {

void PrintTo(const PAIRDECISION& decision, std::ostream* pOut) {
    static const char* const kNames[] = {"None", "Copy", "CopySkipped", "Delete", "DeleteSkipped"};
    *pOut << kNames[static_cast<int>(decision.eAction)] << " side " << decision.nTarget
          << (decision.bClearReadOnly ? " (clear read-only)" : "");
}

namespace {

constexpr auto kLess = std::strong_ordering::less;       // side 1 older
constexpr auto kEqual = std::strong_ordering::equal;     // same time
constexpr auto kGreater = std::strong_ordering::greater; // side 1 newer

constexpr PAIRSIDE kAbsent{false, false};
constexpr PAIRSIDE kFile{true, false};
constexpr PAIRSIDE kReadOnly{true, true};

constexpr std::uint32_t kBothWays = SIO_ONEWAY_1TO2 | SIO_ONEWAY_2TO1;
constexpr std::uint32_t kUnknownBit = 0x80000000u;

PAIRDECISION Decision(PairAction eAction, int nTarget, bool bClear = false) {
    return {eAction, nTarget, bClear};
}

TEST(PairDecision, TableOfPairsOfFiles) {
    struct Case {
        const char* pszWhat;
        PAIRSIDE side1;
        PAIRSIDE side2;
        std::uint32_t dwOption;
        std::strong_ordering order;
        PAIRDECISION expected;
    };
    const PAIRDECISION none{};
    const Case cases[] = {
        {"nothing on either side", kAbsent, kAbsent, 0, kEqual, none},
        // One side lacks the file: its missing-entry option decides.
        {"side 2 lacks it: copied over", kFile, kAbsent, 0, kEqual, Decision(PairAction::Copy, 2)},
        {"side 1 lacks it: copied over", kAbsent, kFile, 0, kEqual, Decision(PairAction::Copy, 1)},
        {"a read-only source is copied all the same", kAbsent, kReadOnly, 0, kEqual,
         Decision(PairAction::Copy, 1)},
        {"side 2 lacks it, delete: side 1's goes", kFile, kAbsent, SIO_NOFILE2_DELETE, kEqual,
         Decision(PairAction::Delete, 1)},
        {"side 1 lacks it, delete: side 2's goes", kAbsent, kFile, SIO_NOFILE1_DELETE, kEqual,
         Decision(PairAction::Delete, 2)},
        {"the option of the other side does not count", kFile, kAbsent, SIO_NOFILE1_DELETE, kEqual,
         Decision(PairAction::Copy, 2)},
        {"ignore", kFile, kAbsent, SIO_NOFILE2_IGNORE, kEqual, none},
        {"a value the program never writes acts as ignore", kAbsent, kFile, 0x3, kEqual, none},
        {"delete of a read-only file is skipped", kReadOnly, kAbsent, SIO_NOFILE2_DELETE, kEqual,
         Decision(PairAction::DeleteSkipped, 1)},
        {"forced on its own side: made writable, deleted", kReadOnly, kAbsent,
         SIO_NOFILE2_DELETE | SIO_FORCE_RO1, kEqual, Decision(PairAction::Delete, 1, true)},
        {"forced on the other side only: still skipped", kReadOnly, kAbsent,
         SIO_NOFILE2_DELETE | SIO_FORCE_RO2, kEqual, Decision(PairAction::DeleteSkipped, 1)},
        {"side 2 read-only, forced", kAbsent, kReadOnly, SIO_NOFILE1_DELETE | SIO_FORCE_RO2, kEqual,
         Decision(PairAction::Delete, 2, true)},
        {"forcing a writable file changes nothing", kAbsent, kFile,
         SIO_NOFILE1_DELETE | SIO_FORCE_RO2, kEqual, Decision(PairAction::Delete, 2)},
        // One way: a side the direction keeps is never written.
        {"1 to 2: no copy onto side 1", kAbsent, kFile, SIO_ONEWAY_1TO2, kEqual, none},
        {"1 to 2: copy onto side 2", kFile, kAbsent, SIO_ONEWAY_1TO2, kEqual,
         Decision(PairAction::Copy, 2)},
        {"1 to 2: delete on side 2", kAbsent, kFile, SIO_ONEWAY_1TO2 | SIO_NOFILE1_DELETE, kEqual,
         Decision(PairAction::Delete, 2)},
        {"1 to 2: no delete on side 1", kFile, kAbsent, SIO_ONEWAY_1TO2 | SIO_NOFILE2_DELETE,
         kEqual, none},
        {"2 to 1: no copy onto side 2", kFile, kAbsent, SIO_ONEWAY_2TO1, kEqual, none},
        {"2 to 1: delete on side 1", kFile, kAbsent, SIO_ONEWAY_2TO1 | SIO_NOFILE2_DELETE, kEqual,
         Decision(PairAction::Delete, 1)},
        {"both one-way bits let either side change", kAbsent, kFile, kBothWays, kEqual,
         Decision(PairAction::Copy, 1)},
        // Both have it: the newer one wins.
        {"same time: nothing", kFile, kFile, 0, kEqual, none},
        {"side 1 newer", kFile, kFile, 0, kGreater, Decision(PairAction::Copy, 2)},
        {"side 1 older", kFile, kFile, 0, kLess, Decision(PairAction::Copy, 1)},
        {"a read-only source is copied", kReadOnly, kFile, 0, kGreater,
         Decision(PairAction::Copy, 2)},
        {"a read-only target is skipped", kFile, kReadOnly, 0, kGreater,
         Decision(PairAction::CopySkipped, 2)},
        {"a read-only side 1 target is skipped", kReadOnly, kFile, 0, kLess,
         Decision(PairAction::CopySkipped, 1)},
        {"a forced read-only target is replaced", kFile, kReadOnly, SIO_FORCE_RO2, kGreater,
         Decision(PairAction::Copy, 2)},
        {"forcing the source's side does not help", kFile, kReadOnly, SIO_FORCE_RO1, kGreater,
         Decision(PairAction::CopySkipped, 2)},
        {"copy older alone changes nothing two-way", kFile, kFile, SIO_COPY_OLDER, kLess,
         Decision(PairAction::Copy, 1)},
        {"1 to 2, newer source", kFile, kFile, SIO_ONEWAY_1TO2, kGreater,
         Decision(PairAction::Copy, 2)},
        {"1 to 2, older source: kept", kFile, kFile, SIO_ONEWAY_1TO2, kLess, none},
        {"1 to 2, older source, copy older", kFile, kFile, SIO_ONEWAY_1TO2 | SIO_COPY_OLDER, kLess,
         Decision(PairAction::Copy, 2)},
        {"1 to 2, same time, copy older: nothing", kFile, kFile, SIO_ONEWAY_1TO2 | SIO_COPY_OLDER,
         kEqual, none},
        {"2 to 1, newer side 2", kFile, kFile, SIO_ONEWAY_2TO1, kLess,
         Decision(PairAction::Copy, 1)},
        {"2 to 1, older side 2: kept", kFile, kFile, SIO_ONEWAY_2TO1, kGreater, none},
        {"2 to 1, older side 2, copy older", kFile, kFile, SIO_ONEWAY_2TO1 | SIO_COPY_OLDER,
         kGreater, Decision(PairAction::Copy, 1)},
        {"2 to 1, copy older, read-only target", kReadOnly, kFile, SIO_ONEWAY_2TO1 | SIO_COPY_OLDER,
         kGreater, Decision(PairAction::CopySkipped, 1)},
        {"both one-way bits copy 1 to 2", kFile, kFile, kBothWays, kLess, none},
        {"both one-way bits, copy older", kFile, kFile, kBothWays | SIO_COPY_OLDER, kLess,
         Decision(PairAction::Copy, 2)},
        // Bits that do not concern a pair of files.
        {"no subdirectories", kFile, kFile, SIO_NO_SUBDIRS, kGreater,
         Decision(PairAction::Copy, 2)},
        {"an unknown bit", kFile, kAbsent, kUnknownBit | SIO_NOFILE2_DELETE, kEqual,
         Decision(PairAction::Delete, 1)},
    };
    for (const Case& c : cases) {
        PAIRINPUT input;
        input.side1 = c.side1;
        input.side2 = c.side2;
        input.options = CSyncOptions(c.dwOption);
        input.timeOrder = c.order;
        EXPECT_EQ(DecidePair(input), c.expected) << c.pszWhat;
    }
}

// The rule for an entry one side lacks serves directories as well.
TEST(PairDecision, TableOfMissingEntries) {
    struct Case {
        std::uint32_t dwOption;
        int nMissingSide;
        MissingRule expected;
    };
    const Case cases[] = {
        {0, 1, MissingRule::CopyOver},
        {0, 2, MissingRule::CopyOver},
        {SIO_NOFILE1_DELETE, 1, MissingRule::DeleteOther},
        {SIO_NOFILE1_DELETE, 2, MissingRule::CopyOver},
        {SIO_NOFILE2_DELETE, 2, MissingRule::DeleteOther},
        {SIO_NOFILE1_IGNORE | SIO_NOFILE2_IGNORE, 1, MissingRule::Leave},
        {SIO_NOFILE1_IGNORE | SIO_NOFILE2_IGNORE, 2, MissingRule::Leave},
        {0x7, 1, MissingRule::Leave},
        {0x50, 2, MissingRule::Leave},
        {SIO_ONEWAY_1TO2, 1, MissingRule::Leave},
        {SIO_ONEWAY_1TO2, 2, MissingRule::CopyOver},
        {SIO_ONEWAY_1TO2 | SIO_NOFILE1_DELETE, 1, MissingRule::DeleteOther},
        {SIO_ONEWAY_1TO2 | SIO_NOFILE2_DELETE, 2, MissingRule::Leave},
        {SIO_ONEWAY_2TO1, 1, MissingRule::CopyOver},
        {SIO_ONEWAY_2TO1, 2, MissingRule::Leave},
        {SIO_ONEWAY_2TO1 | SIO_NOFILE1_DELETE, 1, MissingRule::Leave},
        {SIO_ONEWAY_2TO1 | SIO_NOFILE2_DELETE, 2, MissingRule::DeleteOther},
        {kBothWays | SIO_NOFILE2_DELETE, 2, MissingRule::DeleteOther},
        {kBothWays, 1, MissingRule::CopyOver},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecideMissing(CSyncOptions(c.dwOption), c.nMissingSide), c.expected)
            << "option 0x" << std::hex << c.dwOption << ", side " << c.nMissingSide << " lacks it";
    }
}

TEST(PairDecision, ReadOnlyIsKeptUnlessForcedOnItsOwnSide) {
    struct Case {
        std::uint32_t dwOption;
        int nSide;
        bool bReadOnly;
        bool bKept;
    };
    const Case cases[] = {
        {0, 1, false, false},
        {0, 1, true, true},
        {0, 2, true, true},
        {SIO_FORCE_RO1, 1, true, false},
        {SIO_FORCE_RO1, 2, true, true},
        {SIO_FORCE_RO2, 2, true, false},
        {SIO_FORCE_RO2, 1, true, true},
        {SIO_FORCE_RO1 | SIO_FORCE_RO2, 2, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KeepsReadOnly(CSyncOptions(c.dwOption), c.nSide, c.bReadOnly), c.bKept)
            << "option 0x" << std::hex << c.dwOption << ", side " << c.nSide
            << (c.bReadOnly ? ", read-only" : ", writable");
    }
}

} // namespace
} // namespace kovrel
