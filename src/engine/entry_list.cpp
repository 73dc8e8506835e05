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

void Subtract(EntryList& list, const EntryList& exclusions)
{
    for (const Entry& exclusion : exclusions)
        list.RemoveFirstNamed(exclusion.name);
}

} // namespace tavrel::engine
