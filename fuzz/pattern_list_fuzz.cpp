// SPDX-License-Identifier: GPL-3.0-or-later
// parsePatternList on arbitrary UTF-16 text (lone surrogates included): the returned count
// matches the list, items are trimmed, non-empty, within capacity and free of ';', and
// the list shown joined with "; " parses back to the same list.
#include "model/folder_pair.h"
#include "model/pattern_list.h"
#include "model/text_rules.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace tavrel::model;

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "pattern_list: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const auto kind = static_cast<PatternListKind>(1 + data[0] % 4);
    std::u16string text;
    for (std::size_t i = 1; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));

    FolderPair pair;
    const int returned = parsePatternList(pair, text, kind);
    const PatternList& list = *pair.patternList(kind);
    check(returned == static_cast<int>(list.size()), "returned count differs from the list");
    for (const auto& item : list) {
        check(!item.empty(), "empty item");
        check(item.size() <= kItemCapacity, "item over capacity");
        check(item.find(u';') == std::u16string::npos, "item holds a separator");
        check(item.front() != u' ' && item.back() != u' ', "item not trimmed");
    }

    FolderPair again;
    const int reparsed = parsePatternList(again, joinPatternList(list), kind);
    check(*again.patternList(kind) == list, "join and parse changed the list");
    check(reparsed == returned, "join and parse changed the count");
    return 0;
}
