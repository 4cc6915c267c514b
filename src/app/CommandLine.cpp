#include "app/CommandLine.h"

#include <ostream>
#include <sys/stat.h>

namespace kovrel::app {

namespace {

constexpr char kBlank = ' ';

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

CMDLINE ParseCommandLineText(std::string_view strText) {
    CMDLINE result;
    std::size_t i = 0;
    const std::size_t nLen = strText.size();
    const auto skipToBlank = [&] {
        while (i < nLen && strText[i] != kBlank)
            ++i;
    };
    while (i < nLen) {
        while (i < nLen && strText[i] == kBlank)
            ++i;
        if (i >= nLen)
            break;
        const char c = strText[i];
        if (c == '/') {
            ++i;
            if (i < nLen && UpperAscii(strText[i]) == 'A')
                result.nAutoSync = 1;
            skipToBlank();
        } else if (c == '"' || c == '\'') {
            ++i;
            const std::size_t nStart = i;
            while (i < nLen && strText[i] != c)
                ++i;
            result.strDocument.assign(strText.substr(nStart, i - nStart));
            skipToBlank(); // the closing quote and whatever is joined to it
        } else {
            result.strDocument.assign(strText.substr(i));
            break;
        }
    }
    return result;
}

CMDLINE ParseArgumentVector(const std::vector<std::string>& args,
                            const std::function<bool(const std::string&)>& fnExists) {
    CMDLINE result;
    for (const std::string& strWord : args) {
        if (strWord.size() > 2 && strWord.compare(0, 2, "--") == 0 &&
            !(fnExists && fnExists(strWord))) {
            if (strWord == "--help" || strWord == "--version") {
                if (result.request == StartRequest::Open)
                    result.request =
                        strWord == "--help" ? StartRequest::Help : StartRequest::Version;
            } else if (result.request != StartRequest::BadOption) {
                result.request = StartRequest::BadOption;
                result.strBadOption = strWord;
            }
            continue;
        }
        bool bOption = strWord.size() >= 2 && strWord[0] == '/';
        for (std::size_t i = 1; bOption && i < strWord.size(); ++i)
            bOption = IsAsciiLetter(strWord[i]);
        // "/A" could be a file in the root directory; an existing entry wins,
        // since nobody types the name of an existing file by accident.
        if (bOption && fnExists && fnExists(strWord))
            bOption = false;
        if (bOption) {
            if (UpperAscii(strWord[1]) == 'A')
                result.nAutoSync = 1;
        } else {
            result.strDocument = strWord;
        }
    }
    return result;
}

void PrintUsage(std::ostream& os) {
    os << "Usage: kovrel-duplicator [DOCUMENT] [/A]\n"
          "       kovrel-duplicator --help | --version\n"
          "\n"
          "Opens DOCUMENT, a .kvd item list, in the desktop program (a new list\n"
          "without it).\n"
          "\n"
          "  /A         run the document's list once unattended, then end\n"
          "  --help     show this help\n"
          "  --version  show the program's version\n"
          "\n"
          "A word beginning with \"/\" or \"--\" that names an existing file is\n"
          "taken as a document name.\n"
          "\n"
          "Exit status of the unattended run (the same as kovrel-sync's for the same\n"
          "run): 0 it reached the end of the list with no error; 1 it reached the end\n"
          "with errors passed over, an item passed over by a No included; 2 it\n"
          "stopped early (No, Abort, Cancel or a fatal error); 3 the document could\n"
          "not be read. An unknown option word also ends with 3.\n";
}

void PrintVersion(std::ostream& os) {
    os << "kovrel-duplicator " << KOVREL_VERSION << "\n";
}

bool PathExists(const std::string& strPath) {
    struct stat st {};
    return ::lstat(strPath.c_str(), &st) == 0;
}

} // namespace kovrel::app
