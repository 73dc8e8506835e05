// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_text.h"

#include "text/text_codec.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cwchar>
#include <locale.h>

namespace tavrel::cli {

std::string printableText(std::string_view text, Breaks breaks)
{
    // Past this, every byte begins or continues a well-formed character, so C1 controls are
    // exactly the pairs C2 80 to C2 9F.
    const std::string valid = text::displayName(text);
    std::string out;
    out.reserve(valid.size());
    for (std::size_t i = 0; i < valid.size(); ++i) {
        const auto byte = static_cast<unsigned char>(valid[i]);
        const bool kept = breaks == Breaks::Keep && (byte == '\n' || byte == '\t');
        char escaped[8];
        if ((byte < 0x20 && !kept) || byte == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else if (byte == 0xC2 && i + 1 < valid.size() && static_cast<unsigned char>(valid[i + 1]) <= 0x9F) {
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned char>(valid[++i]));
            out += escaped;
        } else {
            out.push_back(static_cast<char>(byte));
        }
    }
    return out;
}

namespace {

// The code point of the character starting at `text[at]`, moving `at` past it; a byte that
// starts no well-formed sequence counts as one character of its own value.
char32_t nextCharacter(std::string_view text, std::size_t& at)
{
    char32_t point = 0;
    const std::size_t length = text::decodeUtf8(text, at, point);
    if (length == 0)
        point = static_cast<unsigned char>(text[at]);
    at += std::max<std::size_t>(length, 1);
    return point;
}

// wcwidth answers by the calling thread's locale, which is "C" (all non-ASCII unknown) unless
// the program set one; ask a UTF-8 one for this thread only.
int characterColumns(char32_t point)
{
    if (point < 0x80)
        return 1;
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    if (utf8 == locale_t{})
        return 1;
    const locale_t previous = ::uselocale(utf8);
    const int width = ::wcwidth(static_cast<wchar_t>(point));
    ::uselocale(previous);
    return width < 0 ? 1 : width;
}

} // namespace

std::size_t textColumns(std::string_view text)
{
    std::size_t columns = 0;
    for (std::size_t at = 0; at < text.size();)
        columns += static_cast<std::size_t>(characterColumns(nextCharacter(text, at)));
    return columns;
}

std::string_view lastColumns(std::string_view text, std::size_t columns)
{
    std::size_t start = text.size();
    std::size_t used = 0;
    while (start > 0) {
        std::size_t lead = start - 1;
        while (lead > 0 && (static_cast<unsigned char>(text[lead]) & 0xC0) == 0x80)
            --lead;
        std::size_t at = lead;
        const auto width = static_cast<std::size_t>(characterColumns(nextCharacter(text, at)));
        if (used + width > columns)
            break;
        used += width;
        start = lead;
    }
    return text.substr(start);
}

} // namespace tavrel::cli
