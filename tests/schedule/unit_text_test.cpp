// SPDX-License-Identifier: GPL-3.0-or-later
// The units' text: what each schedule writes, names and paths escaped as systemd reads them,
// the time spans and clocks accepted.
#include "schedule/unit_text.h"

#include <gtest/gtest.h>
#include <string>

using namespace tavrel::schedule;

// GCC 12 at -O3 warns falsely that the table's strings may be used uninitialized.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
TEST(ScheduleUnits, EachKindWritesItsTimerAndInstallSection)
{
    const std::string head =
        "# Written by Tavrel Synchronizer's Schedule; `tavrel-sync-cli schedule JOB.TSP --remove`\n"
        "# removes it.\n"
        "[Unit]\n"
        "Description=Tavrel Synchronizer job backup\n\n"
        "[Service]\n"
        "Type=oneshot\n"
        "# Output goes to the journal (said here too, so a changed default in\n"
        "# user.conf cannot send it elsewhere): journalctl --user -u THIS.service\n"
        "StandardOutput=journal\n"
        "StandardError=journal\n"
        "# The run's notice waits for its action after the run has ended: only the\n"
        "# runner is stopped with the unit, not that process.\n"
        "KillMode=process\n"
        "ExecStart=\"/usr/bin/tavrel-sync-cli\" run \"/home/u/backup.TSP\" --no-progress\n";
    const std::string timerHead = "# Written by Tavrel Synchronizer's Schedule.\n"
                                  "[Unit]\n"
                                  "Description=Schedule of tavrel-sync-backup.service\n\n"
                                  "[Timer]\n";
    const std::string timerTail = "Persistent=true\n\n[Install]\nWantedBy=timers.target\n";
    const struct
    {
        Schedule schedule;
        std::string serviceTail;
        std::string when; // empty: no timer
    } cases[] = {
        {{ScheduleKind::Daily, "08:30"}, "", "OnCalendar=*-*-* 08:30:00\n"},
        {{ScheduleKind::Hourly, {}}, "", "OnCalendar=hourly\n"},
        {{ScheduleKind::Every, "30min"}, "", "OnBootSec=30min\nOnUnitActiveSec=30min\n"},
        {{ScheduleKind::OnLogin, {}}, "\n[Install]\nWantedBy=default.target\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.when);
        EXPECT_EQ(serviceUnitText("/usr/bin/tavrel-sync-cli", "/home/u/backup.TSP", c.schedule),
                  head + c.serviceTail);
        std::string timer;
        if (!c.when.empty()) {
            timer = timerHead;
            timer += c.when;
            timer += timerTail;
        }
        EXPECT_EQ(timerUnitText("backup", c.schedule), timer);
    }
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// A watch is a service that stays: started with the user's manager, never by a timer.
TEST(ScheduleUnits, WatchRunsAsALongRunningServiceWithoutTimer)
{
    const Schedule watch{ScheduleKind::Watch, {}};
    EXPECT_EQ(serviceUnitText("/usr/bin/tavrel-sync-cli", "/home/u/backup.TSP", watch),
              "# Written by Tavrel Synchronizer's Schedule; `tavrel-sync-cli schedule JOB.TSP --remove`\n"
              "# removes it.\n"
              "[Unit]\n"
              "Description=Tavrel Synchronizer job backup\n\n"
              "[Service]\n"
              "Type=simple\n"
              "# Output goes to the journal (said here too, so a changed default in\n"
              "# user.conf cannot send it elsewhere): journalctl --user -u THIS.service\n"
              "StandardOutput=journal\n"
              "StandardError=journal\n"
              "# The run's notice waits for its action after the run has ended: only the\n"
              "# runner is stopped with the unit, not that process.\n"
              "KillMode=process\n"
              "ExecStart=\"/usr/bin/tavrel-sync-cli\" watch \"/home/u/backup.TSP\"\n"
              "SuccessExitStatus=1\n"
              "Restart=on-failure\n"
              "RestartSec=60\n"
              "RestartPreventExitStatus=3 64\n"
              "\n[Install]\nWantedBy=default.target\n");
    EXPECT_EQ(timerUnitText("backup", watch), "");
}

TEST(ScheduleUnits, OddNamesAndPathsAreEscapedReversibly)
{
    const struct
    {
        std::string name;
        std::string escaped;
    } names[] = {
        {"backup", "backup"},
        {"my job", "my\\x20job"},
        {"a-b", "a\\x2db"},
        {".hidden", "\\x2ehidden"},
        {"x.y:z_1", "x.y:z_1"},
        {"100%$", "100\\x25\\x24"},
        {"back\\slash", "back\\x5cslash"},
        {"Fotos \xc3\xa4", "Fotos\\x20\\xc3\\xa4"},
        {"a/b", "a-b"},
    };
    for (const auto& c : names) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(escapeUnitName(c.name), c.escaped);
        EXPECT_EQ(unescapeUnitName(c.escaped), c.name);
    }

    const struct
    {
        std::string path;
        std::string quoted;
    } paths[] = {
        {"/home/u/job.TSP", "\"/home/u/job.TSP\""},
        {"/home/u/my jobs/a b.TSP", "\"/home/u/my jobs/a b.TSP\""},
        {"/x/100%.TSP", "\"/x/100%%.TSP\""},
        {"/x/$HOME.TSP", "\"/x/$$HOME.TSP\""},
        {"/x/back\\slash\".TSP", "\"/x/back\\\\slash\\\".TSP\""},
        {"/x/line\nbreak", "\"/x/line\\x0abreak\""},
    };
    for (const auto& c : paths) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(quoteExecArgument(c.path), c.quoted);
    }
}

TEST(ScheduleUnits, TimeSpansAndClocksAreValidated)
{
    const struct
    {
        const char* text;
        long long seconds; // 0: refused
    } spans[] = {
        {"30min", 1800}, {"2h", 7200},     {"1d", 86400}, {"1d 12h", 129600}, {"90", 90}, {"1w", 604800},
        {"5 m", 300},    {"2hours", 7200}, {"", 0},       {"0s", 0},          {"h", 0},   {"10x", 0},
        {"-5min", 0},    {"1.5h", 0},      {"2H", 0},
    };
    for (const auto& c : spans) {
        SCOPED_TRACE(c.text);
        const auto span = parseTimeSpan(c.text);
        EXPECT_EQ(span ? span->count() : 0, c.seconds);
    }
    for (const char* good : {"00:00", "08:30", "23:59"})
        EXPECT_TRUE(validClock(good)) << good;
    for (const char* bad : {"24:00", "8:30", "08:60", "08-30", "08:30:00", ""})
        EXPECT_FALSE(validClock(bad)) << bad;
}
