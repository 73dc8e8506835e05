// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_text.h"

#include "platform/text_codec.h"

#include <cstdio>

namespace tavrel::cli {

std::string printableText(std::string_view text, Breaks breaks)
{
    // Past this, every byte begins or continues a well-formed character, so C1 controls are
    // exactly the pairs C2 80 to C2 9F.
    const std::string valid = platform::displayName(text);
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

std::size_t textColumns(std::string_view text)
{
    std::size_t columns = 0;
    for (const char c : text)
        columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return columns;
}

} // namespace tavrel::cli
