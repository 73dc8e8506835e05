// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/wildcard.h"

#include "text/text_codec.h"

#include <algorithm>
#include <cstddef>

namespace tavrel::text {

namespace {

// Length of the character starting at `pos`: a well-formed UTF-8 sequence counts whole;
// anything else (a stray continuation byte, a cut, overlong or surrogate sequence, a value past
// U+10FFFF) is no character, and each of its bytes counts alone, as the log shows it escaped.
std::size_t characterLength(std::string_view text, std::size_t pos)
{
    char32_t code = 0;
    return std::max<std::size_t>(decodeUtf8(text, pos, code), 1);
}

// Greedy match that remembers only the last "*": on a mismatch that star takes one more
// character and the rest is retried. Earlier stars never need revisiting, which keeps the
// work bounded by name length times pattern length (no exponential backtracking).
bool matchPlain(std::string_view name, std::string_view pattern)
{
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starPattern = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            n += characterLength(name, n);
            ++p;
        } else if (p < pattern.size() && lowerAscii(pattern[p]) == lowerAscii(name[n])) {
            ++n;
            ++p;
        } else if (starPattern != std::string_view::npos) {
            starName += characterLength(name, starName);
            n = starName;
            p = starPattern + 1;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace

bool matchesPattern(std::string_view name, std::string_view pattern)
{
    if (matchPlain(name, pattern))
        return true;
    if (name.find('.') != std::string_view::npos)
        return false;
    if (pattern.ends_with(".*"))
        return matchPlain(name, pattern.substr(0, pattern.size() - 2));
    if (pattern.ends_with('.'))
        return matchPlain(name, pattern.substr(0, pattern.size() - 1));
    return false;
}

} // namespace tavrel::text
