// Small builders for document bytes, so the tests can spell out files byte by byte.
#pragma once

#include "document/KvdFormat.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kovrel::testing {

inline std::string B(std::uint8_t n) {
    return std::string(1, static_cast<char>(n));
}

inline std::string W(std::uint16_t n) {
    return B(static_cast<std::uint8_t>(n & 0xFF)) + B(static_cast<std::uint8_t>(n >> 8));
}

inline std::string D(std::uint32_t n) {
    return W(static_cast<std::uint16_t>(n & 0xFFFF)) + W(static_cast<std::uint16_t>(n >> 16));
}

// An archive string of raw bytes in the one-byte length form.
inline std::string S(std::string_view raw) {
    return B(static_cast<std::uint8_t>(raw.size())) + std::string(raw);
}

// An archive string in the 16-bit form.
inline std::string S16(std::u16string_view wide) {
    std::string out = "\xFF\xFE\xFF" + B(static_cast<std::uint8_t>(wide.size()));
    for (char16_t c : wide)
        out += W(static_cast<std::uint16_t>(c));
    return out;
}

inline std::string Header10() {
    return S(KVD_HEADER_1_0);
}

inline std::string Header00() {
    return S(KVD_HEADER_0_0);
}

// A section of kind 1 holding the given raw strings.
inline std::string StrSection(std::uint8_t nId, std::initializer_list<std::string_view> strs) {
    std::string out = B(1) + B(nId) + W(static_cast<std::uint16_t>(strs.size()));
    for (std::string_view s : strs)
        out += S(s);
    return out;
}

} // namespace kovrel::testing
