// kovrel-sync's command line, read into what it asks for without running
// anything: main carries out the result, the tests read it directly.
#pragma once

#include "RunCommand.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kovrel::cli {

enum class CliCommand {
    Help,    // --help (first word only)
    Version, // --version (first word only)
    List,    // --list DOCUMENT
    AddItem, // --add-item DOCUMENT PATH1 PATH2 [OPTION [PATTERN]]
    Run,     // [options] DOCUMENT
};

struct CLIARGS {
    CliCommand command = CliCommand::Run;
    std::string strDocument; // List, AddItem, Run
    // AddItem: the two paths, and the option word and pattern text as typed; the
    // option word is read by the command itself (ParseOptionWord), after the
    // document, so a broken document is reported first.
    std::string strPath1;
    std::string strPath2;
    std::optional<std::string> strOption;
    std::optional<std::string> strPattern;
    // Run: the dry run and the answers; whether a terminal asks is the caller's.
    RUNOPTIONS options;
};

// Either the command line's request, or why it is wrong (printed as
// "kovrel-sync: PROBLEM" before the usage, exit status kExitUnreadable).
struct CLIPARSE {
    std::optional<CLIARGS> args;
    std::string strProblem;
};

// args: the words after the program's name.
CLIPARSE ParseCliArgs(const std::vector<std::string_view>& args);

// An option word as typed on the command line: decimal, 0x hexadecimal or 0
// octal, 0 to 0xFFFFFFFF, no sign, nothing after it. Nothing when it is not one.
std::optional<std::uint32_t> ParseOptionWord(const std::string& strText);

} // namespace kovrel::cli
