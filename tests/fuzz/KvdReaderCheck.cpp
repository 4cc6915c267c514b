#include "KvdReaderCheck.h"

#include "document/KvdFormat.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace kovrel::fuzz {

namespace {

[[noreturn]] void Fail(const char* pszWhat) {
    std::fprintf(stderr, "document reader guarantee broken: %s\n", pszWhat);
    std::abort();
}

void Require(bool bOk, const char* pszWhat) {
    if (!bOk)
        Fail(pszWhat);
}

bool SameItems(const CSyncItemList& a, const CSyncItemList& b) {
    if (a.GetCount() != b.GetCount())
        return false;
    for (int i = 0; i < a.GetCount(); ++i) {
        const SYNCITEM* p = a.GetAt(i);
        const SYNCITEM* q = b.GetAt(i);
        if (p->lpszPath1 != q->lpszPath1 || p->lpszPath2 != q->lpszPath2 ||
            p->dwOption != q->dwOption || p->lpszPattern != q->lpszPattern)
            return false;
    }
    return true;
}

constexpr int kVersionBefore = 0x105;
constexpr const char* kDocLogBefore = "wbefore.log";

} // namespace

void CheckKvdReader(const std::uint8_t* pData, std::size_t nSize) {
    const std::string_view data(reinterpret_cast<const char*>(pData), nSize);

    // Start from a list that holds something, so leftovers would show.
    CSyncItemList list;
    list.SetAt(-1, "/before/1", "/before/2", "*.before");
    list.SetAt(-1, "/before/3", "", nullptr);
    list.m_strDocLog = kDocLogBefore;
    int nVersion = kVersionBefore;

    const KvdReadResult r = ReadKvd(data, list, nVersion);
    switch (r.eStatus) {
    case KvdStatus::ForeignHeader:
        Require(list.GetCount() == 0, "items left after a foreign header");
        Require(list.m_strDocLog == kDocLogBefore, "log setting changed by a foreign header");
        Require(nVersion == kVersionBefore, "version changed by a foreign header");
        return;
    case KvdStatus::ArchiveError:
        Require(list.GetCount() == 0, "items left after a failed read");
        Require(list.m_strDocLog.empty(), "log setting left after a failed read");
        Require(nVersion == kVersionBefore, "version changed by a failed read");
        return;
    case KvdStatus::Ok:
        break;
    }
    if (nSize == 0) {
        Require(list.GetCount() == 0 && nVersion == kVersionBefore, "zero bytes read as data");
        return;
    }
    Require(r.bHasHeader && r.header.bMagic, "read without a valid header");
    Require(nVersion == r.header.nFileVersion, "version not taken from the header");
    for (int i = 0; i < list.GetCount(); ++i) {
        const SYNCITEM* p = list.GetAt(i);
        Require(p->lpszPath1 && p->lpszPath2, "a path read as null");
        Require(p->lpszPattern.has_value() == (nVersion == KVD_VERSION_1_0),
                "pattern null in layout 1.0 or set in layout 0.0");
    }

    // Save and reopen: the same items, and a second save gives the same bytes.
    const std::string saved = WriteKvd(list, nVersion);
    CSyncItemList again;
    int nVersionAgain = 0;
    Require(ReadKvd(saved, again, nVersionAgain).eStatus == KvdStatus::Ok,
            "saved document does not reopen");
    Require(nVersionAgain == (nVersion == KVD_VERSION_1_0 ? KVD_VERSION_1_0 : 0),
            "saved document has the wrong version");
    Require(SameItems(list, again), "items changed by save and reopen");
    Require(again.m_strDocLog == list.m_strDocLog, "log setting changed by save and reopen");
    Require(WriteKvd(again, nVersion) == saved, "second save differs");
}

} // namespace kovrel::fuzz
