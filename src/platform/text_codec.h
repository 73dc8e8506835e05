// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace tavrel::platform {

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view text);

// UTF-8 to UTF-16; each byte that does not start a valid sequence becomes U+FFFD.
std::u16string fromUtf8(std::string_view bytes);

// Whether `bytes` is well-formed UTF-8.
bool isValidUtf8(std::string_view bytes);

// Bytes of a path as text for people (log, report): valid UTF-8 passes through, every other
// byte is shown as "\xHH". Never used to name a file.
std::string displayName(std::string_view bytes);

} // namespace tavrel::platform
