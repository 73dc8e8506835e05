#include "engine/entry_list.h"

#include <unordered_map>

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
    // Each exclusion takes the first entry of its name still left: the entries of one name are
    // queued in list order, so the result is that of removing one by one, in linear time.
    std::unordered_map<std::string, std::vector<std::size_t>> byName;
    byName.reserve(list.size());
    for (std::size_t i = list.size(); i-- > 0;)
        byName[key ? key(list[i].name) : list[i].name].push_back(i); // last first: pop_back gives the first
    std::vector<char> keep(list.size(), 1);
    for (const Entry& exclusion : exclusions) {
        const auto found = byName.find(key ? key(exclusion.name) : exclusion.name);
        if (found == byName.end() || found->second.empty())
            continue;
        keep[found->second.back()] = 0;
        found->second.pop_back();
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
