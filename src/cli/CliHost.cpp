#include "CliHost.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace kovrel::cli {

namespace {

volatile std::sig_atomic_t g_nInterrupts = 0;

constexpr int kCancelSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnInterrupt(int nSignal) {
    g_nInterrupts = g_nInterrupts + 1;
    if (g_nInterrupts >= 2) {
        std::signal(nSignal, SIG_DFL);
        std::raise(nSignal);
    }
}

char FirstLetter(const std::string& str) {
    for (char c : str)
        if (!std::isspace(static_cast<unsigned char>(c)))
            return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return '\0';
}

} // namespace

void CCliHost::InstallInterruptHandler() {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART; // file operations in progress just carry on
    for (const int nSignal : kCancelSignals)
        sigaction(nSignal, &sa, nullptr);
}

bool CCliHost::Interrupted() noexcept {
    return g_nInterrupts != 0;
}

void CCliHost::PrintQuestion(const std::string& strText, const char* pszChoices) {
    ClearProgress();
    std::fprintf(m_pErr, "%s %s ", strText.c_str(), pszChoices);
    std::fflush(m_pErr);
}

bool CCliHost::ReadLine(std::string& strLine) {
    strLine.clear();
    for (;;) {
        if (Interrupted())
            return false;
        pollfd pfd{STDIN_FILENO, POLLIN, 0};
        const int n = poll(&pfd, 1, 200);
        if (n == 0 || (n < 0 && errno == EINTR))
            continue;
        if (n < 0)
            return false;
        char c;
        const ssize_t nRead = read(STDIN_FILENO, &c, 1);
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead <= 0)
            return false;
        if (c == '\n')
            return true;
        strLine += c;
    }
}

bool CCliHost::AskYesNo(const std::string& strText) {
    return AskYesNoAnswered(strText, m_answers.bQuestionYes);
}

bool CCliHost::AskMissingTop(const std::string& strText) {
    return AskYesNoAnswered(strText, m_answers.bMissingTopYes);
}

bool CCliHost::AskMassDelete(const std::string& strText) {
    // The option answers even on a terminal: a script that said what it wants
    // is not held up by a question. Without it only a person at a terminal can
    // say Yes.
    if (!m_answers.oMassDeleteYes && m_answers.bInteractive && m_answers.bErrTerminal)
        return AskYesNoAnswered(strText, false);
    const bool bYes = m_answers.oMassDeleteYes.value_or(false);
    ClearProgress();
    std::fprintf(m_pErr, "%s\n-> %s\n", strText.c_str(), bYes ? "Yes" : "No");
    std::fflush(m_pErr);
    return bYes;
}

bool CCliHost::AskDeleteWithoutTrash(const std::string& strText, const std::string& strMountPoint,
                                     int nErrno) {
    (void)strText;
    ClearProgress();
    std::fprintf(m_pErr,
                 "kovrel-sync: no trash can be used on %s (%s): files to be deleted there are "
                 "left in place (--trash=no deletes them for good)\n",
                 strMountPoint.c_str(), std::strerror(nErrno));
    std::fflush(m_pErr);
    return false;
}

void CCliHost::PrintReason(int nErrno) {
    ClearProgress();
    if (nErrno == 0)
        return;
    std::fprintf(m_pErr, "kovrel-sync: %s\n", std::strerror(nErrno));
    std::fflush(m_pErr);
}

bool CCliHost::AskYesNoErrno(const std::string& strText, int nErrno) {
    PrintReason(nErrno);
    return AskYesNo(strText);
}

AbortRetryIgnore CCliHost::AskAbortRetryIgnoreErrno(const std::string& strText, int nErrno) {
    PrintReason(nErrno);
    return AskAbortRetryIgnore(strText);
}

AbortRetryIgnore CCliHost::AskAbortRetryIgnoreReason(const std::string& strText,
                                                     const std::string& strReason) {
    ShowLineReason(strReason);
    return AskAbortRetryIgnore(strText);
}

void CCliHost::ShowErrorErrno(const std::string& strText, int nErrno) {
    PrintReason(nErrno);
    ShowError(strText);
}

void CCliHost::ShowLineReason(const std::string& strReason) {
    ClearProgress();
    std::fprintf(m_pErr, "kovrel-sync: %s\n", strReason.c_str());
    std::fflush(m_pErr);
}

// Without a terminal bAnswer answers; on one the user does.
bool CCliHost::AskYesNoAnswered(const std::string& strText, bool bAnswer) {
    ClearProgress();
    if (!m_answers.bInteractive) {
        std::fprintf(m_pErr, "%s\n-> %s\n", strText.c_str(), bAnswer ? "Yes" : "No");
        std::fflush(m_pErr);
        return bAnswer;
    }
    std::string strLine;
    for (;;) {
        PrintQuestion(strText, "[y/n]");
        if (!ReadLine(strLine)) {
            std::fprintf(m_pErr, "\n-> No\n");
            return false;
        }
        switch (FirstLetter(strLine)) {
        case 'y':
            return true;
        case 'n':
            return false;
        default:
            break;
        }
    }
}

AbortRetryIgnore CCliHost::AskAbortRetryIgnore(const std::string& strText) {
    ClearProgress();
    if (!m_answers.bInteractive) {
        std::fprintf(m_pErr, "%s\n-> %s\n", strText.c_str(),
                     m_answers.bFailureIgnore ? "Ignore" : "Abort");
        std::fflush(m_pErr);
        return m_answers.bFailureIgnore ? AbortRetryIgnore::Ignore : AbortRetryIgnore::Abort;
    }
    std::string strLine;
    for (;;) {
        PrintQuestion(strText, "[a]bort/[r]etry/[i]gnore");
        if (!ReadLine(strLine)) {
            std::fprintf(m_pErr, "\n-> Abort\n");
            return AbortRetryIgnore::Abort;
        }
        switch (FirstLetter(strLine)) {
        case 'a':
            return AbortRetryIgnore::Abort;
        case 'r':
            return AbortRetryIgnore::Retry;
        case 'i':
            return AbortRetryIgnore::Ignore;
        default:
            break;
        }
    }
}

void CCliHost::ShowError(const std::string& strText) {
    ClearProgress();
    std::fprintf(m_pErr, "%s\n", strText.c_str());
    std::fflush(m_pErr);
}

void CCliHost::AppendLogLine(const std::string& strLine) {
    ClearProgress();
    // Scripts read the lines as they come, so each one is flushed at once.
    std::fwrite(strLine.data(), 1, strLine.size(), m_pOut);
    std::fputc('\n', m_pOut);
    std::fflush(m_pOut);
}

bool CCliHost::CheckCancel() {
    if (m_bProgress)
        DrawProgress();
    return Interrupted();
}

void CCliHost::EnableProgress() {
    m_bProgress = true;
    m_tpStart = std::chrono::steady_clock::now();
    m_progress.Start(0);
}

std::int64_t CCliHost::NowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 m_tpStart)
        .count();
}

void CCliHost::DrawProgress() {
    const std::int64_t nNow = NowMs();
    if (m_nLastDrawMs >= 0 && nNow - m_nLastDrawMs < kProgressIntervalMs)
        return;
    m_nLastDrawMs = nNow;
    // Back to the line's start, the text, and the rest of the old line wiped.
    std::fprintf(m_pErr, "\r%s\x1b[K", m_progress.Format(nNow).c_str());
    std::fflush(m_pErr);
    m_bProgressShown = true;
}

void CCliHost::ClearProgress() {
    if (!m_bProgressShown)
        return;
    std::fputs("\r\x1b[K", m_pErr);
    std::fflush(m_pErr);
    m_bProgressShown = false;
}

void CCliHost::OnRunAction(const RUNACTION& action) {
    if (m_bProgress)
        m_progress.OnAction(action);
}

void CCliHost::OnDeleteCount(const DELETECOUNT& count) {
    if (m_bProgress)
        m_progress.BeginItemTotals(
            static_cast<std::uint64_t>(count.nCopies + count.nDeleted[0] + count.nDeleted[1]),
            count.nCopyBytes);
}

void CCliHost::OnItemEnd(int nIndex) {
    (void)nIndex;
    if (m_bProgress)
        m_progress.EndItemTotals();
}

void CCliHost::OnCopyStart(const std::string& strSource, std::uint64_t nSize) {
    if (m_bProgress)
        m_progress.OnCopyStart(strSource, nSize);
}

void CCliHost::OnCopyProgress(std::uint64_t nDone, std::uint64_t nTotal) {
    if (!m_bProgress)
        return;
    m_progress.OnCopyProgress(nDone, nTotal);
    DrawProgress();
}

} // namespace kovrel::cli
