// Extended wildcard patterns: which entries of an item take part in its run.
//
// Character rules: any non-ASCII UTF-8 character is taken whole and compared
// exactly; ASCII letters fold a-z to A-Z. In pattern text and in the wildcard list
// at the end of an item path both "\\" and "/" separate components, so documents
// made on Windows keep working. Relative paths handed in by the directory pass are
// built with the platform separator kPathSep only: a backslash inside a Linux
// file name is part of the name.
#pragma once

#include <string>
#include <string_view>

namespace kovrel {

inline constexpr char kPathSep = '/';

// An item's include and exclude patterns, each list separated by line feeds.
struct CPatternSet {
    std::string m_strFiles;   // plain include patterns (the path's wildcard list first)
    std::string m_strPaths;   // include path patterns, each beginning with a separator
    std::string m_strExFiles; // plain exclude patterns, without their "!"
    std::string m_strExPaths; // exclude path patterns, without their "!"
};

// Cuts a wildcard list off the last component of strPath. strDir receives the
// directory (a trailing separator dropped, but "/" stays "/"); the result is the
// list with "|" turned into line feeds, or empty when there is none.
std::string SplitWildcardPath(std::string_view strPath, std::string& strDir);

// Sorts the lines of a pattern text into the set (appending). pszText may be null.
void ParsePatternText(CPatternSet& ps, const char* pszText);

// 0 when the name matches the single pattern, -1 when not.
int MatchName(std::string_view strName, std::string_view strPattern);
// 0 when any pattern of the list (line feeds or "|") matches, -1 when none does.
int MatchNameList(std::string_view strName, std::string_view strList);
// 0 same depth, 1 below, 2 above, -1 no match.
int MatchPath(std::string_view strRelPath, std::string_view strPatternDir);

// Whether an entry takes part. strHolderRel is the relative path of the directory
// that holds it: empty for the item's top directory, else kPathSep-separated
// components each preceded by kPathSep ("/sub/dir").
bool IsEntrySelected(std::string_view strHolderRel, std::string_view strName, bool bDir,
                     const CPatternSet& ps);

// 1 when a one-sided directory (relative path strDirRel) may be removed as a whole.
int CanRemoveWholeDir(std::string_view strDirRel, const CPatternSet& ps);

// 0 when equal with ASCII letters folded, -1 when not.
int CompareNameNoCase(std::string_view a, std::string_view b);

} // namespace kovrel
