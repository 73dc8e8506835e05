// SPDX-License-Identifier: GPL-3.0-or-later
#include "schedule/unit_text.h"

#include <filesystem>

namespace tavrel::schedule {
namespace fs = std::filesystem;
namespace {

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
    std::string text =
        "# Written by Tavrel Synchronizer's Schedule; `tavrel-sync-cli schedule JOB.TSP --remove`\n"
        "# removes it.\n"
        "[Unit]\n"
        "Description=Tavrel Synchronizer job " +
        escapeUnitName(fs::path(jobPath).stem().string()) +
        "\n\n"
        "[Service]\n";
    text += watch ? "Type=simple\n" : "Type=oneshot\n";
    text += "# Output goes to the journal (said here too, so a changed default in\n"
            "# user.conf cannot send it elsewhere): journalctl --user -u THIS.service\n"
            "StandardOutput=journal\n"
            "StandardError=journal\n"
            "# The run's notice waits for its action after the run has ended: only the\n"
            "# runner is stopped with the unit, not that process.\n"
            "KillMode=process\n"
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
    return "# Written by Tavrel Synchronizer's Schedule.\n"
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

} // namespace tavrel::schedule
