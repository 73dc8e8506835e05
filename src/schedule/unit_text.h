// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace tavrel::schedule {

enum class ScheduleKind
{
    Daily,
    Hourly,
    Every,
    OnLogin,
    Watch, // no timer: the service starts with the user's manager and runs `watch` for good
};

struct Schedule
{
    ScheduleKind kind = ScheduleKind::Hourly;
    std::string value; // "HH:MM" for Daily, the time span without blanks for Every
};

// A job name as systemd-escape writes it: "/" becomes "-", a leading "." and every byte
// outside [A-Za-z0-9:_.] become "\xNN". unescapeUnitName reverses it.
std::string escapeUnitName(std::string_view name);
std::string unescapeUnitName(std::string_view escaped);

// One argument of ExecStart=: double-quoted, with "\" and "\"" escaped and "%" and "$"
// doubled, so neither specifiers nor variables are expanded.
std::string quoteExecArgument(std::string_view argument);

// A systemd time span ("30min", "2h", "1d 12h", "90"): its length, or nothing when it is not
// one or is zero.
std::optional<std::chrono::seconds> parseTimeSpan(std::string_view text);

// "HH:MM" with 00..23 and 00..59.
bool validClock(std::string_view text);

// The units' text. The timer text is empty for OnLogin and Watch, which have no timer.
std::string serviceUnitText(std::string_view runner, std::string_view jobPath, const Schedule& schedule);
std::string timerUnitText(std::string_view jobName, const Schedule& schedule);

} // namespace tavrel::schedule
