// Which files may serve as a run's log file. A log setting travels with a
// shared document, so it must never let a run truncate or append to anything
// but a log: the document itself, another document, a text of the user's, or
// a FIFO or device whose opening could block the run or have effects of its
// own. The run and the log file dialog both decide by this one rule.
//
// A log file is acceptable when it is absent (the run creates it), or a
// regular file that is not the document being run and is either empty or
// begins with a log of this program, in both modes (overwrite and append).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "engine/RunSettings.h"

namespace kovrel {

// What every log of this program begins with: its first run's start line.
inline constexpr std::string_view kLogFileStart = "<< Synchronize start";

enum class LogFileVerdict : std::uint8_t {
    Ok,             // absent, empty, or a log of this program
    NotRegularFile, // a directory, FIFO, device or socket
    IsDocument,     // the document being run (or edited)
    HoldsDocument,  // a document file (its header)
    NotALog,        // a file with other content
    Unreadable,     // could not be read to tell which (errno beside it)
};

struct LOGFILECHECK {
    LogFileVerdict eVerdict = LogFileVerdict::Ok;
    int nErrno = 0; // with Unreadable
};

// The verdict on the first bytes of an existing regular file (as many as it
// holds, up to kLogFileHeadBytes).
inline constexpr std::size_t kLogFileHeadBytes = 64;
LogFileVerdict JudgeLogFileHead(std::string_view strHead) noexcept;

// Looks at strPath without changing anything, following symbolic links, and
// without ever blocking (a FIFO is not opened). strDocPath is the document's
// own file, empty for a document never saved. A path that cannot be looked at
// for another reason than its absence (a missing directory, no access) is Ok
// here: opening it fails later, which the run does not report.
LOGFILECHECK CheckLogFile(const std::string& strPath, const std::string& strDocPath);

// Opens the log file the run chose, by the same rule, without blocking: in
// append mode at its end, in overwrite mode emptied, but only after the
// check. Checking and opening are one step, so the file that is checked is the
// one written. On a refusal (or a file that cannot be opened) the result holds
// no stream.
struct LOGFILEOPEN {
    std::FILE* pFile = nullptr; // the caller closes it
    LOGFILECHECK check;
    int nOpenErrno = 0; // the file could not be opened at all (not reported)
};
LOGFILEOPEN OpenLogFileChecked(const LOGFILECHOICE& choice, const std::string& strDocPath);

// Why strPath is refused as a log file, as the user reads it (one or two lines,
// without a line end). Empty for LogFileVerdict::Ok.
std::string LogFileRefusalText(const LOGFILECHECK& check, const std::string& strPath);

// The message a run shows when it goes on without its log file.
std::string LogFileRunRefusalText(const LOGFILECHECK& check, const std::string& strPath);

} // namespace kovrel
