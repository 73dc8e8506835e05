// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::model {

struct FolderPair;

// Selects one of a pair's four lists. The numbers matter to parsePatternList only;
// kinds 1 and 3 are the include lists.
enum class PatternListKind : int32_t
{
    FilesInclude = 1,
    FilesExclude = 2,
    FoldersInclude = 3,
    FoldersExclude = 4,
};

// Name patterns in the order they were appended; duplicates kept, case untouched.
// Each item holds at most kItemCapacity code units: a longer one is cut on append.
class PatternList final
{
public:
    void append(std::u16string_view text);
    void clear() { m_items.clear(); }

    bool empty() const { return m_items.empty(); }
    std::size_t size() const { return m_items.size(); }
    const std::vector<std::u16string>& items() const { return m_items; }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

    bool operator==(const PatternList&) const = default;

private:
    std::vector<std::u16string> m_items;
};

// Replaces the pair's list of `kind` with the items of a ';'-separated text and returns the
// number of items appended. In an include list an item "*" or "*.*" replaces the whole list
// with the single item "*" and returns 1 at once. A kind outside 1..4 changes nothing.
int parsePatternList(FolderPair& pair, std::u16string_view text, PatternListKind kind);

// The items joined with "; ", as the pair dialog and the information panel show them.
std::u16string joinPatternList(const PatternList& list);

} // namespace tavrel::model
