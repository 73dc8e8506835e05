// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavrel::engine {

// The longest path the engine hands to the file system. A longer one is skipped with an error
// line, never cut, because a cut path names some other item.
inline constexpr std::size_t kMaxPathBytes = 4096;

inline bool pathTooLong(std::string_view path)
{
    return path.size() > kMaxPathBytes;
}

// `path` with "/" appended unless it already ends with one.
inline std::string asFolderPath(std::string path)
{
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    return path;
}

} // namespace tavrel::engine
