// The listings of an item's directories, read once by the deletion guard's count
// and handed to the pass when it reaches each directory, so that counting what an
// item would delete does not cost a second listing of its trees.
//
// Keyed by the directory's path exactly as the pass builds it (each side's own
// names below the top). A listing is taken out whole when the pass asks for it,
// so its memory goes as the pass goes on, and a directory the pass lists a second
// time (one that changed under a retry) is listed afresh. A directory that could
// not be listed while counting is never kept: the pass lists it itself and
// reports the failure where it always did.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/FileSystem.h"

namespace kovrel {

class CKeptListing {
public:
    // At about 130 bytes an entry, a million entries keep some 130 MB: trees
    // larger than that are counted all the same, but what lies beyond the
    // limit is listed again by the pass instead of held in memory.
    static constexpr std::size_t kDefaultMaxEntries = 1'000'000;

    explicit CKeptListing(std::size_t nMaxEntries = kDefaultMaxEntries)
        : m_nMaxEntries(nMaxEntries) {}

    // Keeps a directory's entries (sorted as the pass wants them) and the
    // abandoned copy temporaries its listing reported, which the pass deletes
    // when it takes the listing, as it would after listing it itself. False
    // (nothing kept, the arguments left as they were) when that would pass the
    // limit.
    bool Keep(const std::string& strDir, std::vector<platform::DirEntry>&& entries,
              std::vector<std::string>&& staleTemps);

    // Moves the kept listing of strDir out into entries and staleTemps; false
    // (both left as they are) when none is kept.
    bool Take(const std::string& strDir, std::vector<platform::DirEntry>& entries,
              std::vector<std::string>& staleTemps);

    void Clear() noexcept;
    bool Empty() const noexcept { return m_dirs.empty(); }
    std::size_t DirCount() const noexcept { return m_dirs.size(); }
    std::size_t EntryCount() const noexcept { return m_nEntries; }

private:
    struct KEPTDIR {
        std::vector<platform::DirEntry> entries;
        std::vector<std::string> staleTemps;
    };
    std::unordered_map<std::string, KEPTDIR> m_dirs;
    std::size_t m_nEntries = 0;
    std::size_t m_nMaxEntries;
};

} // namespace kovrel
