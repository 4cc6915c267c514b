// The real matcher against a word-for-word transcription of the matching rules.
//
// The reference below is the rules as written: a recursive search that tries the
// rest of the pattern after a "*" at every remaining character. It is exponential,
// so it only ever sees short strings; the real matcher must give the same answer
// for every one of them.
#include "engine/Patterns.h"
#include "text/Utf8.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

namespace kovrel {
namespace {

using text::CharLen;

// MatchPath's answer as the reference below counts it: 0 same depth, 1 below,
// 2 above, -1 no match.
int Rank(PathMatch m) {
    switch (m) {
    case PathMatch::Same:
        return 0;
    case PathMatch::Below:
        return 1;
    case PathMatch::Above:
        return 2;
    case PathMatch::None:
        break;
    }
    return -1;
}

int RefMatchName(std::string_view strName, std::string_view strPat) {
    std::size_t i = 0;
    std::size_t k = 0;
    for (;;) {
        if (i >= strName.size())
            break; // the name is exhausted
        if (k >= strPat.size())
            return -1;
        if (strPat[k] == '?') {
            i += CharLen(strName, i);
            k += 1;
            continue;
        }
        if (strPat[k] == '*') {
            if (k + 1 == strPat.size())
                return 0; // a last "*" takes whatever remains
            const std::string_view strRest = strPat.substr(k + 1);
            // Never against the empty remainder.
            for (std::size_t j = i; j < strName.size(); j += CharLen(strName, j))
                if (RefMatchName(strName.substr(j), strRest) == 0)
                    return 0;
            return -1;
        }
        const std::size_t nNc = CharLen(strName, i);
        const std::size_t nPc = CharLen(strPat, k);
        if (nNc > 1 || nPc > 1) {
            if (strName.substr(i, nNc) != strPat.substr(k, nPc))
                return -1;
        } else if (text::FoldAscii(strName[i]) != text::FoldAscii(strPat[k])) {
            return -1;
        }
        i += nNc;
        k += nPc;
    }
    const std::string_view strLeft = strPat.substr(k);
    return (strLeft.empty() || strLeft == "*") ? 0 : -1;
}

int RefMatchNameList(std::string_view strName, std::string_view strList) {
    std::vector<std::string_view> vecPats;
    std::size_t nStart = 0;
    for (std::size_t i = 0; i <= strList.size(); ++i) {
        if (i == strList.size() || strList[i] == '\n' || strList[i] == '|') {
            vecPats.push_back(strList.substr(nStart, i - nStart));
            nStart = i + 1;
        }
    }
    for (std::string_view strPat : vecPats) {
        if (!strPat.empty() && strPat.back() == '.') {
            strPat.remove_suffix(1);
            bool bInnerDot = false;
            for (std::size_t i = 0; i + 1 < strName.size(); ++i)
                bInnerDot = bInnerDot || strName[i] == '.';
            if (bInnerDot)
                continue;
        }
        if (RefMatchName(strName, strPat) == 0)
            return 0;
    }
    return -1;
}

// Selection decided straight from the four strings with the string-level helpers,
// as the rules read; the real one works on the parsed form the set caches.
bool RefIsEntrySelected(const std::string& strHolder, const std::string& strName, bool bDir,
                        const CPatternSet& ps) {
    struct Line {
        std::string strDir;
        std::optional<std::string> strFile;
    };
    auto lines = [](const std::string& strList) {
        std::vector<Line> vec;
        std::size_t nPos = 0;
        while (nPos < strList.size()) {
            std::string_view strDir;
            std::optional<std::string_view> strFile;
            const std::size_t nEnd = NextPatternLine(strList, nPos, strDir, strFile);
            vec.push_back({std::string(strDir),
                           strFile ? std::optional<std::string>(*strFile) : std::nullopt});
            nPos = nEnd < strList.size() ? nEnd + 1 : nEnd;
        }
        return vec;
    };
    if (bDir) {
        const std::string strRel = strHolder + "/" + strName;
        if (!ps.m_strPaths.empty()) {
            bool bOk = false;
            for (const Line& l : lines(ps.m_strPaths)) {
                const int r = Rank(MatchPath(strRel, l.strDir));
                bOk = bOk || r == 0 || r == 2 || (r == 1 && !l.strFile);
            }
            if (!bOk)
                return false;
        }
        for (const Line& l : lines(ps.m_strExPaths)) {
            const int r = Rank(MatchPath(strRel, l.strDir));
            if (!l.strFile && (r == 0 || r == 1))
                return false;
        }
        return true;
    }
    if (!ps.m_strPaths.empty()) {
        bool bOk = false;
        for (const Line& l : lines(ps.m_strPaths)) {
            const int r = Rank(MatchPath(strHolder, l.strDir));
            if (l.strFile)
                bOk = bOk || (r == 0 && MatchNameList(strName, *l.strFile));
            else
                bOk = bOk || ((r == 0 || r == 1) &&
                              (ps.m_strFiles.empty() || MatchNameList(strName, ps.m_strFiles)));
        }
        if (!bOk)
            return false;
    } else if (!ps.m_strFiles.empty() && !MatchNameList(strName, ps.m_strFiles)) {
        return false;
    }
    if (!ps.m_strExFiles.empty() && MatchNameList(strName, ps.m_strExFiles))
        return false;
    for (const Line& l : lines(ps.m_strExPaths)) {
        const int r = Rank(MatchPath(strHolder, l.strDir));
        if (l.strFile ? (r == 0 && MatchNameList(strName, *l.strFile)) : r == 1)
            return false;
    }
    return true;
}

std::string RandomString(std::mt19937& rng, const std::vector<std::string>& vecAlphabet,
                         int nMaxLen) {
    std::uniform_int_distribution<int> len(0, nMaxLen);
    std::uniform_int_distribution<std::size_t> pick(0, vecAlphabet.size() - 1);
    std::string s;
    for (int n = len(rng); n > 0; --n)
        s += vecAlphabet[pick(rng)];
    return s;
}

// e acute (two bytes), a lone lead byte, a lone continuation byte, a stray 0xFF.
const std::vector<std::string> kNameAlphabet = {"a",    "A",    "b",    "B", ".", "\xC3\xA9",
                                                "\xC3", "\xA9", "\xFF", "*", "?"};
const std::vector<std::string> kPatternAlphabet = {"*", "*", "*",        "?",    ".",    "a",
                                                   "A", "b", "\xC3\xA9", "\xC3", "\xA9", "\xFF"};

TEST(PatternDifferential, MatchNameAgreesWithTheRules) {
    std::mt19937 rng(20240611);
    int nMatches = 0;
    constexpr int kRounds = 150000;
    for (int n = 0; n < kRounds; ++n) {
        const std::string strName = RandomString(rng, kNameAlphabet, 7);
        const std::string strPat = RandomString(rng, kPatternAlphabet, 7);
        const int nRef = RefMatchName(strName, strPat);
        ASSERT_EQ(MatchName(strName, strPat), nRef == 0)
            << "name '" << strName << "' pattern '" << strPat << "'";
        nMatches += nRef == 0;
    }
    // Both answers must occur often, or the comparison proves little.
    EXPECT_GT(nMatches, kRounds / 20);
    EXPECT_LT(nMatches, kRounds - kRounds / 20);
}

TEST(PatternDifferential, MatchNameOnAllShortStrings) {
    // Every pattern of up to four characters over a tiny alphabet against every
    // name of up to four characters: the corners random sampling may miss.
    const std::vector<std::string> vecPat = {"*", "?", "a", "\xC3\xA9"};
    const std::vector<std::string> vecName = {"a", "A", "\xC3\xA9"};
    auto all = [](const std::vector<std::string>& vecAlpha, int nMax) {
        std::vector<std::string> out = {""};
        std::size_t nFrom = 0;
        for (int len = 1; len <= nMax; ++len) {
            const std::size_t nTo = out.size();
            for (std::size_t i = nFrom; i < nTo; ++i)
                for (const auto& c : vecAlpha)
                    out.push_back(out[i] + c);
            nFrom = nTo;
        }
        return out;
    };
    const auto vecPats = all(vecPat, 4);
    const auto vecNames = all(vecName, 4);
    for (const auto& strPat : vecPats)
        for (const auto& strName : vecNames)
            ASSERT_EQ(MatchName(strName, strPat), RefMatchName(strName, strPat) == 0)
                << "name '" << strName << "' pattern '" << strPat << "'";
}

TEST(PatternDifferential, MatchNameListAgreesWithTheRules) {
    std::mt19937 rng(7);
    std::vector<std::string> vecListAlphabet = kPatternAlphabet;
    vecListAlphabet.insert(vecListAlphabet.end(), {"|", "\n", ".", "."});
    for (int n = 0; n < 40000; ++n) {
        const std::string strName = RandomString(rng, kNameAlphabet, 6);
        const std::string strList = RandomString(rng, vecListAlphabet, 9);
        ASSERT_EQ(MatchNameList(strName, strList), RefMatchNameList(strName, strList) == 0)
            << "name '" << strName << "' list '" << strList << "'";
    }
}

TEST(PatternDifferential, IsEntrySelectedAgreesWithTheStringRules) {
    std::mt19937 rng(99);
    const std::vector<std::string> vecComp = {"a", "b", "A*", "?", "*", "a|b", "b.", "*.c"};
    const std::vector<std::string> vecNames = {"a", "b", "B", "a.c", "b.h", "ab", "x.c"};
    std::uniform_int_distribution<int> coin(0, 1);
    std::uniform_int_distribution<int> depth(0, 3);
    std::uniform_int_distribution<std::size_t> comp(0, vecComp.size() - 1);
    std::uniform_int_distribution<std::size_t> name(0, vecNames.size() - 1);
    std::uniform_int_distribution<int> kind(0, 5);

    auto randomLine = [&]() {
        std::string strLine;
        const int nKind = kind(rng);
        if (nKind >= 2) { // a path pattern, in either separator style
            const char cSep = coin(rng) ? '\\' : '/';
            for (int d = depth(rng); d > 0; --d)
                strLine += cSep + vecComp[comp(rng)];
            strLine += cSep;
            if (coin(rng))
                strLine += vecComp[comp(rng)];
        } else {
            strLine = vecComp[comp(rng)];
        }
        if (kind(rng) < 2)
            strLine = "!" + strLine;
        return strLine;
    };
    int nSelected = 0;
    int nChecks = 0;
    for (int nSet = 0; nSet < 1500; ++nSet) {
        std::string strText;
        for (int l = depth(rng); l >= 0; --l)
            strText += randomLine() + "\n";
        CPatternSet ps;
        if (coin(rng))
            ps.m_strFiles = vecComp[comp(rng)];
        ParsePatternText(ps, strText.c_str());
        for (int e = 0; e < 20; ++e) {
            std::string strHolder;
            for (int d = depth(rng); d > 0; --d)
                strHolder += "/" + vecNames[name(rng)];
            const std::string strName = vecNames[name(rng)];
            const bool bDir = coin(rng) != 0;
            const bool bRef = RefIsEntrySelected(strHolder, strName, bDir, ps);
            ASSERT_EQ(IsEntrySelected(strHolder, strName, bDir, ps), bRef)
                << "text '" << strText << "' files '" << ps.m_strFiles << "' entry " << strHolder
                << "/" << strName << (bDir ? " (dir)" : " (file)");
            nSelected += bRef;
            ++nChecks;
        }
    }
    EXPECT_GT(nSelected, nChecks / 10);
    EXPECT_LT(nSelected, nChecks - nChecks / 10);
}

} // namespace
} // namespace kovrel
