// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/schedule_command.h"

#include "cli/arguments.h"
#include "cli/cli_command.h"
#include "cli/terminal_text.h"
#include "model/job.h"
#include "schedule/user_units.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace tavrel::cli {
namespace fs = std::filesystem;
using schedule::Schedule;
using schedule::ScheduleKind;
namespace {

void printLingerNote()
{
    switch (schedule::lingering()) {
    case schedule::Lingering::On:
        std::puts("Lingering is on: the timer runs also while you are not logged in.");
        break;
    case schedule::Lingering::Off:
        std::printf("Lingering is off: the timer runs only while you are logged in. To run it at any time:\n"
                    "  %s\n",
                    std::string(schedule::kEnableLingering).c_str());
        break;
    case schedule::Lingering::Unknown:
        break;
    }
}

ExitCode listUnits()
{
    const std::vector<schedule::ScheduledJob> jobs = schedule::scheduledJobs();
    if (jobs.empty())
        std::puts("No scheduled jobs.");
    for (const schedule::ScheduledJob& job : jobs)
        std::printf("%s: %s\n", printableText(job.name, Breaks::Escape).c_str(), job.when.c_str());
    return ExitCode::Succeeded;
}

ExitCode removeUnits(std::string_view file)
{
    const std::string unit = printableText(schedule::unitName(file), Breaks::Escape);
    const schedule::RemoveResult removed = schedule::removeSchedule(file);
    if (!removed.found) {
        std::printf("No schedule for %s.\n", unit.c_str());
        return ExitCode::Succeeded;
    }
    if (!removed.failed.empty()) {
        std::fprintf(stderr, "tavrel-sync-cli: schedule: cannot remove %s: %s\n",
                     printableText(removed.failed.string(), Breaks::Escape).c_str(),
                     removed.error.message().c_str());
        return ExitCode::CannotSave;
    }
    std::printf("Removed %s.\n", unit.c_str());
    return ExitCode::Succeeded;
}

ExitCode writeUnits(std::string_view file, const Schedule& when)
{
    model::Job job;
    if (!openJobFile(job, file))
        return ExitCode::ProjectRefused;
    std::error_code error;
    const std::string runner = fs::read_symlink("/proc/self/exe", error).string();
    const schedule::WriteResult result = schedule::writeSchedule(file, runner, when);
    if (!result.failed.empty()) {
        std::fprintf(stderr, "tavrel-sync-cli: schedule: cannot write %s: %s\n",
                     printableText(result.failed.string(), Breaks::Escape).c_str(),
                     result.error.message().c_str());
        return ExitCode::CannotSave;
    }
    for (const fs::path& written : result.written)
        std::printf("Wrote %s\n", printableText(written.string(), Breaks::Escape).c_str());
    if (result.enabled) {
        std::printf("Enabled %s.\n", result.enabledUnit.c_str());
    } else {
        // The files are what this command makes; a machine without a user manager (a container,
        // a build machine) gets them all the same and enables them when it has one.
        std::fprintf(stderr,
                     "tavrel-sync-cli: schedule: the units were written but not enabled (no user "
                     "manager?); enable them later with: systemctl --user daemon-reload && "
                     "systemctl --user enable --now '%s'\n",
                     result.enabledUnit.c_str());
    }
    if (result.hasTimer)
        printLingerNote();
    return ExitCode::Succeeded;
}

} // namespace

ExitCode runSchedule(std::span<const std::string_view> arguments)
{
    std::optional<std::string_view> file;
    std::optional<Schedule> when;
    bool remove = false;
    bool list = false;
    try {
        ArgumentReader reader(arguments);
        int actions = 0;
        while (reader.next()) {
            if (!reader.isOption()) {
                if (file)
                    throw UsageError("more than one project file: " + quoteArgument(reader.current()));
                file = reader.current();
                continue;
            }
            const std::string_view option = reader.current();
            if (option == "--help" || option == "-h")
                return printCommandHelp("schedule");
            ++actions;
            if (option == "--daily") {
                const std::string_view clock = reader.value();
                if (!schedule::validClock(clock))
                    throw UsageError("--daily needs a time HH:MM (00:00 to 23:59), not " +
                                     quoteArgument(clock));
                when = Schedule{ScheduleKind::Daily, std::string(clock)};
            } else if (option == "--hourly") {
                reader.noValue();
                when = Schedule{ScheduleKind::Hourly, {}};
            } else if (option == "--every") {
                const std::string_view span = reader.value();
                if (!schedule::parseTimeSpan(span))
                    throw UsageError("--every needs a time span such as 30min, 2h or 1d, not " +
                                     quoteArgument(span));
                // Written as given but without blanks, so systemd reads the same span.
                std::string compact;
                for (const char c : span)
                    if (c != ' ')
                        compact += c;
                when = Schedule{ScheduleKind::Every, compact};
            } else if (option == "--on-login") {
                reader.noValue();
                when = Schedule{ScheduleKind::OnLogin, {}};
            } else if (option == "--watch") {
                reader.noValue();
                when = Schedule{ScheduleKind::Watch, {}};
            } else if (option == "--remove") {
                reader.noValue();
                remove = true;
            } else if (option == "--list") {
                reader.noValue();
                list = true;
            } else {
                throw UsageError("unknown option " + quoteArgument(option));
            }
        }
        if (actions == 0)
            throw UsageError(
                "no schedule given (--daily, --hourly, --every, --on-login, --watch, --remove or --list)");
        if (actions > 1)
            throw UsageError("give one of --daily, --hourly, --every, --on-login, --watch, --remove, --list");
        if (list && file)
            throw UsageError("--list takes no project file");
        if (!list && !file)
            throw UsageError("no project file given");
    } catch (const UsageError& error) {
        return usageError(std::string("schedule: ") + error.what());
    }
    if (list)
        return listUnits();
    if (remove)
        return removeUnits(*file);
    return writeUnits(*file, *when);
}

} // namespace tavrel::cli
