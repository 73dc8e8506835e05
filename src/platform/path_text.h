// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Paths as text: "/" between names, nothing asked of the system. Whatever a caller does with
// the answer (open, compare, make a folder), these only cut and compare bytes.
namespace tavrel::platform {

// The longest path the system takes, in bytes: PATH_MAX (4096) counts the terminating NUL. A
// longer path is refused where it is met, never cut, since a cut path names some other item.
inline constexpr std::size_t kMaxPathBytes = 4095;

inline bool pathTooLong(std::string_view path)
{
    return path.size() > kMaxPathBytes;
}

// `path` with "/" appended unless it already ends with one ("" becomes "/").
std::string asFolder(std::string path);

// `path` without the slashes it ends with; "/" stays "/".
std::string_view withoutTrailingSlashes(std::string_view path);

// A path cut before its last name, trailing slashes aside: the folder part keeps its "/".
struct PathParts
{
    std::string_view folder; // "/a/" for "/a/b" and "/a/b/", "/" for "/a", "" for "b"
    std::string_view name;   // "b"; "" for "/" and ""
};
PathParts splitPath(std::string_view path);

// The folder that holds `path`, ending with "/": "/a/" for "/a/b/". "" for a single relative
// name, "/" for "/" (the top holds itself).
inline std::string_view parentOf(std::string_view path)
{
    return splitPath(path).folder;
}

// The last name of `path`: "b" for "/a/b/". "" for "/".
inline std::string_view nameOf(std::string_view path)
{
    return splitPath(path).name;
}

// The names of `path` in order; the empty ones between doubled slashes and after the last
// slash are none. "." and ".." are names here: resolving them is the caller's choice.
std::vector<std::string> namesOf(std::string_view path);

// Whether `path` is `folder` or lies below it, on the text as written (no "." or ".." resolved,
// letter case compared). Either may end with "/"; "/a" is not at or below "/ab". Every absolute
// path lies at or below "/".
bool isAtOrBelow(std::string_view path, std::string_view folder);

// Whether `path` lies below `folder` and is not `folder` itself, as isAtOrBelow judges.
bool isBelow(std::string_view path, std::string_view folder);

} // namespace tavrel::platform
