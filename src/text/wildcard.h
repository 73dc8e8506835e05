// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace tavrel::text {

// Folder-search wildcard match of a raw file name: "*" matches any run, "?" exactly one
// character (a whole UTF-8 sequence, or one byte where the name is not valid UTF-8), ASCII
// letters without case, every other byte exactly. A pattern ending in ".*" also matches a
// name without a dot ("*.*" matches every name); one ending in "." matches names without a
// dot ("*." matches "README", not "a.txt"). Time is O(name * pattern) at worst.
bool matchesPattern(std::string_view name, std::string_view pattern);

} // namespace tavrel::text
