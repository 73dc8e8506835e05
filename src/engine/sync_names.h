// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::engine {

// Names and pruning of the copies a remembering Synchronize pair keeps aside: the loser of a
// keep-both conflict, and the versions of replaced or deleted files. Pure functions.

// A calendar time to the second, as the names show it.
struct CivilTime
{
    int year = 1970;
    int month = 1; // 1..12
    int day = 1;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;

    friend bool operator==(const CivilTime&, const CivilTime&) = default;
};

// `ticks` (100 ns since the Unix epoch) shifted by `utcOffsetSeconds` (the caller's time zone,
// so that names read as the user's clock), in the proleptic Gregorian calendar.
CivilTime civilTimeOf(int64_t ticks, int64_t utcOffsetSeconds = 0);

// The name a keep-both loser takes beside the winner; `when` is best the loser's own
// last-write time, so a retried run makes the same name and the user sees which version it is:
// "name.conflict-YYYYMMDD-HHMMSS.ext" for a file ("report.conflict-20260314-091500.pdf"), the suffix after
// the whole name for a folder or a name without an extension (a leading dot does not start one:
// ".bashrc.conflict-..."). The stem is shortened at a UTF-8 character boundary so the name keeps within 255
// bytes.
std::string conflictName(std::string_view name, const CivilTime& when, bool isFolder = false);

// The name a version of `name` takes in the versions folder: "name YYYY-MM-DD HHMMSS.ext"
// ("report 2026-03-14 091500.pdf"), extensions and the 255-byte bound as conflictName.
std::string versionName(std::string_view name, const CivilTime& when);

// The time in `candidate` when it is a version name of `name` (as versionName makes them),
// else nothing: how the pruning finds the versions of one file among a folder's names.
std::optional<CivilTime> versionTimeOf(std::string_view candidate, std::string_view name);

// The name a version name was made from (as versionName makes them; for a long name, its
// shortened form) and its time, else nothing: how the pruning groups a folder's versions by
// file without knowing the files, and leaves every other name alone.
struct VersionOf
{
    std::string name;
    CivilTime when;
};
std::optional<VersionOf> versionOf(std::string_view candidate);

// Seconds since the Unix epoch of a civil time (the inverse of civilTimeOf with offset 0).
int64_t secondsOf(const CivilTime& when);

// Which versions of one file go: all but the `keepVersions` newest (0: no count limit), and
// every one older than `keepDays` days at `now` (0: no age limit), both limits at once.
// `times` are the versions' times in seconds, in any order; the answer is one flag per
// version in the same order, true for those to remove. Equal times rank by their order.
std::vector<bool> versionsToPrune(const std::vector<int64_t>& times, uint32_t keepVersions, uint32_t keepDays,
                                  int64_t now);

} // namespace tavrel::engine
