#include "app/GuiRunHost.h"

#include "dialogs/LogListBox.h"
#include "dialogs/SyncLogDlg.h"
#include "ui/MsgBox.h"
#include "ui/Sound.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstring>

namespace kovrel::app {

namespace {

// The box's text with the system's reason for the failure on a line of its own.
std::string WithReason(const std::string& strText, int nErrno) {
    if (nErrno == 0)
        return strText;
    return strText + "\n" + std::strerror(nErrno);
}

} // namespace

bool CGuiRunHost::AskYesNo(const std::string& strText) {
    return ui::ShowMessageBox(m_pBoxParent, strText, ui::MB_YESNO | ui::MB_ICONEXCLAMATION) ==
           ui::IDYES;
}

AbortRetryIgnore CGuiRunHost::AskAbortRetryIgnore(const std::string& strText) {
    switch (ui::ShowMessageBox(m_pBoxParent, strText, ui::MB_ABORTRETRYIGNORE)) {
    case ui::IDRETRY:
        return AbortRetryIgnore::Retry;
    case ui::IDIGNORE:
        return AbortRetryIgnore::Ignore;
    default:
        return AbortRetryIgnore::Abort;
    }
}

void CGuiRunHost::ShowError(const std::string& strText) {
    ui::ShowMessageBox(m_pBoxParent, strText, ui::MB_OK | ui::MB_ICONEXCLAMATION);
}

bool CGuiRunHost::AskMissingTop(const std::string& strText) {
    return ui::ShowMessageBox(m_pBoxParent, strText,
                              ui::MB_YESNO | ui::MB_ICONEXCLAMATION | ui::MB_DEFBUTTON2) ==
           ui::IDYES;
}

bool CGuiRunHost::AskMassDelete(const std::string& strText) {
    return ui::ShowMessageBox(m_pBoxParent, strText,
                              ui::MB_YESNO | ui::MB_ICONEXCLAMATION | ui::MB_DEFBUTTON2) ==
           ui::IDYES;
}

bool CGuiRunHost::AskDeleteWithoutTrash(const std::string& strText,
                                        const std::string& strMountPoint, int nErrno) {
    (void)strMountPoint; // the text names it
    return ui::ShowMessageBox(m_pBoxParent, WithReason(strText, nErrno),
                              ui::MB_YESNO | ui::MB_ICONEXCLAMATION | ui::MB_DEFBUTTON2) ==
           ui::IDYES;
}

bool CGuiRunHost::AskYesNoErrno(const std::string& strText, int nErrno) {
    return AskYesNo(WithReason(strText, nErrno));
}

AbortRetryIgnore CGuiRunHost::AskAbortRetryIgnoreErrno(const std::string& strText, int nErrno) {
    return AskAbortRetryIgnore(WithReason(strText, nErrno));
}

AbortRetryIgnore CGuiRunHost::AskAbortRetryIgnoreReason(const std::string& strText,
                                                        const std::string& strReason) {
    return AskAbortRetryIgnore(strText + "\n" + strReason);
}

void CGuiRunHost::ShowErrorErrno(const std::string& strText, int nErrno) {
    ShowError(WithReason(strText, nErrno));
}

void CGuiRunHost::AppendLogLine(const std::string& strLine) {
    m_dlgLog.AddString(strLine);
    if (m_bMarkNext) {
        m_bMarkNext = false;
        m_dlgLog.MarkLastLine(static_cast<dialogs::LogLineMark>(m_nNextMark));
    }
}

void CGuiRunHost::OnRunAction(const RUNACTION& action) {
    m_progress.OnAction(action);
    if (!m_bPreview)
        return;
    dialogs::LogLineMark mark = dialogs::LogLineMark::None;
    switch (action.eKind) {
    case RunActionKind::CopyOverwrite:
        ++m_counts.nOverwrites;
        mark = dialogs::LogLineMark::Overwrite;
        [[fallthrough]];
    case RunActionKind::CopyNew:
        ++m_counts.nCopies;
        break;
    case RunActionKind::DeleteFile:
        ++m_counts.nDeletes;
        mark = dialogs::LogLineMark::Delete;
        break;
    case RunActionKind::CreateDir:
        ++m_counts.nDirsCreated;
        break;
    case RunActionKind::RemoveDir:
        ++m_counts.nDirsRemoved;
        mark = dialogs::LogLineMark::Delete;
        break;
    }
    m_bMarkNext = true;
    m_nNextMark = static_cast<unsigned char>(mark);
}

void CGuiRunHost::OnItemBegin(int nIndex) {
    (void)nIndex;
    m_counts = ITEMCOUNTS{};
    m_bDeleteCounted = false;
}

void CGuiRunHost::OnDeleteCount(const DELETECOUNT& count) {
    m_bDeleteCounted = true;
    m_deleteCount = count;
    m_progress.BeginItemTotals(
        static_cast<std::uint64_t>(count.nCopies + count.nDeleted[0] + count.nDeleted[1]),
        count.nCopyBytes);
}

void CGuiRunHost::OnItemEnd(int nIndex) {
    m_progress.EndItemTotals();
    if (!m_bPreview)
        return;
    m_dlgLog.AddCountsLine(QString::fromUtf8("項目 %1: コピー %2（うち上書き %3）、削除 %4、"
                                             "フォルダ作成 %5、フォルダ削除 %6")
                               .arg(nIndex + 1)
                               .arg(m_counts.nCopies)
                               .arg(m_counts.nOverwrites)
                               .arg(m_counts.nDeletes)
                               .arg(m_counts.nDirsCreated)
                               .arg(m_counts.nDirsRemoved) +
                           DeleteCountText());
}

// What the deletion guard counted, for each side that loses files: how many of
// the files the item selects there would go. Empty when it counted nothing.
QString CGuiRunHost::DeleteCountText() const {
    if (!m_bDeleteCounted)
        return QString();
    QStringList astrSides;
    for (int i = 0; i < 2; ++i) {
        if (m_deleteCount.nDeleted[i] <= 0)
            continue;
        astrSides.append(QString::fromUtf8("File%1側 %2 個中 %3 個を削除")
                             .arg(i + 1)
                             .arg(m_deleteCount.nHeld[i])
                             .arg(m_deleteCount.nDeleted[i]));
    }
    if (astrSides.isEmpty())
        return QString();
    return QString::fromUtf8("（") + astrSides.join(QString::fromUtf8("、")) +
           QString::fromUtf8("）");
}

void CGuiRunHost::OnCopyStart(const std::string& strSource, std::uint64_t nSize) {
    m_progress.OnCopyStart(strSource, nSize);
}

void CGuiRunHost::OnCopyProgress(std::uint64_t nDone, std::uint64_t nTotal) {
    // Shown at the next event pass: the run polls for Cancel between chunks.
    m_progress.OnCopyProgress(nDone, nTotal);
}

bool CGuiRunHost::CheckCancel() {
    // The first call (before the first item) always lets events through, so the
    // freshly shown log window paints before the work starts.
    if (!m_timer.isValid() || m_timer.elapsed() >= kEventIntervalMs) {
        // Formatted only here, so a run of small files pays once per pass.
        const std::int64_t nNowMs = m_clock.elapsed();
        m_dlgLog.SetProgress(QString::fromStdString(m_progress.FormatCounts()),
                             QString::fromStdString(m_progress.FormatPace(nNowMs)));
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        m_timer.start();
        ++m_nEventPasses;
    }
    return m_dlgLog.m_bCancel;
}

void CGuiRunHost::PlayRunSound(const RUNSOUND& sound) {
    // A preview is no run: its end is not announced as one.
    if (m_bPreview)
        return;
    const ui::SoundEvent nEvent =
        sound.nBeep == BeepType::Asterisk ? ui::SoundEvent::Information : ui::SoundEvent::Warning;
    switch (sound.kind) {
    case RunSoundKind::File:
        ui::PlayFileOrEvent(sound.strFile, nEvent);
        break;
    case RunSoundKind::Beep:
        ui::Sound().PlayEvent(nEvent);
        break;
    case RunSoundKind::None:
        break;
    }
}

} // namespace kovrel::app
