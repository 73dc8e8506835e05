// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "schedule/unit_text.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace tavrel::schedule {

// The systemd user units that run a job: tavrel-sync-NAME.service and .timer, NAME the job
// file's name without its extension, escaped. Written to unitFolder() and enabled with
// `systemctl --user`; the program systemctl is taken from TAVREL_SYSTEMCTL when set, so tests
// can record the calls. Both front ends (the runner's `schedule`, the window's Schedule
// dialog) go through these, so they write the same units.

inline constexpr std::string_view kUnitPrefix = "tavrel-sync-";

// $XDG_CONFIG_HOME/systemd/user, else ~/.config/systemd/user.
std::filesystem::path unitFolder();

// "tavrel-sync-" and the job file's escaped name.
std::string unitName(std::string_view jobFile);

struct WriteResult
{
    std::vector<std::filesystem::path> written; // the service, then the timer
    std::filesystem::path failed;               // a file or folder that could not be written
    std::error_code error;                      // why, when `failed` is set
    std::string enabledUnit;                    // the timer, or the service for OnLogin
    bool enabled = false;                       // systemctl reloaded and enabled it
    bool hasTimer = false;
};

// Writes the job's units for `schedule` (each file replaced whole), drops a timer a login
// schedule no longer needs, and enables them. `runner` is the absolute path of
// tavrel-sync-cli; `jobFile` is made absolute here. Units written but not enabled (no user
// manager: a container, a build machine) are still a success: enabled stays false.
WriteResult writeSchedule(std::string_view jobFile, std::string_view runner, const Schedule& schedule);

struct RemoveResult
{
    bool found = false; // the job had units
    std::filesystem::path failed;
    std::error_code error;
};

// Disables and deletes the job's units and their links in the .wants folders; the job file
// itself need not exist any more.
RemoveResult removeSchedule(std::string_view jobFile);

struct ScheduledJob
{
    std::string name; // the job's name, unescaped (bytes as they were)
    std::string when; // "hourly", "*-*-* 02:30:00", "every 2h", "at login"
};

// Every job with units of ours, by name.
std::vector<ScheduledJob> scheduledJobs();

// The schedule of the job's units in ScheduledJob::when's words; nothing when it has none.
std::optional<std::string> scheduleOfJob(std::string_view jobFile);

enum class Lingering
{
    On,      // the user's manager, and so the timers, run also while the user is logged out
    Off,     // timers run only while the user is logged in
    Unknown, // the user's name cannot be found
};
Lingering lingering();

// The command that turns lingering on for the calling user.
inline constexpr std::string_view kEnableLingering = "loginctl enable-linger";

} // namespace tavrel::schedule
