// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/case_fold.h"

#include "platform/case_fold_table.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace tavrel::platform {

namespace {

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Length of the valid UTF-8 sequence at the start of `s` (which is not empty and does not
// start with ASCII) and its code point; 0 when the bytes there are not one: a stray
// continuation byte, a cut sequence, an overlong form, a surrogate or a value past U+10FFFF.
std::size_t decode(std::string_view s, char32_t& code)
{
    const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(s[i]); };
    const uint8_t lead = byte(0);
    std::size_t length = 0;
    uint8_t low = 0x80; // bounds of the second byte, which rule out overlongs and surrogates
    uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (s.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    return length;
}

void encode(char32_t code, std::string& out)
{
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

} // namespace

char32_t foldCodePoint(char32_t c)
{
    if (c < 0x80)
        return c >= U'A' && c <= U'Z' ? c + (U'a' - U'A') : c;
    using detail::kFoldRuns;
    // Runs never overlap another folded code point, so only the last run starting at or below
    // `c` can hold it.
    const auto next =
        std::upper_bound(std::begin(kFoldRuns), std::end(kFoldRuns), c,
                         [](char32_t value, const detail::FoldRun& run) { return value < run.first; });
    if (next == std::begin(kFoldRuns))
        return c;
    const detail::FoldRun& run = *std::prev(next);
    const char32_t offset = c - run.first;
    if (offset % run.stride != 0 || offset / run.stride >= run.count)
        return c;
    return static_cast<char32_t>(static_cast<int32_t>(c) + run.delta);
}

std::string foldName(std::string_view name)
{
    const bool ascii = std::none_of(name.begin(), name.end(), [](char c) { return (c & 0x80) != 0; });
    if (ascii) {
        std::string folded(name.size(), '\0');
        std::transform(name.begin(), name.end(), folded.begin(), asciiLower);
        return folded;
    }

    std::string folded;
    folded.reserve(name.size());
    std::size_t i = 0;
    while (i < name.size()) {
        const char c = name[i];
        if ((c & 0x80) == 0) {
            folded.push_back(asciiLower(c));
            ++i;
            continue;
        }
        char32_t code = 0;
        const std::size_t length = decode(name.substr(i), code);
        if (length == 0) {
            folded.push_back(c); // not UTF-8 here: the byte stays as it is
            ++i;
            continue;
        }
        encode(foldCodePoint(code), folded);
        i += length;
    }
    return folded;
}

} // namespace tavrel::platform
