// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace tavrel::cli {

// Text made safe for a terminal: control characters other than line breaks and tabs (C0, DEL
// and C1) are shown as escapes, so a crafted file name cannot drive the terminal.
std::string printableText(std::string_view text);

// The columns a terminal gives the UTF-8 `text`: one per character.
std::size_t textColumns(std::string_view text);

} // namespace tavrel::cli
