// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tavrel::engine {

// A folder of a pair whose entries changed, relative to both roots ("" is the roots
// themselves, "a/b" a folder below them; no trailing "/"). Its own entries are handled,
// and with `recursive` everything below it too (a folder that is new, or came back).
struct ScopedFolder
{
    std::string relative;
    bool recursive = false;
};

// What a run handles of one pair: all of it, or only the folders given.
struct PairScope
{
    bool whole = false;
    std::vector<ScopedFolder> folders;

    // The folders without those that one walked whole holds, each once (walked whole when any
    // of its mentions is): what a count of the scope lists.
    std::vector<ScopedFolder> outermost() const;
};

// A run that handles only what changed: the pairs it names (by slot), and of each only its
// scope. A pair not named is not run at all.
struct RunScope
{
    std::map<int, PairScope> pairs;

    const PairScope* find(int slot) const
    {
        const auto found = pairs.find(slot);
        return found == pairs.end() ? nullptr : &found->second;
    }
};

} // namespace tavrel::engine
