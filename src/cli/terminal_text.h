// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace tavrel::cli {

// Whether line breaks and tabs pass: a log keeps its lines, a value shown on one line or in a
// message does not.
enum class Breaks
{
    Keep,
    Escape,
};

// Text made safe for a terminal, so a crafted file name cannot drive it: control characters
// (C0 and DEL as "\xHH", C1 as "\u00HH") are shown as escapes, and so is every byte that is not
// valid UTF-8 ("\xHH", as platform::displayName shows it).
std::string printableText(std::string_view text, Breaks breaks = Breaks::Keep);

// The columns a terminal gives the UTF-8 `text`: one per character.
std::size_t textColumns(std::string_view text);

} // namespace tavrel::cli
