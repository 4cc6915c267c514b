// The run's host in the desktop program: questions and errors in message boxes,
// log lines in the log window, its Cancel button, and the end sounds.
#pragma once

#include "engine/RunHost.h"
#include "engine/RunProgress.h"

#include <QElapsedTimer>
#include <QString>

class QWidget;

namespace kovrel::dialogs {
class CSyncLogDlg;
}

namespace kovrel::app {

class CGuiRunHost : public CRunHost {
public:
    // Events are let through at most this often, so the windows stay live
    // without a repaint per file.
    static constexpr int kEventIntervalMs = 50;

    CGuiRunHost(QWidget* pBoxParent, dialogs::CSyncLogDlg& dlgLog)
        : m_pBoxParent(pBoxParent), m_dlgLog(dlgLog) {
        m_clock.start();
        m_progress.Start(0);
    }

    bool AskYesNo(const std::string& strText) override;
    AbortRetryIgnore AskAbortRetryIgnore(const std::string& strText) override;
    void ShowError(const std::string& strText) override;
    void AppendLogLine(const std::string& strLine) override;
    bool CheckCancel() override;
    void PlayRunSound(const RUNSOUND& sound) override;
    // Our own question before a tree is deleted: No is the default.
    bool AskMissingTop(const std::string& strText) override;
    // The deletion guard's question: No is the default.
    bool AskMassDelete(const std::string& strText) override;
    // Whether to delete for good where no trash can be used: No is the default.
    bool AskDeleteWithoutTrash(const std::string& strText, const std::string& strMountPoint,
                               int nErrno) override;
    // The failure boxes add the system's reason on a line of its own.
    bool AskYesNoErrno(const std::string& strText, int nErrno) override;
    AbortRetryIgnore AskAbortRetryIgnoreErrno(const std::string& strText, int nErrno) override;
    void ShowErrorErrno(const std::string& strText, int nErrno) override;
    // The run's own reason on a line of its own below the text.
    AbortRetryIgnore AskAbortRetryIgnoreReason(const std::string& strText,
                                               const std::string& strReason) override;

    // A preview: each deletion and overwrite marked in the log window, and
    // each item's counts under the list. Off for a run, which shows lines only.
    void SetPreview(bool bPreview) { m_bPreview = bPreview; }
    void OnRunAction(const RUNACTION& action) override;
    void OnItemBegin(int nIndex) override;
    void OnItemEnd(int nIndex) override;
    // A preview shows the deletion guard's count on the item's counts line;
    // without a preview's totals, the count gives the progress totals up to
    // the item's end.
    void OnDeleteCount(const DELETECOUNT& count) override;

    // The progress in the log window, brought up to date at each event pass.
    // Totals (files and bytes a preview of the same list found) give percent
    // and time left; without them none is guessed, except during an item the
    // deletion guard counted.
    void SetTotals(std::uint64_t nFiles, std::uint64_t nBytes) {
        m_progress.SetTotals(nFiles, nBytes);
    }
    void OnCopyStart(const std::string& strSource, std::uint64_t nSize) override;
    void OnCopyProgress(std::uint64_t nDone, std::uint64_t nTotal) override;
    // Files and bytes handled so far; after a preview, the totals of a run.
    const CRunProgress& Progress() const { return m_progress; }

    // How often events were let through (for the benchmark and the tests).
    int EventPasses() const { return m_nEventPasses; }

private:
    QWidget* m_pBoxParent;
    dialogs::CSyncLogDlg& m_dlgLog;
    QElapsedTimer m_timer;
    int m_nEventPasses = 0;
    QElapsedTimer m_clock; // since the host was made, just before the run
    CRunProgress m_progress;

    // What a preview counts of one item.
    struct ITEMCOUNTS {
        int nCopies = 0;
        int nOverwrites = 0; // among the copies
        int nDeletes = 0;
        int nDirsCreated = 0;
        int nDirsRemoved = 0;
    };
    QString DeleteCountText() const;

    bool m_bPreview = false;
    bool m_bMarkNext = false;      // the next line gets m_nNextMark
    unsigned char m_nNextMark = 0; // a dialogs::LogLineMark
    ITEMCOUNTS m_counts;
    bool m_bDeleteCounted = false; // the guard counted the current item
    DELETECOUNT m_deleteCount;
};

} // namespace kovrel::app
