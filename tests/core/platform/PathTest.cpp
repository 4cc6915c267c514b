#include "platform/Path.h"

#include <gtest/gtest.h>

#include <string>

namespace kovrel::platform {
namespace {

// One table for every split: the parent directory and the last name of a path.
TEST(Path, SplitTable) {
    struct Case {
        const char* lpszIn;
        const char* lpszParent;
        const char* lpszName;
    } const cases[] = {
        {"/a/b", "/a", "b"},  {"/a/b/", "/a", "b"},
        {"/a//b", "/a", "b"}, {"/a//b//", "/a", "b"},
        {"/a", "/", "a"},     {"//a", "/", "a"},
        {"/", "/", ""},       {"//", "/", ""},
        {"a", ".", "a"},      {"a/", ".", "a"},
        {"a/b", "a", "b"},    {"a/b/c", "a/b", "c"},
        {"", ".", ""},        {".", ".", "."},
        {"a/..", "a", ".."},  {"x/\xe3\x81\x82", "x", "\xe3\x81\x82"},
    };
    for (const Case& c : cases) {
        const PathParts parts = SplitPath(c.lpszIn);
        EXPECT_EQ(parts.strParent, c.lpszParent) << '"' << c.lpszIn << '"';
        EXPECT_EQ(parts.strName, c.lpszName) << '"' << c.lpszIn << '"';
        EXPECT_EQ(ParentPath(c.lpszIn), c.lpszParent) << '"' << c.lpszIn << '"';
    }
}

TEST(Path, DirPrefixAndJoinTable) {
    struct Case {
        const char* lpszDir;
        const char* lpszPrefix;
    } const cases[] = {
        {"/a/b", "/a/b/"}, {"/a/b/", "/a/b/"}, {"/", "/"}, {"", "/"}, {"a", "a/"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DirPrefix(c.lpszDir), c.lpszPrefix) << c.lpszDir;
        EXPECT_EQ(JoinPath(c.lpszDir, "n"), std::string(c.lpszPrefix) + "n") << c.lpszDir;
    }
}

TEST(Path, NormalizeGivesOneSpellingPerPath) {
    const std::pair<const char*, const char*> cases[] = {
        {"/a/b", "/a/b"},     {"/a//b/", "/a/b"}, {"/a/./b/.", "/a/b"}, {"/", "/"},
        {"//", "/"},          {"a/b", "a/b"},     {"./a", "a"},         {".", "."},
        {"a/../b", "a/../b"}, {"", ""},           {"./", "."},
    };
    for (const auto& [lpszIn, lpszOut] : cases)
        EXPECT_EQ(NormalizePath(lpszIn), lpszOut) << lpszIn;
}

TEST(Path, SameOrInsideGoesByWholeComponents) {
    struct Case {
        const char* lpszOuter;
        const char* lpszInner;
        bool bInside;
    } const cases[] = {
        {"/a", "/a", true},    {"/a", "/a/b", true},  {"/a", "/ab", false},
        {"/a/b", "/a", false}, {"/", "/x", true},     {"/", "/", true},
        {"", "/a", false},     {"/a/", "/a/b", true}, {"/a", "/a/", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsSameOrInside(c.lpszOuter, c.lpszInner), c.bInside)
            << c.lpszOuter << " " << c.lpszInner;
}

} // namespace
} // namespace kovrel::platform
