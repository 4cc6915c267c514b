#include "engine/Patterns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace kovrel {
namespace {

namespace fs = std::filesystem;

// Full-width capital A and small a (U+FF21, U+FF41), e acute and E acute.
constexpr const char* kFwA = "\xEF\xBC\xA1";
constexpr const char* kFwa = "\xEF\xBD\x81";
constexpr const char* kEAcute = "\xC3\xA9";
constexpr const char* kEAcuteCap = "\xC3\x89";

CPatternSet MakeSet(const char* pszText, std::string strWildcards = {}) {
    CPatternSet ps;
    ps.m_strFiles = std::move(strWildcards);
    ParsePatternText(ps, pszText);
    return ps;
}

// ---------------------------------------------------------------------------
// SplitWildcardPath

struct SplitCase {
    std::string strPath;
    std::string strDir;
    std::string strList;
};

TEST(SplitWildcardPath, Table) {
    const std::vector<SplitCase> cases = {
        {"/src/*.c|*.h", "/src", "*.c\n*.h"},
        {"C:\\src\\*.c|*.h", "C:\\src", "*.c\n*.h"},
        {"/src\\*.c", "/src", "*.c"}, // mixed: the last separator of either kind
        {"C:\\src/*.c", "C:\\src", "*.c"},
        {"/src/", "/src", ""},
        {"C:\\src\\", "C:\\src", ""},
        {"C:\\", "C:", ""},
        {"/src/main.c", "/src/main.c", ""},
        {"/", "/", ""},
        {"//", "/", ""},
        {"/*.c", "/", "*.c"}, // the root keeps its separator
        {"*.c", "*.c", ""},   // no separator: a plain path
        {"", "", ""},
        {"/src/a?b", "/src", "a?b"},
        {"/src/a|b", "/src", "a\nb"},
        {"/src/*.c|", "/src", "*.c\n"},
        {"/s*c/main.c", "/s*c/main.c", ""}, // wildcards count in the last component only
        {"/src/x/", "/src/x", ""},
    };
    for (const auto& c : cases) {
        std::string strDir = "stale";
        const std::string strList = SplitWildcardPath(c.strPath, strDir);
        EXPECT_EQ(strDir, c.strDir) << c.strPath;
        EXPECT_EQ(strList, c.strList) << c.strPath;
    }
}

// ---------------------------------------------------------------------------
// ParsePatternText

struct ParseCase {
    const char* pszText;
    std::string strFiles, strPaths, strExFiles, strExPaths;
};

TEST(ParsePatternText, SortsLines) {
    const std::vector<ParseCase> cases = {
        {"*.c\n!\\obj\\\n!*.bak", "*.c", "", "*.bak", "\\obj\\"},
        // The three examples the detailed settings show.
        {"\\abc\\d*\\*.c\n!a*.c\n!\\xyz\\9804??\\", "", "\\abc\\d*\\*.c", "a*.c",
         "\\xyz\\9804??\\"},
        {"/abc/d*/*.c\n!/xyz/9804?\?/", "", "/abc/d*/*.c", "", "/xyz/9804?\?/"},
        {"!!a", "", "", "!a", ""}, // only the first "!" counts
        {"!", "", "", "", ""},     // "!" alone is nothing
        {"\n\n*.c\n\n\n*.h\n", "*.c\n*.h", "", "", ""},
        {"a|b", "a|b", "", "", ""},
        {"!\\", "", "", "", "\\"},
        {"\\", "", "\\", "", ""},
        {"a\\b", "a\\b", "", "", ""}, // not normalised: a name pattern
        {"", "", "", "", ""},
        {nullptr, "", "", "", ""},
    };
    for (const auto& c : cases) {
        const CPatternSet ps = MakeSet(c.pszText);
        const std::string strWhat = c.pszText ? c.pszText : "(null)";
        EXPECT_EQ(ps.m_strFiles, c.strFiles) << strWhat;
        EXPECT_EQ(ps.m_strPaths, c.strPaths) << strWhat;
        EXPECT_EQ(ps.m_strExFiles, c.strExFiles) << strWhat;
        EXPECT_EQ(ps.m_strExPaths, c.strExPaths) << strWhat;
    }
}

TEST(ParsePatternText, AppendsAfterTheWildcardList) {
    CPatternSet ps = MakeSet("*.c\n!*.o\n!*.a", "*.h\n*.hpp");
    EXPECT_EQ(ps.m_strFiles, "*.h\n*.hpp\n*.c");
    EXPECT_EQ(ps.m_strExFiles, "*.o\n*.a");
    ParsePatternText(ps, "!*.tmp\n\\src\\");
    EXPECT_EQ(ps.m_strExFiles, "*.o\n*.a\n*.tmp");
    EXPECT_EQ(ps.m_strPaths, "\\src\\");
}

// ---------------------------------------------------------------------------
// NextPatternLine

TEST(NextPatternLine, SplitsAtTheLastSeparator) {
    struct Case {
        std::string strList;
        std::size_t nPos;
        std::string strDir;
        std::optional<std::string> strFile;
        std::size_t nEnd;
    };
    const std::vector<Case> cases = {
        {"\\abc\\d*\\*.c", 0, "\\abc\\d*", "*.c", 11},
        {"\\xyz\\9804??\\", 0, "\\xyz\\9804??", std::nullopt, 12},
        {"\\*.c", 0, "", "*.c", 4},
        {"/abc/d*/*.c", 0, "/abc/d*", "*.c", 11},
        {"\\a/b", 0, "\\a", "b", 4},
        {"abc", 0, "abc", std::nullopt, 3},
        {"/a/b\n/c", 0, "/a", "b", 4},
        {"/a/b\n/c", 5, "", "c", 7},
        {"/a/b\n\n/c", 5, "", std::nullopt, 5},
    };
    for (const auto& c : cases) {
        std::string_view strDir;
        std::optional<std::string_view> strFile;
        const std::size_t nEnd = NextPatternLine(c.strList, c.nPos, strDir, strFile);
        EXPECT_EQ(nEnd, c.nEnd) << c.strList;
        EXPECT_EQ(strDir, c.strDir) << c.strList;
        ASSERT_EQ(strFile.has_value(), c.strFile.has_value()) << c.strList;
        if (strFile) {
            EXPECT_EQ(*strFile, *c.strFile) << c.strList;
        }
    }
}

// ---------------------------------------------------------------------------
// MatchName, MatchNameList, CompareNameNoCase

// nExpected in the tables: 0 match, -1 no match; for MatchPath 0 same depth,
// 1 below, 2 above, -1 no match.
struct NameCase {
    std::string strName;
    std::string strPattern;
    int nExpected;
};

PathMatch PathMatchOf(int nExpected) {
    switch (nExpected) {
    case 0:
        return PathMatch::Same;
    case 1:
        return PathMatch::Below;
    case 2:
        return PathMatch::Above;
    default:
        return PathMatch::None;
    }
}

TEST(MatchName, Rules) {
    const std::string a200(200, 'a');
    std::string strPathological;
    for (int i = 0; i < 12; ++i)
        strPathological += "*a";
    strPathological += "*b";
    const std::vector<NameCase> cases = {
        {"a", "a*", 0},
        {"a", "a**", -1}, // two stars left when the name runs out
        {"ab", "a**", 0},
        {"a", "*a**", -1},
        {"ab", "*a**", 0},
        {"README", "*.*", -1},
        {"read.me", "*.*", 0},
        {".", "*.*", 0},
        {"b", "*b", 0},
        {"ab", "*b", 0},
        {"ba", "*b", -1},
        {"", "", 0},
        {"a", "", -1},
        {"", "*", 0},
        {"", "**", -1},
        {"", "?", -1},
        {"", "a", -1},
        {"abc", "a?c", 0},
        {"ac", "a?c", -1},
        {"abc", "*", 0},
        {"abc", "**", 0},
        {"abc", "a*b*c", 0},
        {"abc", "a*b*c*", 0},
        {"abc", "a*b*c**", -1},
        {"aXbXc", "a*b*c", 0},
        {"abcbc", "*bc", 0},
        {"main.c", "*.C", 0},
        {"MAIN.C", "main.c", 0},
        {"_x", "_X", 0},
        {"[", "{", -1}, // only a-z fold
        // Non-ASCII characters: whole, exact, never folded.
        {kEAcute, "?", 0},
        {kEAcute, "??", -1},
        {kEAcute, kEAcuteCap, -1},
        {std::string(kEAcute) + "x", std::string("\xC3") + "?", -1}, // never split
        {std::string(kFwa) + "bc", std::string(kFwA) + "*", -1},
        {std::string(kFwA) + "bc", std::string(kFwA) + "*", 0},
        {std::string(kFwA) + "BC", std::string(kFwA) + "bc", 0},
        {"\xFF", "?", 0}, // a malformed byte is a character of its own
        {"\xFF\xFF", "?", -1},
        {"\xC3", "\xC3", 0},
        {kEAcute, "\xC3", -1},
        {a200, strPathological, -1},
        {a200 + "b", strPathological, 0},
        {std::string(30, 'a'), "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a",
         -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchName(c.strName, c.strPattern), c.nExpected == 0)
            << "name '" << c.strName << "' pattern '" << c.strPattern << "'";
}

TEST(MatchNameList, AlternativesAndTrailingDot) {
    const std::vector<NameCase> cases = {
        {"README", "*.", 0},
        {"read.me", "*.", -1},
        {"README", "*.*", -1},
        {"read.me", "*.*", 0},
        {"abc", "abc.", 0},
        {"abc.", "abc.", -1}, // the dot is dropped from the pattern
        {"abc.", "*.", 0},    // a last dot is allowed
        {"a.b.", "*.", -1},
        {"x.h", "*.c|*.h", 0},
        {"x.h", "*.c\n*.h", 0},
        {"x.cpp", "*.c\n*.h", -1},
        {"a.c.bak", "*.c", -1},
        {"", "a||b", 0}, // an empty entry matches only an empty name
        {"", "a|", 0},
        {"", "a|b", -1},
        {"x", "a|", -1},
        {"", "", 0},
        {"x", "", -1},
        {"", ".", 0},
        {"MAKEFILE", "makefile.|*.mk", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchNameList(c.strName, c.strPattern), c.nExpected == 0)
            << "name '" << c.strName << "' list '" << c.strPattern << "'";
}

TEST(CompareNameNoCase, FoldsAsciiOnly) {
    const std::vector<NameCase> cases = {
        {"abc", "ABC", 0},
        {"Main.C", "main.c", 0},
        {"_x", "_X", 0},
        {"ab", "abc", -1},
        {"", "", 0},
        {"", "a", -1},
        {kEAcute, kEAcuteCap, -1},
        {kFwA, kFwa, -1},
        {std::string(kFwA) + "x", std::string(kFwA) + "X", 0},
        {"[", "{", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CompareNameNoCase(c.strName, c.strPattern), c.nExpected == 0)
            << c.strName << " / " << c.strPattern;
        EXPECT_EQ(CompareNameNoCase(c.strPattern, c.strName), c.nExpected == 0)
            << c.strPattern << " / " << c.strName;
    }
}

// ---------------------------------------------------------------------------
// MatchPath

TEST(MatchPath, Depths) {
    const std::vector<NameCase> cases = {
        {"", "", 0},
        {"/x", "", 1},
        {"", "\\abc", 2},
        {"/abc", "\\abc\\d*", 2},
        {"/abc/d1", "\\abc\\d*", 0},
        {"/abc/d1/x", "\\abc\\d*", 1},
        {"/abd", "\\abc\\d*", -1},
        {"/abc/e1", "\\abc\\d*", -1},
        {"/abc/d1", "/abc/d*", 0},
        {"/abc/d1", "\\abc/d*", 0},
        {"/ABC/D1", "\\abc\\d*", 0},
        {"/b", "\\a|b", 0}, // a component may hold alternatives
        {"/c", "\\a|b", -1},
        {"/xyz/9804ab", "\\xyz\\9804??", 0},
        {"/xyz/9804a", "\\xyz\\9804??", -1},
        {"/xyz/9804abc", "\\xyz\\9804??", -1},
        {"/xyz/9804ab/q", "\\xyz\\9804??", 1},
        // A backslash inside a relative path belongs to a Linux file name.
        {"/x\\y", "\\x\\y", -1},
        {"/x\\y", "\\x*", 0},
        {"/x\\y", "/x\\\\y", -1},
        {"/a", "\\a\\", 0}, // a trailing separator adds no component
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchPath(c.strName, c.strPattern), PathMatchOf(c.nExpected))
            << "path '" << c.strName << "' pattern '" << c.strPattern << "'";
}

// ---------------------------------------------------------------------------
// IsEntrySelected

struct EntryCase {
    std::string strHolder;
    std::string strName;
    bool bDir;
    bool bSelected;
};

void CheckEntries(const CPatternSet& ps, const std::vector<EntryCase>& cases,
                  const std::string& strWhat) {
    for (const auto& c : cases)
        EXPECT_EQ(IsEntrySelected(c.strHolder, c.strName, c.bDir, ps), c.bSelected)
            << strWhat << ": " << (c.bDir ? "dir " : "file ") << c.strHolder << "/" << c.strName;
}

TEST(IsEntrySelected, EmptySetTakesEverything) {
    const CPatternSet ps;
    EXPECT_TRUE(IsEntrySelected("", "a", false, ps));
    EXPECT_TRUE(IsEntrySelected("/x/y", "b.c", true, ps));
    EXPECT_EQ(ps.m_pCompiled, nullptr); // nothing to parse, nothing built
}

TEST(IsEntrySelected, DialogExamples) {
    // Files to synchronise: .c files in the d* directories under \abc.
    CheckEntries(MakeSet("\\abc\\d*\\*.c"),
                 {
                     {"", "abc", true, true},         // on the way (2)
                     {"/abc", "d1", true, true},      // at the depth (0)
                     {"/abc/d1", "x", true, false},   // below, but a file part (1)
                     {"", "xyz", true, false},        // elsewhere (-1)
                     {"/abc", "e1", true, false},     //
                     {"/abc", "m.c", false, false},   // files in \abc are left out
                     {"/abc/d1", "m.c", false, true}, //
                     {"/abc/D2", "M.C", false, true}, //
                     {"/abc/d1", "m.h", false, false},
                     {"/abc/d1/x", "m.c", false, false},
                     {"", "m.c", false, false},
                 },
                 "\\abc\\d*\\*.c");
    // Excluded files.
    CheckEntries(MakeSet("!a*.c"),
                 {
                     {"", "abc.c", false, false},
                     {"/deep/er", "A1.C", false, false},
                     {"", "b.c", false, true},
                     {"", "abc.h", false, true},
                     {"", "abc.c", true, true}, // directories are not names of files
                 },
                 "!a*.c");
    // Excluded directories: exactly two characters after 9804.
    CheckEntries(MakeSet("!\\xyz\\9804??\\"),
                 {
                     {"", "xyz", true, true},
                     {"/xyz", "9804ab", true, false},
                     {"/xyz", "9804AB", true, false},
                     {"/xyz", "9804a", true, true},   // too short
                     {"/xyz", "9804abc", true, true}, // too long
                     {"/xyz/9804ab", "sub", true, false},
                     {"/xyz/9804ab/sub", "f", false, false},
                     {"/xyz/9804a", "f", false, true},
                     {"/xyz", "9804ab", false, true}, // a file of that name is no directory
                     {"", "f", false, true},
                 },
                 "!\\xyz\\9804??\\");
}

TEST(IsEntrySelected, PathAndNamePatterns) {
    CheckEntries(MakeSet("\\*.c"),
                 {
                     {"", "main.c", false, true},
                     {"", "main.h", false, false},
                     {"", "sub", true, false}, // no subdirectory is entered
                     {"/sub", "x.c", false, false},
                 },
                 "\\*.c");
    // A path pattern without a file part takes the plain patterns as its file part.
    CheckEntries(MakeSet("\\abc\\\n*.h"),
                 {
                     {"/abc", "x.h", false, true},
                     {"/abc/deep", "x.h", false, true},
                     {"/abc", "x.c", false, false},
                     {"", "x.h", false, false},
                     {"", "abc", true, true},
                     {"/abc", "deep", true, true},
                     {"", "other", true, false},
                 },
                 "\\abc\\ and *.h");
    // Plain include list from the item path plus exclusions from the text.
    CheckEntries(MakeSet("!*.bak\n!\\obj\\*.o", "*.c\n*.bak\n*.o"),
                 {
                     {"", "a.c", false, true},
                     {"", "a.bak", false, false},
                     {"", "a.o", false, true},
                     {"/obj", "a.o", false, false},
                     {"/obj", "a.c", false, true},
                     {"/obj/deep", "a.o", false, true},
                     {"", "obj", true, true}, // a file part never excludes the directory
                     {"", "a.h", false, false},
                 },
                 "wildcards and exclusions");
    // Several include path patterns: any one may accept.
    CheckEntries(MakeSet("\\src\\*.c|*.h\n\\doc\\"),
                 {
                     {"/src", "a.h", false, true},
                     {"/src", "a.txt", false, false},
                     {"/doc/x", "a.txt", false, true},
                     {"", "src", true, true},
                     {"/src", "sub", true, false},
                     {"/doc", "sub", true, true},
                 },
                 "two include paths");
    // "!\" keeps the top directory's files and leaves out every directory.
    CheckEntries(MakeSet("!\\"),
                 {
                     {"", "a", false, true},
                     {"", "d", true, false},
                     {"/d", "a", false, false},
                 },
                 "!\\");
}

TEST(IsEntrySelected, BackslashInALinuxNameIsNoSeparator) {
    CheckEntries(MakeSet("\\x\\y\\*"),
                 {
                     {"", "x", true, true},
                     {"", "x\\y", true, false},
                     {"/x", "y", true, true},
                     {"/x/y", "f", false, true},
                     {"/x\\y", "f", false, false},
                 },
                 "\\x\\y\\*");
    CheckEntries(MakeSet("*.c"), {{"", "odd\\name.c", false, true}}, "*.c");
}

TEST(IsEntrySelected, StringsChangedAfterParsingAreHonoured) {
    CPatternSet ps = MakeSet("*.c");
    EXPECT_TRUE(IsEntrySelected("", "a.c", false, ps));
    EXPECT_FALSE(IsEntrySelected("", "a.h", false, ps));

    ps.m_strFiles[2] = 'h'; // same length, same buffer
    EXPECT_FALSE(IsEntrySelected("", "a.c", false, ps));
    EXPECT_TRUE(IsEntrySelected("", "a.h", false, ps));

    CPatternSet copy = ps; // shares the parsed form until one of them changes
    copy.m_strExPaths = "\\obj\\";
    EXPECT_FALSE(IsEntrySelected("", "obj", true, copy));
    EXPECT_TRUE(IsEntrySelected("", "obj", true, ps));
    EXPECT_TRUE(CanRemoveWholeDir("/x", copy));
    EXPECT_FALSE(CanRemoveWholeDir("/obj", copy));

    ps.m_strFiles.clear();
    EXPECT_TRUE(IsEntrySelected("", "a.c", false, ps));

    // Filled in directly, never parsed.
    const CPatternSet direct{"", "\\abc\\", "*.bak", ""};
    EXPECT_TRUE(IsEntrySelected("/abc", "x", false, direct));
    EXPECT_FALSE(IsEntrySelected("", "x", false, direct));
    EXPECT_FALSE(IsEntrySelected("/abc", "x.bak", false, direct));
}

// ---------------------------------------------------------------------------
// CanRemoveWholeDir

TEST(CanRemoveWholeDir, Table) {
    struct Case {
        const char* pszText;
        std::string strDir;
        int nExpected;
    };
    const std::vector<Case> cases = {
        {"", "/any", 1},
        {"*.c", "/any", 1},       // include patterns play no part
        {"\\abc\\", "/other", 1}, // nor do include paths
        {"!*.bak", "/any", 0},    // a file inside might be excluded
        {"!*.bak\n\\abc\\", "/abc", 0},
        {"!\\xyz\\9804??\\", "/xyz", 0},          // leads to an excluded directory
        {"!\\xyz\\9804??\\", "/xyz/9804ab", 0},   // is one
        {"!\\xyz\\9804??\\", "/xyz/9804ab/s", 0}, // lies inside one
        {"!\\xyz\\9804??\\", "/xyz/9804abc", 1},
        {"!\\xyz\\9804??\\", "/other", 1},
        {"!\\obj\\*.o", "/obj", 0},     // holds the excluded files
        {"!\\obj\\*.o", "/obj/sub", 1}, // below them: nothing excluded in it
        {"!\\a\\obj\\*.o", "/a", 0},    // leads to them
        {"!\\obj\\*.o", "/src", 1},
        {"!/obj/*.o", "/obj", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CanRemoveWholeDir(c.strDir, MakeSet(c.pszText)), c.nExpected == 1)
            << c.pszText << " at " << c.strDir;
}

// ---------------------------------------------------------------------------
// NormalizePatternText

TEST(NormalizePatternText, Table) {
    struct Case {
        std::string strIn;
        std::string strOut;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"*.c\r\n!a*.c\r\n", "*.c\n!a*.c\n"},
        {"a\rb\r", "a\rb\r"}, // a carriage return not before a line feed stays
        {"\r\n\r\n", "\n\n"},
        {"\\abc\\d*\\*.c\r\n!\\xyz\\9804??\\", "\\abc\\d*\\*.c\n!\\xyz\\9804??\\"},
        {"abc\\d*\\*.c", "\\abc\\d*\\*.c"},
        {"!xyz\\9804??\\", "!\\xyz\\9804??\\"},
        {"abc/d*/*.c", "/abc/d*/*.c"},
        {"!xyz/9804?\?/", "!/xyz/9804?\?/"},
        {"abc/d\\*.c", "/abc/d\\*.c"}, // the line's first separator decides
        {"abc\\d/*.c", "\\abc\\d/*.c"},
        {"!", "!"},
        {"!!a\\b", "!\\!a\\b"}, // only one "!" is skipped
        {"/abc", "/abc"},
        {"!/abc", "!/abc"},
        {std::string(kEAcute) + "\\x", std::string("\\") + kEAcute + "\\x"},
        {"a\\b\r\nc/d\r\n*.h", "\\a\\b\n/c/d\n*.h"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NormalizePatternText(c.strIn), c.strOut) << c.strIn;
}

TEST(NormalizePatternText, TypedPathBecomesAPathPattern) {
    const std::string strText = NormalizePatternText("abc\\d*\\*.c\r\n!a*.c\r\nxyz/q\r\n");
    const CPatternSet ps = MakeSet(strText.c_str());
    EXPECT_EQ(ps.m_strPaths, "\\abc\\d*\\*.c\n/xyz/q");
    EXPECT_EQ(ps.m_strExFiles, "a*.c");
    EXPECT_TRUE(ps.m_strFiles.empty());
}

// ---------------------------------------------------------------------------
// A walk over a real tree, done as the directory pass does it: an entry left out
// is not visited, a directory left out is not entered.

class PatternWalk : public ::testing::Test {
protected:
    void SetUp() override {
        std::string strTemplate = (fs::temp_directory_path() / "kovrel-patterns-XXXXXX").string();
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        m_root = strTemplate;
        for (const char* pszFile :
             {"top.c",          "top.h",      "README",          "abc/a.c",
              "abc/a.h",        "abc/d1/m.c", "abc/d1/m.h",      "abc/d1/x/deep.c",
              "abc/D2/n.C",     "abc/e1/o.c", "xyz/9804ab/in.c", "xyz/9804abc/in.c",
              "xyz/9804a/in.c", "xyz/keep.c", "odd\\dir/f.c",    "abc/odd\\name.c",
              "obj/a.o",        "obj/a.c",    "obj/sub/b.o",     "read.me"}) {
            const fs::path p = m_root / pszFile;
            fs::create_directories(p.parent_path());
            std::ofstream(p) << pszFile;
        }
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

    std::set<std::string> Walk(const CPatternSet& ps) const {
        std::set<std::string> setSelected;
        WalkDir(ps, "", setSelected);
        return setSelected;
    }

    void WalkDir(const CPatternSet& ps, const std::string& strRel,
                 std::set<std::string>& setSelected) const {
        std::vector<fs::directory_entry> vecEntries;
        for (const auto& e : fs::directory_iterator(m_root.string() + strRel))
            vecEntries.push_back(e);
        for (const auto& e : vecEntries) {
            const std::string strName = e.path().filename().string();
            const bool bDir = e.is_directory();
            if (!IsEntrySelected(strRel, strName, bDir, ps))
                continue;
            const std::string strChild = strRel + kPathSep + strName;
            if (bDir)
                WalkDir(ps, strChild, setSelected);
            else
                setSelected.insert(strChild);
        }
    }

    fs::path m_root;
};

TEST_F(PatternWalk, SelectionsOfTheDialogExamples) {
    EXPECT_EQ(Walk(MakeSet("\\abc\\d*\\*.c")),
              (std::set<std::string>{"/abc/d1/m.c", "/abc/D2/n.C"}));
    EXPECT_EQ(
        Walk(MakeSet("!\\xyz\\9804??\\\n!a*.c\n!*.o")),
        (std::set<std::string>{"/top.c", "/top.h", "/README", "/abc/a.h", "/abc/d1/m.c",
                               "/abc/d1/m.h", "/abc/d1/x/deep.c", "/abc/D2/n.C", "/abc/e1/o.c",
                               "/xyz/9804abc/in.c", "/xyz/9804a/in.c", "/xyz/keep.c",
                               "/odd\\dir/f.c", "/abc/odd\\name.c", "/read.me"}));
    EXPECT_EQ(Walk(MakeSet("*.")), (std::set<std::string>{"/README"}));
    EXPECT_EQ(Walk(MakeSet("\\*.*")), (std::set<std::string>{"/top.c", "/top.h", "/read.me"}));
}

TEST_F(PatternWalk, BackslashAndSlashStylesSelectAlike) {
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"\\abc\\d*\\*.c", "/abc/d*/*.c"},
        {"!\\xyz\\9804??\\", "!/xyz/9804?\?/"},
        {"\\abc\\\n*.h", "/abc/\n*.h"},
        {"\\*.c\n\\obj\\\n!\\obj\\sub\\", "/*.c\n/obj/\n!/obj/sub/"},
        {"\\abc\\d1|D2\\*.c|*.h\n!\\obj\\*.o", "/abc/d1|D2/*.c|*.h\n!/obj/*.o"},
        {"\\odd\\dir\\*", "/odd/dir/*"}, // neither reaches a directory named odd\dir
        // A text typed without the leading separator, normalised as stored.
        {NormalizePatternText("abc\\d*\\*.c\r\n!xyz\\9804??\\"),
         NormalizePatternText("abc/d*/*.c\r\n!xyz/9804?\?/")},
    };
    for (const auto& [strWin, strSlash] : pairs) {
        const auto setWin = Walk(MakeSet(strWin.c_str()));
        EXPECT_EQ(setWin, Walk(MakeSet(strSlash.c_str()))) << strWin;
        EXPECT_LT(setWin.size(), 20u) << strWin; // each text really leaves something out
    }
    EXPECT_TRUE(Walk(MakeSet("\\odd\\dir\\*")).empty());
    EXPECT_EQ(Walk(MakeSet("\\odd*\\*")), (std::set<std::string>{"/odd\\dir/f.c"}));
}

} // namespace
} // namespace kovrel
