// Conversion between the in-memory UTF-8 text and code page 932 (Shift-JIS as
// Windows writes it), which is what documents keep on disk.
//
// Code page 932 cannot hold every text, and iconv does not always say so: a few
// characters map many-to-one without an error (U+301C and U+FF5E both become
// 81 60, U+2212 becomes 81 7C, U+00A5 becomes 5C, a backslash). A text only
// counts as representable when converting it back gives the very same bytes.
//
// Texts that code page 932 cannot hold travel as UTF-16 instead. To carry file
// names that are not valid UTF-8 through that form too, every byte that is not
// part of a well-formed UTF-8 character becomes a lone low surrogate
// U+DC80..U+DCFF and turns back into the same byte.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kovrel::text {

// The outcome of a strict conversion: the converted bytes, or the byte offset
// in the input of the first character that has no exact counterpart.
struct Cp932Result {
    bool bOk = false;
    std::string strText;     // converted text when bOk
    std::size_t nBadPos = 0; // offset of the first offending character when !bOk
};

// UTF-8 to code page 932. Fails (never replaces) on malformed UTF-8, on
// characters code page 932 lacks and on characters that would come back as a
// different one.
Cp932Result Utf8ToCp932(std::string_view strUtf8);

// Code page 932 to UTF-8, strict: fails on byte sequences code page 932 does
// not define.
Cp932Result Cp932ToUtf8(std::string_view strCp932);

// Code page 932 to UTF-8 for reading documents: never fails. A byte sequence
// code page 932 does not define is kept as its raw bytes, the way the OS would
// have taken it as part of a name (a lead byte with a valid trail byte stays one
// character of two bytes, so the following text is not misread).
std::string Cp932ToUtf8Lossless(std::string_view strCp932);

// True when Utf8ToCp932 would succeed.
bool IsCp932Representable(std::string_view strUtf8);

// UTF-8 to UTF-16 without loss: well-formed characters as usual (surrogate
// pairs above U+FFFF), every other byte b as the lone surrogate U+DC00 + b.
std::u16string Utf8ToUtf16Lossless(std::string_view strUtf8);

// The inverse: U+DC80..U+DCFF standing alone become the bytes 0x80..0xFF; any
// other unpaired surrogate, which this program never writes, becomes U+FFFD.
std::string Utf16ToUtf8Lossless(std::u16string_view strUtf16);

} // namespace kovrel::text
