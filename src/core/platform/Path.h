// Path text, one rule for every layer: components are separated by kPathSep,
// repeated separators count as one, and trailing separators belong to no
// component ("a/b/" names the same entry as "a/b"). "/" is the root and its own
// parent; a path without a separator lies in ".". Nothing here touches the disk.
#pragma once

#include <string>
#include <string_view>

namespace kovrel::platform {

inline constexpr char kPathSep = '/';

// The parent directory and the last component of a path as the kernel sees them:
// "a/b//c/" gives "a/b" and "c", "c" gives "." and "c", "/c" gives "/" and "c",
// "/" gives "/" and "", "" gives "." and "".
struct PathParts {
    std::string_view strParent;
    std::string_view strName;
};
PathParts SplitPath(std::string_view strPath) noexcept;

// SplitPath(strPath).strParent as a string.
std::string ParentPath(std::string_view strPath);

// The directory with one separator at its end, ready for a name to be appended:
// "a/b" and "a/b/" give "a/b/", "/" stays "/", "" gives "/" (room is reserved for
// a name, the buffer is reused for every entry of a directory).
std::string DirPrefix(std::string_view strDir);

// DirPrefix(strDir) followed by strName.
std::string JoinPath(std::string_view strDir, std::string_view strName);

// The same path written one way: repeated and trailing separators and "."
// components dropped ("a//b/./c/" is "a/b/c"; "" stays "", "./" is ".", "//" is
// "/"). ".." is kept: it cannot be taken back lexically past a symbolic link.
std::string NormalizePath(std::string_view strPath);

// True when strInner is strOuter or lies inside it, component by component
// ("/a" holds "/a/b" but not "/ab"). Both are taken as written.
bool IsSameOrInside(std::string_view strOuter, std::string_view strInner) noexcept;

} // namespace kovrel::platform
