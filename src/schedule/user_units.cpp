// SPDX-License-Identifier: GPL-3.0-or-later
#include "schedule/user_units.h"

#include "platform/process.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace tavrel::schedule {
namespace fs = std::filesystem;
namespace {

bool writeAtomically(const fs::path& file, const std::string& text, std::error_code& error)
{
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on "." + string&&.
    std::string name = ".";
    name += file.filename().string();
    name += ".tmp";
    const fs::path temporary = file.parent_path() / name;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            fs::remove(temporary, error);
            error = std::make_error_code(std::errc::io_error);
            return false;
        }
    }
    fs::rename(temporary, file, error);
    if (error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return false;
    }
    return true;
}

// Runs systemctl --user with `arguments`; true when it ran and succeeded. Its own messages go
// to stderr as they are.
bool systemctl(const std::vector<std::string>& arguments)
{
    const char* configured = std::getenv("TAVREL_SYSTEMCTL");
    std::vector<std::string> all{configured && *configured ? configured : "systemctl", "--user"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return platform::runToEnd(all);
}

// What a unit pair of ours says about its schedule.
std::string scheduleOf(const fs::path& timer, const fs::path& service)
{
    std::error_code error;
    if (!fs::exists(timer, error)) {
        std::ifstream in(service);
        std::string line;
        std::string result = "(no timer)";
        while (std::getline(in, line)) {
            if (line.starts_with("ExecStart=") && line.find("\" watch \"") != std::string::npos)
                return "on change (watch)";
            if (line == "WantedBy=default.target")
                result = "at login";
        }
        return result;
    }
    std::ifstream in(timer);
    std::string line;
    std::string result;
    while (std::getline(in, line)) {
        for (std::string_view key : {"OnCalendar=", "OnUnitActiveSec="}) {
            if (line.starts_with(key)) {
                if (!result.empty())
                    result += ", ";
                result += key == "OnCalendar=" ? line.substr(key.size()) : "every " + line.substr(key.size());
            }
        }
    }
    return result.empty() ? "(no schedule)" : result;
}

} // namespace

fs::path unitFolder()
{
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return fs::path(config) / "systemd" / "user";
    const char* home = std::getenv("HOME");
    return fs::path(home ? home : "") / ".config" / "systemd" / "user";
}

std::string unitName(std::string_view jobFile)
{
    // "backup.TSP" gives tavrel-sync-backup.
    return std::string(kUnitPrefix) + escapeUnitName(fs::path(jobFile).stem().string());
}

WriteResult writeSchedule(std::string_view jobFile, std::string_view runner, const Schedule& schedule)
{
    WriteResult result;
    std::error_code error;
    const std::string jobPath = fs::absolute(fs::path(jobFile), error).lexically_normal().string();
    const std::string unit = unitName(jobFile);
    const fs::path folder = unitFolder();
    const fs::path service = folder / (unit + ".service");
    const fs::path timer = folder / (unit + ".timer");
    const auto fail = [&result](const fs::path& path, const std::error_code& why) {
        result.failed = path;
        result.error = why;
        return result;
    };
    fs::create_directories(folder, error);
    if (error)
        return fail(folder, error);
    if (!writeAtomically(service, serviceUnitText(runner, jobPath, schedule), error))
        return fail(service, error);
    result.written.push_back(service);
    result.hasTimer = schedule.kind != ScheduleKind::OnLogin && schedule.kind != ScheduleKind::Watch;
    if (result.hasTimer) {
        if (!writeAtomically(
                timer, timerUnitText(escapeUnitName(fs::path(jobFile).stem().string()), schedule), error))
            return fail(timer, error);
        result.written.push_back(timer);
    } else {
        // A job that was on a timer before runs only at login, or on change, now.
        systemctl({"disable", "--now", unit + ".timer"});
        fs::remove(folder / "timers.target.wants" / (unit + ".timer"), error);
        fs::remove(timer, error);
    }
    result.enabledUnit = unit + (result.hasTimer ? ".timer" : ".service");
    result.enabled = systemctl({"daemon-reload"}) && systemctl({"enable", "--now", result.enabledUnit});
    return result;
}

RemoveResult removeSchedule(std::string_view jobFile)
{
    RemoveResult result;
    const std::string unit = unitName(jobFile);
    const fs::path folder = unitFolder();
    const fs::path service = folder / (unit + ".service");
    const fs::path timer = folder / (unit + ".timer");
    std::error_code error;
    if (!fs::exists(service, error) && !fs::exists(timer, error))
        return result;
    result.found = true;
    // Disabling first removes the links in timers.target.wants/ and default.target.wants/; when
    // there is no user manager, those links are removed below by hand.
    const std::string enabled = fs::exists(timer, error) ? unit + ".timer" : unit + ".service";
    const bool disabled = systemctl({"disable", "--now", enabled});
    for (const char* wants : {"timers.target.wants", "default.target.wants"})
        for (const char* suffix : {".timer", ".service"})
            fs::remove(folder / wants / (unit + suffix), error);
    for (const fs::path& path : {timer, service}) {
        if (!fs::remove(path, error) && error) {
            result.failed = path;
            result.error = error;
            return result;
        }
    }
    if (disabled)
        systemctl({"daemon-reload"});
    return result;
}

std::vector<ScheduledJob> scheduledJobs()
{
    std::vector<ScheduledJob> jobs;
    const fs::path folder = unitFolder();
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(kUnitPrefix) || !name.ends_with(".service"))
            continue;
        const std::string escaped = name.substr(kUnitPrefix.size(), name.size() - kUnitPrefix.size() - 8);
        const fs::path timer = folder / (std::string(kUnitPrefix) + escaped + ".timer");
        jobs.push_back({unescapeUnitName(escaped), scheduleOf(timer, it->path())});
    }
    std::sort(jobs.begin(), jobs.end(),
              [](const ScheduledJob& a, const ScheduledJob& b) { return a.name < b.name; });
    return jobs;
}

std::optional<std::string> scheduleOfJob(std::string_view jobFile)
{
    const std::string unit = unitName(jobFile);
    const fs::path folder = unitFolder();
    const fs::path service = folder / (unit + ".service");
    std::error_code error;
    if (!fs::exists(service, error))
        return std::nullopt;
    return scheduleOf(folder / (unit + ".timer"), service);
}

Lingering lingering()
{
    const std::string user = platform::loginName();
    if (user.empty())
        return Lingering::Unknown;
    std::error_code error;
    return fs::exists(fs::path("/var/lib/systemd/linger") / user, error) ? Lingering::On : Lingering::Off;
}

} // namespace tavrel::schedule
