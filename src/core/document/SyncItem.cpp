#include "document/SyncItem.h"

#include <algorithm>
#include <climits>
#include <new>
#include <utility>

namespace kovrel {

namespace {

// Copies of the non-null arguments, made before the list changes so that running
// out of memory on a copy leaves the list as it was.
OptStr CopyArg(const char* psz) {
    return psz ? OptStr(std::in_place, psz) : std::nullopt;
}

void StoreArg(OptStr& field, OptStr&& value) noexcept {
    if (value)
        field = std::move(value);
}

} // namespace

SYNCITEM* CSyncItemList::GetAt(int nIndex) const noexcept {
    if (nIndex < 0 || nIndex >= m_nCount)
        return nullptr;
    return m_ppItems[static_cast<std::size_t>(nIndex)].get();
}

bool CSyncItemList::Reserve(std::size_t nEntries) noexcept {
    try {
        m_ppItems.reserve(nEntries);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

bool CSyncItemList::Grow() noexcept {
    if (m_nCount < m_nMaxCount)
        return true;
    if (m_nMaxCount > INT_MAX - kGrowBy)
        return false;
    // The capacity callers see goes up 32 entries at a time; the array beneath
    // it doubles, so appending n items copies O(n) pointers in all instead of
    // the whole array every 32 items. When doubling is more than memory allows,
    // the 32 entries alone are tried before giving up.
    const std::size_t nNeeded = static_cast<std::size_t>(m_nMaxCount) + kGrowBy;
    if (m_ppItems.capacity() < nNeeded) {
        const std::size_t nDoubled = std::max(nNeeded, m_ppItems.capacity() * 2);
        if (!Reserve(nDoubled) && !Reserve(nNeeded))
            return false;
    }
    m_nMaxCount += kGrowBy;
    return true;
}

SYNCITEM* CSyncItemList::SetAt(int nIndex, const char* lpszPath1, const char* lpszPath2,
                               const char* lpszPattern) {
    OptStr strPath1 = CopyArg(lpszPath1);
    OptStr strPath2 = CopyArg(lpszPath2);
    OptStr strPattern = CopyArg(lpszPattern);

    if (nIndex < 0 || nIndex >= m_nCount) {
        if (!Grow())
            return nullptr;
        auto pNew = std::make_unique<SYNCITEM>(); // out of memory: raised, list unchanged
        m_ppItems.push_back(std::move(pNew));     // cannot throw: Grow made room
        nIndex = m_nCount++;
    }
    SYNCITEM* pItem = m_ppItems[static_cast<std::size_t>(nIndex)].get();
    StoreArg(pItem->lpszPath1, std::move(strPath1));
    StoreArg(pItem->lpszPath2, std::move(strPath2));
    StoreArg(pItem->lpszPattern, std::move(strPattern));
    return pItem;
}

SYNCITEM* CSyncItemList::InsertAt(int nIndex, const char* lpszPath1, const char* lpszPath2,
                                  const char* lpszPattern) {
    // Callers insert only within 0..count; anything else would write outside the
    // array, so it is refused rather than trusted.
    if (nIndex < 0 || nIndex > m_nCount)
        return nullptr;
    OptStr strPath1 = CopyArg(lpszPath1);
    OptStr strPath2 = CopyArg(lpszPath2);
    OptStr strPattern = CopyArg(lpszPattern);
    if (!Grow())
        return nullptr;
    auto pNew = std::make_unique<SYNCITEM>();
    SYNCITEM* pItem = pNew.get();
    // Within the reserved capacity: moves pointers only and cannot throw.
    m_ppItems.insert(m_ppItems.begin() + nIndex, std::move(pNew));
    ++m_nCount;
    StoreArg(pItem->lpszPath1, std::move(strPath1));
    StoreArg(pItem->lpszPath2, std::move(strPath2));
    StoreArg(pItem->lpszPattern, std::move(strPattern));
    return pItem;
}

void CSyncItemList::RemoveAt(int nIndex) {
    if (nIndex < 0 || nIndex >= m_nCount)
        return;
    m_ppItems.erase(m_ppItems.begin() + nIndex);
    --m_nCount;
}

void CSyncItemList::RemoveAll() {
    std::vector<std::unique_ptr<SYNCITEM>>().swap(m_ppItems);
    m_nCount = 0;
    m_nMaxCount = 0;
}

int CSyncItemList::Swap(int nIndex1, int nIndex2) {
    if (nIndex1 < 0 || nIndex1 >= m_nCount || nIndex2 < 0 || nIndex2 >= m_nCount)
        return -1;
    std::swap(m_ppItems[static_cast<std::size_t>(nIndex1)],
              m_ppItems[static_cast<std::size_t>(nIndex2)]);
    return 0;
}

void CSyncItemList::SwapItems(CSyncItemList& other) noexcept {
    m_ppItems.swap(other.m_ppItems);
    std::swap(m_nCount, other.m_nCount);
    std::swap(m_nMaxCount, other.m_nMaxCount);
}

} // namespace kovrel
