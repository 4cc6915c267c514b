// The run's host: whatever shows a run to its user and answers for them. The GUI
// implements it with message boxes and the log window, the CLI with the terminal,
// the tests with scripted answers. The run owns the counters, the log file and the
// texts; the host only shows and answers.
#pragma once

#include <string>

#include "engine/RunSettings.h"

namespace kovrel {

enum class AbortRetryIgnore { Abort, Retry, Ignore };

class CRunHost {
public:
    virtual ~CRunHost() = default;

    // A question with Yes and No (exclamation icon). True for Yes.
    virtual bool AskYesNo(const std::string& strText) = 0;
    // A failed file operation, with Abort, Retry and Ignore (no icon).
    virtual AbortRetryIgnore AskAbortRetryIgnore(const std::string& strText) = 0;
    // A fatal error with an OK button only (exclamation icon).
    virtual void ShowError(const std::string& strText) = 0;

    // One log line for the log window, without line end. The run writes it to
    // its log file itself, right after this call.
    virtual void AppendLogLine(const std::string& strLine) = 0;

    // Lets waiting events through and returns the cancel flag. The run calls it
    // after every file pair and every directory step; the host clears the flag
    // before it starts a run.
    virtual bool CheckCancel() = 0;

    // Plays the run's end or error sound as decided by DecideRunSound. Must not
    // block the run. Only called with a decision other than RunSoundKind::None.
    virtual void PlayRunSound(const RUNSOUND& sound) = 0;
};

} // namespace kovrel
