// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_text.h"

#include <cstdio>

namespace tavrel::cli {

std::string printableText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        char escaped[8];
        if ((byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned char>(text[++i]));
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
