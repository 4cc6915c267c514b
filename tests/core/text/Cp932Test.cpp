#include "text/Cp932.h"

#include <gtest/gtest.h>

#include <string>

namespace kovrel::text {
namespace {

struct ToCp932Case {
    const char* pszName;
    std::string strUtf8;
    bool bOk;
    std::string strCp932; // when bOk
    std::size_t nBadPos;  // when !bOk
};

class Utf8ToCp932Table : public ::testing::TestWithParam<ToCp932Case> {};

TEST_P(Utf8ToCp932Table, ConvertsExactlyOrPointsAtTheFirstOffender) {
    const ToCp932Case& c = GetParam();
    const Cp932Result r = Utf8ToCp932(c.strUtf8);
    ASSERT_EQ(r.bOk, c.bOk);
    EXPECT_EQ(IsCp932Representable(c.strUtf8), c.bOk);
    if (c.bOk) {
        EXPECT_EQ(r.strText, c.strCp932);
        // And back again to the same bytes.
        const Cp932Result back = Cp932ToUtf8(r.strText);
        ASSERT_TRUE(back.bOk);
        EXPECT_EQ(back.strText, c.strUtf8);
    } else {
        EXPECT_EQ(r.nBadPos, c.nBadPos);
        EXPECT_TRUE(r.strText.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Utf8ToCp932Table,
    ::testing::Values(ToCp932Case{"Empty", "", true, "", 0},
                      ToCp932Case{"AsciiWithBackslashAndTilde", "C:\\a~b", true, "C:\\a~b", 0},
                      ToCp932Case{"Hiragana", "\xE3\x81\x82", true, "\x82\xA0", 0}, // あ
                      ToCp932Case{"Kanji", "\xE8\xB3\x87\xE6\x96\x99", true, "\x8E\x91\x97\xBF",
                                  0},                                                     // 資料
                      ToCp932Case{"HalfwidthKatakana", "\xEF\xBD\xB1", true, "\xB1", 0},  // ｱ
                      ToCp932Case{"FullwidthTilde", "\xEF\xBD\x9E", true, "\x81\x60", 0}, // U+FF5E
                      ToCp932Case{"NecCircledOne", "\xE2\x91\xA0", true, "\x87\x40", 0},  // ①
                      // Many-to-one: iconv accepts them, but they would come back as another
                      // character, so they do not count as representable.
                      ToCp932Case{"WaveDash", "a\xE3\x80\x9C", false, "", 1},    // U+301C -> 81 60
                      ToCp932Case{"MinusSign", "ab\xE2\x88\x92", false, "", 2},  // U+2212 -> 81 7C
                      ToCp932Case{"YenSign", "\xC2\xA5", false, "", 0},          // U+00A5 -> 5C
                      ToCp932Case{"Overline", "x\xE2\x80\xBE", false, "", 1},    // U+203E -> 7E
                      ToCp932Case{"NotSign", "\xC2\xAC", false, "", 0},          // U+00AC -> 81 CA
                      ToCp932Case{"AccentedLatin", "caf\xC3\xA9", false, "", 3}, // é
                      ToCp932Case{"Emoji", "\xE3\x81\x82\xF0\x9F\x98\x80", false, "", 3},
                      ToCp932Case{"MalformedByte", "ab\xFF", false, "", 2},
                      ToCp932Case{"EncodedSurrogate", "\xED\xB2\x80", false, "", 0}),
    [](const auto& tpi) { return std::string(tpi.param.pszName); });

TEST(Cp932, StrictDecodingRejectsUndefinedBytes) {
    EXPECT_EQ(Cp932ToUtf8("\x82\xA0"
                          "a")
                  .strText,
              "\xE3\x81\x82"
              "a");
    const Cp932Result r1 = Cp932ToUtf8("ab\x80");
    EXPECT_FALSE(r1.bOk);
    EXPECT_EQ(r1.nBadPos, 2u);
    const Cp932Result r2 = Cp932ToUtf8("a\x82"); // lead byte cut off
    EXPECT_FALSE(r2.bOk);
    EXPECT_EQ(r2.nBadPos, 1u);
}

struct LosslessCase {
    const char* pszName;
    std::string strCp932;
    std::string strUtf8;
};

class Cp932Lossless : public ::testing::TestWithParam<LosslessCase> {};

TEST_P(Cp932Lossless, KeepsUndefinedBytesRaw) {
    EXPECT_EQ(Cp932ToUtf8Lossless(GetParam().strCp932), GetParam().strUtf8);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Cp932Lossless,
    ::testing::Values(LosslessCase{"Defined", "\x8E\x91\x97\xBF\\x", "\xE8\xB3\x87\xE6\x96\x99\\x"},
                      LosslessCase{"SingleUndefined",
                                   "a\x80"
                                   "b\xA0",
                                   "a\x80"
                                   "b\xA0"},
                      // An undefined double-byte code stays one character: its trail byte 9F
                      // must not pair with the next byte into a kanji of its own.
                      LosslessCase{"UndefinedPairKeepsTrail", "\x85\x9F\x81\x40",
                                   "\x85\x9F\xE3\x80\x80"},
                      LosslessCase{"LeadWithBadTrail", "\x82\x20z", "\x82 z"},
                      LosslessCase{"LeadAtEnd", "ab\x82", "ab\x82"},
                      LosslessCase{"ManyToOneIsReadAsTheCanonicalCharacter", "\xEE\xEF",
                                   "\xE2\x85\xB0"}), // IBM duplicate of U+2170
    [](const auto& tpi) { return std::string(tpi.param.pszName); });

struct Utf16Case {
    const char* pszName;
    std::string strUtf8;
    std::u16string strUtf16;
};

class Utf16Lossless : public ::testing::TestWithParam<Utf16Case> {};

TEST_P(Utf16Lossless, MapsBothWaysWithoutLoss) {
    const Utf16Case& c = GetParam();
    EXPECT_EQ(Utf8ToUtf16Lossless(c.strUtf8), c.strUtf16);
    EXPECT_EQ(Utf16ToUtf8Lossless(c.strUtf16), c.strUtf8);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Utf16Lossless,
    ::testing::Values(Utf16Case{"Ascii", "a/b", u"a/b"},
                      Utf16Case{"Bmp", "\xC3\xA9\xE3\x80\x9C", u"\u00E9\u301C"},
                      Utf16Case{"Supplementary", "\xF0\x9F\x98\x80", u"\U0001F600"},
                      Utf16Case{"StrayBytes", "a\x80\xFF", std::u16string{u'a', 0xDC80, 0xDCFF}},
                      Utf16Case{"CutSequence", "\xE3\x81", std::u16string{0xDCE3, 0xDC81}},
                      Utf16Case{"EncodedSurrogateBytes", "\xED\xA0\x80",
                                std::u16string{0xDCED, 0xDCA0, 0xDC80}},
                      Utf16Case{"ShiftJisName", "\x83\x65\x83\x58\x83\x67",
                                std::u16string{0xDC83, u'e', 0xDC83, u'X', 0xDC83, u'g'}}),
    [](const auto& tpi) { return std::string(tpi.param.pszName); });

TEST(Utf16Lossless, ForeignUnpairedSurrogatesBecomeReplacementCharacters) {
    // Only U+DC80..U+DCFF stand for bytes; other lone surrogates are not this
    // program's and cannot be kept in UTF-8.
    EXPECT_EQ(Utf16ToUtf8Lossless(std::u16string{0xD800, u'a'}), "\xEF\xBF\xBD"
                                                                 "a");
    EXPECT_EQ(Utf16ToUtf8Lossless(std::u16string{0xDC41}), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8Lossless(std::u16string{0xDBFF}), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8Lossless(std::u16string{0xDC00, 0xD83D}), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

} // namespace
} // namespace kovrel::text
