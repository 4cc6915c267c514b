// kovrel-sync: the headless front end.
#include "ListCommand.h"

#include <cstring>
#include <iostream>
#include <string>

namespace {

constexpr int kExitUsage = 3;

void PrintUsage(std::ostream& os) {
    os << "Usage: kovrel-sync [options] DOCUMENT\n"
          "       kovrel-sync --list DOCUMENT\n"
          "\n"
          "  --list DOCUMENT   print what a .kvd document holds, one fact per line\n"
          "  --help            show this help\n"
          "  --version         show the program's version\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--help") == 0) {
        PrintUsage(std::cout);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "kovrel-sync " << KOVREL_VERSION << "\n";
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--list") == 0)
        return kovrel::cli::RunListCommand(argv[2], std::cout, std::cerr);
    PrintUsage(std::cerr);
    return kExitUsage;
}
