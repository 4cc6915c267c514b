#include "CliArgs.h"

#include <cerrno>
#include <cstdlib>

namespace kovrel::cli {

namespace {

// "--name=value": the value, even an empty one; false for anything else.
bool TakeValue(std::string_view arg, std::string_view name, std::string_view& value) {
    if (arg.substr(0, name.size()) != name || arg.size() <= name.size() || arg[name.size()] != '=')
        return false;
    value = arg.substr(name.size() + 1);
    return true;
}

CLIPARSE Problem(std::string strProblem) {
    return CLIPARSE{std::nullopt, std::move(strProblem)};
}

CLIPARSE Request(CLIARGS args) {
    return CLIPARSE{std::move(args), std::string()};
}

// A yes-or-no style option: its two accepted values, and the answer the first
// one gives.
struct CHOICEOPTION {
    std::string_view name;
    std::string_view first;
    std::string_view second;
    bool CLIANSWERS::*pbAnswer;
};
constexpr CHOICEOPTION kChoiceOptions[] = {
    {"--on-question", "yes", "no", &CLIANSWERS::bQuestionYes},
    {"--on-missing-top", "yes", "no", &CLIANSWERS::bMissingTopYes},
    {"--on-failure", "ignore", "abort", &CLIANSWERS::bFailureIgnore},
};

} // namespace

CLIPARSE ParseCliArgs(const std::vector<std::string_view>& args) {
    CLIARGS out;
    // The commands of their own are recognised as the first word only.
    if (!args.empty() && args[0] == "--help") {
        out.command = CliCommand::Help;
        return Request(std::move(out));
    }
    if (!args.empty() && args[0] == "--version") {
        out.command = CliCommand::Version;
        return Request(std::move(out));
    }
    if (!args.empty() && args[0] == "--list") {
        if (args.size() != 2)
            return Problem("--list takes one DOCUMENT");
        out.command = CliCommand::List;
        out.strDocument = args[1];
        return Request(std::move(out));
    }
    if (!args.empty() && args[0] == "--add-item") {
        if (args.size() < 4 || args.size() > 6)
            return Problem("--add-item takes DOCUMENT PATH1 PATH2 [OPTION [PATTERN]]");
        out.command = CliCommand::AddItem;
        out.strDocument = args[1];
        out.strPath1 = args[2];
        out.strPath2 = args[3];
        if (args.size() > 4)
            out.strOption = std::string(args[4]);
        if (args.size() > 5)
            out.strPattern = std::string(args[5]);
        return Request(std::move(out));
    }

    out.command = CliCommand::Run;
    bool bHaveDocument = false;
    bool bOptionsEnded = false;
    for (const std::string_view arg : args) {
        if (!bOptionsEnded && arg == "--") {
            bOptionsEnded = true;
            continue;
        }
        if (!bOptionsEnded && arg == "--dry-run") {
            out.options.bDryRun = true;
            continue;
        }
        if (!bOptionsEnded && arg == "--progress") {
            out.options.bProgress = true;
            continue;
        }
        if (std::string_view value; !bOptionsEnded && TakeValue(arg, "--trash", value)) {
            if (value != "yes" && value != "no")
                return Problem("--trash takes yes or no");
            out.options.oUseTrash = value == "yes";
            continue;
        }
        if (std::string_view value; !bOptionsEnded && TakeValue(arg, "--on-mass-delete", value)) {
            if (value != "yes" && value != "no")
                return Problem("--on-mass-delete takes yes or no");
            out.options.answers.oMassDeleteYes = value == "yes";
            continue;
        }
        bool bChoice = false;
        for (const CHOICEOPTION& choice : kChoiceOptions) {
            std::string_view value;
            if (bOptionsEnded || !TakeValue(arg, choice.name, value))
                continue;
            if (value != choice.first && value != choice.second) {
                return Problem(std::string(choice.name) + " takes " + std::string(choice.first) +
                               " or " + std::string(choice.second));
            }
            out.options.answers.*choice.pbAnswer = value == choice.first;
            bChoice = true;
            break;
        }
        if (bChoice)
            continue;
        if (!bOptionsEnded && arg.size() > 1 && arg[0] == '-')
            return Problem("unknown option " + std::string(arg));
        if (bHaveDocument)
            return Problem("only one DOCUMENT can be run");
        out.strDocument = arg;
        bHaveDocument = true;
    }
    if (!bHaveDocument)
        return Problem("no DOCUMENT given");
    return Request(std::move(out));
}

std::optional<std::uint32_t> ParseOptionWord(const std::string& strText) {
    const char* pszText = strText.c_str();
    char* pEnd = nullptr;
    errno = 0;
    const unsigned long long nValue = std::strtoull(pszText, &pEnd, 0);
    if (*pszText == '\0' || *pEnd != '\0' || errno != 0 || nValue > 0xFFFFFFFFull ||
        *pszText == '-')
        return std::nullopt;
    return static_cast<std::uint32_t>(nValue);
}

} // namespace kovrel::cli
