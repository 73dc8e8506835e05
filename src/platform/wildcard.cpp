// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/wildcard.h"

#include "platform/text_codec.h"

#include <cstddef>

namespace tavrel::platform {

namespace {

char foldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Length of the character starting at `pos`: a well-formed UTF-8 sequence counts whole,
// anything else (a stray continuation byte, a truncated or ill-formed sequence) one byte.
std::size_t characterLength(std::string_view text, std::size_t pos)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    // Overlong forms, surrogates and code points past U+10FFFF are not characters: each of
    // their bytes counts alone, as the log shows it escaped.
    if (length == 1 || pos + length > text.size() || !isValidUtf8(text.substr(pos, length)))
        return 1;
    return length;
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
        } else if (p < pattern.size() && foldAscii(pattern[p]) == foldAscii(name[n])) {
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

} // namespace tavrel::platform
