// Character stepping and ASCII-only case folding over UTF-8 byte strings.
//
// Texts in memory are UTF-8 byte strings, but file names are kept exactly as the
// OS hands them over, so any byte sequence must be walkable. A well-formed UTF-8
// sequence is one character taken whole; any byte that does not start one is a
// character of its own. No byte of a multi-byte sequence is ever < 0x80, so the
// ASCII marks ("\\", "/", "*", "?", "|", "!", ".", line feed) can only be found as
// whole characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kovrel::text {

// Byte length (1..4) of the character that starts at s[nPos]; 0 when nPos is at or past the end.
std::size_t CharLen(std::string_view s, std::size_t nPos) noexcept;

// True when s is entirely well-formed UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view s) noexcept;

// a-z become A-Z; every other byte stays as it is.
constexpr char FoldAscii(char c) noexcept {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}

// The whole string with a-z turned into A-Z.
std::string FoldAsciiCopy(std::string_view s);

// Equal when both have the same bytes after ASCII folding. Multi-byte characters
// compare exactly, which the byte-wise comparison gives for free: no byte of a
// multi-byte sequence lies in a-z.
bool EqualNoCase(std::string_view a, std::string_view b) noexcept;

// Bytes compared with a-z folded to A-Z and nothing else: names that differ only
// in ASCII case compare equal. A listing sorted by CompareFolded is sorted by this
// order as well, with such names next to each other. Returns -1, 0 or 1.
inline int CompareFoldOnly(std::string_view a, std::string_view b) noexcept {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(FoldAscii(a[i]));
        const auto cb = static_cast<unsigned char>(FoldAscii(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return 0;
}

// Order of names in listings: CompareFoldOnly, ties broken by the raw bytes, so
// the order is total and deterministic. Returns -1, 0 or 1.
int CompareFolded(std::string_view a, std::string_view b) noexcept;

} // namespace kovrel::text
