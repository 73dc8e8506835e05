// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/sync_names.h"
#include "engine/time_rule.h"

#include <gtest/gtest.h>

using namespace tavrel::engine;

namespace {

constexpr CivilTime kWhen{2026, 3, 4, 9, 5, 7};

} // namespace

TEST(SyncNames, CivilTimeFollowsTheCalendar)
{
    const struct
    {
        int64_t seconds;
        int64_t offset;
        CivilTime expected;
    } cases[] = {
        {0, 0, {1970, 1, 1, 0, 0, 0}},
        {-1, 0, {1969, 12, 31, 23, 59, 59}},
        {951'782'400, 0, {2000, 2, 29, 0, 0, 0}},      // a leap day of a century divisible by 400
        {4'107'542'399, 0, {2100, 2, 28, 23, 59, 59}}, // 2100 has no 29 February
        {1'772'615'107, 0, {2026, 3, 4, 9, 5, 7}},
        {1'772'615'107, 3600, {2026, 3, 4, 10, 5, 7}}, // the caller's zone moves the clock
        {1'772'582'400, -60, {2026, 3, 3, 23, 59, 0}}, // and the date
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(civilTimeOf(c.seconds * kTicksPerSecond + 9'999'999, c.offset), c.expected);
        if (c.offset == 0) {
            EXPECT_EQ(secondsOf(c.expected), c.seconds);
        }
    }
    EXPECT_EQ(civilTimeOf(-1), (CivilTime{1969, 12, 31, 23, 59, 59})) << "a tick before 1970 is still 1969";
}

TEST(SyncNames, ConflictAndVersionNamesKeepTheExtension)
{
    const struct
    {
        const char* name;
        bool folder;
        const char* conflict;
        const char* version;
    } cases[] = {
        {"report.pdf", false, "report.conflict-20260304-090507.pdf", "report 2026-03-04 090507.pdf"},
        {"archive.tar.gz", false, "archive.tar.conflict-20260304-090507.gz",
         "archive.tar 2026-03-04 090507.gz"},
        {"README", false, "README.conflict-20260304-090507", "README 2026-03-04 090507"},
        {".bashrc", false, ".bashrc.conflict-20260304-090507", ".bashrc 2026-03-04 090507"},
        {"trailing.", false, "trailing..conflict-20260304-090507", "trailing. 2026-03-04 090507"},
        {"photos.2024", true, "photos.2024.conflict-20260304-090507", "photos 2026-03-04 090507.2024"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(conflictName(c.name, kWhen, c.folder), c.conflict);
        EXPECT_EQ(versionName(c.name, kWhen), c.version);
    }
}

TEST(SyncNames, LongNamesAreShortenedAtACharacterBoundary)
{
    // 126 two-byte characters and ".txt": 256 bytes before any suffix.
    std::string stem;
    for (int i = 0; i < 126; ++i)
        stem += "\xc3\xa9";
    const std::string name = stem + ".txt";
    for (const std::string& made : {conflictName(name, kWhen), versionName(name, kWhen)}) {
        SCOPED_TRACE(made);
        EXPECT_LE(made.size(), 255u);
        EXPECT_GE(made.size(), 254u);
        EXPECT_TRUE(made.ends_with(".txt"));
        const std::size_t cutAt = made.find_first_not_of("\xc3\xa9");
        EXPECT_EQ(cutAt % 2, 0u) << "no half character left";
    }
    EXPECT_EQ(versionTimeOf(versionName(name, kWhen), name), kWhen);
}

TEST(SyncNames, VersionTimesAreReadOnlyFromVersionsOfTheSameName)
{
    const struct
    {
        const char* candidate;
        const char* name;
        std::optional<CivilTime> expected;
    } cases[] = {
        {"report 2026-03-04 090507.pdf", "report.pdf", kWhen},
        {"README 2026-03-04 090507", "README", kWhen},
        {"report 2026-03-04 090507.pdf", "report.txt", std::nullopt},
        {"report2 2026-03-04 090507.pdf", "report.pdf", std::nullopt},
        {"report 2026-03-04 09050x.pdf", "report.pdf", std::nullopt},
        {"report 2026-03-04 090507.pdf.pdf", "report.pdf", std::nullopt},
        {"report.pdf", "report.pdf", std::nullopt},
        {"", "report.pdf", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.candidate);
        EXPECT_EQ(versionTimeOf(c.candidate, c.name), c.expected);
    }
}

TEST(SyncNames, PruningKeepsTheNewestAndTheRecent)
{
    constexpr int64_t kDay = 86400;
    constexpr int64_t kNow = 1'772'615'107;
    // Out of order on purpose: ages 1, 10, 3, 40 and 2 days.
    const std::vector<int64_t> times = {kNow - 1 * kDay, kNow - 10 * kDay, kNow - 3 * kDay, kNow - 40 * kDay,
                                        kNow - 2 * kDay};
    const struct
    {
        const char* what;
        uint32_t keepVersions;
        uint32_t keepDays;
        std::vector<bool> expected;
    } cases[] = {
        {"no limits", 0, 0, {false, false, false, false, false}},
        {"three newest", 3, 0, {false, true, false, true, false}},
        {"one newest", 1, 0, {false, true, true, true, true}},
        {"five days", 0, 5, {false, true, false, true, false}},
        {"both limits", 2, 30, {false, true, true, true, false}},
        {"more kept than there are", 9, 0, {false, false, false, false, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(versionsToPrune(times, c.keepVersions, c.keepDays, kNow), c.expected);
    }
    EXPECT_EQ(versionsToPrune({kNow, kNow, kNow}, 2, 0, kNow), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(versionsToPrune({kNow - 5 * kDay}, 0, 5, kNow), (std::vector<bool>{false}))
        << "exactly the limit's age stays";
    EXPECT_TRUE(versionsToPrune({}, 1, 1, kNow).empty());
}

// The pruning's way back from a name in the versions folder to the file it is a version of.
TEST(SyncNames, VersionOfGivesTheFileNameAndTimeOfOurNamesOnly)
{
    const struct
    {
        const char* candidate;
        const char* name; // nullptr: not a version name
    } cases[] = {
        {"report 2026-03-04 090507.pdf", "report.pdf"},
        {"archive.tar 2026-03-04 090507.gz", "archive.tar.gz"},
        {"README 2026-03-04 090507", "README"},
        {".bashrc 2026-03-04 090507", ".bashrc"},
        {"trailing. 2026-03-04 090507", "trailing."},
        {"report.pdf", nullptr},
        {"report 2026-03-04 090507.pdf.bak", nullptr},
        {"report 2026-03-04 09050.pdf", nullptr},
        {" 2026-03-04 090507", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.candidate);
        const std::optional<VersionOf> found = versionOf(c.candidate);
        ASSERT_EQ(found.has_value(), c.name != nullptr);
        if (found) {
            EXPECT_EQ(found->name, c.name);
            EXPECT_EQ(found->when, kWhen);
            EXPECT_EQ(versionName(found->name, found->when), c.candidate);
        }
    }
    std::string longName(300, 'x');
    longName += ".txt";
    const std::optional<VersionOf> shortened = versionOf(versionName(longName, kWhen));
    ASSERT_TRUE(shortened.has_value());
    EXPECT_EQ(shortened->when, kWhen);
    EXPECT_EQ(versionName(shortened->name, kWhen), versionName(longName, kWhen))
        << "every version of one long name falls under one shortened name";
}
