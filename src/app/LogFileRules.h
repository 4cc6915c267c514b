// The rules of the log file command, apart from its dialog: what the dialog
// starts with, and what an OK does to the document's own setting, to the
// program-wide one, and to the document's modified flag.
#pragma once

#include "engine/RunSettings.h"

#include <string>

namespace kovrel::app {

// What the log file dialog shows and gives back.
struct LOGFILECHOICE {
    bool bDocLog = false; // the log file belongs to the open document
    std::string strLogFile;
    bool bAppend = false;
    bool operator==(const LOGFILECHOICE&) const = default;
};

// The dialog starts with the document's own setting (its mode letter "a" or
// "w" and its path) when it has one, else with the program-wide one.
LOGFILECHOICE LogFileDialogStart(const std::string& strDocLog, const CRunSettings& settings);

// What an OK in the dialog comes to.
struct LOGFILEOUTCOME {
    std::string strDocLog;      // the document's setting afterwards
    bool bModified = false;     // the document becomes modified
    bool bWriteProfile = false; // the program-wide setting was chosen: write it
    bool operator==(const LOGFILEOUTCOME&) const = default;
};

// A document setting is stored as its mode letter and path; turning it on
// always marks the document modified (even with the same path as the
// program-wide one), changing it too, and keeping it unchanged does not.
// Turning it off clears it (modified if there was one) and the choice becomes
// the program-wide setting, written to settings.
LOGFILEOUTCOME ApplyLogFileChoice(const std::string& strDocLog, const LOGFILECHOICE& choice,
                                  CRunSettings& settings);

} // namespace kovrel::app
