// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/path_text.h"

#include <climits>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace tavrel::platform;

TEST(PathText, SplitGivesTheFolderWithItsSlashAndTheLastName)
{
    const struct
    {
        const char* path;
        const char* folder;
        const char* name;
    } cases[] = {
        {"/a/b", "/a/", "b"},   {"/a/b/", "/a/", "b"}, {"/a/b//", "/a/", "b"}, {"/a", "/", "a"},
        {"/", "/", ""},         {"//", "/", ""},       {"b", "", "b"},         {"b/", "", "b"},
        {"a/b", "a/", "b"},     {"", "", ""},          {"./b", "./", "b"},     {"/a/..", "/a/", ".."},
        {"/a//b", "/a//", "b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const PathParts parts = splitPath(c.path);
        EXPECT_EQ(parts.folder, c.folder);
        EXPECT_EQ(parts.name, c.name);
        EXPECT_EQ(parentOf(c.path), c.folder);
        EXPECT_EQ(nameOf(c.path), c.name);
    }
}

TEST(PathText, FolderFormsAddOrDropTheTrailingSlash)
{
    EXPECT_EQ(asFolder(""), "/");
    EXPECT_EQ(asFolder("/a"), "/a/");
    EXPECT_EQ(asFolder("/a/"), "/a/");
    EXPECT_EQ(asFolder("a"), "a/");
    EXPECT_EQ(withoutTrailingSlashes("/a//"), "/a");
    EXPECT_EQ(withoutTrailingSlashes("///"), "/");
    EXPECT_EQ(withoutTrailingSlashes("a"), "a");
    EXPECT_EQ(withoutTrailingSlashes(""), "");
}

TEST(PathText, BelowIsDecidedAtANameBoundary)
{
    const struct
    {
        const char* path;
        const char* folder;
        bool atOrBelow;
        bool below;
    } cases[] = {
        {"/a", "/a", true, false},
        {"/a/", "/a", true, false},
        {"/a", "/a/", true, false},
        {"/a/b", "/a", true, true},
        {"/a/b", "/a/", true, true},
        {"/a/b/c", "/a", true, true},
        {"/ab", "/a", false, false},
        {"/a", "/a/b", false, false},
        {"/", "/", true, false},
        {"/x", "/", true, true},
        {"/x", "//", true, true},
        {"x", "/", false, false},
        {"a/b", "a", true, true},
        // Case is compared: folding is the caller's business.
        {"/A/b", "/a", false, false},
        // The text as written: no dot is resolved.
        {"/a/../b", "/a", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " in " + c.folder);
        EXPECT_EQ(isAtOrBelow(c.path, c.folder), c.atOrBelow);
        EXPECT_EQ(isBelow(c.path, c.folder), c.below);
    }
}

TEST(PathText, NamesLeaveOutTheEmptyOnesOnly)
{
    const struct
    {
        const char* path;
        std::vector<std::string> names;
    } cases[] = {
        {"/a/b/", {"a", "b"}},
        {"a//b", {"a", "b"}},
        {"/", {}},
        {"", {}},
        {"x", {"x"}},
        {"/a/./../b", {"a", ".", "..", "b"}},
        {"//a///", {"a"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(namesOf(c.path), c.names) << c.path;
}

TEST(PathText, TheLimitIsTheSystemsLessItsTerminator)
{
    EXPECT_EQ(kMaxPathBytes + 1, static_cast<std::size_t>(PATH_MAX));
    EXPECT_FALSE(pathTooLong(std::string(kMaxPathBytes, 'a')));
    EXPECT_TRUE(pathTooLong(std::string(kMaxPathBytes + 1, 'a')));
}
