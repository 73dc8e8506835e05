// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/time_rule.h"

#include <gtest/gtest.h>
#include <limits>

using tavrel::engine::combine;
using tavrel::engine::compareTimes;
using tavrel::engine::kFatTimeMax;
using tavrel::engine::kFatTimeMin;
using tavrel::engine::kTicksPerSecond;
using tavrel::engine::TimeRule;
using tavrel::engine::timeRuleOf;
using tavrel::platform::VolumeTraits;

namespace {

constexpr int64_t kSecond = kTicksPerSecond;
constexpr int64_t kMs = kTicksPerSecond / 1000;
constexpr int64_t kMin64 = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max();

constexpr TimeRule kExact{1, kMin64, kMax64};
constexpr TimeRule kFat{2 * kSecond, kFatTimeMin, kFatTimeMax};
constexpr TimeRule kExfat{10 * kMs, kFatTimeMin, kFatTimeMax};
constexpr TimeRule kSftp{kSecond, 0, int64_t{0xFFFFFFFF} * kSecond};

// 2021-03-04 05:06:07 UTC plus 123456789 ns (in ticks: 1234567).
constexpr int64_t kT = int64_t{1'614'834'367} * kSecond + 1'234'567;
constexpr int64_t k1975 = int64_t{172'065'600} * kSecond;   // 1975-06-15 12:00:00
constexpr int64_t k1979 = int64_t{312'940'800} * kSecond;   // 1979-12-01 00:00:00
constexpr int64_t k2108 = int64_t{4'357'497'600} * kSecond; // 2108-02-01 00:00:00

struct CompareCase
{
    const char* what;
    TimeRule rule;
    int64_t org;
    int64_t tgt;
    int expected;
};

const CompareCase kCases[] = {
    {"2 s: truncated to the even second below", kFat, kT, kT - kT % (2 * kSecond), 0},
    {"2 s: rounded up to the next even second", kFat, kT, kT - kT % (2 * kSecond) + 2 * kSecond, 0},
    {"2 s: just under the precision apart", kFat, kT, kT + 2 * kSecond - 1, 0},
    {"2 s: a whole precision apart keeps the order", kFat, kT, kT + 2 * kSecond, -1},
    {"2 s: newer ORG beyond the precision", kFat, kT + 5 * kSecond, kT, 1},
    {"10 ms: truncated hundredths", kExfat, kT, kT - kT % (10 * kMs), 0},
    {"10 ms: 9.9999 ms apart", kExfat, kT + 10 * kMs - 1, kT, 0},
    {"10 ms: 10 ms apart", kExfat, kT + 10 * kMs, kT, 1},
    {"10 ms: a second apart", kExfat, kT, kT + kSecond, -1},
    {"1 s: fraction dropped", kSftp, kT, kT - kT % kSecond, 0},
    {"1 s: a second apart", kSftp, kT - kSecond, kT, -1},
    {"100 ns: same tick", kExact, kT, kT, 0},
    {"100 ns: one tick newer ORG", kExact, kT + 1, kT, 1},
    {"100 ns: one tick newer TGT", kExact, kT, kT + 1, -1},
    {"100 ns: a truncated fraction is a difference", kExact, kT, kT - kT % kSecond, 1},
    {"1980-2107: 1979 is clamped to the first instant", kFat, k1979, kFatTimeMin, 0},
    {"1980-2107: 1975 and 1979 are one time there", kFat, k1975, k1979, 0},
    {"1980-2107: 1979 against 1980 plus 2 s", kFat, k1979, kFatTimeMin + 2 * kSecond, -1},
    {"1980-2107: 2108 is clamped to the last instant", kExfat, k2108, kFatTimeMax - 5 * kMs, 0},
    {"1980-2107: 2108 against the last whole second", kFat, kFatTimeMax - kFatTimeMax % (2 * kSecond), k2108,
     0},
    {"1980-2107: 2108 against 2107", kExfat, k2108, kFatTimeMax - kSecond, 1},
    {"wide span: 1979 before 1980", kExact, k1979, kFatTimeMin, -1},
    {"wide span: 2108 after the FAT end", kExact, k2108, kFatTimeMax, 1},
    {"wide span: before 1970", kExact, -kSecond, 0, -1},
    {"before 1970 a fraction rounded up to the second is the same time", kExact, -kSecond + 3,
     -kSecond + kSecond, 0},
    {"before 1970 a whole second apart keeps the order", kExact, -2 * kSecond, -kSecond, -1},
    {"extremes do not overflow", kExact, kMin64, kMax64, -1},
    {"extremes do not overflow, other way", kExact, kMax64, kMin64, 1},
    {"coarse precision at the extremes", {kMax64, kMin64, kMax64}, kMin64, kMax64, -1},
};

TEST(TimeRule, ComparesByTable)
{
    for (const CompareCase& c : kCases) {
        EXPECT_EQ(compareTimes(c.org, c.tgt, c.rule), c.expected) << c.what;
        EXPECT_EQ(compareTimes(c.tgt, c.org, c.rule), -c.expected) << c.what << " (swapped)";
    }
}

// A copy the volume truncated or rounded compares equal to its original at every time the
// volume holds, and a real change of a whole precision is always seen.
TEST(TimeRule, TruncationIsEqualAndAChangeOfOnePrecisionIsNot)
{
    const TimeRule rules[] = {kExact, kFat, kExfat, kSftp};
    for (const TimeRule& rule : rules) {
        for (int64_t t = kFatTimeMin + 7; t < kFatTimeMax - 4 * kSecond;
             t += int64_t{997} * 86400 * kSecond + 123457) {
            const int64_t truncated = t - t % rule.precision;
            const int64_t roundedUp = truncated == t ? t : truncated + rule.precision;
            EXPECT_EQ(compareTimes(t, truncated, rule), 0) << rule.precision << " " << t;
            EXPECT_EQ(compareTimes(t, roundedUp, rule), 0) << rule.precision << " " << t;
            EXPECT_EQ(compareTimes(t, t + rule.precision, rule), -1) << rule.precision << " " << t;
            EXPECT_EQ(compareTimes(t + rule.precision, t, rule), 1) << rule.precision << " " << t;
        }
    }
}

struct CombineCase
{
    const char* what;
    TimeRule a;
    TimeRule b;
    TimeRule expected;
};

const CombineCase kCombineCases[] = {
    {"exact with exact", kExact, kExact, kExact},
    {"exact with FAT", kExact, kFat, kFat},
    {"exFAT with SFTP: coarser precision, narrower span on each end",
     kExfat,
     kSftp,
     {kSecond, kFatTimeMin, int64_t{0xFFFFFFFF} * kSecond}},
    {"FAT with exFAT", kFat, kExfat, kFat},
    {"a precision below one tick counts as exact", {0, kMin64, kMax64}, {-5, kMin64, kMax64}, kExact},
    {"spans that do not meet collapse to one instant", {1, 0, 10}, {1, 20, 30}, {1, 20, 20}},
};

TEST(TimeRule, CombineTakesTheCoarserPrecisionAndTheNarrowerSpan)
{
    for (const CombineCase& c : kCombineCases) {
        EXPECT_EQ(combine(c.a, c.b), c.expected) << c.what;
        EXPECT_EQ(combine(c.b, c.a), c.expected) << c.what << " (swapped)";
    }
}

// What the probe found on FAT (fusefat), exFAT (exfat-fuse), SFTP (sshfs) and ext4, and the rule
// each gives: a copy's time read back from the volume compares equal to its original.
TEST(TimeRule, ProbedTraitsGiveTheVolumesRule)
{
    VolumeTraits fat;
    fat.probed = true;
    fat.timePrecision = 2 * kSecond;
    fat.timeMin = kFatTimeMin + kSecond;
    fat.timeMax = kFatTimeMax - kFatTimeMax % kSecond;
    VolumeTraits exfat;
    exfat.probed = true;
    exfat.timePrecision = kSecond;
    VolumeTraits sftp;
    sftp.probed = true;
    sftp.timePrecision = kSecond;
    sftp.timeMin = kSecond;
    sftp.timeMax = int64_t{0xFFFFFFFF} * kSecond;
    const VolumeTraits ext4;

    EXPECT_EQ(timeRuleOf(ext4), kExact);
    EXPECT_EQ(timeRuleOf(fat), (TimeRule{2 * kSecond, fat.timeMin, fat.timeMax}));
    const TimeRule fatPair = combine(timeRuleOf(ext4), timeRuleOf(fat));
    EXPECT_EQ(compareTimes(k1975, kFatTimeMin, fatPair), 0) << "1975 stored as 1980";
    EXPECT_EQ(compareTimes(kT, kT - kT % (2 * kSecond), fatPair), 0);
    EXPECT_EQ(compareTimes(k2108, kFatTimeMax - kFatTimeMax % (2 * kSecond), fatPair), 0);
    EXPECT_EQ(compareTimes(kT, kT - kT % kSecond, combine(timeRuleOf(ext4), timeRuleOf(exfat))), 0);
    // A mounted exFAT shows the span as wide until mounted again; a volume that ignores case,
    // holds no links and keeps whole seconds is taken to hold 1980 to 2107 all the same.
    VolumeTraits fatFamily = exfat;
    fatFamily.caseInsensitive = true;
    fatFamily.linksCreatable = false;
    EXPECT_EQ(timeRuleOf(fatFamily), (TimeRule{kSecond, kFatTimeMin, kFatTimeMax}));
    EXPECT_EQ(timeRuleOf(exfat).min, exfat.timeMin) << "links or case kept: no such guess";
    const TimeRule sftpPair = combine(timeRuleOf(sftp), timeRuleOf(ext4));
    EXPECT_EQ(compareTimes(kT, kT - kT % kSecond, sftpPair), 0);
    EXPECT_EQ(compareTimes(kT, kT + kSecond, sftpPair), -1);
    // Before 1970 SFTP cannot hold: both clamp to its first second.
    EXPECT_EQ(compareTimes(-kSecond, 0, sftpPair), 0);

    VolumeTraits odd; // values a broken probe could give still make a valid rule
    odd.timePrecision = 0;
    odd.timeMin = 10;
    odd.timeMax = 5;
    EXPECT_EQ(timeRuleOf(odd), (TimeRule{1, 10, 10}));
}

TEST(TimeRule, FatSpanConstantsAreTheCalendarDates)
{
    // 1980-01-01 00:00:00 is day 3652 after the epoch; 2108-01-01 is day 50403.
    EXPECT_EQ(kFatTimeMin, int64_t{3652} * 86400 * kSecond);
    EXPECT_EQ(kFatTimeMax + 1, int64_t{50403} * 86400 * kSecond);
}

} // namespace
