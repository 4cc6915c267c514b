#include "engine/RunProgress.h"

#include <algorithm>
#include <cstdio>

namespace kovrel {

std::string FormatBytes(std::uint64_t nBytes) {
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    if (nBytes < 1024)
        return std::to_string(nBytes) + " B";
    double dValue = static_cast<double>(nBytes) / 1024.0;
    int nUnit = 0;
    while (dValue >= 1024.0 && nUnit < 3) {
        dValue /= 1024.0;
        ++nUnit;
    }
    char sz[32];
    std::snprintf(sz, sizeof sz, "%.1f %s", dValue, kUnits[nUnit]);
    return sz;
}

void CRunProgress::Start(std::int64_t nNowMs) {
    *this = CRunProgress{};
    m_nStartMs = nNowMs;
}

void CRunProgress::SetTotals(std::uint64_t nFiles, std::uint64_t nBytes) {
    m_nFilesTotal = nFiles;
    m_nBytesTotal = nBytes;
    m_bRunTotals = nFiles > 0;
    m_bItemTotals = false;
}

void CRunProgress::BeginItemTotals(std::uint64_t nFiles, std::uint64_t nBytes) {
    if (m_bRunTotals)
        return;
    m_nFilesTotal = m_nFilesDone + nFiles;
    m_nBytesTotal = m_nBytesDone + nBytes;
    m_bItemTotals = true;
}

void CRunProgress::EndItemTotals() {
    if (!m_bItemTotals)
        return;
    m_nFilesTotal = 0;
    m_nBytesTotal = 0;
    m_bItemTotals = false;
}

void CRunProgress::OnAction(const RUNACTION& action) {
    switch (action.eKind) {
    case RunActionKind::CopyNew:
    case RunActionKind::CopyOverwrite:
        m_nBytesDone += m_nCurrentSize;
        m_nCurrentSize = 0;
        m_nCurrentDone = 0;
        m_strCurrent.clear();
        ++m_nFilesDone;
        break;
    case RunActionKind::DeleteFile:
        ++m_nFilesDone;
        break;
    case RunActionKind::CreateDir:
    case RunActionKind::RemoveDir:
        break;
    }
}

void CRunProgress::OnCopyStart(const std::string& strSource, std::uint64_t nSize) {
    // A copy that failed or was passed over left no action: its bytes are not done.
    m_nCurrentSize = nSize;
    m_nCurrentDone = 0;
    m_strCurrent = strSource;
}

void CRunProgress::OnCopyProgress(std::uint64_t nDone, std::uint64_t nTotal) {
    m_nCurrentSize = nTotal;
    m_nCurrentDone = std::min(nDone, nTotal);
}

double CRunProgress::Rate(std::int64_t nNowMs) const {
    const double dSeconds =
        static_cast<double>(std::max<std::int64_t>(0, nNowMs - m_nStartMs)) / 1000.0;
    return dSeconds > 0 ? static_cast<double>(BytesDone()) / dSeconds : 0.0;
}

std::string CRunProgress::DonePart() const {
    std::string str = "ファイル " + std::to_string(m_nFilesDone);
    if (m_nFilesTotal > 0)
        str += "/" + std::to_string(m_nFilesTotal);
    str += ", " + FormatBytes(BytesDone());
    if (m_nFilesTotal > 0)
        str += "/" + FormatBytes(m_nBytesTotal);
    return str;
}

std::string CRunProgress::RatePart(double dRate) const {
    return FormatBytes(static_cast<std::uint64_t>(dRate)) + "/s";
}

std::string CRunProgress::GuessPart(double dRate) const {
    if (m_nFilesTotal == 0)
        return std::string();
    const std::uint64_t nBytes = BytesDone();
    // By bytes when there are any to copy, else by files.
    const double dDone =
        m_nBytesTotal > 0 ? static_cast<double>(nBytes) / static_cast<double>(m_nBytesTotal)
                          : static_cast<double>(m_nFilesDone) / static_cast<double>(m_nFilesTotal);
    std::string str = std::to_string(static_cast<int>(std::min(1.0, dDone) * 100.0)) + "%";
    if (m_nBytesTotal > 0 && dRate > 0) {
        const std::uint64_t nLeft = nBytes >= m_nBytesTotal ? 0 : m_nBytesTotal - nBytes;
        const auto nSeconds = static_cast<std::uint64_t>(static_cast<double>(nLeft) / dRate + 0.5);
        char sz[40];
        std::snprintf(sz, sizeof sz, ", 残り %llu:%02llu",
                      static_cast<unsigned long long>(nSeconds / 60),
                      static_cast<unsigned long long>(nSeconds % 60));
        str += sz;
    }
    return str;
}

std::string CRunProgress::CurrentPart() const {
    if (m_strCurrent.empty() || m_nCurrentSize <= kBigFile)
        return std::string();
    const std::size_t nSlash = m_strCurrent.rfind('/');
    return (nSlash == std::string::npos ? m_strCurrent : m_strCurrent.substr(nSlash + 1)) + " " +
           std::to_string(m_nCurrentDone * 100 / m_nCurrentSize) + "%";
}

std::string CRunProgress::Format(std::int64_t nNowMs) const {
    const double dRate = Rate(nNowMs);
    std::string str = DonePart();
    if (nNowMs > m_nStartMs)
        str += ", " + RatePart(dRate);
    const std::string strGuess = GuessPart(dRate);
    if (!strGuess.empty())
        str += ", " + strGuess;
    const std::string strCurrent = CurrentPart();
    if (!strCurrent.empty())
        str += " | " + strCurrent;
    return str;
}

std::string CRunProgress::FormatCounts() const {
    return DonePart();
}

std::string CRunProgress::FormatPace(std::int64_t nNowMs) const {
    const double dRate = Rate(nNowMs);
    std::string str = GuessPart(dRate);
    const auto add = [&str](const std::string& strPart) {
        if (!strPart.empty())
            str += (str.empty() ? "" : ", ") + strPart;
    };
    if (nNowMs > m_nStartMs)
        add(RatePart(dRate));
    add(CurrentPart());
    return str;
}

} // namespace kovrel
