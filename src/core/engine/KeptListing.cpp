#include "engine/KeptListing.h"

#include <utility>

namespace kovrel {

bool CKeptListing::Keep(const std::string& strDir, std::vector<platform::DirEntry>&& entries,
                        std::vector<std::string>&& staleTemps) {
    if (m_nEntries + entries.size() > m_nMaxEntries)
        return false;
    // A listing grows by doubling; kept for a while, its slack would cost up to
    // a whole entry per entry.
    if (entries.capacity() - entries.size() > entries.size() / 8)
        entries.shrink_to_fit();
    KEPTDIR& dir = m_dirs[strDir];
    m_nEntries -= dir.entries.size();
    m_nEntries += entries.size();
    dir.entries = std::move(entries);
    dir.staleTemps = std::move(staleTemps);
    return true;
}

bool CKeptListing::Take(const std::string& strDir, std::vector<platform::DirEntry>& entries,
                        std::vector<std::string>& staleTemps) {
    // Items without a guard keep nothing: their listings cost no lookup.
    if (m_dirs.empty())
        return false;
    const auto it = m_dirs.find(strDir);
    if (it == m_dirs.end())
        return false;
    m_nEntries -= it->second.entries.size();
    entries = std::move(it->second.entries);
    staleTemps = std::move(it->second.staleTemps);
    m_dirs.erase(it);
    return true;
}

void CKeptListing::Clear() noexcept {
    m_dirs.clear();
    m_nEntries = 0;
}

} // namespace kovrel
