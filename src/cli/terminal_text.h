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
// valid UTF-8 ("\xHH", as text::displayName shows it).
std::string printableText(std::string_view text, Breaks breaks = Breaks::Keep);

// The columns a terminal gives the UTF-8 `text` (printable: see above): two for a wide
// character (CJK, most emoji), none for a combining mark, else one, as wcwidth says in a UTF-8
// locale whatever the program's own locale is.
std::size_t textColumns(std::string_view text);
// The longest end of `text` that fits in `columns`, whole characters only.
std::string_view lastColumns(std::string_view text, std::size_t columns);

} // namespace tavrel::cli
