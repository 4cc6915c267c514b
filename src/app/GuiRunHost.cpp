#include "app/GuiRunHost.h"

#include "dialogs/SyncLogDlg.h"
#include "ui/MsgBox.h"
#include "ui/Sound.h"

#include <QCoreApplication>

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
}

bool CGuiRunHost::CheckCancel() {
    // The first call (before the first item) always lets events through, so the
    // freshly shown log window paints before the work starts.
    if (!m_timer.isValid() || m_timer.elapsed() >= kEventIntervalMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        m_timer.start();
        ++m_nEventPasses;
    }
    return m_dlgLog.m_bCancel;
}

void CGuiRunHost::PlayRunSound(const RUNSOUND& sound) {
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
