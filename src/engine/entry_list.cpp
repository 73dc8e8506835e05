// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/entry_list.h"

#include <algorithm>

namespace tavrel::engine {

void EntryList::AppendName(std::string_view name)
{
    Entry entry;
    entry.name = std::string(name);
    m_entries.push_back(std::move(entry));
}

bool EntryList::RemoveFirstNamed(std::string_view name)
{
    auto found = std::find_if(m_entries.begin(), m_entries.end(),
                              [name](const Entry& entry) { return entry.name == name; });
    if (found == m_entries.end())
        return false;
    m_entries.erase(found);
    return true;
}

std::vector<std::string> EntryList::names() const
{
    std::vector<std::string> result;
    result.reserve(m_entries.size());
    for (const Entry& entry : m_entries)
        result.push_back(entry.name);
    return result;
}

void Subtract(EntryList& list, const EntryList& exclusions, const NameKey& key)
{
    if (exclusions.empty() || list.empty())
        return;
    // The list's names are looked up as views of its own entries; only folded names need
    // storage of their own.
    std::vector<std::string> folded;
    if (key) {
        folded.reserve(list.size());
        for (const Entry& entry : list)
            folded.push_back(key(entry.name));
    }
    auto nameAt = [&](std::size_t i) -> std::string_view { return key ? folded[i] : list[i].name; };
    // The list's positions sorted by name, equal names in list order: each exclusion takes the
    // first entry of its name still left, as removing one by one would, in n log n time and
    // a few bytes per entry.
    std::vector<uint32_t> order(list.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<uint32_t>(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return nameAt(a) < nameAt(b); });
    std::vector<uint32_t> takenFromGroup(order.size(), 0); // by the position where a name's group starts
    std::vector<char> keep(list.size(), 1);
    std::string exclusionKey;
    for (const Entry& exclusion : exclusions) {
        std::string_view name = exclusion.name;
        if (key) {
            exclusionKey = key(exclusion.name);
            name = exclusionKey;
        }
        const auto first =
            std::lower_bound(order.begin(), order.end(), name,
                             [&](uint32_t at, std::string_view wanted) { return nameAt(at) < wanted; });
        const auto group = static_cast<std::size_t>(first - order.begin());
        if (group == order.size())
            continue; // past every name of the list
        const std::size_t next = group + takenFromGroup[group];
        if (next >= order.size() || nameAt(order[next]) != name)
            continue; // none of that name, or none left
        keep[order[next]] = 0;
        ++takenFromGroup[group];
    }
    list.KeepWhere(keep);
}

void EntryList::KeepWhere(const std::vector<char>& keep)
{
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (keep[i] != 0) {
            if (kept != i)
                m_entries[kept] = std::move(m_entries[i]);
            ++kept;
        }
    m_entries.resize(kept);
}

} // namespace tavrel::engine
