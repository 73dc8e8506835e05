// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavrel::text {

// The one UTF-8 decoder: the length of the well-formed sequence starting at `pos` (1 for
// ASCII) with its code point in `code`, or 0 when the byte there starts none (a stray
// continuation byte, a cut sequence, an overlong form, a surrogate, a value past U+10FFFF).
std::size_t decodeUtf8(std::string_view bytes, std::size_t pos, char32_t& code);

// The one UTF-8 encoder: appends `code` (a scalar value) to `out`.
void appendUtf8(std::string& out, char32_t code);

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view text);

// UTF-8 to UTF-16; each byte that does not start a valid sequence becomes U+FFFD.
std::u16string fromUtf8(std::string_view bytes);

// Whether `bytes` is well-formed UTF-8.
bool isValidUtf8(std::string_view bytes);

// Bytes of a path as text for people (log, report): valid UTF-8 passes through, every other
// byte is shown as "\xHH". Never used to name a file.
std::string displayName(std::string_view bytes);

// ASCII letters lowered, every other byte as it is: the same in every locale.
constexpr char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerAscii(std::string_view text);

} // namespace tavrel::text
