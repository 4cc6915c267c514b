#include "document/SyncItem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "support/HookedAllocator.h"

namespace kovrel {
namespace {

// Every allocation between construction and destruction fails.
class CFailAllocations {
public:
    CFailAllocations() { test::g_bFailAllocations = true; }
    ~CFailAllocations() { test::g_bFailAllocations = false; }
    CFailAllocations(const CFailAllocations&) = delete;
    CFailAllocations& operator=(const CFailAllocations&) = delete;
};

void Fill(CSyncItemList& list, int n) {
    for (int i = 0; i < n; ++i) {
        const std::string s = std::to_string(i);
        ASSERT_NE(list.SetAt(-1, s.c_str(), ("/b/" + s).c_str(), nullptr), nullptr);
    }
}

std::vector<SYNCITEM*> Pointers(const CSyncItemList& list) {
    std::vector<SYNCITEM*> out;
    for (int i = 0; i < list.GetCount(); ++i)
        out.push_back(list.GetAt(i));
    return out;
}

TEST(SyncItemList, StartsEmpty) {
    CSyncItemList list;
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetMaxCount(), 0);
    EXPECT_TRUE(list.m_strDocLog.empty());
    EXPECT_EQ(list.GetAt(0), nullptr);
}

TEST(SyncItemList, AppendOnEmptyListAllocatesThirtyTwoEntries) {
    CSyncItemList list;
    SYNCITEM* p = list.SetAt(-1, "/a", "/b", nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetMaxCount(), 32);
    EXPECT_EQ(list.GetAt(0), p);
    EXPECT_EQ(p->lpszPath1, "/a");
    EXPECT_EQ(p->lpszPath2, "/b");
    EXPECT_EQ(p->dwOption, 0u);
    EXPECT_FALSE(p->lpszPattern.has_value());
}

TEST(SyncItemList, ThirtyThirdItemGrowsByThirtyTwoAndKeepsRecords) {
    CSyncItemList list;
    Fill(list, 32);
    EXPECT_EQ(list.GetMaxCount(), 32);
    const std::vector<SYNCITEM*> before = Pointers(list);
    // An index at or past the count appends as well.
    ASSERT_NE(list.SetAt(32, "x", "y", nullptr), nullptr);
    EXPECT_EQ(list.GetCount(), 33);
    EXPECT_EQ(list.GetMaxCount(), 64);
    const std::vector<SYNCITEM*> after = Pointers(list);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
    Fill(list, 32);
    EXPECT_EQ(list.GetCount(), 65);
    EXPECT_EQ(list.GetMaxCount(), 96);
}

TEST(SyncItemList, SetAtLeavesNullArgumentsAndTheOptionWordAlone) {
    CSyncItemList list;
    SYNCITEM* p = list.SetAt(-1, "/a", "/b", "*.c");
    p->dwOption = 0x100;
    EXPECT_EQ(list.SetAt(0, nullptr, "/new", nullptr), p);
    EXPECT_EQ(p->lpszPath1, "/a");
    EXPECT_EQ(p->lpszPath2, "/new");
    EXPECT_EQ(p->lpszPattern, "*.c");
    EXPECT_EQ(p->dwOption, 0x100u);
    EXPECT_EQ(list.GetCount(), 1);
}

TEST(SyncItemList, EmptyArgumentStoresEmptyNotNull) {
    CSyncItemList list;
    list.SetAt(-1, "/a", "/b", "*.c");
    list.SetAt(0, "", nullptr, "");
    const SYNCITEM* p = list.GetAt(0);
    ASSERT_TRUE(p->lpszPath1.has_value());
    EXPECT_EQ(*p->lpszPath1, "");
    ASSERT_TRUE(p->lpszPattern.has_value());
    EXPECT_EQ(*p->lpszPattern, "");
    EXPECT_EQ(p->lpszPath2, "/b");
}

TEST(SyncItemList, InsertAtFrontShiftsEntriesUp) {
    CSyncItemList list;
    Fill(list, 3);
    const std::vector<SYNCITEM*> before = Pointers(list);
    SYNCITEM* p = list.InsertAt(0, "", "", nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(list.GetCount(), 4);
    EXPECT_EQ(list.GetAt(0), p);
    EXPECT_EQ(p->lpszPath1, "");
    EXPECT_EQ(p->lpszPath2, "");
    EXPECT_FALSE(p->lpszPattern.has_value());
    EXPECT_EQ(p->dwOption, 0u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(list.GetAt(i + 1), before[static_cast<std::size_t>(i)]);
}

TEST(SyncItemList, InsertAtCountAppendsAndOutsideIsRefused) {
    CSyncItemList list;
    Fill(list, 2);
    SYNCITEM* p = list.InsertAt(2, "z", nullptr, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(list.GetAt(2), p);
    EXPECT_FALSE(p->lpszPath2.has_value());
    EXPECT_EQ(list.InsertAt(4, "x", "y", nullptr), nullptr);
    EXPECT_EQ(list.InsertAt(-1, "x", "y", nullptr), nullptr);
    EXPECT_EQ(list.GetCount(), 3);
}

TEST(SyncItemList, InsertAtGrowsAtTheThirtyThirdEntry) {
    CSyncItemList list;
    Fill(list, 32);
    ASSERT_NE(list.InsertAt(5, "i", "j", nullptr), nullptr);
    EXPECT_EQ(list.GetMaxCount(), 64);
    EXPECT_EQ(list.GetAt(5)->lpszPath1, "i");
    EXPECT_EQ(list.GetAt(6)->lpszPath1, "5");
}

TEST(SyncItemList, RemoveAtMovesLaterEntriesDownAndKeepsCapacity) {
    CSyncItemList list;
    Fill(list, 4);
    const std::vector<SYNCITEM*> before = Pointers(list);
    list.RemoveAt(1);
    EXPECT_EQ(Pointers(list), (std::vector<SYNCITEM*>{before[0], before[2], before[3]}));
    list.RemoveAt(2); // the last one
    EXPECT_EQ(Pointers(list), (std::vector<SYNCITEM*>{before[0], before[2]}));
    EXPECT_EQ(list.GetMaxCount(), 32);
    // Outside the list nothing happens.
    list.RemoveAt(2);
    list.RemoveAt(-1);
    EXPECT_EQ(list.GetCount(), 2);
}

TEST(SyncItemList, RemoveAllFreesItemsButKeepsDocLog) {
    CSyncItemList list;
    Fill(list, 40);
    list.m_strDocLog = "a/var/log/x.log";
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetMaxCount(), 0);
    EXPECT_EQ(list.GetAt(0), nullptr);
    EXPECT_EQ(list.m_strDocLog, "a/var/log/x.log");
    // Usable again from scratch.
    ASSERT_NE(list.SetAt(-1, "a", "b", nullptr), nullptr);
    EXPECT_EQ(list.GetMaxCount(), 32);
}

struct SwapCase {
    const char* pszName;
    int nIndex1;
    int nIndex2;
    int nResult;
    std::vector<int> order; // resulting order of the original entries 0, 1, 2
};

class SyncItemListSwap : public ::testing::TestWithParam<SwapCase> {};

TEST_P(SyncItemListSwap, ExchangesOrRefuses) {
    const SwapCase& c = GetParam();
    CSyncItemList list;
    Fill(list, 3);
    const std::vector<SYNCITEM*> before = Pointers(list);
    EXPECT_EQ(list.Swap(c.nIndex1, c.nIndex2), c.nResult);
    std::vector<SYNCITEM*> expected;
    for (int i : c.order)
        expected.push_back(before[static_cast<std::size_t>(i)]);
    EXPECT_EQ(Pointers(list), expected);
}

INSTANTIATE_TEST_SUITE_P(Table, SyncItemListSwap,
                         ::testing::Values(SwapCase{"Neighbours", 0, 1, 0, {1, 0, 2}},
                                           SwapCase{"Ends", 2, 0, 0, {2, 1, 0}},
                                           SwapCase{"Itself", 1, 1, 0, {0, 1, 2}},
                                           SwapCase{"SecondAtCount", 0, 3, -1, {0, 1, 2}},
                                           SwapCase{"FirstNegative", -1, 0, -1, {0, 1, 2}}),
                         [](const auto& tpi) { return std::string(tpi.param.pszName); });

TEST(SyncItemList, GetAtOutsideIsNull) {
    CSyncItemList list;
    Fill(list, 2);
    EXPECT_EQ(list.GetAt(-1), nullptr);
    EXPECT_EQ(list.GetAt(2), nullptr);
    EXPECT_NE(list.GetAt(1), nullptr);
}

TEST(SyncItemList, SwapItemsExchangesRecordsButNotDocLog) {
    CSyncItemList a;
    CSyncItemList b;
    Fill(a, 33);
    a.m_strDocLog = "wa.log";
    b.m_strDocLog = "wb.log";
    SYNCITEM* p = a.GetAt(0);
    a.SwapItems(b);
    EXPECT_EQ(a.GetCount(), 0);
    EXPECT_EQ(a.GetMaxCount(), 0);
    EXPECT_EQ(b.GetCount(), 33);
    EXPECT_EQ(b.GetMaxCount(), 64);
    EXPECT_EQ(b.GetAt(0), p);
    EXPECT_EQ(a.m_strDocLog, "wa.log");
    EXPECT_EQ(b.m_strDocLog, "wb.log");
}

// Appending copies the pointer array only a logarithmic number of times, so a
// long document loads in linear time, while the capacity callers see still
// steps by 32. Every array of 128 pointers or more is counted: records and
// path copies are far smaller.
TEST(SyncItemList, AppendingManyItemsReallocatesTheArrayRarely) {
    constexpr int kItems = 50000;
    CSyncItemList list;
    test::g_nCounted = 0;
    test::g_nCountFrom = 128 * sizeof(void*);
    for (int i = 0; i < kItems; ++i) {
        if (list.SetAt(-1, "", "", nullptr) == nullptr)
            break;
        if (list.GetMaxCount() != (i / 32 + 1) * 32) {
            ADD_FAILURE() << "capacity " << list.GetMaxCount() << " with " << i + 1 << " items";
            break;
        }
    }
    test::g_nCountFrom = 0;
    EXPECT_EQ(list.GetCount(), kItems);
    // Doubling from 128 to 65,536 pointers: 10 arrays; growing by 32: over 1,500.
    EXPECT_LE(test::g_nCounted.load(), 12u);
    // Inserting at the front goes through the same growth.
    test::g_nCounted = 0;
    test::g_nCountFrom = 128 * sizeof(void*);
    for (int i = 0; i < 64; ++i)
        ASSERT_NE(list.InsertAt(0, "x", "y", nullptr), nullptr);
    test::g_nCountFrom = 0;
    EXPECT_EQ(list.GetMaxCount(), (list.GetCount() + 31) / 32 * 32);
    EXPECT_LE(test::g_nCounted.load(), 1u);
    EXPECT_EQ(list.GetAt(64)->lpszPath1, "");
}

// --- running out of memory -------------------------------------------------

TEST(SyncItemListOutOfMemory, FirstArrayCannotBeAllocated) {
    CSyncItemList list;
    SYNCITEM* p = nullptr;
    {
        CFailAllocations fail;
        p = list.SetAt(-1, nullptr, nullptr, nullptr);
    }
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetMaxCount(), 0);
}

TEST(SyncItemListOutOfMemory, ArrayCannotGrowOnAppendOrInsert) {
    CSyncItemList list;
    Fill(list, 32);
    const std::vector<SYNCITEM*> before = Pointers(list);
    SYNCITEM* pAppended = nullptr;
    SYNCITEM* pInserted = nullptr;
    {
        CFailAllocations fail;
        pAppended = list.SetAt(-1, nullptr, nullptr, nullptr);
        pInserted = list.InsertAt(0, nullptr, nullptr, nullptr);
    }
    EXPECT_EQ(pAppended, nullptr);
    EXPECT_EQ(pInserted, nullptr);
    EXPECT_EQ(list.GetCount(), 32);
    EXPECT_EQ(list.GetMaxCount(), 32);
    EXPECT_EQ(Pointers(list), before);
    // Once memory is back the list grows as usual.
    EXPECT_NE(list.SetAt(-1, "a", "b", nullptr), nullptr);
    EXPECT_EQ(list.GetMaxCount(), 64);
}

TEST(SyncItemListOutOfMemory, RecordOrStringCopyRaisesAndChangesNothing) {
    CSyncItemList list;
    list.SetAt(-1, "/a", "/b", "*.c");
    bool bRecordThrew = false;
    bool bCopyThrew = false;
    {
        CFailAllocations fail;
        try {
            list.SetAt(-1, nullptr, nullptr, nullptr); // room in the array, no record
        } catch (const std::bad_alloc&) {
            bRecordThrew = true;
        }
        try {
            // Long enough to need the heap for its copy.
            list.SetAt(0, "/a-path-much-longer-than-any-small-string-buffer", nullptr, nullptr);
        } catch (const std::bad_alloc&) {
            bCopyThrew = true;
        }
    }
    EXPECT_TRUE(bRecordThrew);
    EXPECT_TRUE(bCopyThrew);
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetAt(0)->lpszPath1, "/a");
    EXPECT_EQ(list.GetAt(0)->lpszPattern, "*.c");
}

} // namespace
} // namespace kovrel
