// Extended wildcard patterns: which entries of an item take part in its run.
//
// Character rules: any non-ASCII UTF-8 character is taken whole and compared
// exactly; ASCII letters fold a-z to A-Z. In pattern text and in the wildcard list
// at the end of an item path both "\\" and "/" separate components, so documents
// made on Windows keep working. Relative paths handed in by the directory pass are
// built with the platform separator kPathSep only: a backslash inside a Linux
// file name is part of the name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Path.h"

namespace kovrel {

inline constexpr char kPathSep = platform::kPathSep;

namespace detail {
struct CCompiledPatterns;
} // namespace detail

// An item's include and exclude patterns, each list separated by line feeds.
//
// The matching functions work on a parsed form of the four lists, held in
// m_pCompiled. ParsePatternText builds it; whenever the strings have been changed
// since (or it was never built) the next IsEntrySelected or CanRemoveWholeDir
// notices the difference and builds it again, so it can never go stale. The check
// compares the four strings with the copies the parsed form keeps, which costs far
// less than matching. Copies of a set share the parsed form, which is immutable.
// A set whose strings were changed directly must not be used by two threads at
// once before its first use (the rebuild writes m_pCompiled); after
// ParsePatternText it is only read.
struct CPatternSet {
    std::string m_strFiles;   // plain include patterns (the path's wildcard list first)
    std::string m_strPaths;   // include path patterns, each beginning with a separator
    std::string m_strExFiles; // plain exclude patterns, without their "!"
    std::string m_strExPaths; // exclude path patterns, without their "!"

    // Cache only, not part of the set's value: never set it yourself.
    mutable std::shared_ptr<const detail::CCompiledPatterns> m_pCompiled{};
};

// True for "\\" and "/", the separators of pattern text and of an item path's wildcard list.
constexpr bool IsPatternSep(char c) noexcept {
    return c == '\\' || c == '/';
}

// Cuts a wildcard list off the last component of strPath. strDir receives the
// directory (a trailing separator dropped, but "/" stays "/"); the result is the
// list with "|" turned into line feeds, or empty when there is none.
std::string SplitWildcardPath(std::string_view strPath, std::string& strDir);

// Sorts the lines of a pattern text into the set (appending). pszText may be null.
// Builds the set's parsed form as well.
void ParsePatternText(CPatternSet& ps, const char* pszText);

// Reads the line of a pattern list that starts at nPos (a line ends at a line feed
// or at the end of the list) and splits it at its last separator: strDir receives
// what precedes that separator, strFile what follows it, or nullopt when nothing
// does. A line without a separator is all strDir, with no file part. Returns the
// position of the line's end; the caller steps over the line feed found there and
// stops at the end of the list. Both views point into strList.
std::size_t NextPatternLine(std::string_view strList, std::size_t nPos, std::string_view& strDir,
                            std::optional<std::string_view>& strFile);

// True when the name matches the single pattern.
// Time O(|name| * |pattern|) at worst, no recursion.
bool MatchName(std::string_view strName, std::string_view strPattern);
// True when any pattern of the list (line feeds or "|") matches.
bool MatchNameList(std::string_view strName, std::string_view strList);

// How a relative path stands to the directory part of a path pattern, each
// component matched as a name list.
enum class PathMatch : std::int8_t {
    None,  // some component does not match
    Same,  // every component matches, same depth
    Below, // the pattern matches a leading part: the path lies below it
    Above  // the path matches a leading part of the pattern: it leads there
};
PathMatch MatchPath(std::string_view strRelPath, std::string_view strPatternDir);

// Whether an entry takes part. strHolderRel is the relative path of the directory
// that holds it: empty for the item's top directory, else kPathSep-separated
// components each preceded by kPathSep ("/sub/dir").
bool IsEntrySelected(std::string_view strHolderRel, std::string_view strName, bool bDir,
                     const CPatternSet& ps);

// True when a one-sided directory (relative path strDirRel) may be removed as a whole.
bool CanRemoveWholeDir(std::string_view strDirRel, const CPatternSet& ps);

// True when equal with ASCII letters folded.
bool CompareNameNoCase(std::string_view a, std::string_view b);

// The pattern text typed in the detailed settings made ready to store: a carriage
// return directly before a line feed is removed, and a line that holds a separator
// but does not begin with one (after an optional leading "!") gets one inserted
// there, the same character as the first separator of that line, so that every
// pattern naming a path starts at the item's top directory.
std::string NormalizePatternText(std::string_view strEdited);

} // namespace kovrel
