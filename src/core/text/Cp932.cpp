#include "text/Cp932.h"

#include "text/Utf8.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace kovrel::text {

namespace {

// One conversion direction. iconv descriptors carry state and must not be
// shared between threads, so each thread opens its own pair once.
class CIconv {
public:
    CIconv(const char* pszTo, const char* pszFrom) : m_cd(iconv_open(pszTo, pszFrom)) {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert from ") + pszFrom + " to " +
                                     pszTo);
    }
    ~CIconv() { iconv_close(m_cd); }
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;

    // Converts as much of strIn as it can, appending to strOut. Returns the
    // number of input bytes taken; when that is less than strIn.size(), the
    // byte at that offset starts a sequence that cannot be converted.
    std::size_t Convert(std::string_view strIn, std::string& strOut) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr); // back to the initial state
        char* pIn = const_cast<char*>(strIn.data());     // iconv never writes through it
        std::size_t nInLeft = strIn.size();
        char buf[1024];
        while (nInLeft > 0) {
            char* pOut = buf;
            std::size_t nOutLeft = sizeof buf;
            const std::size_t r = iconv(m_cd, &pIn, &nInLeft, &pOut, &nOutLeft);
            const int nErr = errno;
            strOut.append(buf, static_cast<std::size_t>(pOut - buf));
            if (r != static_cast<std::size_t>(-1))
                continue;
            if (nErr == E2BIG)
                continue;
            break; // EILSEQ or EINVAL (cut-off sequence): stop at the offending byte
        }
        return strIn.size() - nInLeft;
    }

private:
    iconv_t m_cd;
};

CIconv& ToCp932() {
    thread_local CIconv cv("CP932", "UTF-8");
    return cv;
}

CIconv& FromCp932() {
    thread_local CIconv cv("UTF-8", "CP932");
    return cv;
}

bool IsLeadByte(unsigned char c) noexcept {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool IsTrailByte(unsigned char c) noexcept {
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

// Offset of the first byte that is not part of a well-formed UTF-8 character,
// or npos.
std::size_t FirstMalformed(std::string_view s) noexcept {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = CharLen(s, i);
        if (n == 1 && static_cast<unsigned char>(s[i]) >= 0x80)
            return i;
        i += n;
    }
    return std::string_view::npos;
}

// True when the single character survives the trip there and back unchanged.
bool CharRoundTrips(std::string_view ch) {
    std::string strCp;
    if (ToCp932().Convert(ch, strCp) != ch.size())
        return false;
    std::string strBack;
    if (FromCp932().Convert(strCp, strBack) != strCp.size())
        return false;
    return strBack == ch;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one well-formed UTF-8 character of length n (as CharLen found it).
char32_t DecodeUtf8(const unsigned char* p, std::size_t n) noexcept {
    switch (n) {
    case 1:
        return p[0];
    case 2:
        return (char32_t{p[0] & 0x1Fu} << 6) | (p[1] & 0x3Fu);
    case 3:
        return (char32_t{p[0] & 0x0Fu} << 12) | (char32_t{p[1] & 0x3Fu} << 6) | (p[2] & 0x3Fu);
    default:
        return (char32_t{p[0] & 0x07u} << 18) | (char32_t{p[1] & 0x3Fu} << 12) |
               (char32_t{p[2] & 0x3Fu} << 6) | (p[3] & 0x3Fu);
    }
}

} // namespace

Cp932Result Utf8ToCp932(std::string_view strUtf8) {
    Cp932Result res;
    if (const std::size_t nBad = FirstMalformed(strUtf8); nBad != std::string_view::npos) {
        res.nBadPos = nBad;
        return res;
    }
    const std::size_t nTaken = ToCp932().Convert(strUtf8, res.strText);
    if (nTaken != strUtf8.size()) {
        res.strText.clear();
        res.nBadPos = nTaken;
        return res;
    }
    std::string strBack;
    if (FromCp932().Convert(res.strText, strBack) == res.strText.size() && strBack == strUtf8) {
        res.bOk = true;
        return res;
    }
    // Some character came back as another one: find the first such character.
    res.strText.clear();
    res.nBadPos = strUtf8.size();
    for (std::size_t i = 0; i < strUtf8.size();) {
        const std::size_t n = CharLen(strUtf8, i);
        if (!CharRoundTrips(strUtf8.substr(i, n))) {
            res.nBadPos = i;
            break;
        }
        i += n;
    }
    return res;
}

Cp932Result Cp932ToUtf8(std::string_view strCp932) {
    Cp932Result res;
    const std::size_t nTaken = FromCp932().Convert(strCp932, res.strText);
    if (nTaken != strCp932.size()) {
        res.strText.clear();
        res.nBadPos = nTaken;
        return res;
    }
    res.bOk = true;
    return res;
}

std::string Cp932ToUtf8Lossless(std::string_view strCp932) {
    std::string out;
    out.reserve(strCp932.size());
    std::size_t nPos = 0;
    while (nPos < strCp932.size()) {
        nPos += FromCp932().Convert(strCp932.substr(nPos), out);
        if (nPos >= strCp932.size())
            break;
        const auto c = static_cast<unsigned char>(strCp932[nPos]);
        std::size_t nRaw = 1;
        if (IsLeadByte(c) && nPos + 1 < strCp932.size() &&
            IsTrailByte(static_cast<unsigned char>(strCp932[nPos + 1])))
            nRaw = 2;
        out.append(strCp932.substr(nPos, nRaw));
        nPos += nRaw;
    }
    return out;
}

bool IsCp932Representable(std::string_view strUtf8) {
    return Utf8ToCp932(strUtf8).bOk;
}

std::u16string Utf8ToUtf16Lossless(std::string_view strUtf8) {
    std::u16string out;
    out.reserve(strUtf8.size());
    const auto* p = reinterpret_cast<const unsigned char*>(strUtf8.data());
    for (std::size_t i = 0; i < strUtf8.size();) {
        const std::size_t n = CharLen(strUtf8, i);
        if (n == 1 && p[i] >= 0x80) {
            out += static_cast<char16_t>(0xDC00 + p[i]);
        } else {
            const char32_t c = DecodeUtf8(p + i, n);
            if (c >= 0x10000) {
                out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
                out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                out += static_cast<char16_t>(c);
            }
        }
        i += n;
    }
    return out;
}

std::string Utf16ToUtf8Lossless(std::u16string_view strUtf16) {
    std::string out;
    out.reserve(strUtf16.size() * 3);
    for (std::size_t i = 0; i < strUtf16.size(); ++i) {
        const char16_t c = strUtf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < strUtf16.size() && strUtf16[i + 1] >= 0xDC00 &&
            strUtf16[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t{c} - 0xD800) << 10) +
                                (char32_t{strUtf16[i + 1]} - 0xDC00));
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            out += static_cast<char>(c - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

} // namespace kovrel::text
