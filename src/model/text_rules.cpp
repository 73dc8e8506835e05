// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/text_rules.h"

namespace tavrel::model {

std::u16string trimSpaces(std::u16string_view source)
{
    const auto first = source.find_first_not_of(u' ');
    if (first == std::u16string_view::npos)
        return {};
    const auto last = source.find_last_not_of(u' ');
    return std::u16string(source.substr(first, last - first + 1));
}

std::u16string fitText(std::u16string_view text, std::size_t capacity)
{
    if (text.size() <= capacity)
        return std::u16string(text);
    std::size_t length = capacity;
    const char16_t lastKept = text[length - 1];
    if (length > 0 && lastKept >= 0xD800 && lastKept <= 0xDBFF)
        --length;
    return std::u16string(text.substr(0, length));
}

} // namespace tavrel::model
