// What the program was asked to do at start: which document to open and whether
// to run it once unattended and end.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace kovrel::app {

// What the words of the command line ask for besides a document.
enum class StartRequest {
    Open,     // open the document (or a new one), perhaps run it unattended
    Help,     // --help: the usage on standard output, no window
    Version,  // --version: the version on standard output, no window
    BadOption // a "--" word that is no option: the usage on standard error
};

struct CMDLINE {
    std::string strDocument; // empty: start with a new untitled document
    int nAutoSync = 0;       // 1: the unattended option was given
    StartRequest request = StartRequest::Open;
    std::string strBadOption; // the first unknown "--" word
};

// Exit statuses of the program. An unattended run ends with the same status
// kovrel-sync gives for the same run.
inline constexpr int kExitCompleted = 0;           // end of the list, no error
inline constexpr int kExitCompletedWithErrors = 1; // end of the list, errors passed over
inline constexpr int kExitStopped = 2;             // No, Abort, Cancel or a fatal error
inline constexpr int kExitUnreadable = 3;          // document unreadable, or a bad option

// The command line as one text (the words after the program's name, as the
// Windows shell hands them over). Only the blank separates words. "/" and a
// letter is an option (A in either case: unattended; any other letter is
// ignored, and so is the rest of that word); a name in double or single quotes
// runs to the closing quote; any other word starts a name that takes the whole
// rest of the line. A later name replaces an earlier one. No length limit.
CMDLINE ParseCommandLineText(std::string_view strText);

// The argument vector of this platform, already unquoted by the shell (the
// program's own name not included). A word that is "/" and ASCII letters only
// and names nothing that exists is an option word, decided by its first letter
// as above; every other word is a document name, taken whole, a later one
// replacing an earlier one. A word that begins with "--" and names nothing
// that exists is an option word of this platform: --help and --version, any
// other one is refused (request BadOption, which wins over the others).
// fnExists tells whether a path names an existing file, directory or link.
CMDLINE ParseArgumentVector(const std::vector<std::string>& args,
                            const std::function<bool(const std::string&)>& fnExists);

// The usage text (--help) and the version line (--version), each ending in a
// line feed.
void PrintUsage(std::ostream& os);
void PrintVersion(std::ostream& os);

// fnExists for ParseArgumentVector: the entry itself exists (a dangling link too).
bool PathExists(const std::string& strPath);

} // namespace kovrel::app
