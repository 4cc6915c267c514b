// kovrel-sync's command line read without running anything: which command each
// word list asks for, the answers it sets, and the exact complaint for each kind
// of wrong command line.
#include "CliArgs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace kovrel::cli {
namespace {

struct ARGCASE {
    const char* pszName;
    std::vector<std::string_view> args;
    // Expected on success (pszProblem null).
    CliCommand command;
    const char* pszDocument;
    bool bDryRun;
    bool bQuestionYes;
    bool bMissingTopYes;
    bool bFailureIgnore;
    // Expected on failure.
    const char* pszProblem;
};

constexpr CliCommand kRun = CliCommand::Run;

const ARGCASE kCases[] = {
    {"PlainDocument", {"a.kvd"}, kRun, "a.kvd", false, false, false, false, nullptr},
    {"EveryRunOption",
     {"--dry-run", "--on-question=yes", "--on-missing-top=yes", "--on-failure=ignore", "a.kvd"},
     kRun,
     "a.kvd",
     true,
     true,
     true,
     true,
     nullptr},
    {"OptionsAfterTheDocument",
     {"a.kvd", "--on-question=no", "--on-failure=abort", "--on-missing-top=no"},
     kRun,
     "a.kvd",
     false,
     false,
     false,
     false,
     nullptr},
    {"LaterAnswerWins",
     {"--on-question=yes", "--on-question=no", "a.kvd"},
     kRun,
     "a.kvd",
     false,
     false,
     false,
     false,
     nullptr},
    {"DashDashEndsOptions",
     {"--", "--dry-run"},
     kRun,
     "--dry-run",
     false,
     false,
     false,
     false,
     nullptr},
    {"SecondDashDashIsTheDocument", {"--", "--"}, kRun, "--", false, false, false, false, nullptr},
    {"LoneDashIsADocument", {"-"}, kRun, "-", false, false, false, false, nullptr},
    {"EmptyWordIsADocument", {""}, kRun, "", false, false, false, false, nullptr},
    {"HelpFirst", {"--help", "x"}, CliCommand::Help, "", false, false, false, false, nullptr},
    {"VersionFirst", {"--version"}, CliCommand::Version, "", false, false, false, false, nullptr},
    {"List", {"--list", "a.kvd"}, CliCommand::List, "a.kvd", false, false, false, false, nullptr},
    {"HelpLaterIsUnknown",
     {"a.kvd", "--help"},
     kRun,
     "",
     false,
     false,
     false,
     false,
     "unknown option --help"},
    {"ListLaterIsUnknown",
     {"a.kvd", "--list"},
     kRun,
     "",
     false,
     false,
     false,
     false,
     "unknown option --list"},
    {"ListWithoutDocument",
     {"--list"},
     kRun,
     "",
     false,
     false,
     false,
     false,
     "--list takes one DOCUMENT"},
    {"ListWithTwo",
     {"--list", "a", "b"},
     kRun,
     "",
     false,
     false,
     false,
     false,
     "--list takes one DOCUMENT"},
    {"AddItemTooFew",
     {"--add-item", "a", "b"},
     kRun,
     "",
     false,
     false,
     false,
     false,
     "--add-item takes DOCUMENT PATH1 PATH2 [OPTION [PATTERN]]"},
    {"AddItemTooMany",
     {"--add-item", "a", "b", "c", "0", "p", "x"},
     kRun,
     "",
     false,
     false,
     false,
     false,
     "--add-item takes DOCUMENT PATH1 PATH2 [OPTION [PATTERN]]"},
    {"QuestionMaybe",
     {"--on-question=maybe", "a"},
     kRun,
     "",
     false,
     false,
     false,
     false,
     "--on-question takes yes or no"},
    {"QuestionEmpty",
     {"--on-question=", "a"},
     kRun,
     "",
     false,
     false,
     false,
     false,
     "--on-question takes yes or no"},
    {"QuestionWithoutValue",
     {"--on-question", "a"},
     kRun,
     "",
     false,
     false,
     false,
     false,
     "unknown option --on-question"},
    {"MissingTopAll",
     {"--on-missing-top=all", "a"},
     kRun,
     "",
     false,
     false,
     false,
     false,
     "--on-missing-top takes yes or no"},
    {"FailureRetry",
     {"--on-failure=retry", "a"},
     kRun,
     "",
     false,
     false,
     false,
     false,
     "--on-failure takes ignore or abort"},
    {"FailureYes",
     {"--on-failure=yes", "a"},
     kRun,
     "",
     false,
     false,
     false,
     false,
     "--on-failure takes ignore or abort"},
    {"Unknown",
     {"--frobnicate", "a"},
     kRun,
     "",
     false,
     false,
     false,
     false,
     "unknown option --frobnicate"},
    {"ShortUnknown", {"-n", "a"}, kRun, "", false, false, false, false, "unknown option -n"},
    {"TwoDocuments",
     {"a", "b"},
     kRun,
     "",
     false,
     false,
     false,
     false,
     "only one DOCUMENT can be run"},
    {"Nothing", {}, kRun, "", false, false, false, false, "no DOCUMENT given"},
    {"OnlyOptions", {"--dry-run", "--"}, kRun, "", false, false, false, false, "no DOCUMENT given"},
    // The first wrong word is the one reported.
    {"FirstProblemWins",
     {"--on-failure=x", "--frobnicate"},
     kRun,
     "",
     false,
     false,
     false,
     false,
     "--on-failure takes ignore or abort"},
};

// Failures name the case, not its bytes.
void PrintTo(const ARGCASE& c, std::ostream* pOs) {
    *pOs << c.pszName;
}

class CliArgsTable : public ::testing::TestWithParam<ARGCASE> {};

TEST_P(CliArgsTable, ReadsTheWords) {
    const ARGCASE& c = GetParam();
    const CLIPARSE parsed = ParseCliArgs(c.args);
    if (c.pszProblem) {
        EXPECT_FALSE(parsed.args.has_value());
        EXPECT_EQ(parsed.strProblem, c.pszProblem);
        return;
    }
    ASSERT_TRUE(parsed.args.has_value()) << parsed.strProblem;
    EXPECT_EQ(parsed.strProblem, "");
    const CLIARGS& args = *parsed.args;
    EXPECT_EQ(args.command, c.command);
    EXPECT_EQ(args.strDocument, c.pszDocument);
    EXPECT_EQ(args.options.bDryRun, c.bDryRun);
    EXPECT_EQ(args.options.answers.bQuestionYes, c.bQuestionYes);
    EXPECT_EQ(args.options.answers.bMissingTopYes, c.bMissingTopYes);
    EXPECT_EQ(args.options.answers.bFailureIgnore, c.bFailureIgnore);
    // Whether a terminal asks is decided by the caller, never by the words.
    EXPECT_FALSE(args.options.answers.bInteractive);
}

std::string CaseName(const ::testing::TestParamInfo<ARGCASE>& param) {
    return param.param.pszName;
}

INSTANTIATE_TEST_SUITE_P(Words, CliArgsTable, ::testing::ValuesIn(kCases), CaseName);

TEST(CliArgs, AddItemKeepsItsWordsAsTyped) {
    struct Case {
        std::vector<std::string_view> args;
        std::optional<std::string> strOption;
        std::optional<std::string> strPattern;
    };
    const Case cases[] = {
        {{"--add-item", "d.kvd", "/one", "/two"}, std::nullopt, std::nullopt},
        {{"--add-item", "d.kvd", "/one", "/two", "0x1zz"}, "0x1zz", std::nullopt},
        {{"--add-item", "d.kvd", "/one", "/two", "", "a\nb"}, "", "a\nb"},
        // After the command word nothing is an option.
        {{"--add-item", "d.kvd", "--dry-run", "--", "0x100", "--help"}, "0x100", "--help"},
    };
    for (const Case& c : cases) {
        const CLIPARSE parsed = ParseCliArgs(c.args);
        ASSERT_TRUE(parsed.args.has_value()) << parsed.strProblem;
        EXPECT_EQ(parsed.args->command, CliCommand::AddItem);
        EXPECT_EQ(parsed.args->strDocument, c.args[1]);
        EXPECT_EQ(parsed.args->strPath1, c.args[2]);
        EXPECT_EQ(parsed.args->strPath2, c.args[3]);
        EXPECT_EQ(parsed.args->strOption, c.strOption);
        EXPECT_EQ(parsed.args->strPattern, c.strPattern);
        EXPECT_FALSE(parsed.args->options.bDryRun);
    }
}

TEST(CliArgs, OptionWords) {
    struct Case {
        const char* pszText;
        std::optional<std::uint32_t> word;
    };
    const Case cases[] = {
        {"0", 0u},
        {"256", 256u},
        {"0x100", 0x100u},
        {"0X10000", 0x10000u},
        {"0777", 0777u},
        {"0xFFFFFFFF", 0xFFFFFFFFu},
        {"4294967295", 0xFFFFFFFFu},
        {"0x100000000", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"-1", std::nullopt},
        {"0x1zz", std::nullopt},
        {"12 ", std::nullopt},
        {"x100", std::nullopt},
        {"08", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseOptionWord(c.pszText), c.word) << '"' << c.pszText << '"';
    }
}

} // namespace
} // namespace kovrel::cli
