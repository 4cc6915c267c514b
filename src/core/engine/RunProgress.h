// How far a run has come, as one line for a terminal or a window: files and
// bytes done, the large file being copied with its own percentage, the rate,
// and with known totals (a preview of the same list) percent and time left.
// Fed from the host's calls; the clock is the caller's, in milliseconds.
#pragma once

#include <cstdint>
#include <string>

#include "engine/RunHost.h"

namespace kovrel {

class CRunProgress {
public:
    // Files above this size show their own percentage while they are copied.
    static constexpr std::uint64_t kBigFile = std::uint64_t{4} << 20;

    void Start(std::int64_t nNowMs);
    // Files (copies and deletions) and bytes the whole run will handle; zero
    // files: unknown, and no guess is shown.
    void SetTotals(std::uint64_t nFiles, std::uint64_t nBytes);
    // Without the run's totals, an item whose work was counted before it
    // started (the deletion guard's count) gives totals up to its own end:
    // what is done so far plus nFiles and nBytes. EndItemTotals drops them
    // again, so the items after it guess nothing.
    void BeginItemTotals(std::uint64_t nFiles, std::uint64_t nBytes);
    void EndItemTotals();

    void OnAction(const RUNACTION& action);
    void OnCopyStart(const std::string& strSource, std::uint64_t nSize);
    void OnCopyProgress(std::uint64_t nDone, std::uint64_t nTotal);

    std::uint64_t FilesDone() const { return m_nFilesDone; }
    std::uint64_t BytesDone() const { return m_nBytesDone + m_nCurrentDone; }
    std::string Format(std::int64_t nNowMs) const;
    // The same in two halves for a window that shows them apart: files and
    // bytes done; then percent and time left, the rate and the large file.
    std::string FormatCounts() const;
    std::string FormatPace(std::int64_t nNowMs) const;

private:
    double Rate(std::int64_t nNowMs) const; // bytes a second since Start
    std::string DonePart() const;
    std::string RatePart(double dRate) const;
    std::string GuessPart(double dRate) const; // empty without totals
    std::string CurrentPart() const;           // empty unless a large file is copied

    std::int64_t m_nStartMs = 0;
    bool m_bRunTotals = false;  // SetTotals gave the whole run's
    bool m_bItemTotals = false; // BeginItemTotals gave the current item's
    std::uint64_t m_nFilesTotal = 0;
    std::uint64_t m_nBytesTotal = 0;
    std::uint64_t m_nFilesDone = 0;
    std::uint64_t m_nBytesDone = 0;   // copies finished
    std::uint64_t m_nCurrentSize = 0; // the copy under way
    std::uint64_t m_nCurrentDone = 0;
    std::string m_strCurrent;
};

// 1536 -> "1.5 KiB"; below a KiB in whole bytes.
std::string FormatBytes(std::uint64_t nBytes);

} // namespace kovrel
