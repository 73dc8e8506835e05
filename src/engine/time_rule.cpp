#include "engine/time_rule.h"

#include <algorithm>

namespace tavrel::engine {

TimeRule timeRuleOf(const platform::VolumeTraits& traits)
{
    TimeRule rule;
    rule.precision = std::max(traits.timePrecision, int64_t{1});
    rule.min = traits.timeMin;
    rule.max = std::max(traits.timeMin, traits.timeMax);
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
