// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/entry_list.h"

#include <string>
#include <string_view>

namespace tavrel::engine {

// Whether two names are one item's on a side: the same bytes, or the same ignoring case where
// that side's volume ignores case. Every match of names in a folder task asks one of these.
class NameMatcher
{
public:
    NameMatcher() = default;
    explicit NameMatcher(bool ignoresCase) : m_ignoresCase(ignoresCase) {}

    bool ignoresCase() const { return m_ignoresCase; }
    // The form of `name` that matching compares.
    std::string key(std::string_view name) const;
    bool same(std::string_view a, std::string_view b) const { return key(a) == key(b); }
    // The same rule for the list functions (an empty key: names as they are).
    NameKey listKey() const;

private:
    bool m_ignoresCase = false;
};

} // namespace tavrel::engine
