// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/text_codec.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace tavrel::text {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

} // namespace

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::size_t decodeUtf8(std::string_view bytes, std::size_t pos, char32_t& cp)
{
    const auto b0 = static_cast<unsigned char>(bytes[pos]);
    std::size_t length = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        length = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (pos + length > bytes.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(bytes[pos + i]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

std::string toUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        appendUtf8(out, cp);
    }
    return out;
}

std::u16string fromUtf8(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        char32_t cp = 0;
        const std::size_t length = decodeUtf8(bytes, pos, cp);
        if (length == 0) {
            cp = kReplacement;
            pos += 1;
        } else {
            pos += length;
        }
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

bool isValidUtf8(std::string_view bytes)
{
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        char32_t cp = 0;
        const std::size_t length = decodeUtf8(bytes, pos, cp);
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

std::string displayName(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        char32_t cp = 0;
        const std::size_t length = decodeUtf8(bytes, pos, cp);
        if (length == 0) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(bytes[pos]));
            out += escaped;
            pos += 1;
        } else {
            out.append(bytes.substr(pos, length));
            pos += length;
        }
    }
    return out;
}

std::string lowerAscii(std::string_view text)
{
    std::string out(text.size(), '\0');
    std::transform(text.begin(), text.end(), out.begin(), [](char c) { return lowerAscii(c); });
    return out;
}

} // namespace tavrel::text
