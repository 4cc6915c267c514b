#include "text/Utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kovrel::text {
namespace {

// Splits s into the characters CharLen steps over.
std::vector<std::string> Chars(std::string_view s) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = CharLen(s, i);
        EXPECT_GE(n, 1u);
        out.emplace_back(s.substr(i, n));
        i += n;
    }
    return out;
}

struct StepCase {
    const char* pszName;
    std::string strText;
    std::vector<std::string> chars;
    bool bValid;
};

class Utf8Stepping : public ::testing::TestWithParam<StepCase> {};

TEST_P(Utf8Stepping, StepsWholeCharactersAndMalformedBytesAlone) {
    const StepCase& c = GetParam();
    EXPECT_EQ(Chars(c.strText), c.chars);
    EXPECT_EQ(IsValidUtf8(c.strText), c.bValid);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Utf8Stepping,
    ::testing::Values(StepCase{"Ascii", "a\\b", {"a", "\\", "b"}, true},
                      StepCase{"TwoThreeFour",
                               "\xC3\xA9\xE3\x81\x82\xF0\x9F\x98\x80",
                               {"\xC3\xA9", "\xE3\x81\x82", "\xF0\x9F\x98\x80"},
                               true},
                      StepCase{"StrayContinuation", "a\x80z", {"a", "\x80", "z"}, false},
                      StepCase{"CutSequenceAtEnd", "a\xE3\x81", {"a", "\xE3", "\x81"}, false},
                      StepCase{"LeadFollowedByAscii", "\xE3\\", {"\xE3", "\\"}, false},
                      StepCase{"OverlongSlash", "\xC0\xAF", {"\xC0", "\xAF"}, false},
                      StepCase{"OverlongThree", "\xE0\x80\xAF", {"\xE0", "\x80", "\xAF"}, false},
                      StepCase{"Surrogate", "\xED\xA0\x80", {"\xED", "\xA0", "\x80"}, false},
                      StepCase{
                          "AboveMax", "\xF4\x90\x80\x80", {"\xF4", "\x90", "\x80", "\x80"}, false},
                      StepCase{"HighestValid", "\xF4\x8F\xBF\xBF", {"\xF4\x8F\xBF\xBF"}, true},
                      StepCase{"InvalidLeadF5", "\xF5\x80", {"\xF5", "\x80"}, false},
                      StepCase{"Empty", "", {}, true}),
    [](const auto& tpi) { return std::string(tpi.param.pszName); });

TEST(Utf8, CharLenAtOrPastTheEndIsZero) {
    EXPECT_EQ(CharLen("ab", 2), 0u);
    EXPECT_EQ(CharLen("ab", 7), 0u);
}

TEST(Utf8, FoldingTouchesOnlyAsciiLetters) {
    EXPECT_EQ(FoldAsciiCopy("abz{`AZ\xC3\xA9\xE3\x81\x82"), "ABZ{`AZ\xC3\xA9\xE3\x81\x82");
    EXPECT_TRUE(EqualNoCase("ReadMe.TXT", "README.txt"));
    EXPECT_FALSE(EqualNoCase("\xC3\xA9", "\xC3\x89")); // é and É differ: not ASCII
    EXPECT_FALSE(EqualNoCase("abc", "abcd"));
}

// The pairing of both sides' names: ASCII case alone makes no difference.
TEST(Utf8, CompareFoldOnlyIgnoresAsciiCaseAlone) {
    const struct {
        const char* a;
        const char* b;
        int nExpected;
    } cases[] = {
        {"abc", "ABC", 0},
        {"abc", "abd", -1},
        {"ABD", "abc", 1},
        {"ab", "ABC", -1},
        {"b", "_x", -1},
        {"\xC3\xA9", "\xC3\x89", 1},
        {"x\xC3\xA9", "X\xC3\xA9", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CompareFoldOnly(c.a, c.b), c.nExpected) << c.a << " / " << c.b;
}

TEST(Utf8, CompareFoldedOrdersLikeTheListingsDo) {
    // "_" (0x5F) lies between the folded letters and the lower-case ones, so it
    // sorts after "B" once a-z is folded.
    EXPECT_LT(CompareFolded("b", "_x"), 0);
    EXPECT_GT(CompareFolded("_x", "B"), 0);
    EXPECT_LT(CompareFolded("abc", "ABCD"), 0);
    // Equal after folding: the raw bytes decide, so the order stays total.
    EXPECT_LT(CompareFolded("ABC", "abc"), 0);
    EXPECT_GT(CompareFolded("abc", "ABC"), 0);
    EXPECT_EQ(CompareFolded("abc", "abc"), 0);
    // Bytes compare unsigned: a multi-byte character sorts after ASCII.
    EXPECT_GT(CompareFolded("\xE3\x81\x82", "z"), 0);
}

} // namespace
} // namespace kovrel::text
