// kovrel-sync: the headless front end.
#include "CliArgs.h"
#include "DocumentLoad.h"
#include "ListCommand.h"
#include "RunCommand.h"

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
          "  --progress              when standard error is a terminal, show files and\n"
          "                          bytes done, the rate and a large file's percentage\n"
          "                          there on one line (nothing on standard output)\n"
          "  --on-question=yes|no    answer to Yes/No questions without a terminal\n"
          "                          (default no)\n"
          "  --on-missing-top=yes|no\n"
          "                          answer without a terminal to deleting a tree\n"
          "                          whose counterpart top is absent (default no;\n"
          "                          --on-question never answers it)\n"
          "  --on-mass-delete=yes|no\n"
          "                          answer to the deletion guard's question (default\n"
          "                          no: the item is passed over, exit status 1; on a\n"
          "                          terminal without this option it is asked;\n"
          "                          --on-question never answers it). An item with a\n"
          "                          delete option asks it before deleting, on one\n"
          "                          side, all of its selected files (more than one),\n"
          "                          or DeleteGuardPercent % of them (default 50) and\n"
          "                          at least DeleteGuardMin files (default 10), or\n"
          "                          anything while the other side's top holds none\n"
          "                          of them; profile [Env] DeleteGuard=0 turns it off\n"
          "  --on-failure=ignore|abort\n"
          "                          answer to a failed file operation without a\n"
          "                          terminal (default abort)\n"
          "  --trash=yes|no          move files the run deletes, and the old version\n"
          "                          of files it overwrites, to the trash of their\n"
          "                          file system (default: the profile's UseTrash, on\n"
          "                          unless set to 0); where no trash can be used,\n"
          "                          deletions are left undone (exit status 1) unless\n"
          "                          --trash=no\n"
          "  --list DOCUMENT         print what a document holds, one fact per line\n"
          "                          (items are numbered from 1; control characters\n"
          "                          and bytes that are not UTF-8 are shown as \\xHH)\n"
          "  --add-item DOCUMENT PATH1 PATH2 [OPTION [PATTERN]]\n"
          "                          append an item to a document (created if absent);\n"
          "                          OPTION is the option word (for example 0x100;\n"
          "                          0x20000 makes a two-way item remember its last\n"
          "                          run), PATTERN the pattern text, lines separated\n"
          "                          by line feeds\n"
          "  --help                  show this help\n"
          "  --version               show the program's version\n"
          "\n"
          "On a terminal, questions are asked on standard error. Ctrl+C, SIGTERM and\n"
          "SIGHUP cancel the run at once: a copy in progress is abandoned (the target\n"
          "stays as it was), then the summary follows; a second signal ends the\n"
          "program on the spot.\n"
          "\n"
          "The log file must be absent, empty or a log of this program; any other file\n"
          "(a document, a text, a FIFO) is refused with a message and the run goes on\n"
          "without a log file.\n"
          "\n"
          "Exit status: 0 the run reached the end of the list with no error; 1 it\n"
          "reached the end with errors passed over (an item passed over by a No to\n"
          "the missing-top question or the deletion guard's, and deletions left for\n"
          "want of a trash included); 2 it stopped early (No, Abort, Cancel\n"
          "or a fatal error); 3 the document could not be read or the arguments are\n"
          "wrong.\n";
}

int Usage(const std::string& strProblem) {
    std::cerr << "kovrel-sync: " << strProblem << "\n\n";
    PrintUsage(std::cerr);
    return kExitUnreadable;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> words(argv + 1, argv + argc);
    CLIPARSE parsed = ParseCliArgs(words);
    if (!parsed.args)
        return Usage(parsed.strProblem);
    CLIARGS& args = *parsed.args;
    switch (args.command) {
    case CliCommand::Help:
        PrintUsage(std::cout);
        return 0;
    case CliCommand::Version:
        std::cout << "kovrel-sync " << KOVREL_VERSION << "\n";
        return 0;
    case CliCommand::List:
        return RunListCommand(args.strDocument, std::cout, std::cerr);
    case CliCommand::AddItem:
        return AddItemCommand(args.strDocument, args.strPath1, args.strPath2,
                              args.strOption ? args.strOption->c_str() : nullptr,
                              args.strPattern ? args.strPattern->c_str() : nullptr);
    case CliCommand::Run:
        break;
    }
    args.options.answers.bInteractive = isatty(STDIN_FILENO) != 0;
    args.options.answers.bErrTerminal = isatty(STDERR_FILENO) != 0;
    return RunDocumentCommand(args.strDocument, args.options);
}
