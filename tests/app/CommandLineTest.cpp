#include "app/CommandLine.h"

#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace kovrel::app {
namespace {

struct TEXTCASE {
    const char* pszName;
    std::string strText;
    std::string strDocument;
    int nAutoSync;
};

class CommandLineText : public ::testing::TestWithParam<TEXTCASE> {};

TEST_P(CommandLineText, GivesNameAndOption) {
    const TEXTCASE& c = GetParam();
    const CMDLINE result = ParseCommandLineText(c.strText);
    EXPECT_EQ(result.strDocument, c.strDocument);
    EXPECT_EQ(result.nAutoSync, c.nAutoSync);
}

const std::string kLong(5000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineText,
    ::testing::Values(
        TEXTCASE{"Empty", "", "", 0}, TEXTCASE{"BlanksOnly", "    ", "", 0},
        TEXTCASE{"LowerOptionThenQuoted", "/a \"C:\\My Docs\\list.kvd\"", "C:\\My Docs\\list.kvd",
                 1},
        TEXTCASE{"UpperOptionAlone", "/A", "", 1},
        TEXTCASE{"QuotedThenOption", "\"C:\\a b.kvd\" /A", "C:\\a b.kvd", 1},
        TEXTCASE{"UnquotedTakesRest", "C:\\a b.kvd /A", "C:\\a b.kvd /A", 0},
        TEXTCASE{"OptionThenUnquoted", "/A C:\\a b.kvd", "C:\\a b.kvd", 1},
        TEXTCASE{"OtherLetterIgnored", "/X \"C:\\list.kvd\"", "C:\\list.kvd", 0},
        TEXTCASE{"RestOfOptionWordSkipped", "/Auto\"x\" 'y.kvd'", "y.kvd", 1},
        TEXTCASE{"SingleQuotes", "'C:\\it s.kvd'", "C:\\it s.kvd", 0},
        TEXTCASE{"UnclosedQuoteRunsToEnd", "\"C:\\open end.kvd", "C:\\open end.kvd", 0},
        TEXTCASE{"JoinedAfterQuoteSkipped", "\"a.kvd\"junk /a", "a.kvd", 1},
        TEXTCASE{"LaterNameReplaces", "\"first.kvd\" \"second.kvd\"", "second.kvd", 0},
        TEXTCASE{"OtherQuoteInside", "\"it's.kvd\"", "it's.kvd", 0},
        TEXTCASE{"SlashAtEnd", "\"a.kvd\" /", "a.kvd", 0},
        TEXTCASE{"PrintOptionIgnored", "/p \"a.kvd\"", "a.kvd", 0},
        TEXTCASE{"LeadingBlanks", "   /a   \"a.kvd\"  ", "a.kvd", 1},
        TEXTCASE{"TabIsNotBlank", "\t/a", "\t/a", 0}, TEXTCASE{"EmptyQuotes", "\"\" /a", "", 1},
        TEXTCASE{"NoLengthLimit", "\"" + kLong + "\"", kLong, 0}),
    [](const auto& p) { return std::string(p.param.pszName); });

struct VECTORCASE {
    const char* pszName;
    std::vector<std::string> args;
    std::string strDocument;
    int nAutoSync;
};

class ArgumentVector : public ::testing::TestWithParam<VECTORCASE> {};

// Existing entries of the pretend file system.
const std::set<std::string> kExisting = {"/home/me/my list.kvd", "/home/me/list.kvd", "/srv"};

TEST_P(ArgumentVector, MeansWhatTheUserMeant) {
    const VECTORCASE& c = GetParam();
    const CMDLINE result = ParseArgumentVector(
        c.args, [](const std::string& str) { return kExisting.count(str) != 0; });
    EXPECT_EQ(result.strDocument, c.strDocument);
    EXPECT_EQ(result.nAutoSync, c.nAutoSync);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArgumentVector,
    ::testing::Values(
        VECTORCASE{"None", {}, "", 0},
        VECTORCASE{
            "OptionThenSpacedName", {"/A", "/home/me/my list.kvd"}, "/home/me/my list.kvd", 1},
        VECTORCASE{
            "SpacedNameThenLowerOption", {"/home/me/my list.kvd", "/a"}, "/home/me/my list.kvd", 1},
        VECTORCASE{"PlainAbsoluteName", {"/home/me/list.kvd"}, "/home/me/list.kvd", 0},
        VECTORCASE{"OptionAlone", {"/a"}, "", 1},
        VECTORCASE{"OtherLetterIgnored", {"/X", "/home/me/list.kvd"}, "/home/me/list.kvd", 0},
        VECTORCASE{"LongOptionWord", {"/Auto", "rel.kvd"}, "rel.kvd", 1},
        VECTORCASE{"ExistingRootEntryIsName", {"/srv"}, "/srv", 0},
        VECTORCASE{"MissingAbsoluteNameIsName", {"/x.kvd"}, "/x.kvd", 0},
        VECTORCASE{"DigitsMakeAName", {"/a1"}, "/a1", 0},
        VECTORCASE{"LaterNameReplaces", {"one.kvd", "two.kvd"}, "two.kvd", 0},
        VECTORCASE{"SlashAloneIsName", {"/"}, "/", 0},
        VECTORCASE{"NameWithQuotesKept", {"\"q\".kvd"}, "\"q\".kvd", 0}),
    [](const auto& p) { return std::string(p.param.pszName); });

TEST(ArgumentVectorFiles, ExistingFileNamedLikeTheOptionIsOpened) {
    // A file "/A" exists: it is a document, and no unattended run.
    const CMDLINE result =
        ParseArgumentVector({"/A"}, [](const std::string& str) { return str == "/A"; });
    EXPECT_EQ(result.strDocument, "/A");
    EXPECT_EQ(result.nAutoSync, 0);
}

// Words beginning with "--": --help and --version, any other one refused
// (and the refusal wins); an existing file of such a name is a document.
TEST(ArgumentVectorOptions, DoubleDashWords) {
    struct Case {
        std::vector<std::string> args;
        StartRequest request;
        std::string strBadOption;
        std::string strDocument;
    };
    const Case cases[] = {
        {{"--help"}, StartRequest::Help, "", ""},
        {{"--version", "/home/me/list.kvd"}, StartRequest::Version, "", "/home/me/list.kvd"},
        {{"--help", "--version"}, StartRequest::Help, "", ""},
        {{"--bogus", "--help"}, StartRequest::BadOption, "--bogus", ""},
        {{"--help", "--x", "--y"}, StartRequest::BadOption, "--x", ""},
        {{"--exists.kvd"}, StartRequest::Open, "", "--exists.kvd"},
        {{"--"}, StartRequest::Open, "", "--"},
        {{"-h"}, StartRequest::Open, "", "-h"},
        {{"/A", "/home/me/list.kvd"}, StartRequest::Open, "", "/home/me/list.kvd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string() : c.args[0]);
        const CMDLINE result = ParseArgumentVector(
            c.args, [](const std::string& str) { return str == "--exists.kvd"; });
        EXPECT_EQ(result.request, c.request);
        EXPECT_EQ(result.strBadOption, c.strBadOption);
        EXPECT_EQ(result.strDocument, c.strDocument);
    }
}

// The program itself: --help and --version answer on standard output and end
// with 0 before any window (no display needed); an unknown option prints the
// usage on standard error and ends with 3.
TEST(ProgramOptions, HelpVersionAndUnknownOption) {
    const QString strProgram = QStringLiteral(KOVREL_BINARY_DIR "/src/app/kovrel-duplicator");
    ASSERT_TRUE(QFileInfo(strProgram).isExecutable()) << strProgram.toStdString();
    struct Case {
        const char* pszArg;
        int nExit;
        const char* pszOut; // the start of standard output
        const char* pszErr; // the start of standard error
    };
    const Case cases[] = {
        {"--help", 0, "Usage: kovrel-duplicator", ""},
        {"--version", 0, "kovrel-duplicator ", ""},
        {"--frobnicate", 3, "", "kovrel-duplicator: unknown option --frobnicate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszArg);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        if (std::string(c.pszArg) != "--frobnicate")
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb")); // would fail
        process.setProcessEnvironment(env);
        process.start(strProgram, {QString::fromLatin1(c.pszArg)});
        ASSERT_TRUE(process.waitForFinished(20000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), c.nExit);
        const QByteArray out = process.readAllStandardOutput();
        const QByteArray err = process.readAllStandardError();
        EXPECT_TRUE(out.startsWith(c.pszOut)) << out.toStdString();
        EXPECT_TRUE(err.startsWith(c.pszErr)) << err.toStdString();
        if (c.nExit == 0) {
            EXPECT_TRUE(err.isEmpty()) << err.toStdString();
            EXPECT_EQ(out.count('\n') == 1, std::string(c.pszArg) == "--version");
        } else {
            EXPECT_TRUE(out.isEmpty()) << out.toStdString();
            EXPECT_TRUE(err.contains("Usage: kovrel-duplicator")) << err.toStdString();
        }
    }
    // The usage names the exit statuses of the unattended run.
    QProcess help;
    help.start(strProgram, {QStringLiteral("--help")});
    ASSERT_TRUE(help.waitForFinished(20000));
    const QByteArray usage = help.readAllStandardOutput();
    EXPECT_TRUE(usage.contains("Exit status of the unattended run")) << usage.toStdString();
}

} // namespace
} // namespace kovrel::app
