// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavrel::model {

// Capacities of the job's texts in UTF-16 code units, terminator not counted.
inline constexpr std::size_t kNameCapacity = 20;
inline constexpr std::size_t kPathCapacity = 259;
inline constexpr std::size_t kItemCapacity = 259;
// The longest pattern text the pair dialog hands to parsePatternList.
inline constexpr std::size_t kPatternTextCapacity = 1022;

// The source without its leading and trailing U+0020 characters; tabs and other blanks stay.
std::u16string trimSpaces(std::u16string_view source);

// The text cut to at most `capacity` code units. A cut never leaves the first half of a
// surrogate pair dangling at the end.
std::u16string fitText(std::u16string_view text, std::size_t capacity);

} // namespace tavrel::model
