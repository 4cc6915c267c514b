#include "document/KvdFormat.h"
#include "KvdBytes.h"
#include "support/AllocationHooks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kovrel {
namespace {

using testing::B;
using testing::D;
using testing::Header00;
using testing::Header10;
using testing::S;
using testing::S16;
using testing::StrSection;
using testing::W;

struct Item {
    OptStr strPath1;
    OptStr strPath2;
    std::uint32_t dwOption = 0;
    OptStr strPattern;
    bool operator==(const Item&) const = default;
};

std::vector<Item> Items(const CSyncItemList& list) {
    std::vector<Item> out;
    for (int i = 0; i < list.GetCount(); ++i) {
        const SYNCITEM* p = list.GetAt(i);
        out.push_back({p->lpszPath1, p->lpszPath2, p->dwOption, p->lpszPattern});
    }
    return out;
}

void Add(CSyncItemList& list, const Item& item) {
    SYNCITEM* p = list.SetAt(-1, item.strPath1 ? item.strPath1->c_str() : nullptr,
                             item.strPath2 ? item.strPath2->c_str() : nullptr,
                             item.strPattern ? item.strPattern->c_str() : nullptr);
    ASSERT_NE(p, nullptr);
    p->dwOption = item.dwOption;
}

// A list that already holds something, to see that a read replaces or empties it.
void Prefill(CSyncItemList& list) {
    list.SetAt(-1, "/old/1", "/old/2", "old");
    list.m_strDocLog = "w/old.log";
}

std::string Hex(std::string_view s) {
    static const char* kDigits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        out += kDigits[c >> 4];
        out += kDigits[c & 0xF];
        out += ' ';
    }
    return out;
}

// --- writing: the sizes and bytes the format fixes ---------------------------

TEST(KvdWrite, EmptyDocumentInLayout10Is29Bytes) {
    CSyncItemList list;
    const std::string bytes = WriteKvd(list, KVD_VERSION_1_0);
    EXPECT_EQ(bytes.size(), 29u);
    EXPECT_EQ(Hex(bytes), Hex("\x17" + std::string(KVD_HEADER_1_0) + D(0) + B(0)));
}

TEST(KvdWrite, EmptyDocumentInLayout00Is28Bytes) {
    CSyncItemList list;
    list.m_strDocLog = "a/x.log"; // not part of layout 0.0
    const std::string bytes = WriteKvd(list, 0);
    EXPECT_EQ(bytes.size(), 28u);
    EXPECT_EQ(Hex(bytes), Hex("\x17" + std::string(KVD_HEADER_0_0) + D(0)));
}

TEST(KvdWrite, OneItemExampleIs52Bytes) {
    CSyncItemList list;
    Add(list, {"/src", "/dst", 0x100, "*.c"});
    const std::string bytes = WriteKvd(list, KVD_VERSION_1_0);
    EXPECT_EQ(bytes.size(), 52u);
    EXPECT_EQ(Hex(bytes), Hex(Header10() + D(1) + "\x04/src\x04/dst" + D(0x100) + B(1) + B(1) +
                              W(1) + "\x03*.c" + B(0) + B(0)));
}

TEST(KvdWrite, NullOrEmptyPatternAndNullPathsWriteNoSection) {
    CSyncItemList list;
    Add(list, {std::nullopt, "", 7, std::nullopt});
    Add(list, {"a", std::nullopt, 0, ""});
    EXPECT_EQ(Hex(WriteKvd(list, KVD_VERSION_1_0)), Hex(Header10() + D(2) + B(0) + B(0) + D(7) +
                                                        B(0) + S("a") + B(0) + D(0) + B(0) + B(0)));
}

TEST(KvdWrite, DocLogFollowsTheLastItem) {
    CSyncItemList list;
    Add(list, {"a", "b", 0, std::nullopt});
    list.m_strDocLog = "a/var/log/sync.log";
    EXPECT_EQ(Hex(WriteKvd(list, KVD_VERSION_1_0)),
              Hex(Header10() + D(1) + S("a") + S("b") + D(0) + B(0) + B(1) + B(2) + W(1) +
                  S("a/var/log/sync.log") + B(0)));
}

TEST(KvdWrite, Layout00DropsPatternsAndDocLog) {
    CSyncItemList list;
    Add(list, {"a", "b", 0x10000, "*.c"});
    list.m_strDocLog = "wlog";
    // Any version but 0x100 selects layout 0.0, and its header always says 0.0.
    for (int nVersion : {0, 0x105, 0x200, -1}) {
        EXPECT_EQ(Hex(WriteKvd(list, nVersion)),
                  Hex(Header00() + D(1) + S("a") + S("b") + D(0x10000)))
            << nVersion;
    }
}

struct LengthCase {
    std::uint32_t nLength;
    std::string strPrefix;
};

class KvdArchiveLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(KvdArchiveLength, PicksTheShortestFormAndReadsBack) {
    const LengthCase& c = GetParam();
    std::string prefix;
    AppendArchiveLength(prefix, c.nLength);
    EXPECT_EQ(Hex(prefix), Hex(c.strPrefix));
    if (c.nLength > 100000)
        return;
    // A path of that many bytes is written with that prefix and reads back.
    CSyncItemList list;
    const std::string strPath(c.nLength, 'p');
    Add(list, {strPath, "", 0, std::nullopt});
    const std::string bytes = WriteKvd(list, KVD_VERSION_1_0);
    EXPECT_EQ(Hex(bytes.substr(28, c.strPrefix.size())), Hex(c.strPrefix));
    CSyncItemList back;
    int nVersion = 0;
    ASSERT_EQ(ReadKvd(bytes, back, nVersion).eStatus, KvdStatus::Ok);
    EXPECT_EQ(back.GetAt(0)->lpszPath1, strPath);
}

INSTANTIATE_TEST_SUITE_P(Table, KvdArchiveLength,
                         ::testing::Values(LengthCase{0, B(0)}, LengthCase{254, B(0xFE)},
                                           LengthCase{255, "\xFF" + W(255)},
                                           LengthCase{300, "\xFF\x2C\x01"},
                                           LengthCase{65533, "\xFF\xFD\xFF"},
                                           LengthCase{65534, "\xFF\xFF\xFF" + D(65534)},
                                           LengthCase{70000, "\xFF\xFF\xFF" + D(70000)},
                                           LengthCase{0xFFFFFFFF, "\xFF\xFF\xFF" + D(0xFFFFFFFF)}));

// --- nothing lost: save then open gives the same bytes -----------------------

struct RoundTripCase {
    const char* pszName;
    std::string strText;
    bool bCp932; // kept as code page 932 bytes (else the 16-bit form)
};

class KvdRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(KvdRoundTrip, EveryFieldComesBackByteForByte) {
    const RoundTripCase& c = GetParam();
    CSyncItemList list;
    Add(list, {c.strText, "/x/" + c.strText, 0x8, c.strText + "\n!" + c.strText});
    list.m_strDocLog = "a" + c.strText;
    const std::string bytes = WriteKvd(list, KVD_VERSION_1_0);

    // The first path is where a reader of the old program would look: code
    // page 932 bytes when they hold the text exactly, else the 16-bit form.
    const std::string strField = bytes.substr(28);
    if (c.bCp932)
        EXPECT_NE(strField.substr(0, 3), "\xFF\xFE\xFF");
    else
        EXPECT_EQ(Hex(strField.substr(0, 3)), Hex("\xFF\xFE\xFF"));

    CSyncItemList back;
    int nVersion = 0;
    ASSERT_EQ(ReadKvd(bytes, back, nVersion).eStatus, KvdStatus::Ok);
    EXPECT_EQ(Items(back), Items(list));
    EXPECT_EQ(back.m_strDocLog, list.m_strDocLog);
    EXPECT_EQ(nVersion, KVD_VERSION_1_0);
    // And a second save writes the very same file.
    EXPECT_EQ(Hex(WriteKvd(back, nVersion)), Hex(bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Table, KvdRoundTrip,
    ::testing::Values(
        RoundTripCase{"Ascii", "C:\\Data\\a~b", true},
        RoundTripCase{"Japanese", "/home/\xE8\xB3\x87\xE6\x96\x99/\xEF\xBD\xB6\xEF\xBE\x85", true},
        RoundTripCase{"FullwidthTilde", "\xEF\xBD\x9E", true}, // U+FF5E
        RoundTripCase{"WaveDash",
                      "a\xE3\x80\x9C"
                      "b",
                      false}, // U+301C
        RoundTripCase{"MinusSign",
                      "\xE2\x88\x92"
                      "1",
                      false}, // U+2212
        RoundTripCase{"YenSign",
                      "\xC2\xA5"
                      "100",
                      false}, // U+00A5
        RoundTripCase{"AccentedLatin", "/m\xC3\xBCsik/caf\xC3\xA9", false},
        RoundTripCase{"Emoji", "/photos/\xF0\x9F\x98\x80.jpg", false},
        RoundTripCase{"InvalidUtf8Name", "/data/\x83\x65\x83\x58\x83\x67.txt", false},
        RoundTripCase{"StrayContinuationAndCut", "\x80z\xE3\x81", false},
        RoundTripCase{"LongEmojiText",
                      std::string(200, 'x') + "\xF0\x9F\x8E\x89" + std::string(200, 'y'), false}),
    [](const auto& tpi) { return std::string(tpi.param.pszName); });

TEST(KvdRoundTrip, LongTextInSixteenBitFormUsesTheWordLength) {
    CSyncItemList list;
    const std::string strText = std::string(299, 'a') + "\xC3\xA9"; // 300 UTF-16 units
    Add(list, {strText, "", 0, std::nullopt});
    const std::string bytes = WriteKvd(list, KVD_VERSION_1_0);
    EXPECT_EQ(Hex(bytes.substr(28, 6)), Hex("\xFF\xFE\xFF\xFF\x2C\x01"));
    CSyncItemList back;
    int nVersion = 0;
    ASSERT_EQ(ReadKvd(bytes, back, nVersion).eStatus, KvdStatus::Ok);
    EXPECT_EQ(back.GetAt(0)->lpszPath1, strText);
}

TEST(KvdRoundTrip, Layout00KeepsPathsAndOptions) {
    CSyncItemList list;
    Add(list, {"/a/\xE8\xB3\x87", "/b/caf\xC3\xA9", 0xFFFFFFFF, "*.c"});
    CSyncItemList back;
    int nVersion = KVD_VERSION_1_0;
    ASSERT_EQ(ReadKvd(WriteKvd(list, 0), back, nVersion).eStatus, KvdStatus::Ok);
    EXPECT_EQ(nVersion, 0);
    EXPECT_EQ(Items(back),
              (std::vector<Item>{{"/a/\xE8\xB3\x87", "/b/caf\xC3\xA9", 0xFFFFFFFF, std::nullopt}}));
}

// --- reading ----------------------------------------------------------------

TEST(KvdRead, Layout10GivesEmptyPatternWhenAnItemHasNone) {
    CSyncItemList list;
    Prefill(list);
    int nVersion = 0;
    const std::string bytes = Header10() + D(1) + S("a") + S("b") + D(0x21) + B(0) + B(0);
    const KvdReadResult r = ReadKvd(bytes, list, nVersion);
    ASSERT_EQ(r.eStatus, KvdStatus::Ok);
    EXPECT_EQ(Items(list), (std::vector<Item>{{"a", "b", 0x21, ""}}));
    EXPECT_EQ(list.m_strDocLog, ""); // replaced by the file's (none)
    EXPECT_EQ(nVersion, KVD_VERSION_1_0);
    EXPECT_TRUE(r.bHasHeader);
    EXPECT_EQ(r.header.nMajor, 1);
    EXPECT_EQ(r.header.nMinor, 0);
}

TEST(KvdRead, SixteenBitStringsInAllLengthForms) {
    const std::u16string wide300(300, u'\u3042');
    std::string s300 = "\xFF\xFE\xFF\xFF" + W(300);
    for (char16_t c : wide300)
        s300 += W(static_cast<std::uint16_t>(c));
    std::string sDword = "\xFF\xFE\xFF\xFF\xFF\xFF" + D(2) + W(u'o') + W(u'k');
    const std::string bytes = Header00() + D(2) + S16(u"\u00E9t\u00E9") + s300 + D(0) +
                              S16(std::u16string{u'x', 0xDCFF}) + sDword + D(0);
    CSyncItemList list;
    int nVersion = 0x100;
    ASSERT_EQ(ReadKvd(bytes, list, nVersion).eStatus, KvdStatus::Ok);
    std::string strKana;
    for (int i = 0; i < 300; ++i)
        strKana += "\xE3\x81\x82";
    EXPECT_EQ(Items(list), (std::vector<Item>{{"\xC3\xA9t\xC3\xA9", strKana, 0, std::nullopt},
                                              {"x\xFF", "ok", 0, std::nullopt}}));
}

struct SectionCase {
    const char* pszName;
    std::string strItemSections; // between the option word and the item's end mark
    std::string strDocSections;  // between the last item and the final end mark
    std::string strPattern;
    std::string strDocLog;
};

class KvdSections : public ::testing::TestWithParam<SectionCase> {};

TEST_P(KvdSections, KnownOnesAreTakenUnknownOnesSteppedOver) {
    const SectionCase& c = GetParam();
    // A second item after the first proves the reader stayed in step.
    const std::string bytes = Header10() + D(2) + S("p1") + S("p2") + D(1) + c.strItemSections +
                              B(0) + S("q1") + S("q2") + D(2) + B(0) + c.strDocSections + B(0);
    CSyncItemList list;
    Prefill(list);
    int nVersion = 0;
    ASSERT_EQ(ReadKvd(bytes, list, nVersion).eStatus, KvdStatus::Ok);
    EXPECT_EQ(Items(list), (std::vector<Item>{{"p1", "p2", 1, c.strPattern}, {"q1", "q2", 2, ""}}));
    EXPECT_EQ(list.m_strDocLog, c.strDocLog);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KvdSections,
    ::testing::Values(
        SectionCase{"None", "", "", "", ""},
        SectionCase{"Pattern", StrSection(1, {"*.c\n!*.o"}), "", "*.c\n!*.o", ""},
        SectionCase{"OtherKindSkipsCountTimesTwoBytes",
                    B(3) + B(9) + W(2) + std::string("\x00\x01\x02\x03", 4) +
                        StrSection(1, {"*.h"}),
                    "", "*.h", ""},
        SectionCase{"UnknownIdDropsItsStrings", StrSection(7, {"x", "y"}), "", "", ""},
        SectionCase{"PatternWithCountTwoIsDropped", StrSection(1, {"*.a", "*.b"}), "", "", ""},
        SectionCase{"LaterPatternReplacesEarlier",
                    StrSection(1, {"first"}) + StrSection(1, {"second"}), "", "second", ""},
        SectionCase{"DocLog", "", StrSection(2, {"a/var/log/k.log"}), "", "a/var/log/k.log"},
        SectionCase{"DocLogAmongUnknownSections", "",
                    B(4) + B(2) + W(1) + "\xAB\xCD" + StrSection(2, {"wlog"}) +
                        StrSection(9, {"z"}),
                    "", "wlog"},
        SectionCase{"DocLogTakesTheFirstOfSeveral", "", StrSection(2, {"wone", "wtwo"}), "",
                    "wone"},
        SectionCase{"DocLogWithCountZeroReadsNothing", "", B(1) + B(2) + W(0), "", ""},
        SectionCase{"DocLogSectionOfOtherKindIsSkipped", "", B(2) + B(2) + W(1) + "ab", "", ""}),
    [](const auto& tpi) { return std::string(tpi.param.pszName); });

TEST(KvdRead, NegativeOrZeroCountReadsNoItems) {
    for (std::uint32_t nCount : {0u, 0xFFFFFFFFu, 0x80000000u}) {
        CSyncItemList list;
        Prefill(list);
        int nVersion = 0;
        const std::string bytes = Header10() + D(nCount) + StrSection(2, {"wlog"}) + B(0);
        ASSERT_EQ(ReadKvd(bytes, list, nVersion).eStatus, KvdStatus::Ok) << nCount;
        EXPECT_EQ(list.GetCount(), 0);
        EXPECT_EQ(list.m_strDocLog, "wlog");
    }
}

TEST(KvdRead, OptionWordIsTakenUnchanged) {
    CSyncItemList list;
    int nVersion = 0;
    ASSERT_EQ(
        ReadKvd(Header10() + D(1) + S("") + S("") + D(0xDEADBEEF) + B(0) + B(0), list, nVersion)
            .eStatus,
        KvdStatus::Ok);
    EXPECT_EQ(list.GetAt(0)->dwOption, 0xDEADBEEFu);
}

TEST(KvdRead, TextEndsAtAZeroByte) {
    CSyncItemList list;
    int nVersion = 0;
    ASSERT_EQ(
        ReadKvd(Header00() + D(1) + S(std::string("ab\0cd", 5)) + S("x") + D(0), list, nVersion)
            .eStatus,
        KvdStatus::Ok);
    EXPECT_EQ(list.GetAt(0)->lpszPath1, "ab");
}

TEST(KvdRead, BytesAfterTheEndMarkAreIgnored) {
    CSyncItemList list;
    int nVersion = 0;
    EXPECT_EQ(ReadKvd(WriteKvd(list, KVD_VERSION_1_0) + "junk", list, nVersion).eStatus,
              KvdStatus::Ok);
}

TEST(KvdRead, ZeroByteFileIsAnEmptyDocument) {
    CSyncItemList list;
    Prefill(list);
    int nVersion = 0x105;
    const KvdReadResult r = ReadKvd("", list, nVersion);
    EXPECT_EQ(r.eStatus, KvdStatus::Ok);
    EXPECT_FALSE(r.bHasHeader);
    EXPECT_EQ(list.GetCount(), 0);
    // Nothing was read, so the log setting and the version stay as they were.
    EXPECT_EQ(list.m_strDocLog, "w/old.log");
    EXPECT_EQ(nVersion, 0x105);
}

// --- the header and the version --------------------------------------------

struct HeaderCase {
    const char* pszName;
    std::string strAfterMagic;
    int nFileVersion;
    std::int32_t nMajor;
    std::int32_t nMinor;
};

class KvdHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(KvdHeader, VersionIsMajorTimes256PlusMinor) {
    const HeaderCase& c = GetParam();
    const KvdHeaderInfo info = ParseKvdHeader(std::string(KVD_MAGIC) + c.strAfterMagic);
    EXPECT_TRUE(info.bMagic);
    EXPECT_EQ(info.nFileVersion, c.nFileVersion);
    EXPECT_EQ(info.nMajor, c.nMajor);
    EXPECT_EQ(info.nMinor, c.nMinor);

    // A document with this header is read in the layout the version selects:
    // here a layout 0.0 body, which only reads as such when the version is not 0x100.
    const std::string bytes = S(std::string(KVD_MAGIC) + c.strAfterMagic) + D(1) + S("a") + S("b") +
                              D(5) + (c.nFileVersion == 0x100 ? B(0) + B(0) : "");
    CSyncItemList list;
    int nVersion = 12345;
    ASSERT_EQ(ReadKvd(bytes, list, nVersion).eStatus, KvdStatus::Ok);
    EXPECT_EQ(nVersion, c.nFileVersion);
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetAt(0)->lpszPattern.has_value(), c.nFileVersion == 0x100);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KvdHeader,
    ::testing::Values(
        HeaderCase{"V10", "1.0", 0x100, 1, 0}, HeaderCase{"V00", "0.0", 0, 0, 0},
        HeaderCase{"V15", "1.5", 0x105, 1, 5}, HeaderCase{"V20", "2.0", 0x200, 2, 0},
        HeaderCase{"LeadingBlanksAndSign", " \t+1. 0", 0x100, 1, 0},
        HeaderCase{"NegativeMajor", "-1.0", -256, -1, 0},
        HeaderCase{"TrailingText", "1.0 beta", 0x100, 1, 0}, HeaderCase{"NoDigits", "x.y", 0, 0, 0},
        HeaderCase{"NoDot", "1", 0, 0, 0}, HeaderCase{"NothingAfterMagic", "", 0, 0, 0},
        HeaderCase{"MinorOnlyReachingTheSameNumber", "0.256", 0x100, 0, 256},
        // 16777217 x 256 would wrap around to 0x100 in 32 bits.
        HeaderCase{"HugeMajorSaturates", "16777217.0", INT32_MAX, 16777217, 0},
        HeaderCase{"OverlongNumberSaturates", "99999999999999999999.1", INT32_MAX, INT32_MAX, 1},
        HeaderCase{"HugeNegativeSaturates", "-99999999999.0", INT32_MIN, INT32_MIN, 0}),
    [](const auto& tpi) { return std::string(tpi.param.pszName); });

class KvdForeignHeader : public ::testing::TestWithParam<std::string> {};

TEST_P(KvdForeignHeader, EmptiesTheListAndKeepsLogAndVersion) {
    CSyncItemList list;
    Prefill(list);
    int nVersion = 0x105;
    const std::string bytes = GetParam() + D(1) + S("a") + S("b") + D(0) + B(0) + B(0);
    const KvdReadResult r = ReadKvd(bytes, list, nVersion);
    EXPECT_EQ(r.eStatus, KvdStatus::ForeignHeader);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.m_strDocLog, "w/old.log");
    EXPECT_EQ(nVersion, 0x105);
}

INSTANTIATE_TEST_SUITE_P(Table, KvdForeignHeader,
                         ::testing::Values(S("KovrelDuplicator Ve"), // shorter than the magic
                                           S("kovrelDuplicator Ver1.0"), S(""),
                                           S("Some other program 1.0"),
                                           S16(u"KovrelDuplicat\u00F6r Ver1.0")));

TEST(KvdRead, MagicInSixteenBitFormIsAccepted) {
    CSyncItemList list;
    int nVersion = 0;
    const std::string bytes = S16(u"KovrelDuplicator Ver1.0") + D(0) + B(0);
    EXPECT_EQ(ReadKvd(bytes, list, nVersion).eStatus, KvdStatus::Ok);
    EXPECT_EQ(nVersion, 0x100);
}

// --- bad input ----------------------------------------------------------------

// A document using every construct: long strings, 16-bit strings, unknown
// sections of both kinds, a pattern, a log setting.
std::string RichDocument() {
    CSyncItemList list;
    Add(list, {"/home/\xE8\xB3\x87\xE6\x96\x99", std::string(300, 'z'), 0x100, "*.c\n!*.o"});
    Add(list, {"/caf\xC3\xA9", "\x80", 0x22, std::nullopt});
    std::string bytes = WriteKvd(list, KVD_VERSION_1_0);
    bytes.pop_back(); // the final end mark
    bytes += B(3) + B(1) + W(2) + "abcd" + StrSection(9, {"x", "yy"});
    bytes += B(1) + B(2) + W(1);
    AppendArchiveString(bytes, "a/var/log/\xF0\x9F\x98\x80.log");
    return bytes + B(0);
}

TEST(KvdBadInput, EveryCutIsAnArchiveErrorAndLeavesTheListEmpty) {
    const std::string bytes = RichDocument();
    {
        CSyncItemList list;
        int nVersion = 0;
        ASSERT_EQ(ReadKvd(bytes, list, nVersion).eStatus, KvdStatus::Ok);
        ASSERT_EQ(list.GetCount(), 2);
        ASSERT_EQ(list.m_strDocLog, "a/var/log/\xF0\x9F\x98\x80.log");
    }
    for (std::size_t n = 1; n < bytes.size(); ++n) {
        CSyncItemList list;
        Prefill(list);
        int nVersion = 0x105;
        const KvdReadResult r = ReadKvd(std::string_view(bytes).substr(0, n), list, nVersion);
        ASSERT_EQ(r.eStatus, KvdStatus::ArchiveError) << "cut at " << n;
        EXPECT_EQ(list.GetCount(), 0) << "cut at " << n;
        EXPECT_EQ(list.m_strDocLog, "") << "cut at " << n;
        EXPECT_EQ(nVersion, 0x105) << "cut at " << n;
    }
}

TEST(KvdBadInput, Layout00CutsAreArchiveErrorsToo) {
    CSyncItemList src;
    Add(src, {"a", "bb", 1, std::nullopt});
    Add(src, {"\xC3\xA9", "", 2, std::nullopt});
    const std::string bytes = WriteKvd(src, 0);
    for (std::size_t n = 1; n < bytes.size(); ++n) {
        CSyncItemList list;
        int nVersion = 0;
        EXPECT_EQ(ReadKvd(std::string_view(bytes).substr(0, n), list, nVersion).eStatus,
                  KvdStatus::ArchiveError)
            << "cut at " << n;
        EXPECT_EQ(list.GetCount(), 0);
    }
}

// Memory running out anywhere while a document is read, from its header to the
// last item, is an archive error like a damaged file: the list and its log
// setting end up empty, the version stays, nothing is thrown. Once memory is
// back the same bytes read completely.
TEST(KvdBadInput, OutOfMemoryAnywhereIsAnArchiveError) {
    CSyncItemList src;
    for (int i = 0; i < 300; ++i)
        Add(src,
            {"/home/me/projects/item-" + std::to_string(i), "/srv/backup/item", 0x100, "!*.bak"});
    src.m_strDocLog = "a/var/log/kovrel-duplicator.log";
    const std::string bytes = WriteKvd(src, KVD_VERSION_1_0);
    for (const long nAllowed : {0L, 1L, 2L, 10L, 100L, 1000L}) {
        CSyncItemList list;
        Prefill(list);
        int nVersion = 0x105;
        KvdReadResult r;
        test::g_nAllocationsLeft = nAllowed;
        try {
            r = ReadKvd(bytes, list, nVersion);
        } catch (...) {
            ADD_FAILURE() << "thrown after " << nAllowed << " allocations";
        }
        test::g_nAllocationsLeft = -1;
        EXPECT_EQ(r.eStatus, KvdStatus::ArchiveError) << nAllowed;
        EXPECT_EQ(r.eFault, KvdFault::OutOfMemory) << nAllowed;
        EXPECT_EQ(list.GetCount(), 0) << nAllowed;
        EXPECT_EQ(list.m_strDocLog, "") << nAllowed;
        EXPECT_EQ(nVersion, 0x105) << nAllowed;
    }
    CSyncItemList list;
    int nVersion = 0;
    const KvdReadResult r = ReadKvd(bytes, list, nVersion);
    EXPECT_EQ(r.eStatus, KvdStatus::Ok);
    EXPECT_EQ(r.eFault, KvdFault::None);
    EXPECT_EQ(Items(list), Items(src));
}

struct BadCase {
    const char* pszName;
    std::string strBytes;
};

class KvdBadInputTable : public ::testing::TestWithParam<BadCase> {};

TEST_P(KvdBadInputTable, IsAnArchiveErrorAtOnce) {
    CSyncItemList list;
    Prefill(list);
    int nVersion = 0x100;
    const KvdReadResult r = ReadKvd(GetParam().strBytes, list, nVersion);
    EXPECT_EQ(r.eStatus, KvdStatus::ArchiveError);
    EXPECT_EQ(r.eFault, KvdFault::Damaged);
    EXPECT_EQ(list.GetCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KvdBadInputTable,
    ::testing::Values(
        BadCase{"HugeCount", Header10() + D(0x7FFFFFFF) + B(0)},
        BadCase{"CountBeyondTheBytes",
                Header10() + D(3) + S("") + S("") + D(0) + B(0) + std::string(12, '\0')},
        BadCase{"HugeDwordLength", Header10() + D(1) + "\xFF\xFF\xFF" + D(0xFFFFFFF0) + "abc"},
        BadCase{"WordLengthPastTheEnd", Header10() + D(1) + "\xFF" + W(0x1234) + "abc"},
        BadCase{"HugeSixteenBitLength",
                Header10() + D(1) + "\xFF\xFE\xFF\xFF\xFF\xFF" + D(0x80000001) + "ab"},
        BadCase{"SixteenBitOddByte", Header00() + D(1) + "\xFF\xFE\xFF\x02" + "abc"},
        BadCase{"HugeHeaderLength", "\xFF\xFF\xFF" + D(0xFFFFFFFF) + "KovrelDuplicator Ver1.0"},
        BadCase{"SectionSkipPastTheEnd",
                Header10() + D(1) + S("") + S("") + D(0) + B(5) + B(1) + W(0xFFFF) + "ab"},
        BadCase{"SectionStringsPastTheEnd",
                Header10() + D(1) + S("") + S("") + D(0) + B(1) + B(7) + W(0xFFFF) + S("a")},
        BadCase{"MissingFinalEndMark", Header10() + D(0)},
        BadCase{"MissingItemEndMark", Header10() + D(1) + S("a") + S("b") + D(0)},
        BadCase{"HeaderOnly", Header00()}),
    [](const auto& tpi) { return std::string(tpi.param.pszName); });

} // namespace
} // namespace kovrel
