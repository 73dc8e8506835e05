// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/schedule_command.h"

#include "cli/arguments.h"
#include "cli/cli_command.h"
#include "cli/terminal_text.h"
#include "model/job.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace tavrel::cli {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kUnitPrefix = "tavrel-sync-";

bool isUnitNameByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' ||
           c == '_' || c == '.';
}

void appendHex(std::string& out, char c)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    const auto byte = static_cast<unsigned char>(c);
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xf];
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

fs::path unitFolder()
{
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return fs::path(config) / "systemd" / "user";
    const char* home = std::getenv("HOME");
    return fs::path(home ? home : "") / ".config" / "systemd" / "user";
}

// The job's name in its units: the file's name without its extension, so "backup.TSP" gives
// tavrel-sync-backup.service.
std::string jobNameOf(std::string_view file)
{
    return escapeUnitName(fs::path(file).stem().string());
}

bool writeAtomically(const fs::path& file, const std::string& text, std::error_code& error)
{
    const fs::path temporary = file.parent_path() / ("." + file.filename().string() + ".tmp");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            error = std::make_error_code(std::errc::io_error);
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
// to our stderr as they are.
bool systemctl(const std::vector<std::string>& arguments)
{
    const char* configured = std::getenv("TAVREL_SYSTEMCTL");
    const std::string program = configured && *configured ? configured : "systemctl";
    std::vector<std::string> all{program, "--user"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(all.size() + 1);
    for (std::string& argument : all)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void printLingerNote()
{
    const passwd* account = ::getpwuid(::getuid());
    const char* user = account ? account->pw_name : std::getenv("USER");
    if (!user || !*user)
        return;
    std::error_code error;
    if (fs::exists(fs::path("/var/lib/systemd/linger") / user, error)) {
        std::puts("Lingering is on: the timer runs also while you are not logged in.");
        return;
    }
    std::puts("Lingering is off: the timer runs only while you are logged in. To run it at any time:\n"
              "  loginctl enable-linger");
}

// What a unit pair of ours says about its schedule, for --list.
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

ExitCode listUnits()
{
    std::vector<std::pair<std::string, std::string>> rows;
    const fs::path folder = unitFolder();
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(kUnitPrefix) || !name.ends_with(".service"))
            continue;
        const std::string escaped = name.substr(kUnitPrefix.size(), name.size() - kUnitPrefix.size() - 8);
        const fs::path timer = folder / (std::string(kUnitPrefix) + escaped + ".timer");
        rows.emplace_back(printableText(unescapeUnitName(escaped), Breaks::Escape),
                          scheduleOf(timer, it->path()));
    }
    std::sort(rows.begin(), rows.end());
    if (rows.empty())
        std::puts("No scheduled jobs.");
    for (const auto& [job, when] : rows)
        std::printf("%s: %s\n", job.c_str(), when.c_str());
    return ExitCode::Succeeded;
}

ExitCode removeUnits(std::string_view file)
{
    const std::string unit = std::string(kUnitPrefix) + jobNameOf(file);
    const fs::path folder = unitFolder();
    const fs::path service = folder / (unit + ".service");
    const fs::path timer = folder / (unit + ".timer");
    std::error_code error;
    if (!fs::exists(service, error) && !fs::exists(timer, error)) {
        std::printf("No schedule for %s.\n", printableText(unit, Breaks::Escape).c_str());
        return ExitCode::Succeeded;
    }
    // Disabling first removes the links in timers.target.wants/ and default.target.wants/; when
    // there is no user manager, those links are removed below by hand.
    const std::string enabled = fs::exists(timer, error) ? unit + ".timer" : unit + ".service";
    const bool disabled = systemctl({"disable", "--now", enabled});
    for (const char* wants : {"timers.target.wants", "default.target.wants"})
        for (const char* suffix : {".timer", ".service"})
            fs::remove(folder / wants / (unit + suffix), error);
    for (const fs::path& path : {timer, service}) {
        if (!fs::remove(path, error) && error) {
            std::fprintf(stderr, "tavrel-sync-cli: schedule: cannot remove %s: %s\n",
                         printableText(path.string(), Breaks::Escape).c_str(), error.message().c_str());
            return ExitCode::CannotSave;
        }
    }
    if (disabled)
        systemctl({"daemon-reload"});
    std::printf("Removed %s.\n", printableText(unit, Breaks::Escape).c_str());
    return ExitCode::Succeeded;
}

ExitCode writeUnits(std::string_view file, const Schedule& schedule)
{
    model::Job job;
    if (!openJobFile(job, file))
        return ExitCode::ProjectRefused;
    std::error_code error;
    const std::string jobPath = fs::absolute(fs::path(file), error).lexically_normal().string();
    const std::string runner = fs::read_symlink("/proc/self/exe", error).string();
    const std::string jobName = jobNameOf(file);
    const std::string unit = std::string(kUnitPrefix) + jobName;
    const fs::path folder = unitFolder();
    const fs::path service = folder / (unit + ".service");
    const fs::path timer = folder / (unit + ".timer");
    const auto fail = [](const fs::path& path, const std::error_code& why) {
        std::fprintf(stderr, "tavrel-sync-cli: schedule: cannot write %s: %s\n",
                     printableText(path.string(), Breaks::Escape).c_str(), why.message().c_str());
        return ExitCode::CannotSave;
    };
    fs::create_directories(folder, error);
    if (error)
        return fail(folder, error);
    if (!writeAtomically(service, serviceUnitText(runner, jobPath, schedule), error))
        return fail(service, error);
    const bool hasTimer = schedule.kind != ScheduleKind::OnLogin && schedule.kind != ScheduleKind::Watch;
    if (hasTimer) {
        if (!writeAtomically(timer, timerUnitText(jobName, schedule), error))
            return fail(timer, error);
    } else {
        // A job that was on a timer before runs only at login, or on change, now.
        systemctl({"disable", "--now", unit + ".timer"});
        fs::remove(folder / "timers.target.wants" / (unit + ".timer"), error);
        fs::remove(timer, error);
    }
    const std::string enabled = unit + (hasTimer ? ".timer" : ".service");
    std::printf("Wrote %s\n", printableText(service.string(), Breaks::Escape).c_str());
    if (hasTimer)
        std::printf("Wrote %s\n", printableText(timer.string(), Breaks::Escape).c_str());
    if (systemctl({"daemon-reload"}) && systemctl({"enable", "--now", enabled})) {
        std::printf("Enabled %s.\n", enabled.c_str());
    } else {
        // The files are what this command makes; a machine without a user manager (a container,
        // a build machine) gets them all the same and enables them when it has one.
        std::fprintf(stderr,
                     "tavrel-sync-cli: schedule: the units were written but not enabled (no user "
                     "manager?); enable them later with: systemctl --user daemon-reload && "
                     "systemctl --user enable --now '%s'\n",
                     enabled.c_str());
    }
    if (hasTimer)
        printLingerNote();
    return ExitCode::Succeeded;
}

} // namespace

std::string escapeUnitName(std::string_view name)
{
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '/')
            out += '-';
        else if ((c == '.' && i == 0) || !isUnitNameByte(c))
            appendHex(out, c);
        else
            out += c;
    }
    return out;
}

std::string unescapeUnitName(std::string_view escaped)
{
    std::string out;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '-') {
            out += '/';
        } else if (escaped[i] == '\\' && i + 3 < escaped.size() && escaped[i + 1] == 'x' &&
                   hexValue(escaped[i + 2]) >= 0 && hexValue(escaped[i + 3]) >= 0) {
            out += static_cast<char>(hexValue(escaped[i + 2]) * 16 + hexValue(escaped[i + 3]));
            i += 3;
        } else {
            out += escaped[i];
        }
    }
    return out;
}

std::string quoteExecArgument(std::string_view argument)
{
    std::string out = "\"";
    for (const char c : argument) {
        if (c == '\\' || c == '"') {
            out += '\\';
        } else if (c == '%' || c == '$') {
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            // A line break would end the setting; systemd reads C escapes inside quotes.
            appendHex(out, c);
            continue;
        }
        out += c;
    }
    return out + "\"";
}

std::optional<std::chrono::seconds> parseTimeSpan(std::string_view text)
{
    struct Unit
    {
        std::string_view name;
        long long seconds;
    };
    static constexpr Unit kUnits[] = {
        {"seconds", 1},  {"second", 1},  {"sec", 1},      {"s", 1},          {"minutes", 60},  {"minute", 60},
        {"min", 60},     {"m", 60},      {"hours", 3600}, {"hour", 3600},    {"hr", 3600},     {"h", 3600},
        {"days", 86400}, {"day", 86400}, {"d", 86400},    {"weeks", 604800}, {"week", 604800}, {"w", 604800},
    };
    long long total = 0;
    std::size_t i = 0;
    bool any = false;
    while (true) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        if (i == text.size())
            break;
        long long number = 0;
        const std::size_t digits = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            number = number * 10 + (text[i] - '0');
            if (number > 100000000)
                return std::nullopt;
            ++i;
        }
        if (i == digits)
            return std::nullopt;
        while (i < text.size() && text[i] == ' ')
            ++i;
        std::size_t end = i;
        while (end < text.size() && text[end] >= 'a' && text[end] <= 'z')
            ++end;
        const std::string_view word = text.substr(i, end - i);
        long long factor = 0;
        if (word.empty())
            factor = 1; // systemd reads a bare number as seconds
        for (const Unit& unit : kUnits)
            if (word == unit.name)
                factor = unit.seconds;
        if (factor == 0)
            return std::nullopt;
        total += number * factor;
        i = end;
        any = true;
    }
    if (!any || total <= 0)
        return std::nullopt;
    return std::chrono::seconds(total);
}

bool validClock(std::string_view text)
{
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (text.size() != 5 || text[2] != ':' || !digit(text[0]) || !digit(text[1]) || !digit(text[3]) ||
        !digit(text[4]))
        return false;
    return (text[0] - '0') * 10 + (text[1] - '0') < 24 && text[3] < '6';
}

std::string serviceUnitText(std::string_view runner, std::string_view jobPath, const Schedule& schedule)
{
    const bool watch = schedule.kind == ScheduleKind::Watch;
    std::string text = "# Written by tavrel-sync-cli schedule; `tavrel-sync-cli schedule JOB.TSP --remove`\n"
                       "# removes it.\n"
                       "[Unit]\n"
                       "Description=Tavrel Synchronizer job " +
                       escapeUnitName(fs::path(jobPath).stem().string()) +
                       "\n\n"
                       "[Service]\n";
    text += watch ? "Type=simple\n" : "Type=oneshot\n";
    text += "# Output goes to the journal (StandardOutput=journal is a user unit's default):\n"
            "# journalctl --user -u THIS.service\n"
            "ExecStart=";
    text += quoteExecArgument(runner);
    text += watch ? " watch " : " run ";
    text += quoteExecArgument(jobPath);
    text += watch ? "\n" : " --no-progress\n";
    if (watch)
        // Stopped in the middle of a run, the watch ends as that run: stopped (1), no failure.
        // A crash comes back after a minute; a project file that cannot be read does not.
        text += "SuccessExitStatus=1\n"
                "Restart=on-failure\n"
                "RestartSec=60\n"
                "RestartPreventExitStatus=3 64\n";
    if (schedule.kind == ScheduleKind::OnLogin || watch)
        text += "\n[Install]\nWantedBy=default.target\n";
    return text;
}

std::string timerUnitText(std::string_view jobName, const Schedule& schedule)
{
    std::string when;
    switch (schedule.kind) {
    case ScheduleKind::Daily:
        when = "OnCalendar=*-*-* " + schedule.value + ":00\n";
        break;
    case ScheduleKind::Hourly:
        when = "OnCalendar=hourly\n";
        break;
    case ScheduleKind::Every:
        // Counted from the last run, and from boot for the first one.
        when = "OnBootSec=" + schedule.value + "\nOnUnitActiveSec=" + schedule.value + "\n";
        break;
    case ScheduleKind::OnLogin:
    case ScheduleKind::Watch:
        return {};
    }
    return "# Written by tavrel-sync-cli schedule.\n"
           "[Unit]\n"
           "Description=Schedule of tavrel-sync-" +
           std::string(jobName) +
           ".service\n\n"
           "[Timer]\n" +
           when +
           "Persistent=true\n\n"
           "[Install]\n"
           "WantedBy=timers.target\n";
}

ExitCode runSchedule(std::span<const std::string_view> arguments)
{
    std::optional<std::string_view> file;
    std::optional<Schedule> schedule;
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
                if (!validClock(clock))
                    throw UsageError("--daily needs a time HH:MM (00:00 to 23:59), not " +
                                     quoteArgument(clock));
                schedule = Schedule{ScheduleKind::Daily, std::string(clock)};
            } else if (option == "--hourly") {
                reader.noValue();
                schedule = Schedule{ScheduleKind::Hourly, {}};
            } else if (option == "--every") {
                const std::string_view span = reader.value();
                if (!parseTimeSpan(span))
                    throw UsageError("--every needs a time span such as 30min, 2h or 1d, not " +
                                     quoteArgument(span));
                // Written as given but without blanks, so systemd reads the same span.
                std::string compact;
                for (const char c : span)
                    if (c != ' ')
                        compact += c;
                schedule = Schedule{ScheduleKind::Every, compact};
            } else if (option == "--on-login") {
                reader.noValue();
                schedule = Schedule{ScheduleKind::OnLogin, {}};
            } else if (option == "--watch") {
                reader.noValue();
                schedule = Schedule{ScheduleKind::Watch, {}};
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
    return writeUnits(*file, *schedule);
}

} // namespace tavrel::cli
