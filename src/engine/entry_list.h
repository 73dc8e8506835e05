// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::engine {

// One found file or folder. Lists of names only carry attributes 0, time 0 and size all ones.
struct Entry
{
    std::string name; // raw bytes, no path
    uint32_t attributes = 0;
    int64_t lastWriteTime = 0;
    uint64_t size = UINT64_MAX; // whole size: two sizes that differ by 4 GiB are not equal
    bool isLink = false;        // a symbolic link, handled as a leaf
};

// Entries in the order they were appended; duplicates kept (a file found by two patterns is
// listed twice and handled twice).
class EntryList final
{
public:
    void Append(Entry entry) { m_entries.push_back(std::move(entry)); }
    void AppendName(std::string_view name);
    void Clear() { m_entries.clear(); }

    bool empty() const { return m_entries.empty(); }
    std::size_t size() const { return m_entries.size(); }
    const Entry& operator[](std::size_t index) const { return m_entries[index]; }
    auto begin() const { return m_entries.begin(); }
    auto end() const { return m_entries.end(); }

    // Removes the first entry whose name equals `name` exactly, letter case included.
    // Returns whether one was removed.
    bool RemoveFirstNamed(std::string_view name);

    std::vector<std::string> names() const;

    // Keeps the entries whose `keep` value is non-zero, in their order.
    void KeepWhere(const std::vector<char>& keep);

private:
    std::vector<Entry> m_entries;
};

// The form of a name that matching compares (a case-folded name on a volume that ignores
// case); empty: the name itself, bytes as they are.
using NameKey = std::function<std::string(std::string_view name)>;

// For each entry of `exclusions` in order, removes the first entry of `list` with exactly
// that name (or that key). Only that first one goes, so one exclusion removes one of several
// copies. Linear in the sizes of both lists.
void Subtract(EntryList& list, const EntryList& exclusions, const NameKey& key = {});

} // namespace tavrel::engine
