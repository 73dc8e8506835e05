// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/name_matcher.h"

#include "platform/case_fold.h"

namespace tavrel::engine {

std::string NameMatcher::key(std::string_view name) const
{
    return m_ignoresCase ? platform::foldName(name) : std::string(name);
}

NameKey NameMatcher::listKey() const
{
    if (!m_ignoresCase)
        return {};
    return [](std::string_view name) { return platform::foldName(name); };
}

} // namespace tavrel::engine
