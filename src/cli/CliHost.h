// The run's host on a terminal: log lines go to standard output as they are
// written, questions are asked on standard error (or answered by the options when
// there is no terminal), Ctrl+C is the log window's Cancel.
#pragma once

#include "engine/RunHost.h"
#include "engine/RunProgress.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

namespace kovrel::cli {

struct CLIANSWERS {
    bool bInteractive = false;   // ask on the terminal
    bool bQuestionYes = false;   // --on-question=yes
    bool bFailureIgnore = false; // --on-failure=ignore
    // --on-missing-top=yes: confirm deleting a tree whose other top is absent.
    // Apart from --on-question on purpose: a script that passes errors over must
    // never confirm the loss of a whole tree by it.
    bool bMissingTopYes = false;
    // --on-mass-delete=yes|no: the answer to the deletion guard's question.
    // Apart from --on-question for the same reason. Absent: No, unless standard
    // input and standard error are a terminal, where the user is asked.
    std::optional<bool> oMassDeleteYes;
    bool bErrTerminal = false; // standard error is a terminal
};

class CCliHost : public CRunHost {
public:
    CCliHost(const CLIANSWERS& answers, std::FILE* pOut, std::FILE* pErr)
        : m_answers(answers), m_pOut(pOut), m_pErr(pErr) {}

    bool AskYesNo(const std::string& strText) override;
    AbortRetryIgnore AskAbortRetryIgnore(const std::string& strText) override;
    void ShowError(const std::string& strText) override;
    bool AskMissingTop(const std::string& strText) override;
    bool AskMassDelete(const std::string& strText) override;
    // Never asked: deletions where no trash can be used are passed over, with
    // the reason on standard error (--trash=no deletes for good instead).
    bool AskDeleteWithoutTrash(const std::string& strText, const std::string& strMountPoint,
                               int nErrno) override;
    // The system's reason goes on a line of its own before the question.
    bool AskYesNoErrno(const std::string& strText, int nErrno) override;
    AbortRetryIgnore AskAbortRetryIgnoreErrno(const std::string& strText, int nErrno) override;
    void ShowErrorErrno(const std::string& strText, int nErrno) override;
    // The run's own reason goes on a line of its own before the question.
    AbortRetryIgnore AskAbortRetryIgnoreReason(const std::string& strText,
                                               const std::string& strReason) override;
    void ShowLineReason(const std::string& strReason) override;
    void AppendLogLine(const std::string& strLine) override;
    bool CheckCancel() override;
    // The command line plays no sounds; the desktop program does.
    void PlayRunSound(const RUNSOUND&) override {}

    // --progress on a terminal: one line on standard error, redrawn in place
    // at most every kProgressIntervalMs and wiped before anything else is
    // written to either stream.
    static constexpr int kProgressIntervalMs = 100;
    void EnableProgress();
    void ClearProgress();
    void OnRunAction(const RUNACTION& action) override;
    // An item the deletion guard counted shows percent and time left.
    void OnDeleteCount(const DELETECOUNT& count) override;
    void OnItemEnd(int nIndex) override;
    void OnCopyStart(const std::string& strSource, std::uint64_t nSize) override;
    void OnCopyProgress(std::uint64_t nDone, std::uint64_t nTotal) override;

    // Ctrl+C, SIGTERM and SIGHUP set the cancel flag instead of ending the
    // process: the run checks it between the chunks of a copy as well, so a
    // copy in progress is abandoned (its temporary removed) and the run ends
    // as cancelled within a fraction of a second. A second signal ends it the
    // ordinary way (a copy in progress leaves at most a temporary file, which
    // the next run clears away).
    static void InstallInterruptHandler();
    static bool Interrupted() noexcept;

private:
    // Reads one answer line from standard input; false at its end or on Ctrl+C.
    bool ReadLine(std::string& strLine);
    void PrintQuestion(const std::string& strText, const char* pszChoices);
    bool AskYesNoAnswered(const std::string& strText, bool bAnswer);
    void PrintReason(int nErrno);

    void DrawProgress();
    std::int64_t NowMs() const;

    bool m_bProgress = false;
    bool m_bProgressShown = false;
    std::int64_t m_nLastDrawMs = -1;
    CRunProgress m_progress;
    std::chrono::steady_clock::time_point m_tpStart;
    CLIANSWERS m_answers;
    std::FILE* m_pOut;
    std::FILE* m_pErr;
};

} // namespace kovrel::cli
