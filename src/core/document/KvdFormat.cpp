#include "document/KvdFormat.h"

#include "text/Cp932.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <new>
#include <stdexcept>

namespace kovrel {

namespace {

// The smallest item record each layout can have: two empty strings and the
// option word, plus the end mark in layout 1.0. A count that would need more
// bytes than are left is refused before a single item is read.
constexpr std::size_t kMinItemBytes00 = 1 + 1 + 4;
constexpr std::size_t kMinItemBytes10 = kMinItemBytes00 + 1;

struct CArchiveError {};

// Reads the archive's encodings from a byte buffer. Every read checks what is
// left first, so a lying length can neither run past the end nor make the
// reader allocate for data that is not there.
class CArchiveReader {
public:
    explicit CArchiveReader(std::string_view data) : m_data(data) {}

    std::size_t Remaining() const noexcept { return m_data.size() - m_nPos; }

    std::uint8_t Byte() {
        Need(1);
        return static_cast<std::uint8_t>(m_data[m_nPos++]);
    }

    std::uint16_t Word() {
        Need(2);
        const auto lo = static_cast<std::uint8_t>(m_data[m_nPos]);
        const auto hi = static_cast<std::uint8_t>(m_data[m_nPos + 1]);
        m_nPos += 2;
        return static_cast<std::uint16_t>(lo | (hi << 8));
    }

    std::uint32_t Dword() {
        Need(4);
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i)
            n = (n << 8) | static_cast<std::uint8_t>(m_data[m_nPos + static_cast<std::size_t>(i)]);
        m_nPos += 4;
        return n;
    }

    void Skip(std::size_t n) {
        Need(n);
        m_nPos += n;
    }

    // An archive string, converted to UTF-8.
    std::string String() {
        bool bWide = false;
        std::uint32_t nLen = Byte();
        if (nLen == 0xFF) {
            nLen = Word();
            if (nLen == 0xFFFE) {
                // 16-bit characters; a second prefix counts them. As the archive
                // has always done, its word form takes 0xFFFE as a plain length.
                bWide = true;
                nLen = Byte();
                if (nLen == 0xFF) {
                    nLen = Word();
                    if (nLen == 0xFFFF)
                        nLen = Dword();
                }
            } else if (nLen == 0xFFFF) {
                nLen = Dword();
            }
        }
        if (!bWide) {
            Need(nLen);
            const std::string_view raw = m_data.substr(m_nPos, nLen);
            m_nPos += nLen;
            return text::Cp932ToUtf8Lossless(raw);
        }
        Need(std::uint64_t{nLen} * 2);
        std::u16string wide(nLen, u'\0');
        for (std::size_t i = 0; i < nLen; ++i) {
            const auto lo = static_cast<std::uint8_t>(m_data[m_nPos + 2 * i]);
            const auto hi = static_cast<std::uint8_t>(m_data[m_nPos + 2 * i + 1]);
            wide[i] = static_cast<char16_t>(lo | (hi << 8));
        }
        m_nPos += std::size_t{nLen} * 2;
        return text::Utf16ToUtf8Lossless(wide);
    }

    // Steps over one section's elements after its kind, id and count.
    void SkipElements(std::uint8_t nKind, std::uint16_t nCount) {
        if (nKind == KVD_KIND_STRINGS) {
            for (unsigned i = 0; i < nCount; ++i)
                (void)String();
        } else {
            Skip(std::size_t{nCount} * 2);
        }
    }

private:
    void Need(std::uint64_t n) const {
        if (n > Remaining())
            throw CArchiveError{};
    }

    std::string_view m_data;
    std::size_t m_nPos = 0;
};

// strtol in base 10 over s, saturating at the 32-bit range.
std::int32_t ParseLong(std::string_view s) noexcept {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r')))
        ++i;
    bool bNeg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        bNeg = s[i] == '-';
        ++i;
    }
    std::int64_t n = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        n = n * 10 + (s[i] - '0');
        if (n > std::int64_t{INT32_MAX} + 1)
            n = std::int64_t{INT32_MAX} + 1; // stays saturated
    }
    if (bNeg)
        n = -n;
    if (n > INT32_MAX)
        return INT32_MAX;
    if (n < INT32_MIN)
        return INT32_MIN;
    return static_cast<std::int32_t>(n);
}

void ReadItems10(CArchiveReader& ar, std::int32_t nCount, CSyncItemList& list) {
    for (std::int32_t n = 0; n < nCount; ++n) {
        const std::string strPath1 = ar.String();
        const std::string strPath2 = ar.String();
        const std::uint32_t dwOption = ar.Dword();
        std::string strPattern;
        for (std::uint8_t nKind = ar.Byte(); nKind != 0; nKind = ar.Byte()) {
            const std::uint8_t nId = ar.Byte();
            const std::uint16_t nElems = ar.Word();
            if (nKind == KVD_KIND_STRINGS && nId == KVD_ID_PATTERN && nElems == 1)
                strPattern = ar.String();
            else
                ar.SkipElements(nKind, nElems);
        }
        SYNCITEM* pItem = list.SetAt(-1, strPath1.c_str(), strPath2.c_str(), strPattern.c_str());
        if (!pItem)
            throw std::bad_alloc();
        pItem->dwOption = dwOption;
    }
}

void ReadDocSections10(CArchiveReader& ar, std::string& strDocLog) {
    for (std::uint8_t nKind = ar.Byte(); nKind != 0; nKind = ar.Byte()) {
        const std::uint8_t nId = ar.Byte();
        std::uint16_t nElems = ar.Word();
        if (nKind == KVD_KIND_STRINGS && nId == KVD_ID_DOCLOG && nElems >= 1) {
            // The log setting is the section's first string. The rest, if a
            // section ever declares more, is stepped over as declared so the
            // reader stays in step with the file.
            const std::string str = ar.String();
            strDocLog = str.c_str();
            --nElems;
        }
        ar.SkipElements(nKind, nElems);
    }
}

void ReadItems00(CArchiveReader& ar, std::int32_t nCount, CSyncItemList& list) {
    for (std::int32_t n = 0; n < nCount; ++n) {
        const std::string strPath1 = ar.String();
        const std::string strPath2 = ar.String();
        const std::uint32_t dwOption = ar.Dword();
        SYNCITEM* pItem = list.SetAt(-1, strPath1.c_str(), strPath2.c_str(), nullptr);
        if (!pItem)
            throw std::bad_alloc();
        pItem->dwOption = dwOption;
    }
}

void AppendWord(std::string& out, std::uint16_t w) {
    out += static_cast<char>(w & 0xFF);
    out += static_cast<char>(w >> 8);
}

void AppendDword(std::string& out, std::uint32_t n) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((n >> (8 * i)) & 0xFF);
}

void AppendStringSection(std::string& out, std::uint8_t nId, std::string_view strUtf8) {
    out += static_cast<char>(KVD_KIND_STRINGS);
    out += static_cast<char>(nId);
    AppendWord(out, 1);
    AppendArchiveString(out, strUtf8);
}

// An archive error: the list and its log setting end up empty, the version
// stays as it was.
KvdReadResult Failed(KvdReadResult& res, KvdFault eFault, CSyncItemList& list) noexcept {
    res.eStatus = KvdStatus::ArchiveError;
    res.eFault = eFault;
    list.RemoveAll();
    list.m_strDocLog.clear();
    return res;
}

std::string_view FieldText(const OptStr& str) noexcept {
    return str ? std::string_view(*str) : std::string_view();
}

} // namespace

KvdHeaderInfo ParseKvdHeader(std::string_view strHeader) {
    KvdHeaderInfo info;
    info.bMagic = strHeader.substr(0, KVD_MAGIC.size()) == KVD_MAGIC;
    if (!info.bMagic)
        return info;
    const std::size_t nDot = strHeader.find('.');
    if (nDot == std::string_view::npos)
        return info;
    info.nMajor = ParseLong(strHeader.substr(KVD_MAGIC.size(), nDot - KVD_MAGIC.size()));
    info.nMinor = ParseLong(strHeader.substr(nDot + 1));
    const std::int64_t nVersion = std::int64_t{info.nMajor} * 256 + info.nMinor;
    info.nFileVersion = nVersion > INT32_MAX   ? INT32_MAX
                        : nVersion < INT32_MIN ? INT32_MIN
                                               : static_cast<int>(nVersion);
    return info;
}

KvdReadResult ReadKvd(std::string_view data, CSyncItemList& list, int& nFileVersion) {
    KvdReadResult res;
    list.RemoveAll();
    if (data.empty())
        return res;

    CArchiveReader ar(data);
    CSyncItemList listRead;
    std::string strDocLog;
    try {
        res.header = ParseKvdHeader(ar.String());
        res.bHasHeader = true;
        if (!res.header.bMagic) {
            res.eStatus = KvdStatus::ForeignHeader;
            return res;
        }
        const KvdLayout eLayout = LayoutForVersion(res.header.nFileVersion);
        const auto nCount = static_cast<std::int32_t>(ar.Dword());
        const std::size_t nMinItem = eLayout == KvdLayout::V1_0 ? kMinItemBytes10 : kMinItemBytes00;
        if (nCount > 0 && static_cast<std::size_t>(nCount) > ar.Remaining() / nMinItem)
            throw CArchiveError{};
        if (eLayout == KvdLayout::V1_0) {
            ReadItems10(ar, nCount, listRead);
            ReadDocSections10(ar, strDocLog);
        } else {
            ReadItems00(ar, nCount, listRead);
        }
    } catch (const CArchiveError&) {
        return Failed(res, KvdFault::Damaged, list);
    } catch (const std::bad_alloc&) {
        // The bytes are all there, but not the memory for the items they hold:
        // the partial list goes with listRead and the open fails as cleanly as
        // for a damaged file.
        return Failed(res, KvdFault::OutOfMemory, list);
    }
    list.SwapItems(listRead);
    list.m_strDocLog = std::move(strDocLog);
    nFileVersion = res.header.nFileVersion;
    return res;
}

void AppendArchiveLength(std::string& out, std::uint32_t nLength) {
    if (nLength < 0xFF) {
        out += static_cast<char>(nLength);
    } else if (nLength < 0xFFFE) {
        out += '\xFF';
        AppendWord(out, static_cast<std::uint16_t>(nLength));
    } else {
        out += '\xFF';
        AppendWord(out, 0xFFFF);
        AppendDword(out, nLength);
    }
}

void AppendArchiveString(std::string& out, std::string_view strUtf8) {
    text::Cp932Result cp = text::Utf8ToCp932(strUtf8);
    if (cp.bOk) {
        if (cp.strText.size() > UINT32_MAX)
            throw std::length_error("text too long for a document");
        AppendArchiveLength(out, static_cast<std::uint32_t>(cp.strText.size()));
        out += cp.strText;
        return;
    }
    const std::u16string wide = text::Utf8ToUtf16Lossless(strUtf8);
    if (wide.size() > UINT32_MAX)
        throw std::length_error("text too long for a document");
    out += '\xFF';
    AppendWord(out, 0xFFFE);
    AppendArchiveLength(out, static_cast<std::uint32_t>(wide.size()));
    for (const char16_t c : wide)
        AppendWord(out, static_cast<std::uint16_t>(c));
}

std::string WriteKvd(const CSyncItemList& list, int nFileVersion) {
    const KvdLayout eLayout = LayoutForVersion(nFileVersion);
    std::string out;
    AppendArchiveString(out, eLayout == KvdLayout::V1_0 ? KVD_HEADER_1_0 : KVD_HEADER_0_0);
    const int nCount = list.GetCount();
    AppendDword(out, static_cast<std::uint32_t>(nCount));
    for (int i = 0; i < nCount; ++i) {
        const SYNCITEM* pItem = list.GetAt(i);
        AppendArchiveString(out, FieldText(pItem->lpszPath1));
        AppendArchiveString(out, FieldText(pItem->lpszPath2));
        AppendDword(out, pItem->dwOption);
        if (eLayout == KvdLayout::V1_0) {
            if (pItem->lpszPattern && !pItem->lpszPattern->empty())
                AppendStringSection(out, KVD_ID_PATTERN, *pItem->lpszPattern);
            out += '\0';
        }
    }
    if (eLayout == KvdLayout::V1_0) {
        if (!list.m_strDocLog.empty())
            AppendStringSection(out, KVD_ID_DOCLOG, list.m_strDocLog);
        out += '\0';
    }
    return out;
}

} // namespace kovrel
