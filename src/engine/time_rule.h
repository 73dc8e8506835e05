// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/volume_probe.h"

#include <cstdint>
#include <limits>

namespace tavrel::engine {

// Last-write times are 100 ns units ("ticks") since the Unix epoch.
inline constexpr int64_t kTicksPerSecond = 10'000'000;

// The span FAT and exFAT volumes hold: 1980-01-01 00:00:00 to the last tick of 2107-12-31 (UTC;
// the volume's own clock is local time, which the mount translates).
inline constexpr int64_t kFatTimeMin = int64_t{315'532'800} * kTicksPerSecond;
inline constexpr int64_t kFatTimeMax = int64_t{4'354'819'200} * kTicksPerSecond - 1;

// How a pair compares last-write times: the times a volume stores are rounded or truncated to
// `precision` and clamped into [min, max]. A time the volume cannot tell from another must not
// make a file look changed. Invariant: precision >= 1 and min <= max.
struct TimeRule
{
    int64_t precision = 1; // ticks; 1 is exact
    int64_t min = std::numeric_limits<int64_t>::min();
    int64_t max = std::numeric_limits<int64_t>::max();

    friend bool operator==(const TimeRule&, const TimeRule&) = default;
};

// The rule of one root's volume as probed: the precision and span it keeps. An unprobed root
// (nothing could be created there) is taken as exact over the whole span.
TimeRule timeRuleOf(const platform::VolumeTraits& traits);

// The rule for comparing a time of one volume with a time of the other: the coarser precision
// and the span both hold. Two spans that do not meet (no real volumes have such) collapse to one
// instant, so every time then compares equal.
TimeRule combine(const TimeRule& a, const TimeRule& b);

// Three-way comparison of an ORG and a TGT time under `rule`: both are first clamped into the
// rule's span, then they are equal when they lie less than the precision apart (whichever way
// the volume rounds), otherwise ordered as they are. Per file this is the whole cost: a few
// integer operations, never an overflow.
inline int compareTimes(int64_t org, int64_t tgt, const TimeRule& rule)
{
    org = org < rule.min ? rule.min : org > rule.max ? rule.max : org;
    tgt = tgt < rule.min ? rule.min : tgt > rule.max ? rule.max : tgt;
    const uint64_t distance = org < tgt ? static_cast<uint64_t>(tgt) - static_cast<uint64_t>(org)
                                        : static_cast<uint64_t>(org) - static_cast<uint64_t>(tgt);
    // Before 1970 some volumes (NTFS through ntfs-3g) keep whole seconds only, rounded up, and
    // no probe sees it: there, times within a second are one time.
    const int64_t precision =
        (org < 0 || tgt < 0) && rule.precision < kTicksPerSecond ? kTicksPerSecond : rule.precision;
    if (distance < static_cast<uint64_t>(precision))
        return 0;
    return org < tgt ? -1 : 1;
}

} // namespace tavrel::engine
