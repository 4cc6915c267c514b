#include "engine/PairDecision.h"

#include <gtest/gtest.h>

#include <compare>
#include <cstdint>
#include <ostream>
#include <string>

namespace kovrel {

void PrintTo(const PAIRDECISION& decision, std::ostream* pOut) {
    static const char* const kNames[] = {"None",   "Copy",          "CopySkipped",
                                         "Delete", "DeleteSkipped", "Conflict"};
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

// An item that remembers its state decides against the record of the pair;
// without a record (or without the bit, or one way) the ordinary rules stand.
TEST(PairDecision, TableOfRememberedPairs) {
    constexpr std::uint32_t kRemember = SIO_REMEMBER_STATE;
    // Known entry; which sides changed since; equal contents.
    constexpr PAIRMEMORY kUnknown{};
    constexpr PAIRMEMORY kNoChange{true, false, false, false};
    constexpr PAIRMEMORY kChanged1{true, true, false, false};
    constexpr PAIRMEMORY kChanged2{true, false, true, false};
    constexpr PAIRMEMORY kBothDiffer{true, true, true, false};
    constexpr PAIRMEMORY kBothSame{true, true, true, true};
    struct Case {
        const char* pszWhat;
        PAIRSIDE side1;
        PAIRSIDE side2;
        std::uint32_t dwOption;
        std::strong_ordering order;
        PAIRMEMORY memory;
        PAIRDECISION expected;
    };
    const PAIRDECISION none{};
    const Case cases[] = {
        // Both present.
        {"no record: the newer wins", kFile, kFile, kRemember, kLess, kUnknown,
         Decision(PairAction::Copy, 1)},
        {"nothing changed, times differ: nothing", kFile, kFile, kRemember, kGreater, kNoChange,
         none},
        {"side 1 changed, newer", kFile, kFile, kRemember, kGreater, kChanged1,
         Decision(PairAction::Copy, 2)},
        {"side 1 changed, older: it spreads all the same", kFile, kFile, kRemember, kLess,
         kChanged1, Decision(PairAction::Copy, 2)},
        {"side 2 changed, older", kFile, kFile, kRemember, kGreater, kChanged2,
         Decision(PairAction::Copy, 1)},
        {"side 2 changed onto a read-only side 1", kReadOnly, kFile, kRemember, kGreater, kChanged2,
         Decision(PairAction::CopySkipped, 1)},
        {"side 2 changed onto a forced read-only side 1", kReadOnly, kFile,
         kRemember | SIO_FORCE_RO1, kGreater, kChanged2, Decision(PairAction::Copy, 1)},
        {"both changed, same contents: nothing", kFile, kFile, kRemember, kLess, kBothSame, none},
        {"both changed, side 1 older: conflict on side 1", kFile, kFile, kRemember, kLess,
         kBothDiffer, Decision(PairAction::Conflict, 1)},
        {"both changed, side 2 older: conflict on side 2", kFile, kFile, kRemember, kGreater,
         kBothDiffer, Decision(PairAction::Conflict, 2)},
        {"both changed, same time: side 2 is kept aside", kFile, kFile, kRemember, kEqual,
         kBothDiffer, Decision(PairAction::Conflict, 2)},
        {"a conflict onto a read-only file is skipped", kFile, kReadOnly, kRemember, kGreater,
         kBothDiffer, Decision(PairAction::CopySkipped, 2)},
        {"without the bit the record is not read", kFile, kFile, 0, kGreater, kChanged2,
         Decision(PairAction::Copy, 2)},
        {"one way: the record is not read", kFile, kFile, kRemember | SIO_ONEWAY_1TO2, kLess,
         kChanged1, none},
        // One side lacks it, the record had it on both.
        {"side 2 deleted it, side 1 unchanged: deleted", kFile, kAbsent, kRemember, kEqual,
         kNoChange, Decision(PairAction::Delete, 1)},
        {"side 1 deleted it, side 2 unchanged: deleted", kAbsent, kFile, kRemember, kEqual,
         kNoChange, Decision(PairAction::Delete, 2)},
        {"side 2 deleted it, side 1 changed: copied back", kFile, kAbsent, kRemember, kEqual,
         kChanged1, Decision(PairAction::Copy, 2)},
        {"side 1 deleted it, side 2 changed: copied back", kAbsent, kFile, kRemember, kEqual,
         kChanged2, Decision(PairAction::Copy, 1)},
        {"the delete setting changes nothing", kFile, kAbsent, kRemember | SIO_NOFILE2_DELETE,
         kEqual, kChanged1, Decision(PairAction::Copy, 2)},
        {"ignore for the side that lacks it: nothing", kFile, kAbsent,
         kRemember | SIO_NOFILE2_IGNORE, kEqual, kNoChange, none},
        {"ignore for the other side does not count", kFile, kAbsent, kRemember | SIO_NOFILE1_IGNORE,
         kEqual, kNoChange, Decision(PairAction::Delete, 1)},
        {"read-only remaining file: delete skipped", kReadOnly, kAbsent, kRemember, kEqual,
         kNoChange, Decision(PairAction::DeleteSkipped, 1)},
        {"read-only remaining file, forced", kReadOnly, kAbsent, kRemember | SIO_FORCE_RO1, kEqual,
         kNoChange, Decision(PairAction::Delete, 1, true)},
        {"no record: new on side 1, copied", kFile, kAbsent, kRemember, kEqual, kUnknown,
         Decision(PairAction::Copy, 2)},
        {"without the bit a deletion comes back", kFile, kAbsent, 0, kEqual, kNoChange,
         Decision(PairAction::Copy, 2)},
    };
    for (const Case& c : cases) {
        PAIRINPUT input;
        input.side1 = c.side1;
        input.side2 = c.side2;
        input.options = CSyncOptions(c.dwOption);
        input.timeOrder = c.order;
        input.memory = c.memory;
        EXPECT_EQ(DecidePair(input), c.expected) << c.pszWhat;
    }
}

TEST(PairDecision, TableOfRememberedMissingEntries) {
    struct Case {
        std::uint32_t dwOption;
        int nMissingSide;
        bool bChanged;
        MissingRule expected;
    };
    const Case cases[] = {
        {0, 1, false, MissingRule::DeleteOther},
        {0, 2, true, MissingRule::CopyOver},
        {SIO_NOFILE1_DELETE, 1, true, MissingRule::CopyOver},
        {SIO_NOFILE2_DELETE, 2, false, MissingRule::DeleteOther},
        {SIO_NOFILE1_IGNORE, 1, false, MissingRule::Leave},
        {SIO_NOFILE1_IGNORE, 1, true, MissingRule::Leave},
        {SIO_NOFILE1_IGNORE, 2, false, MissingRule::DeleteOther},
        {0x50, 2, true, MissingRule::Leave}, // a value never written acts as ignore
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecideMissingRemembered(CSyncOptions(c.dwOption | SIO_REMEMBER_STATE),
                                          c.nMissingSide, c.bChanged),
                  c.expected)
            << "option 0x" << std::hex << c.dwOption << ", side " << c.nMissingSide
            << (c.bChanged ? " lacks it, changed" : " lacks it, unchanged");
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
