// The detailed settings dialog's rules without a window: the marks and enabled
// states a word opens with, what clicks do to them, and the word the marks give.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "dialogs/DetailRules.h"
#include "document/SyncOptions.h"

using namespace kovrel;
using namespace kovrel::dialogs;

namespace {

using R = CDetailRules;

std::set<int> Checked(const CDetailRules& rules) {
    std::set<int> set;
    for (int nId : R::kButtonIds) {
        if (rules.IsChecked(nId)) {
            set.insert(nId);
        }
    }
    return set;
}

std::set<int> Disabled(const CDetailRules& rules) {
    std::set<int> set;
    for (int nId : R::kButtonIds) {
        if (!rules.IsEnabled(nId)) {
            set.insert(nId);
        }
    }
    return set;
}

// Open with a word, click through a sequence, look at the marks, the enabled
// states and the word they give (0xFFFFFFFF: refused).
struct RULECASE {
    const char* pszName;
    std::uint32_t dwIn;
    std::vector<int> clicks;
    std::set<int> setChecked;
    std::set<int> setDisabled;
    std::uint32_t dwOut;
};

constexpr std::uint32_t kRefused = 0xFFFFFFFF;

const RULECASE kCases[] = {
    {"ZeroOpensTwoWay",
     0,
     {},
     {R::IDC_NOFILE1_COPY, R::IDC_NOFILE2_COPY, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP, R::IDC_SUBDIRS},
     {R::IDC_DIR_1TO2, R::IDC_DIR_2TO1, R::IDC_COPY_OLDER},
     0},
    {"DeleteOnSide1OpensTwoWay",
     0x10,
     {},
     {R::IDC_NOFILE1_COPY, R::IDC_NOFILE2_DELETE, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP, R::IDC_SUBDIRS},
     {R::IDC_DIR_1TO2, R::IDC_DIR_2TO1, R::IDC_COPY_OLDER},
     0x10},
    {"TurningOneWayOnPicks1To2",
     0x10,
     {R::IDC_ONEWAY},
     {R::IDC_NOFILE1_IGNORE, R::IDC_NOFILE2_IGNORE, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP,
      R::IDC_SUBDIRS, R::IDC_ONEWAY, R::IDC_DIR_1TO2},
     {R::IDC_NOFILE1_COPY, R::IDC_NOFILE2_DELETE, R::IDC_RO1_FORCE, R::IDC_RO1_SKIP,
      R::IDC_REMEMBER_STATE},
     0x2 | 0x20 | 0x100},
    {"BothOneWayBitsOpenAs1To2",
     0x300 | 0x400,
     {},
     {R::IDC_NOFILE1_IGNORE, R::IDC_NOFILE2_COPY, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP, R::IDC_SUBDIRS,
      R::IDC_ONEWAY, R::IDC_DIR_1TO2, R::IDC_COPY_OLDER},
     {R::IDC_NOFILE1_COPY, R::IDC_NOFILE2_DELETE, R::IDC_RO1_FORCE, R::IDC_RO1_SKIP,
      R::IDC_REMEMBER_STATE},
     0x2 | 0x100 | 0x400},
    {"Direction2To1MirrorsTheRules",
     0x101,
     {R::IDC_DIR_2TO1},
     {R::IDC_NOFILE1_IGNORE, R::IDC_NOFILE2_IGNORE, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP,
      R::IDC_SUBDIRS, R::IDC_ONEWAY, R::IDC_DIR_2TO1},
     {R::IDC_NOFILE2_COPY, R::IDC_NOFILE1_DELETE, R::IDC_RO2_FORCE, R::IDC_RO2_SKIP,
      R::IDC_REMEMBER_STATE},
     0x2 | 0x20 | 0x200},
    {"OneWayOffEnablesEveryGroupButtonAndKeepsTheDirectionMark",
     0,
     {R::IDC_ONEWAY, R::IDC_DIR_2TO1, R::IDC_ONEWAY},
     {R::IDC_NOFILE1_IGNORE, R::IDC_NOFILE2_IGNORE, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP,
      R::IDC_SUBDIRS, R::IDC_DIR_2TO1},
     {R::IDC_DIR_1TO2, R::IDC_DIR_2TO1, R::IDC_COPY_OLDER},
     0x22},
    {"OneWayBackOnKeepsTheEarlierDirection",
     0,
     {R::IDC_ONEWAY, R::IDC_DIR_2TO1, R::IDC_ONEWAY, R::IDC_ONEWAY},
     {R::IDC_NOFILE1_IGNORE, R::IDC_NOFILE2_IGNORE, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP,
      R::IDC_SUBDIRS, R::IDC_ONEWAY, R::IDC_DIR_2TO1},
     {R::IDC_NOFILE2_COPY, R::IDC_NOFILE1_DELETE, R::IDC_RO2_FORCE, R::IDC_RO2_SKIP,
      R::IDC_REMEMBER_STATE},
     0x22 | 0x200},
    {"DisabledCopyOlderStillCounts",
     0x400,
     {},
     {R::IDC_NOFILE1_COPY, R::IDC_NOFILE2_COPY, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP, R::IDC_SUBDIRS,
      R::IDC_COPY_OLDER},
     {R::IDC_DIR_1TO2, R::IDC_DIR_2TO1, R::IDC_COPY_OLDER},
     0x400},
    {"RadioGroupsAndBoxesByClick",
     0,
     {R::IDC_NOFILE1_DELETE, R::IDC_NOFILE2_IGNORE, R::IDC_RO1_FORCE, R::IDC_RO2_FORCE,
      R::IDC_RO2_SKIP, R::IDC_SUBDIRS, R::IDC_COPY_OLDER},
     {R::IDC_NOFILE1_DELETE, R::IDC_NOFILE2_IGNORE, R::IDC_RO1_FORCE, R::IDC_RO2_SKIP,
      R::IDC_COPY_OLDER},
     {R::IDC_DIR_1TO2, R::IDC_DIR_2TO1, R::IDC_COPY_OLDER},
     0x1 | 0x20 | 0x8 | 0x400 | 0x10000},
    {"OutOfRangeFieldsOpenUnmarkedAndCloseAsIgnore",
     0x7 | 0x50 | 0x88 | 0x10000,
     {},
     {R::IDC_RO1_FORCE, R::IDC_RO2_FORCE},
     {R::IDC_DIR_1TO2, R::IDC_DIR_2TO1, R::IDC_COPY_OLDER},
     0x2 | 0x20 | 0x88 | 0x10000},
    {"UnknownBitsAreDropped",
     0x80000000u | 0x00040000u | 0x800,
     {},
     {R::IDC_NOFILE1_COPY, R::IDC_NOFILE2_COPY, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP, R::IDC_SUBDIRS},
     {R::IDC_DIR_1TO2, R::IDC_DIR_2TO1, R::IDC_COPY_OLDER},
     0},
    {"RememberOpensCheckedAndComesBack",
     0x20000 | 0x22,
     {},
     {R::IDC_NOFILE1_IGNORE, R::IDC_NOFILE2_IGNORE, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP,
      R::IDC_SUBDIRS, R::IDC_REMEMBER_STATE},
     {R::IDC_DIR_1TO2, R::IDC_DIR_2TO1, R::IDC_COPY_OLDER},
     0x20000 | 0x22},
    {"RememberToggles",
     0,
     {R::IDC_REMEMBER_STATE},
     {R::IDC_NOFILE1_COPY, R::IDC_NOFILE2_COPY, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP, R::IDC_SUBDIRS,
      R::IDC_REMEMBER_STATE},
     {R::IDC_DIR_1TO2, R::IDC_DIR_2TO1, R::IDC_COPY_OLDER},
     0x20000},
    {"RememberTogglesBackOff",
     0x20000,
     {R::IDC_REMEMBER_STATE},
     {R::IDC_NOFILE1_COPY, R::IDC_NOFILE2_COPY, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP, R::IDC_SUBDIRS},
     {R::IDC_DIR_1TO2, R::IDC_DIR_2TO1, R::IDC_COPY_OLDER},
     0},
    {"RememberWithAOneWayWordOpensClearedAndDisabled",
     0x20000 | 0x200,
     {},
     {R::IDC_NOFILE1_COPY, R::IDC_NOFILE2_IGNORE, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP, R::IDC_SUBDIRS,
      R::IDC_ONEWAY, R::IDC_DIR_2TO1},
     {R::IDC_NOFILE2_COPY, R::IDC_NOFILE1_DELETE, R::IDC_RO2_FORCE, R::IDC_RO2_SKIP,
      R::IDC_REMEMBER_STATE},
     0x20 | 0x200},
    {"TurningOneWayOnClearsRemember",
     0x20000,
     {R::IDC_ONEWAY},
     {R::IDC_NOFILE1_IGNORE, R::IDC_NOFILE2_COPY, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP, R::IDC_SUBDIRS,
      R::IDC_ONEWAY, R::IDC_DIR_1TO2},
     {R::IDC_NOFILE1_COPY, R::IDC_NOFILE2_DELETE, R::IDC_RO1_FORCE, R::IDC_RO1_SKIP,
      R::IDC_REMEMBER_STATE},
     0x2 | 0x100},
    {"OneWayOffAgainOffersRememberUnchecked",
     0x20000,
     {R::IDC_ONEWAY, R::IDC_DIR_2TO1, R::IDC_ONEWAY},
     {R::IDC_NOFILE1_IGNORE, R::IDC_NOFILE2_IGNORE, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP,
      R::IDC_SUBDIRS, R::IDC_DIR_2TO1},
     {R::IDC_DIR_1TO2, R::IDC_DIR_2TO1, R::IDC_COPY_OLDER},
     0x22},
    {"RememberCheckedAgainAfterOneWayOff",
     0,
     {R::IDC_ONEWAY, R::IDC_ONEWAY, R::IDC_REMEMBER_STATE},
     {R::IDC_NOFILE1_IGNORE, R::IDC_NOFILE2_COPY, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP, R::IDC_SUBDIRS,
      R::IDC_DIR_1TO2, R::IDC_REMEMBER_STATE},
     {R::IDC_DIR_1TO2, R::IDC_DIR_2TO1, R::IDC_COPY_OLDER},
     0x2 | 0x20000},
    {"BothDeletesAreRefused",
     0x1,
     {R::IDC_NOFILE2_DELETE},
     {R::IDC_NOFILE1_DELETE, R::IDC_NOFILE2_DELETE, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP,
      R::IDC_SUBDIRS},
     {R::IDC_DIR_1TO2, R::IDC_DIR_2TO1, R::IDC_COPY_OLDER},
     kRefused},
    {"AClickOnTheEditChangesNothing",
     0,
     {R::IDC_PATTERN},
     {R::IDC_NOFILE1_COPY, R::IDC_NOFILE2_COPY, R::IDC_RO1_SKIP, R::IDC_RO2_SKIP, R::IDC_SUBDIRS},
     {R::IDC_DIR_1TO2, R::IDC_DIR_2TO1, R::IDC_COPY_OLDER},
     0},
};

// Failures name the case, not its bytes.
void PrintTo(const RULECASE& c, std::ostream* pOs) {
    *pOs << c.pszName;
}

class DetailRulesTable : public ::testing::TestWithParam<RULECASE> {};

TEST_P(DetailRulesTable, OpenClickAndClose) {
    const RULECASE& c = GetParam();
    CDetailRules rules;
    rules.Load(CSyncOptions(c.dwIn));
    for (int nId : c.clicks) {
        rules.Click(nId);
    }
    EXPECT_EQ(Checked(rules), c.setChecked);
    EXPECT_EQ(Disabled(rules), c.setDisabled);
    const std::optional<CSyncOptions> word = rules.Word();
    if (c.dwOut == kRefused) {
        EXPECT_FALSE(word.has_value());
    } else {
        ASSERT_TRUE(word.has_value());
        EXPECT_EQ(word->Raw(), c.dwOut);
    }
}

std::string CaseName(const ::testing::TestParamInfo<RULECASE>& param) {
    return param.param.pszName;
}

INSTANTIATE_TEST_SUITE_P(Sequences, DetailRulesTable, ::testing::ValuesIn(kCases), CaseName);

// Every word the dialog can hand back opens to marks that give the same word.
TEST(DetailRules, EveryWordItProducesRoundTrips) {
    int nWords = 0;
    for (std::uint32_t dwMissing1 : {0u, 1u, 2u}) {
        for (std::uint32_t dwMissing2 : {0x00u, 0x10u, 0x20u}) {
            for (std::uint32_t dwRest = 0; dwRest < 128; ++dwRest) {
                // RO1, RO2, the two one-way choices, copy older, no subdirs,
                // remember the last run.
                const std::uint32_t dwOneWay = (dwRest & 0x6) == 0x2   ? 0x100u
                                               : (dwRest & 0x6) == 0x4 ? 0x200u
                                                                       : 0u;
                if ((dwRest & 0x6) == 0x6) {
                    continue;
                }
                const std::uint32_t dw =
                    dwMissing1 | dwMissing2 | ((dwRest & 1) ? 0x8u : 0u) |
                    ((dwRest & 8) ? 0x80u : 0u) | dwOneWay | ((dwRest & 16) ? 0x400u : 0u) |
                    ((dwRest & 32) ? 0x10000u : 0u) | ((dwRest & 64) ? 0x20000u : 0u);
                CDetailRules rules;
                rules.Load(CSyncOptions(dw));
                const std::optional<CSyncOptions> word = rules.Word();
                // Deleting on both sides is refused; one-way mode has already
                // cleared one of the two.
                if (dwMissing1 == 1 && dwMissing2 == 0x10 && dwOneWay == 0) {
                    EXPECT_FALSE(word.has_value()) << std::hex << dw;
                    continue;
                }
                ASSERT_TRUE(word.has_value()) << std::hex << dw;
                // One-way mode clears a choice that would write the read side.
                CSyncOptions expected(dw);
                if (dwOneWay == 0x100) {
                    if (expected.MissingOn1() == MissingAction::Copy)
                        expected.SetMissingOn1(MissingAction::Ignore);
                    if (expected.MissingOn2() == MissingAction::Delete)
                        expected.SetMissingOn2(MissingAction::Ignore);
                } else if (dwOneWay == 0x200) {
                    if (expected.MissingOn2() == MissingAction::Copy)
                        expected.SetMissingOn2(MissingAction::Ignore);
                    if (expected.MissingOn1() == MissingAction::Delete)
                        expected.SetMissingOn1(MissingAction::Ignore);
                }
                // A direction clears the remembered state.
                if (dwOneWay != 0)
                    expected.SetRememberState(false);
                EXPECT_EQ(word->Raw(), expected.Raw()) << std::hex << dw;
                ++nWords;
            }
        }
    }
    EXPECT_GT(nWords, 600);
}

TEST(DetailRules, IndeterminateBoxesStayAsTheyAre) {
    CDetailRules rules;
    rules.Load(CSyncOptions(0));
    for (int nId : {R::IDC_SUBDIRS, R::IDC_COPY_OLDER, R::IDC_ONEWAY}) {
        rules.At(nId).mark = R::Mark::Partial;
        const CDetailRules before = rules;
        rules.Click(nId);
        EXPECT_EQ(rules.At(nId).mark, R::Mark::Partial) << nId;
        for (int nOther : R::kButtonIds) {
            EXPECT_EQ(rules.At(nOther), before.At(nOther)) << nId << " " << nOther;
        }
    }
    // A partial subdirectory box is not "visit subdirectories".
    const std::optional<CSyncOptions> word = rules.Word();
    ASSERT_TRUE(word.has_value());
    EXPECT_FALSE(word->Subdirs());
}

TEST(DetailRules, OpeningAgainStartsFromTheButtonsAsTheyAre) {
    // A second opening of the same dialog: the enabled states of the first stay
    // where the second word does not reach them, as with the real buttons.
    CDetailRules rules;
    rules.Load(CSyncOptions(0x100));
    rules.Load(CSyncOptions(0));
    EXPECT_EQ(Disabled(rules),
              (std::set<int>{R::IDC_DIR_1TO2, R::IDC_DIR_2TO1, R::IDC_COPY_OLDER}));
    EXPECT_EQ(Checked(rules),
              (std::set<int>{R::IDC_NOFILE1_COPY, R::IDC_NOFILE2_COPY, R::IDC_RO1_SKIP,
                             R::IDC_RO2_SKIP, R::IDC_SUBDIRS, R::IDC_DIR_1TO2}));
}

// Marks forced from outside (a caller copying odd button states in) never
// hand back the remembered state together with a direction.
TEST(DetailRules, RememberNeverComesBackWithADirection) {
    for (int nDir : {R::IDC_DIR_1TO2, R::IDC_DIR_2TO1}) {
        CDetailRules rules;
        rules.Load(CSyncOptions(0));
        rules.At(R::IDC_ONEWAY).mark = R::Mark::Checked;
        rules.At(nDir).mark = R::Mark::Checked;
        rules.At(R::IDC_REMEMBER_STATE) = {R::Mark::Checked, true};
        const std::optional<CSyncOptions> word = rules.Word();
        ASSERT_TRUE(word.has_value());
        EXPECT_TRUE(word->IsOneWay());
        EXPECT_FALSE(word->RememberState()) << nDir;
    }
}

TEST(DetailRules, IdsAreTheButtonsInTheirOrder) {
    for (int i = 0; i < R::kButtonCount; ++i) {
        EXPECT_EQ(R::IndexOf(R::kButtonIds[static_cast<std::size_t>(i)]), i);
    }
    EXPECT_EQ(R::IndexOf(R::IDC_PATTERN), -1);
    EXPECT_EQ(R::IndexOf(0), -1);
}

} // namespace
