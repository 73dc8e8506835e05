// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/time_rule.h"

#include <algorithm>

namespace tavrel::engine {

TimeRule timeRuleOf(const platform::VolumeTraits& traits)
{
    TimeRule rule;
    rule.precision = std::max(traits.timePrecision, int64_t{1});
    rule.min = traits.timeMin;
    rule.max = std::max(traits.timeMin, traits.timeMax);
    // A user-space exFAT shows the times it was given until it is mounted again, so its span
    // probes as wide; it stores 1980 to 2107 all the same. Ignoring case, holding no links and
    // keeping whole seconds at best is that family of volumes, whatever it calls itself.
    const bool wide = traits.timeMin == std::numeric_limits<int64_t>::min() &&
                      traits.timeMax == std::numeric_limits<int64_t>::max();
    if (traits.probed && wide && traits.caseInsensitive && !traits.linksCreatable &&
        traits.timePrecision >= kTicksPerSecond) {
        rule.min = kFatTimeMin;
        rule.max = kFatTimeMax;
    }
    return rule;
}

TimeRule combine(const TimeRule& a, const TimeRule& b)
{
    TimeRule rule;
    rule.precision = std::max({a.precision, b.precision, int64_t{1}});
    rule.min = std::max(a.min, b.min);
    rule.max = std::min(a.max, b.max);
    if (rule.min > rule.max)
        rule.max = rule.min;
    return rule;
}

} // namespace tavrel::engine
