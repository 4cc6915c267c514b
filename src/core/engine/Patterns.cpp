#include "engine/Patterns.h"

#include "text/Utf8.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace kovrel {

namespace detail {

// One entry of a name list. A list entry that ends in "." selects only names with
// no dot other than a last one; the dot itself is not part of the pattern.
struct CNamePattern {
    // Most patterns in real use are a plain name, "*" or "*" and a fixed ending
    // ("*.cpp", "*~"); those are answered by a direct comparison.
    enum class Kind : unsigned char { General, Exact, Any, StarSuffix };

    std::string_view strPat;   // without the trailing "." of a list entry
    std::string_view strFixed; // Exact: the whole pattern; StarSuffix: what follows the "*"
    Kind kind = Kind::General;
    bool bNoInnerDot = false;
};

using CNameList = std::vector<CNamePattern>;

// A path pattern split at its last separator: the directory part cut into its
// components (each a name list, so "|" alternatives work per component) and the
// file part, when there is one.
struct CPathPattern {
    std::vector<CNameList> vecDir;
    bool bHasFile = false;
    CNameList listFile;
};

// The parsed form of a CPatternSet. It keeps copies of the four strings it was
// built from: they tell whether it still fits the set, and every view below points
// into them, so the object is neither copied nor moved once built.
struct CCompiledPatterns {
    std::string strFiles;
    std::string strPaths;
    std::string strExFiles;
    std::string strExPaths;

    CNameList listFiles;
    std::vector<CPathPattern> vecPaths;
    CNameList listExFiles;
    std::vector<CPathPattern> vecExPaths;

    // Unique for the life of the process (never reused, never 0), so that results
    // remembered for one parsed form can never be taken for another's.
    std::uint64_t nId = 0;

    CCompiledPatterns() = default;
    CCompiledPatterns(const CCompiledPatterns&) = delete;
    CCompiledPatterns& operator=(const CCompiledPatterns&) = delete;
};

} // namespace detail

namespace {

using detail::CCompiledPatterns;
using detail::CNameList;
using detail::CNamePattern;
using detail::CPathPattern;

constexpr std::size_t npos = std::string_view::npos;

// Byte length of the character at s[i] (i < s.size()); ASCII without a call.
inline std::size_t CharAt(std::string_view s, std::size_t i) noexcept {
    return static_cast<unsigned char>(s[i]) < 0x80 ? 1 : text::CharLen(s, i);
}

// The name matcher.
//
// The rules read as a backtracking search: a "*" that is not the pattern's last
// character tries the rest of the pattern at every remaining character of the name
// but never against an empty remainder, and a name that runs out matches only when
// the pattern has run out too or exactly one "*" is left. Taken literally that is
// exponential ("*a*a*a...*b" against a long run of "a"s), so it is done as the
// classic scan with a single backtrack point, on a pattern rewritten so that the
// scan's usual glob meaning ("*" matches any run, also an empty one) gives the
// same answers:
//
//   T(P) = P with a trailing run of two or more "*" replaced by "?*".
//
// Claim: the rules match N against P exactly when glob matches N against T(P).
// By induction on |N| + |P|:
// - N empty: the rules want P == "" or P == "*"; glob wants T(P) to be all stars,
//   which holds for exactly those two (any other P leaves a "?" or a literal).
// - P empty, N not: neither matches.
// - P starts with "?" or a literal: both take one character of each (a literal
//   must equal it, else both fail), and T acts on the rest of P alone.
// - P == "*": both match.
// - P is a run of t >= 2 stars, N not empty: the rules try "*"^(t-1) against
//   non-empty remainders, which by induction always succeeds; T(P) == "?*"
//   matches any non-empty name.
// - P == "*" R with R not all stars: T(P) == "*" T(R). Glob tries T(R) against
//   every suffix of N, the empty one included; T(R) is not all stars, so the empty
//   suffix fails and only the non-empty suffixes count, exactly as in the rules.
// For glob with "*" and "?" the single-backtrack scan is exact: when a later "*"
// is reached, any placement an earlier star could still try is covered by the
// later star's own backtracking, so only the last star needs remembering.
// The scan itself visits each (name position, pattern position) pair at most once
// per backtrack of the last star, so it runs in O(|N| * |P|) time and O(1) space.
bool GlobMatch(std::string_view strName, std::string_view strPat) noexcept {
    std::size_t nBody = strPat.size();
    while (nBody > 0 && strPat[nBody - 1] == '*')
        --nBody;
    const std::size_t nTrail = strPat.size() - nBody;
    // Length of T(P): the body, then "*" (one star) or "?*" (two or more).
    const std::size_t nPat = nBody + (nTrail == 0 ? 0 : (nTrail == 1 ? 1 : 2));
    auto patAt = [&](std::size_t k) noexcept -> char {
        if (k < nBody)
            return strPat[k];
        return (nTrail >= 2 && k == nBody) ? '?' : '*';
    };

    const std::size_t nName = strName.size();
    std::size_t i = 0;
    std::size_t k = 0;
    std::size_t kStar = npos; // pattern position of the last "*" seen
    std::size_t iStar = 0;    // name position that star's run currently ends at
    while (i < nName) {
        if (k < nPat) {
            const char pc = patAt(k);
            if (pc == '*') {
                kStar = k++;
                iStar = i;
                continue;
            }
            if (pc == '?') {
                i += CharAt(strName, i);
                ++k;
                continue;
            }
            // A literal: only possible inside the body.
            if (static_cast<unsigned char>(pc) < 0x80) {
                // An ASCII byte of the name equals it after folding only when it is
                // a single-byte character itself: no byte of a longer one is < 0x80.
                if (text::FoldAscii(strName[i]) == text::FoldAscii(pc)) {
                    ++i;
                    ++k;
                    continue;
                }
            } else {
                const std::size_t nPc = text::CharLen(strPat.substr(0, nBody), k);
                const std::size_t nNc = CharAt(strName, i);
                if (nPc == nNc && strName.compare(i, nNc, strPat.substr(k, nPc)) == 0) {
                    i += nNc;
                    k += nPc;
                    continue;
                }
            }
        }
        if (kStar == npos)
            return false;
        // Let the last star swallow one more character and retry after it.
        iStar += CharAt(strName, iStar);
        i = iStar;
        k = kStar + 1;
    }
    while (k < nPat && patAt(k) == '*')
        ++k;
    return k == nPat;
}

CNamePattern MakeNamePattern(std::string_view strPat) noexcept {
    CNamePattern np;
    if (!strPat.empty() && strPat.back() == '.') {
        np.bNoInnerDot = true;
        strPat.remove_suffix(1);
    }
    np.strPat = strPat;
    if (strPat.find_first_of("*?") == npos) {
        // No wildcard: character by character equality, which byte-wise folded
        // equality gives exactly (see CompareNameNoCase).
        np.kind = CNamePattern::Kind::Exact;
        np.strFixed = strPat;
    } else if (strPat == "*") {
        np.kind = CNamePattern::Kind::Any;
    } else if (strPat.size() >= 2 && strPat[0] == '*' && strPat.find_first_of("*?", 1) == npos &&
               static_cast<unsigned char>(strPat[1]) < 0x80) {
        // "*" then a fixed, non-empty ending that starts with an ASCII byte: the
        // name must end with it. An ASCII byte always starts a character, so the
        // ending found by bytes begins on a character boundary, and from there
        // both sides, having the same bytes up to ASCII case, are cut into the
        // same characters. The "*" takes what precedes, possibly nothing.
        np.kind = CNamePattern::Kind::StarSuffix;
        np.strFixed = strPat.substr(1);
    }
    return np;
}

// Folded equality with the cheap rejections done before the call.
inline bool FoldedEqual(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size())
        return false;
    if (a.empty())
        return true;
    if (text::FoldAscii(a.back()) != text::FoldAscii(b.back()))
        return false;
    return text::EqualNoCase(a, b);
}

bool MatchOne(std::string_view strName, const CNamePattern& np) noexcept {
    if (np.bNoInnerDot) {
        const std::size_t nDot = strName.find('.');
        if (nDot != npos && nDot + 1 != strName.size())
            return false;
    }
    switch (np.kind) {
    case CNamePattern::Kind::Exact:
        return FoldedEqual(strName, np.strFixed);
    case CNamePattern::Kind::Any:
        return true;
    case CNamePattern::Kind::StarSuffix:
        return strName.size() >= np.strFixed.size() &&
               FoldedEqual(strName.substr(strName.size() - np.strFixed.size()), np.strFixed);
    case CNamePattern::Kind::General:
        break;
    }
    return GlobMatch(strName, np.strPat);
}

// Entries of a name list, cut at line feeds and "|". Separators in a row or at
// the end give empty entries, which match only an empty name.
CNameList ParseNameList(std::string_view strList) {
    CNameList list;
    std::size_t nPos = 0;
    for (;;) {
        std::size_t nEnd = strList.find_first_of("\n|", nPos);
        if (nEnd == npos)
            nEnd = strList.size();
        list.push_back(MakeNamePattern(strList.substr(nPos, nEnd - nPos)));
        if (nEnd == strList.size())
            break;
        nPos = nEnd + 1;
    }
    return list;
}

bool MatchList(std::string_view strName, const CNameList& list) noexcept {
    for (const CNamePattern& np : list)
        if (MatchOne(strName, np))
            return true;
    return false;
}

// The next component of a path from nPos: up to the next separator or the end.
// nPos is moved past the separator that ends the component, if any.
template <typename IsSep>
std::string_view NextComponent(std::string_view strPath, std::size_t& nPos, IsSep isSep) noexcept {
    std::size_t nEnd = nPos;
    while (nEnd < strPath.size() && !isSep(strPath[nEnd]))
        ++nEnd;
    const std::string_view strComp = strPath.substr(nPos, nEnd - nPos);
    nPos = nEnd < strPath.size() ? nEnd + 1 : nEnd;
    return strComp;
}

inline bool IsRelSep(char c) noexcept {
    return c == kPathSep;
}

std::vector<CNameList> ParseDirComponents(std::string_view strDir) {
    std::vector<CNameList> vec;
    std::size_t nPos = 0;
    while (nPos < strDir.size())
        vec.push_back(ParseNameList(NextComponent(strDir, nPos, IsPatternSep)));
    return vec;
}

std::vector<CPathPattern> ParsePathList(std::string_view strList) {
    std::vector<CPathPattern> vec;
    std::size_t nPos = 0;
    while (nPos < strList.size()) {
        std::string_view strDir;
        std::optional<std::string_view> strFile;
        const std::size_t nEnd = NextPatternLine(strList, nPos, strDir, strFile);
        CPathPattern pp;
        pp.vecDir = ParseDirComponents(strDir);
        pp.bHasFile = strFile.has_value();
        if (strFile)
            pp.listFile = ParseNameList(*strFile);
        vec.push_back(std::move(pp));
        nPos = nEnd < strList.size() ? nEnd + 1 : nEnd;
    }
    return vec;
}

// MatchPath against a parsed directory part.
PathMatch MatchPathParsed(std::string_view strRel, const std::vector<CNameList>& vecDir) noexcept {
    std::size_t nPos = 0;
    std::size_t nComp = 0;
    while (nPos < strRel.size() && nComp < vecDir.size()) {
        if (!MatchList(NextComponent(strRel, nPos, IsRelSep), vecDir[nComp++]))
            return PathMatch::None;
    }
    const bool bPathLeft = nPos < strRel.size();
    const bool bPatternLeft = nComp < vecDir.size();
    if (!bPathLeft && !bPatternLeft)
        return PathMatch::Same;
    return bPathLeft ? PathMatch::Below : PathMatch::Above;
}

std::shared_ptr<const CCompiledPatterns> Compile(const CPatternSet& ps) {
    static std::atomic<std::uint64_t> s_nLastId{0};
    auto pc = std::make_shared<CCompiledPatterns>();
    pc->nId = ++s_nLastId;
    pc->strFiles = ps.m_strFiles;
    pc->strPaths = ps.m_strPaths;
    pc->strExFiles = ps.m_strExFiles;
    pc->strExPaths = ps.m_strExPaths;
    // An empty list holds no patterns at all (not one empty pattern).
    if (!pc->strFiles.empty())
        pc->listFiles = ParseNameList(pc->strFiles);
    if (!pc->strExFiles.empty())
        pc->listExFiles = ParseNameList(pc->strExFiles);
    pc->vecPaths = ParsePathList(pc->strPaths);
    pc->vecExPaths = ParsePathList(pc->strExPaths);
    return pc;
}

const CCompiledPatterns& Compiled(const CPatternSet& ps) {
    const auto& pc = ps.m_pCompiled;
    if (!pc || pc->strFiles != ps.m_strFiles || pc->strPaths != ps.m_strPaths ||
        pc->strExFiles != ps.m_strExFiles || pc->strExPaths != ps.m_strExPaths)
        ps.m_pCompiled = Compile(ps);
    return *ps.m_pCompiled;
}

// The path patterns' results for the directory that holds the files being
// tested. The directory pass tests all entries of a directory in a row, and a
// file's result depends on its directory only, so each directory's path is
// matched once instead of once per file. One per thread, keyed by the parsed
// form's id and the exact directory path.
struct CHolderMemo {
    std::uint64_t nId = 0;
    std::string strHolder;
    std::vector<PathMatch> vecPaths;
    std::vector<PathMatch> vecExPaths;
};

const CHolderMemo& HolderResults(const CCompiledPatterns& pc, std::string_view strHolder) {
    thread_local CHolderMemo tls_memo;
    CHolderMemo& m = tls_memo;
    if (m.nId != pc.nId || m.strHolder != strHolder) {
        m.nId = 0; // invalid until complete, should an allocation fail midway
        m.vecPaths.clear();
        for (const CPathPattern& pp : pc.vecPaths)
            m.vecPaths.push_back(MatchPathParsed(strHolder, pp.vecDir));
        m.vecExPaths.clear();
        for (const CPathPattern& pp : pc.vecExPaths)
            m.vecExPaths.push_back(MatchPathParsed(strHolder, pp.vecDir));
        m.strHolder.assign(strHolder);
        m.nId = pc.nId;
    }
    return m;
}

bool IsEmptySet(const CPatternSet& ps) noexcept {
    return ps.m_strFiles.empty() && ps.m_strPaths.empty() && ps.m_strExFiles.empty() &&
           ps.m_strExPaths.empty();
}

void AppendLine(std::string& strMember, std::string_view strPattern) {
    if (!strMember.empty())
        strMember += '\n';
    strMember += strPattern;
}

} // namespace

std::string SplitWildcardPath(std::string_view strPath, std::string& strDir) {
    const std::size_t nSep = strPath.find_last_of("\\/");
    if (nSep == npos) {
        strDir.assign(strPath);
        return {};
    }
    if (nSep + 1 == strPath.size()) {
        // A trailing separator goes, unless it is all there is: "/" is the root.
        strDir.assign(strPath.substr(0, nSep == 0 ? 1 : nSep));
        return {};
    }
    const std::string_view strLast = strPath.substr(nSep + 1);
    if (strLast.find_first_of("*?|") == npos) {
        strDir.assign(strPath);
        return {};
    }
    std::string strList(strLast);
    for (char& c : strList)
        if (c == '|')
            c = '\n';
    // "/*.c" lists the root directory; cutting there must not leave an empty path.
    strDir.assign(strPath.substr(0, nSep == 0 ? 1 : nSep));
    return strList;
}

void ParsePatternText(CPatternSet& ps, const char* pszText) {
    if (pszText != nullptr) {
        const std::string_view strText(pszText);
        std::size_t nPos = 0;
        while (nPos < strText.size()) {
            std::size_t nEnd = strText.find('\n', nPos);
            if (nEnd == npos)
                nEnd = strText.size();
            const std::string_view strLine = strText.substr(nPos, nEnd - nPos);
            nPos = nEnd + 1;
            if (strLine.empty())
                continue;
            const bool bExclude = strLine[0] == '!';
            const std::string_view strPat = bExclude ? strLine.substr(1) : strLine;
            if (!strPat.empty() && IsPatternSep(strPat[0]))
                AppendLine(bExclude ? ps.m_strExPaths : ps.m_strPaths, strPat);
            else if (strPat.empty())
                continue; // "!" alone
            else
                AppendLine(bExclude ? ps.m_strExFiles : ps.m_strFiles, strPat);
        }
    }
    ps.m_pCompiled = Compile(ps);
}

std::size_t NextPatternLine(std::string_view strList, std::size_t nPos, std::string_view& strDir,
                            std::optional<std::string_view>& strFile) {
    if (nPos > strList.size())
        nPos = strList.size();
    std::size_t nEnd = strList.find('\n', nPos);
    if (nEnd == npos)
        nEnd = strList.size();
    const std::string_view strLine = strList.substr(nPos, nEnd - nPos);
    const std::size_t nSep = strLine.find_last_of("\\/");
    if (nSep == npos) {
        strDir = strLine;
        strFile.reset();
    } else {
        strDir = strLine.substr(0, nSep);
        if (nSep + 1 < strLine.size())
            strFile = strLine.substr(nSep + 1);
        else
            strFile.reset();
    }
    return nEnd;
}

bool MatchName(std::string_view strName, std::string_view strPattern) {
    return GlobMatch(strName, strPattern);
}

bool MatchNameList(std::string_view strName, std::string_view strList) {
    return MatchList(strName, ParseNameList(strList));
}

PathMatch MatchPath(std::string_view strRelPath, std::string_view strPatternDir) {
    return MatchPathParsed(strRelPath, ParseDirComponents(strPatternDir));
}

bool IsEntrySelected(std::string_view strHolderRel, std::string_view strName, bool bDir,
                     const CPatternSet& ps) {
    if (IsEmptySet(ps))
        return true;
    const CCompiledPatterns& pc = Compiled(ps);

    if (bDir) {
        if (pc.vecPaths.empty() && pc.vecExPaths.empty())
            return true; // name patterns never leave a directory out
        // The directory's own relative path; the buffer is reused so that a walk
        // does not allocate once per directory.
        thread_local std::string tls_strRel;
        tls_strRel.assign(strHolderRel);
        tls_strRel += kPathSep;
        tls_strRel += strName;
        const std::string_view strRel = tls_strRel;

        if (!pc.vecPaths.empty()) {
            bool bAccepted = false;
            for (const CPathPattern& pp : pc.vecPaths) {
                const PathMatch nRes = MatchPathParsed(strRel, pp.vecDir);
                // Same depth, or on the way to it; below it only when the pattern
                // takes whole trees (no file part).
                if (nRes == PathMatch::Same || nRes == PathMatch::Above ||
                    (nRes == PathMatch::Below && !pp.bHasFile)) {
                    bAccepted = true;
                    break;
                }
            }
            if (!bAccepted)
                return false;
        }
        for (const CPathPattern& pp : pc.vecExPaths) {
            if (pp.bHasFile)
                continue; // excludes files of a directory, never the directory
            const PathMatch nRes = MatchPathParsed(strRel, pp.vecDir);
            if (nRes == PathMatch::Same || nRes == PathMatch::Below)
                return false;
        }
        return true;
    }

    const bool bHaveFiles = !pc.strFiles.empty();
    const bool bHavePaths = !pc.vecPaths.empty() || !pc.vecExPaths.empty();
    const CHolderMemo* pMemo = bHavePaths ? &HolderResults(pc, strHolderRel) : nullptr;
    if (!pc.vecPaths.empty()) {
        bool bAccepted = false;
        for (std::size_t i = 0; i < pc.vecPaths.size(); ++i) {
            const CPathPattern& pp = pc.vecPaths[i];
            const PathMatch nRes = pMemo->vecPaths[i];
            if (pp.bHasFile) {
                if (nRes == PathMatch::Same && MatchList(strName, pp.listFile)) {
                    bAccepted = true;
                    break;
                }
            } else if ((nRes == PathMatch::Same || nRes == PathMatch::Below) &&
                       (!bHaveFiles || MatchList(strName, pc.listFiles))) {
                // The plain include patterns serve as the file part of a path
                // pattern that has none.
                bAccepted = true;
                break;
            }
        }
        if (!bAccepted)
            return false;
    } else if (bHaveFiles && !MatchList(strName, pc.listFiles)) {
        return false;
    }
    if (!pc.strExFiles.empty() && MatchList(strName, pc.listExFiles))
        return false;
    for (std::size_t i = 0; i < pc.vecExPaths.size(); ++i) {
        const CPathPattern& pp = pc.vecExPaths[i];
        const PathMatch nRes = pMemo->vecExPaths[i];
        if (pp.bHasFile ? (nRes == PathMatch::Same && MatchList(strName, pp.listFile))
                        : nRes == PathMatch::Below)
            return false;
    }
    return true;
}

bool CanRemoveWholeDir(std::string_view strDirRel, const CPatternSet& ps) {
    if (!ps.m_strExFiles.empty())
        return false; // some file inside might be excluded
    if (ps.m_strExPaths.empty())
        return true;
    const CCompiledPatterns& pc = Compiled(ps);
    for (const CPathPattern& pp : pc.vecExPaths) {
        const PathMatch nRes = MatchPathParsed(strDirRel, pp.vecDir);
        if (pp.bHasFile) {
            // It holds, or leads to, the directory whose files are excluded.
            if (nRes == PathMatch::Same || nRes == PathMatch::Above)
                return false;
        } else if (nRes != PathMatch::None) {
            // Excluded itself, inside an excluded directory, or leading to one.
            return false;
        }
    }
    return true;
}

bool CompareNameNoCase(std::string_view a, std::string_view b) {
    // Byte-wise folding is exact here: folding changes only a-z, no byte of a
    // multi-byte character is below 0x80, so equal folded bytes mean equal
    // characters, multi-byte ones compared exactly.
    return text::EqualNoCase(a, b);
}

std::string NormalizePatternText(std::string_view strEdited) {
    std::string strText;
    strText.reserve(strEdited.size() + 8);
    for (std::size_t i = 0; i < strEdited.size(); ++i) {
        if (strEdited[i] == '\r' && i + 1 < strEdited.size() && strEdited[i + 1] == '\n')
            continue;
        strText += strEdited[i];
    }

    std::string strOut;
    strOut.reserve(strText.size() + 8);
    std::size_t nPos = 0;
    for (;;) {
        std::size_t nEnd = strText.find('\n', nPos);
        const bool bLast = nEnd == npos;
        if (bLast)
            nEnd = strText.size();
        const std::string_view strLine = std::string_view(strText).substr(nPos, nEnd - nPos);
        const std::size_t nStart = (!strLine.empty() && strLine[0] == '!') ? 1 : 0;
        const std::size_t nSep = strLine.find_first_of("\\/", nStart);
        if (nSep != npos && nSep != nStart) {
            // Holds a separator but does not begin with one: anchor it at the top
            // directory with the separator style the line already uses.
            strOut += strLine.substr(0, nStart);
            strOut += strLine[nSep];
            strOut += strLine.substr(nStart);
        } else {
            strOut += strLine;
        }
        if (bLast)
            break;
        strOut += '\n';
        nPos = nEnd + 1;
    }
    return strOut;
}

} // namespace kovrel
