// SPDX-License-Identifier: GPL-3.0-or-later
// The units as the window's Schedule dialog reaches them: written, read back as the schedule
// the dialog shows, replaced by another kind and removed, with a recording systemctl.
#include "schedule/user_units.h"
#include "support/scoped_env.h"
#include "support/temp_tree.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace tavrel;
using namespace tavrel::schedule;
namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(UserUnits, EachScheduleIsWrittenShownReplacedAndRemoved)
{
    test::TempDir dir;
    const test::ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    const test::ScopedEnv systemctl{"TAVREL_SYSTEMCTL", dir / "systemctl"};
    std::ofstream(dir / "systemctl") << "#!/bin/sh\necho \"$*\" >> '" << (dir / "calls") << "'\n";
    fs::permissions(dir / "systemctl", fs::perms::owner_all);
    const fs::path units = fs::path(dir / "config") / "systemd" / "user";
    const std::string job = dir / "my jobs/night run.TSP";

    EXPECT_FALSE(scheduleOfJob(job));
    const struct
    {
        Schedule schedule;
        const char* shown;
        const char* enabled;
    } cases[] = {
        {{ScheduleKind::Daily, "02:30"}, "*-*-* 02:30:00", "tavrel-sync-night\\x20run.timer"},
        {{ScheduleKind::Every, "2h"}, "every 2h", "tavrel-sync-night\\x20run.timer"},
        {{ScheduleKind::OnLogin, {}}, "at login", "tavrel-sync-night\\x20run.service"},
        {{ScheduleKind::Hourly, {}}, "hourly", "tavrel-sync-night\\x20run.timer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        fs::remove(dir / "calls");
        const WriteResult written = writeSchedule(job, "/opt/bin/tavrel-sync-cli", c.schedule);
        ASSERT_TRUE(written.failed.empty()) << written.error.message();
        EXPECT_TRUE(written.enabled);
        EXPECT_EQ(written.enabledUnit, c.enabled);
        EXPECT_EQ(written.hasTimer, c.schedule.kind != ScheduleKind::OnLogin);
        EXPECT_EQ(written.written.size(), written.hasTimer ? 2U : 1U);
        EXPECT_EQ(fs::exists(units / "tavrel-sync-night\\x20run.timer"), written.hasTimer);
        EXPECT_EQ(scheduleOfJob(job).value_or("none"), c.shown);
        EXPECT_NE(readAll(units / "tavrel-sync-night\\x20run.service")
                      .find("ExecStart=\"/opt/bin/tavrel-sync-cli\" run \"" + job + "\" --no-progress\n"),
                  std::string::npos);
        EXPECT_NE(readAll(dir / "calls").find(std::string("--user enable --now ") + c.enabled + "\n"),
                  std::string::npos)
            << readAll(dir / "calls");
    }
    ASSERT_EQ(scheduledJobs().size(), 1U);
    EXPECT_EQ(scheduledJobs().front().name, "night run");

    const RemoveResult removed = removeSchedule(job);
    EXPECT_TRUE(removed.found);
    EXPECT_TRUE(removed.failed.empty());
    EXPECT_FALSE(scheduleOfJob(job));
    EXPECT_TRUE(scheduledJobs().empty());
    EXPECT_FALSE(removeSchedule(job).found);
}
