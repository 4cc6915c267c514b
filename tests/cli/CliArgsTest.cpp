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

// A command line that is read: the command, the document, and the run's
// switches as a string of flags (D dry run, Q question yes, M missing top yes,
// F failure ignore, P progress, T trash yes, N trash no).
struct ARGCASE {
    const char* pszName;
    std::vector<std::string_view> args;
    CliCommand command;
    const char* pszDocument;
    const char* pszFlags;
};

constexpr CliCommand kRun = CliCommand::Run;

const ARGCASE kCases[] = {
    {"PlainDocument", {"a.kvd"}, kRun, "a.kvd", ""},
    {"EveryRunOption",
     {"--dry-run", "--on-question=yes", "--on-missing-top=yes", "--on-failure=ignore", "a.kvd"},
     kRun,
     "a.kvd",
     "DQMF"},
    {"OptionsAfterTheDocument",
     {"a.kvd", "--on-question=no", "--on-failure=abort", "--on-missing-top=no"},
     kRun,
     "a.kvd",
     ""},
    {"LaterAnswerWins", {"--on-question=yes", "--on-question=no", "a.kvd"}, kRun, "a.kvd", ""},
    {"OnlyItsOwnAnswer", {"--on-missing-top=yes", "a.kvd"}, kRun, "a.kvd", "M"},
    {"Progress", {"a.kvd", "--progress", "--dry-run"}, kRun, "a.kvd", "PD"},
    {"TrashYes", {"--trash=yes", "a.kvd"}, kRun, "a.kvd", "T"},
    {"MassDeleteYes", {"--on-mass-delete=yes", "a.kvd"}, kRun, "a.kvd", "Y"},
    {"MassDeleteNoLastWins",
     {"--on-mass-delete=yes", "a.kvd", "--on-mass-delete=no"},
     kRun,
     "a.kvd",
     "X"},
    {"QuestionYesIsNoMassDeleteAnswer", {"--on-question=yes", "a.kvd"}, kRun, "a.kvd", "Q"},
    {"MassDeleteAfterDashDashIsTheDocument",
     {"--", "--on-mass-delete=yes"},
     kRun,
     "--on-mass-delete=yes",
     ""},
    {"TrashNoLastWins", {"--trash=yes", "a.kvd", "--trash=no"}, kRun, "a.kvd", "N"},
    {"TrashAfterDashDashIsTheDocument", {"--", "--trash=no"}, kRun, "--trash=no", ""},
    {"ProgressAfterDashDashIsTheDocument", {"--", "--progress"}, kRun, "--progress", ""},
    {"DashDashEndsOptions", {"--", "--dry-run"}, kRun, "--dry-run", ""},
    {"SecondDashDashIsTheDocument", {"--dry-run", "--", "--"}, kRun, "--", "D"},
    {"LoneDashIsADocument", {"-"}, kRun, "-", ""},
    {"EmptyWordIsADocument", {""}, kRun, "", ""},
    {"HelpFirst", {"--help", "x"}, CliCommand::Help, "", ""},
    {"VersionFirst", {"--version"}, CliCommand::Version, "", ""},
    {"List", {"--list", "a.kvd"}, CliCommand::List, "a.kvd", ""},
};

// Failures name the case, not its bytes.
void PrintTo(const ARGCASE& c, std::ostream* pOs) {
    *pOs << c.pszName;
}

class CliArgsTable : public ::testing::TestWithParam<ARGCASE> {};

TEST_P(CliArgsTable, ReadsTheWords) {
    const ARGCASE& c = GetParam();
    const CLIPARSE parsed = ParseCliArgs(c.args);
    ASSERT_TRUE(parsed.args.has_value()) << parsed.strProblem;
    EXPECT_EQ(parsed.strProblem, "");
    const CLIARGS& args = *parsed.args;
    EXPECT_EQ(args.command, c.command);
    EXPECT_EQ(args.strDocument, c.pszDocument);
    const std::string_view flags = c.pszFlags;
    EXPECT_EQ(args.options.bDryRun, flags.find('D') != std::string_view::npos);
    EXPECT_EQ(args.options.bProgress, flags.find('P') != std::string_view::npos);
    EXPECT_EQ(args.options.answers.bQuestionYes, flags.find('Q') != std::string_view::npos);
    EXPECT_EQ(args.options.answers.bMissingTopYes, flags.find('M') != std::string_view::npos);
    EXPECT_EQ(args.options.answers.bFailureIgnore, flags.find('F') != std::string_view::npos);
    const std::optional<bool> oTrash =
        flags.find('T') != std::string_view::npos   ? std::optional<bool>(true)
        : flags.find('N') != std::string_view::npos ? std::optional<bool>(false)
                                                    : std::nullopt;
    EXPECT_EQ(args.options.oUseTrash, oTrash);
    const std::optional<bool> oMassDelete =
        flags.find('Y') != std::string_view::npos   ? std::optional<bool>(true)
        : flags.find('X') != std::string_view::npos ? std::optional<bool>(false)
                                                    : std::nullopt;
    EXPECT_EQ(args.options.answers.oMassDeleteYes, oMassDelete);
    // Whether a terminal asks is decided by the caller, never by the words.
    EXPECT_FALSE(args.options.answers.bInteractive);
}

std::string CaseName(const ::testing::TestParamInfo<ARGCASE>& param) {
    return param.param.pszName;
}

INSTANTIATE_TEST_SUITE_P(Words, CliArgsTable, ::testing::ValuesIn(kCases), CaseName);

// A wrong command line: the exact complaint, the first wrong word's.
TEST(CliArgs, ProblemsAreNamedExactly) {
    struct Case {
        std::vector<std::string_view> args;
        const char* pszProblem;
    };
    const Case cases[] = {
        {{"a.kvd", "--help"}, "unknown option --help"},
        {{"a.kvd", "--list"}, "unknown option --list"},
        {{"--list"}, "--list takes one DOCUMENT"},
        {{"--list", "a", "b"}, "--list takes one DOCUMENT"},
        {{"--add-item", "a", "b"}, "--add-item takes DOCUMENT PATH1 PATH2 [OPTION [PATTERN]]"},
        {{"--add-item", "a", "b", "c", "0", "p", "x"},
         "--add-item takes DOCUMENT PATH1 PATH2 [OPTION [PATTERN]]"},
        {{"--on-question=maybe", "a"}, "--on-question takes yes or no"},
        {{"--on-question=", "a"}, "--on-question takes yes or no"},
        {{"--on-mass-delete=ask", "a"}, "--on-mass-delete takes yes or no"},
        {{"--on-mass-delete", "a"}, "unknown option --on-mass-delete"},
        {{"--on-question", "a"}, "unknown option --on-question"},
        {{"--on-missing-top=all", "a"}, "--on-missing-top takes yes or no"},
        {{"--on-failure=retry", "a"}, "--on-failure takes ignore or abort"},
        {{"--on-failure=yes", "a"}, "--on-failure takes ignore or abort"},
        {{"--trash=maybe", "a"}, "--trash takes yes or no"},
        {{"--trash", "a"}, "unknown option --trash"},
        {{"--frobnicate", "a"}, "unknown option --frobnicate"},
        {{"-n", "a"}, "unknown option -n"},
        {{"a", "b"}, "only one DOCUMENT can be run"},
        {{}, "no DOCUMENT given"},
        {{"--dry-run", "--"}, "no DOCUMENT given"},
        {{"--on-failure=x", "--frobnicate"}, "--on-failure takes ignore or abort"},
    };
    for (const Case& c : cases) {
        const CLIPARSE parsed = ParseCliArgs(c.args);
        EXPECT_FALSE(parsed.args.has_value()) << c.pszProblem;
        EXPECT_EQ(parsed.strProblem, c.pszProblem);
    }
}

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
