// The run's host: whatever shows a run to its user and answers for them. The GUI
// implements it with message boxes and the log window, the CLI with the terminal,
// the tests with scripted answers. The run owns the counters, the log file and the
// texts; the host only shows and answers.
#pragma once

#include <cstdint>
#include <string>

#include "engine/RunSettings.h"

namespace kovrel {

enum class AbortRetryIgnore { Abort, Retry, Ignore };

// What a change the run has just made (or, in a dry run, would make) is, for
// hosts that show more than the line: a preview marks what destroys data.
enum class RunActionKind : unsigned char {
    CopyNew,       // a file copied where the target side had none
    CopyOverwrite, // a file copied over the target side's file
    DeleteFile,
    CreateDir,
    RemoveDir
};

// What an item with a delete option would do to each side, counted before it
// starts (index 0 is side 1): the files it selects there, and how many of them
// it would delete.
struct DELETECOUNT {
    std::int64_t nHeld[2] = {0, 0};
    std::int64_t nDeleted[2] = {0, 0};
    // What the item would copy as the listings stand (both directions): the
    // totals of its progress.
    std::int64_t nCopies = 0;
    std::uint64_t nCopyBytes = 0;
};

struct RUNACTION {
    RunActionKind eKind = RunActionKind::CopyNew;
    int nSide = 0; // the side changed: 1 or 2 (a copy's target side)
};

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

    // ---- Calls with a default, so that a host need not know of them ----

    // Before the run deletes anything because an item's top is absent on the
    // other side (an unmounted disk, a mistyped name): Yes goes on with the
    // deletion, No passes over the item. By default an ordinary Yes/No
    // question; a host may answer it apart from other questions.
    virtual bool AskMissingTop(const std::string& strText) { return AskYesNo(strText); }

    // Before an item deletes most or all of the files it selects on one side
    // (the deletion guard): Yes goes on, No passes over the item. By default an
    // ordinary Yes/No question; a host may answer it apart from other questions.
    virtual bool AskMassDelete(const std::string& strText) { return AskYesNo(strText); }

    // What the deletion guard counted for the current item, told before the
    // item's first line (and before its question, if any). Only items the
    // guard looks at are told. Ignored by default.
    virtual void OnDeleteCount(const DELETECOUNT& count) { (void)count; }

    // A run that keeps what it deletes in the trash found a file system where
    // no trash can be used (nErrno says why): Yes deletes that file system's
    // files for good for the rest of the run, No passes those deletions over.
    // Asked once per run and file system. By default No, without asking: a
    // deletion is never made for good unless someone said so.
    // strMountPoint names the file system.
    virtual bool AskDeleteWithoutTrash(const std::string& strText, const std::string& strMountPoint,
                                       int nErrno) {
        (void)strText;
        (void)strMountPoint;
        (void)nErrno;
        return false;
    }

    // The questions and the error above, with the system's error number (errno)
    // of the failure beside the text for hosts that show the system's reason.
    // The texts themselves stay as they are. By default the number is dropped.
    virtual bool AskYesNoErrno(const std::string& strText, int nErrno) {
        (void)nErrno;
        return AskYesNo(strText);
    }
    virtual AbortRetryIgnore AskAbortRetryIgnoreErrno(const std::string& strText, int nErrno) {
        (void)nErrno;
        return AskAbortRetryIgnore(strText);
    }
    // A failed file operation whose reason is the run's own, not the system's
    // (a file that changed while it was being replaced): the reason beside the
    // text for hosts that show one. By default it is dropped.
    virtual AbortRetryIgnore AskAbortRetryIgnoreReason(const std::string& strText,
                                                       const std::string& strReason) {
        (void)strReason;
        return AskAbortRetryIgnore(strText);
    }
    virtual void ShowErrorErrno(const std::string& strText, int nErrno) {
        (void)nErrno;
        ShowError(strText);
    }

    // Why the log line just appended was written, for hosts that can show a
    // reason beside the log (kovrel-sync on standard error). Not shown by default.
    virtual void ShowLineReason(const std::string& strReason) { (void)strReason; }

    // The kind of the change whose log line comes right after this call. Only
    // made changes are reported: failures and skips are lines alone.
    virtual void OnRunAction(const RUNACTION& action) { (void)action; }

    // Item boundaries: nIndex is the item's place in the list. Every line
    // between the two calls belongs to that item; the start, summary and
    // cancel lines lie outside any item. An item the run leaves out for an
    // empty path gets no calls.
    virtual void OnItemBegin(int nIndex) { (void)nIndex; }
    virtual void OnItemEnd(int nIndex) { (void)nIndex; }

    // Progress of a file copy: its start with the source and the size its
    // listing gave, then (on a real file system) nDone of nTotal bytes written
    // between the chunks of its data. A dry run only starts copies.
    virtual void OnCopyStart(const std::string& strSource, std::uint64_t nSize) {
        (void)strSource;
        (void)nSize;
    }
    virtual void OnCopyProgress(std::uint64_t nDone, std::uint64_t nTotal) {
        (void)nDone;
        (void)nTotal;
    }
};

} // namespace kovrel
