// One sync item and the ordered list of them that a document holds.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/SyncOptions.h"

namespace kovrel {

// A string field that may be null (not set) as well as empty: both mean "not
// set" for a path, but the difference survives editing and saving.
using OptStr = std::optional<std::string>;

struct SYNCITEM {
    OptStr lpszPath1;
    OptStr lpszPath2;
    std::uint32_t dwOption = 0; // the option word, read through CSyncOptions
    OptStr lpszPattern;         // pattern text, lines separated by line feeds; null or empty: none
};

// The list owns every record; a record pointer handed out stays valid until that
// record is removed, since moving entries moves pointers only.
class CSyncItemList {
public:
    static constexpr int kGrowBy = 32;

    CSyncItemList() = default;
    ~CSyncItemList() { RemoveAll(); }
    CSyncItemList(const CSyncItemList&) = delete;
    CSyncItemList& operator=(const CSyncItemList&) = delete;

    int GetCount() const noexcept { return m_nCount; }
    int GetMaxCount() const noexcept { return m_nMaxCount; }

    // Null when nIndex is outside 0..count-1.
    SYNCITEM* GetAt(int nIndex) const noexcept;

    // Sets entry nIndex; an index outside 0..count-1 appends a new record first.
    // A null argument leaves its field unchanged; an empty one stores an empty
    // string. Null when the array cannot grow (the list is then unchanged).
    SYNCITEM* SetAt(int nIndex, const char* lpszPath1, const char* lpszPath2,
                    const char* lpszPattern);

    // Inserts a new record as entry nIndex (0..count), then sets it like SetAt.
    // Null, with the list unchanged, when the array cannot grow or nIndex lies
    // outside 0..count.
    SYNCITEM* InsertAt(int nIndex, const char* lpszPath1, const char* lpszPath2,
                       const char* lpszPattern);

    // Frees entry nIndex (0..count-1); later entries move down. An index
    // outside the list changes nothing.
    void RemoveAt(int nIndex);
    // Frees every record and the array; m_strDocLog stays.
    void RemoveAll();
    // Exchanges two entries: 0, or -1 (and no change) when either index is out
    // of range. Kept as a number, not a bool: callers test it against 0.
    [[nodiscard]] int Swap(int nIndex1, int nIndex2);

    // Exchanges the items (records, count and capacity) with another list;
    // m_strDocLog stays with each list. A document is read into a list of its
    // own and swapped in only once it has been read completely.
    void SwapItems(CSyncItemList& other) noexcept;

    // The document's own log file setting: a mode letter ("w" or "a") and the
    // path at once after it; empty means none.
    std::string m_strDocLog;

private:
    // Makes room for one more entry, 32 entries at a time. False (and nothing
    // changed) when the array cannot grow.
    bool Grow() noexcept;

    std::vector<std::unique_ptr<SYNCITEM>> m_ppItems;
    int m_nCount = 0;
    int m_nMaxCount = 0;
};

} // namespace kovrel
