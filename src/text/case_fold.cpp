// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/case_fold.h"

#include "text/case_fold_table.h"
#include "text/text_codec.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace tavrel::text {

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
    if (ascii)
        return lowerAscii(name);

    std::string folded;
    folded.reserve(name.size());
    std::size_t i = 0;
    while (i < name.size()) {
        char32_t code = 0;
        const std::size_t length = decodeUtf8(name, i, code);
        if (length == 0) {
            folded.push_back(name[i]); // not UTF-8 here: the byte stays as it is
            ++i;
            continue;
        }
        appendUtf8(folded, foldCodePoint(code));
        i += length;
    }
    return folded;
}

} // namespace tavrel::text
