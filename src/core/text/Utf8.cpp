#include "text/Utf8.h"

namespace kovrel::text {

namespace {

// Length of a well-formed sequence starting at p (at most n bytes available), or 0.
std::size_t WellFormedLen(const unsigned char* p, std::size_t n) noexcept {
    const unsigned char c = p[0];
    auto cont = [&](std::size_t i) { return i < n && (p[i] & 0xC0) == 0x80; };
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return cont(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!cont(1) || !cont(2))
            return 0;
        if (c == 0xE0 && p[1] < 0xA0)
            return 0; // overlong
        if (c == 0xED && p[1] >= 0xA0)
            return 0; // UTF-16 surrogate
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3))
            return 0;
        if (c == 0xF0 && p[1] < 0x90)
            return 0; // overlong
        if (c == 0xF4 && p[1] >= 0x90)
            return 0; // above U+10FFFF
        return 4;
    }
    return 0;
}

} // namespace

std::size_t CharLen(std::string_view s, std::size_t nPos) noexcept {
    if (nPos >= s.size())
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + nPos;
    const std::size_t n = WellFormedLen(p, s.size() - nPos);
    return n ? n : 1;
}

bool IsValidUtf8(std::string_view s) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t n = WellFormedLen(p + i, s.size() - i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string FoldAsciiCopy(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = FoldAscii(c);
    return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    return true;
}

int CompareFolded(std::string_view a, std::string_view b) noexcept {
    if (const int nFolded = CompareFoldOnly(a, b))
        return nFolded;
    const int r = a.compare(b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

} // namespace kovrel::text
