// The remembered state as a run uses it: the store opened once per run (only
// when an item asks for it), each remembering item's record loaded before its
// pass, and what the pass saw and made at each pair's turn gathered in memory,
// to be written in one transaction after the item's pass. Nothing is written
// for an item whose pass did not end (cancelled, stopped), nor in a dry run.
//
// Only what differs from the loaded record is gathered, so a run that changes
// nothing writes nothing.
#pragma once

#include <algorithm>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/StateStore.h"

namespace kovrel {

class CRememberedRun {
public:
    // Starts a run: the database at strPath (empty: none can be found), written
    // only with bWrite. The store itself is opened by the first item that needs it.
    void BeginRun(std::string strPath, bool bWrite);
    // Closes the store at the end of a run.
    void EndRun() noexcept;

    // Loads the item's record. A failure (the store cannot be opened, is
    // damaged or busy) gives the result to show; the item then runs without
    // its remembered state (Active() false). An open that failed is not tried
    // again in the same run, and its result is given only once.
    STATERESULT BeginItem(std::string_view strTop1, std::string_view strTop2);
    // Writes what the item's pass gathered when bComplete and the run writes,
    // then forgets it. Ok when nothing had to be written.
    STATERESULT EndItem(bool bComplete);
    bool Active() const noexcept { return m_bActive; }

    // The recorded entry of a relative path (null: none).
    const STATEENTRY* Find(std::string_view strRel) const noexcept;
    // What the pass saw and made of an entry.
    void Record(std::string_view strRel, const STATEENTRY& entry);
    // The entry and, for a directory, everything below it is on neither side.
    void Forget(std::string_view strRel);

    // A directory of the pass was listed: its recorded children (direct ones)
    // for which bPresent(name) is false on both sides are forgotten.
    template <class Present> void ForgetAbsentChildren(std::string_view strRel, Present&& bPresent);

    // Test access: the changes gathered so far for the current item.
    std::size_t PendingCount() const noexcept { return m_vecPending.size(); }

private:
    CStateStore m_store;
    std::string m_strPath;
    bool m_bWrite = false;
    bool m_bOpenTried = false;
    bool m_bActive = false;
    std::string m_strTop1;
    std::string m_strTop2;
    CStateRecord m_record;
    mutable const CStateRecord::Item* m_pLastHit = nullptr; // Find's last hit in m_record
    // Entry to put, or nullopt: the entry and its tree to remove.
    std::vector<std::pair<std::string, std::optional<STATEENTRY>>> m_vecPending;
};

template <class Present>
void CRememberedRun::ForgetAbsentChildren(std::string_view strRel, Present&& bPresent) {
    if (!m_bActive || m_record.Empty())
        return;
    const auto& items = m_record.Items();
    std::string strPrefix(strRel);
    strPrefix.push_back('/');
    auto it = std::lower_bound(
        items.begin(), items.end(), strPrefix,
        [](const CStateRecord::Item& item, const std::string& str) { return item.first < str; });
    while (it != items.end() && std::string_view(it->first).starts_with(strPrefix)) {
        const std::string_view strRest = std::string_view(it->first).substr(strPrefix.size());
        const std::size_t nSep = strRest.find('/');
        if (nSep != std::string_view::npos) {
            // Deeper: on past the whole subtree of that child ('0' follows '/').
            std::string strNext = strPrefix;
            strNext += strRest.substr(0, nSep);
            strNext.push_back('0');
            it = std::lower_bound(it, items.end(), strNext,
                                  [](const CStateRecord::Item& item, const std::string& str) {
                                      return item.first < str;
                                  });
            continue;
        }
        if (!strRest.empty() && !bPresent(strRest))
            m_vecPending.emplace_back(it->first, std::nullopt);
        ++it;
    }
}

// The conflict name of a file: "name.conflict-YYYYMMDD-HHMMSS.ext" from the
// run's local start time, with "-N" after the time for nNumber 2 and up. The
// extension is what follows the last dot of the name, unless that dot starts
// the name (".profile" has none).
std::string ConflictName(std::string_view strName, const std::tm& tmStart, int nNumber);

} // namespace kovrel
