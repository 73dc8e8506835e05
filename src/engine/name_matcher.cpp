// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/name_matcher.h"

#include "text/case_fold.h"

namespace tavrel::engine {

std::string NameMatcher::key(std::string_view name) const
{
    return m_ignoresCase ? text::foldName(name) : std::string(name);
}

NameKey NameMatcher::listKey() const
{
    if (!m_ignoresCase)
        return {};
    return [](std::string_view name) { return text::foldName(name); };
}

} // namespace tavrel::engine
