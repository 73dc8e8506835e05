// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace tavrel::platform {

// The few values used last, by key. Meant for a handful of entries (open folder handles, recent
// listings), where a look along a short vector beats a map's allocations; the entry used
// longest ago goes first.
template <typename Key, typename Value> class RecentCache final
{
public:
    // The value held for `key`, now the one used last; nullptr when none is.
    Value* find(const Key& key)
    {
        return findIf([&](const Key& held) { return held == key; });
    }

    // find by a test of the keys, which spares building a key to look one up.
    template <typename Predicate> Value* findIf(Predicate matches)
    {
        for (Entry& entry : m_entries) {
            if (matches(entry.key)) {
                entry.lastUse = ++m_clock;
                return &entry.value;
            }
        }
        return nullptr;
    }

    // Holds `value` for `key`, which must not be held yet, as the one used last. The reference
    // lasts until the cache next changes.
    Value& add(Key key, Value value)
    {
        m_entries.push_back({std::move(key), std::move(value), ++m_clock});
        return m_entries.back().value;
    }

    // Drops the entries used longest ago until at most `count` are left.
    void trimTo(std::size_t count)
    {
        while (m_entries.size() > count)
            m_entries.erase(
                std::min_element(m_entries.begin(), m_entries.end(),
                                 [](const Entry& a, const Entry& b) { return a.lastUse < b.lastUse; }));
    }

    // Drops every entry whose key `drops` takes.
    template <typename Predicate> void eraseIf(Predicate drops)
    {
        std::erase_if(m_entries, [&](const Entry& entry) { return drops(entry.key); });
    }

    std::size_t size() const { return m_entries.size(); }

private:
    struct Entry
    {
        Key key;
        Value value;
        uint64_t lastUse = 0;
    };
    std::vector<Entry> m_entries;
    uint64_t m_clock = 0;
};

} // namespace tavrel::platform
