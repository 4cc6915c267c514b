// kovrel-sync: the headless front end.
#include "DocumentLoad.h"
#include "ListCommand.h"
#include "RunCommand.h"

#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using namespace kovrel::cli;

void PrintUsage(std::ostream& os) {
    os << "Usage: kovrel-sync [options] DOCUMENT\n"
          "       kovrel-sync --list DOCUMENT\n"
          "       kovrel-sync --add-item DOCUMENT PATH1 PATH2 [OPTION [PATTERN]]\n"
          "\n"
          "Runs the item list of a .kvd document once: log lines go to standard output\n"
          "and to the log file of the document's or the program-wide setting.\n"
          "\n"
          "  --dry-run               change nothing on disk and write no log file, yet\n"
          "                          print exactly the lines the real run would\n"
          "  --on-question=yes|no    answer to Yes/No questions without a terminal\n"
          "                          (default no)\n"
          "  --on-missing-top=yes|no\n"
          "                          answer without a terminal to deleting a tree\n"
          "                          whose counterpart top is absent (default no;\n"
          "                          --on-question never answers it)\n"
          "  --on-failure=ignore|abort\n"
          "                          answer to a failed file operation without a\n"
          "                          terminal (default abort)\n"
          "  --list DOCUMENT         print what a document holds, one fact per line\n"
          "                          (items are numbered from 1; control characters\n"
          "                          and bytes that are not UTF-8 are shown as \\xHH)\n"
          "  --add-item DOCUMENT PATH1 PATH2 [OPTION [PATTERN]]\n"
          "                          append an item to a document (created if absent);\n"
          "                          OPTION is the option word (for example 0x100),\n"
          "                          PATTERN the pattern text, lines separated by\n"
          "                          line feeds\n"
          "  --help                  show this help\n"
          "  --version               show the program's version\n"
          "\n"
          "On a terminal, questions are asked on standard error. Ctrl+C, SIGTERM and\n"
          "SIGHUP cancel the run after the current operation.\n"
          "\n"
          "Exit status: 0 the run reached the end of the list with no error; 1 it\n"
          "reached the end with errors passed over; 2 it stopped early (No, Abort,\n"
          "Cancel or a fatal error); 3 the document could not be read or the arguments\n"
          "are wrong.\n";
}

int Usage(const std::string& strProblem) {
    std::cerr << "kovrel-sync: " << strProblem << "\n\n";
    PrintUsage(std::cerr);
    return kExitUnreadable;
}

bool TakeValue(std::string_view arg, std::string_view name, std::string_view& value) {
    if (arg.substr(0, name.size()) != name || arg.size() <= name.size() || arg[name.size()] != '=')
        return false;
    value = arg.substr(name.size() + 1);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--help") {
        PrintUsage(std::cout);
        return 0;
    }
    if (!args.empty() && args[0] == "--version") {
        std::cout << "kovrel-sync " << KOVREL_VERSION << "\n";
        return 0;
    }
    if (!args.empty() && args[0] == "--list") {
        if (args.size() != 2)
            return Usage("--list takes one DOCUMENT");
        return RunListCommand(argv[2], std::cout, std::cerr);
    }
    if (!args.empty() && args[0] == "--add-item") {
        if (args.size() < 4 || args.size() > 6)
            return Usage("--add-item takes DOCUMENT PATH1 PATH2 [OPTION [PATTERN]]");
        return AddItemCommand(argv[2], argv[3], argv[4], args.size() > 4 ? argv[5] : nullptr,
                              args.size() > 5 ? argv[6] : nullptr);
    }

    RUNOPTIONS options;
    options.answers.bInteractive = isatty(STDIN_FILENO) != 0;
    const char* pszDocument = nullptr;
    bool bOptionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        std::string_view value;
        if (!bOptionsEnded && arg == "--") {
            bOptionsEnded = true;
        } else if (!bOptionsEnded && arg == "--dry-run") {
            options.bDryRun = true;
        } else if (!bOptionsEnded && TakeValue(arg, "--on-question", value)) {
            if (value != "yes" && value != "no")
                return Usage("--on-question takes yes or no");
            options.answers.bQuestionYes = value == "yes";
        } else if (!bOptionsEnded && TakeValue(arg, "--on-missing-top", value)) {
            if (value != "yes" && value != "no")
                return Usage("--on-missing-top takes yes or no");
            options.answers.bMissingTopYes = value == "yes";
        } else if (!bOptionsEnded && TakeValue(arg, "--on-failure", value)) {
            if (value != "ignore" && value != "abort")
                return Usage("--on-failure takes ignore or abort");
            options.answers.bFailureIgnore = value == "ignore";
        } else if (!bOptionsEnded && arg.size() > 1 && arg[0] == '-') {
            return Usage("unknown option " + std::string(arg));
        } else if (pszDocument) {
            return Usage("only one DOCUMENT can be run");
        } else {
            pszDocument = argv[i + 1];
        }
    }
    if (!pszDocument)
        return Usage("no DOCUMENT given");
    return RunDocumentCommand(pszDocument, options);
}
