// SPDX-License-Identifier: GPL-3.0-or-later
// `schedule`: the systemd user units it writes, their names and quoting, and what it asks
// systemctl to do (a recording stand-in, as these machines have no user manager).
#include "support/program_runner.h"
#include "support/scoped_env.h"
#include "support/temp_tree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace tavrel;
namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A scratch home for the units, a job file and a systemctl that records its arguments and
// exits with TEST_SYSTEMCTL_STATUS.
struct ScheduleScene
{
    test::TempDir dir;
    test::ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    test::ScopedEnv systemctl{"TAVREL_SYSTEMCTL", dir / "systemctl"};
    fs::path units = fs::path(dir / "config") / "systemd" / "user";
    fs::path calls = dir / "calls";

    explicit ScheduleScene(int systemctlStatus = 0)
    {
        std::ofstream(dir / "systemctl")
            << "#!/bin/sh\necho \"$*\" >> '" << calls.string() << "'\nexit " << systemctlStatus << "\n";
        fs::permissions(dir / "systemctl", fs::perms::owner_all);
    }
    test::ProgramOutcome run(const std::vector<std::string>& arguments) const
    {
        return test::runProgram(TAVREL_CLI_PATH, arguments, dir.path(), dir.path());
    }
    void newJob(const std::string& file) const
    {
        ASSERT_EQ(run({"new", file, "--pair", "A", "copy", "/a", "/b"}).status, 0);
    }
};

} // namespace

TEST(ScheduleCommand, WritesUnitsAndEnablesTheTimer)
{
    ScheduleScene scene;
    scene.newJob("my job.TSP");
    const auto outcome = scene.run({"schedule", "my job.TSP", "--daily", "06:15"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const fs::path service = scene.units / "tavrel-sync-my\\x20job.service";
    const fs::path timer = scene.units / "tavrel-sync-my\\x20job.timer";
    EXPECT_NE(readAll(service).find("ExecStart=\"" + fs::canonical(TAVREL_CLI_PATH).string() + "\" run \"" +
                                    scene.dir / "my job.TSP" + "\" --no-progress\n"),
              std::string::npos)
        << readAll(service);
    EXPECT_NE(readAll(timer).find("OnCalendar=*-*-* 06:15:00\n"), std::string::npos);
    EXPECT_EQ(readAll(scene.calls),
              "--user daemon-reload\n--user enable --now tavrel-sync-my\\x20job.timer\n");
    EXPECT_NE(outcome.out.find("Enabled tavrel-sync-my\\x20job.timer."), std::string::npos);
    EXPECT_NE(outcome.out.find("Lingering is "), std::string::npos);

    // On login: the timer goes, the service is enabled itself.
    fs::remove(scene.calls);
    ASSERT_EQ(scene.run({"schedule", "my job.TSP", "--on-login"}).status, 0);
    EXPECT_FALSE(fs::exists(timer));
    EXPECT_NE(readAll(service).find("WantedBy=default.target"), std::string::npos);
    EXPECT_NE(readAll(scene.calls).find("--user enable --now tavrel-sync-my\\x20job.service\n"),
              std::string::npos);
}

TEST(ScheduleCommand, WithoutAUserManagerTheUnitsAreWrittenAndTheWayToEnableThemSaid)
{
    ScheduleScene scene(1);
    scene.newJob("job.TSP");
    const auto outcome = scene.run({"schedule", "job.TSP", "--every", "2h"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_TRUE(fs::exists(scene.units / "tavrel-sync-job.service"));
    EXPECT_TRUE(fs::exists(scene.units / "tavrel-sync-job.timer"));
    EXPECT_NE(outcome.err.find("written but not enabled"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("systemctl --user enable --now 'tavrel-sync-job.timer'"), std::string::npos);
    EXPECT_EQ(outcome.out.find("Enabled"), std::string::npos);
}

TEST(ScheduleCommand, GeneratedUnitsPassSystemdVerify)
{
    if (std::system("command -v systemd-analyze >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "systemd-analyze is not installed";
    ScheduleScene scene(1);
    const test::ScopedEnv runtime("XDG_RUNTIME_DIR", scene.dir / "runtime");
    fs::create_directory(scene.dir / "runtime");
    fs::permissions(scene.dir / "runtime", fs::perms::owner_all);
    const std::vector<std::vector<std::string>> schedules = {
        {"--daily", "23:59"}, {"--hourly"}, {"--every", "1d 12h"}, {"--on-login"}, {"--watch"}};
    int job = 0;
    for (const auto& schedule : schedules) {
        // Odd names on purpose: blanks, "%" and "$" in the path, a "-" in the unit name.
        const std::string file = "job-" + std::to_string(job++) + " 100%$.TSP";
        scene.newJob(file);
        std::vector<std::string> arguments{"schedule", file};
        arguments.insert(arguments.end(), schedule.begin(), schedule.end());
        ASSERT_EQ(scene.run(arguments).status, 0);
    }
    std::vector<std::string> verify{"--user", "verify"};
    for (const auto& entry : fs::directory_iterator(scene.units))
        verify.push_back(entry.path().string());
    ASSERT_EQ(verify.size(), 2U + 8U); // five services, three timers
    const auto checked = test::runProgram("/usr/bin/systemd-analyze", verify, scene.dir.path());
    if (checked.err.find("Failed to") != std::string::npos && checked.err.find("bus") != std::string::npos)
        GTEST_SKIP() << "systemd-analyze cannot run here: " << checked.err;
    EXPECT_EQ(checked.status, 0) << checked.err << checked.out;
    EXPECT_EQ(checked.err, "");
}

TEST(ScheduleCommand, RemoveDeletesOnlyThatJobsUnitsAndListShowsTheRest)
{
    ScheduleScene scene;
    scene.newJob("docs.TSP");
    scene.newJob("docs-old.TSP");
    scene.newJob("music.TSP");
    scene.newJob("video.TSP");
    ASSERT_EQ(scene.run({"schedule", "docs.TSP", "--hourly"}).status, 0);
    ASSERT_EQ(scene.run({"schedule", "docs-old.TSP", "--every", "30min"}).status, 0);
    ASSERT_EQ(scene.run({"schedule", "music.TSP", "--on-login"}).status, 0);
    ASSERT_EQ(scene.run({"schedule", "video.TSP", "--watch"}).status, 0);
    std::ofstream(scene.units / "other.timer") << "[Timer]\nOnCalendar=daily\n";
    // An enabled timer's link, as systemctl makes it, goes too.
    fs::create_directories(scene.units / "timers.target.wants");
    fs::create_symlink(scene.units / "tavrel-sync-docs.timer",
                       scene.units / "timers.target.wants" / "tavrel-sync-docs.timer");

    const auto listed = scene.run({"schedule", "--list"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out, "docs: hourly\ndocs-old: every 30min\nmusic: at login\nvideo: on change (watch)\n");

    fs::remove(scene.calls);
    fs::remove(scene.dir / "docs.TSP"); // a job file already gone can still be unscheduled
    const auto removed = scene.run({"schedule", "docs.TSP", "--remove"});
    EXPECT_EQ(removed.status, 0) << removed.err;
    EXPECT_EQ(removed.out, "Removed tavrel-sync-docs.\n");
    EXPECT_EQ(readAll(scene.calls), "--user disable --now tavrel-sync-docs.timer\n--user daemon-reload\n");
    EXPECT_FALSE(fs::exists(scene.units / "tavrel-sync-docs.service"));
    EXPECT_FALSE(fs::exists(scene.units / "tavrel-sync-docs.timer"));
    EXPECT_FALSE(fs::is_symlink(scene.units / "timers.target.wants" / "tavrel-sync-docs.timer"));
    for (const char* kept : {"tavrel-sync-docs\\x2dold.service", "tavrel-sync-docs\\x2dold.timer",
                             "tavrel-sync-music.service", "other.timer"})
        EXPECT_TRUE(fs::exists(scene.units / kept)) << kept;
    EXPECT_EQ(scene.run({"schedule", "--list"}).out,
              "docs-old: every 30min\nmusic: at login\nvideo: on change (watch)\n");
    EXPECT_EQ(scene.run({"schedule", "docs.TSP", "--remove"}).out, "No schedule for tavrel-sync-docs.\n");
}

TEST(ScheduleCommand, UsageErrorsAndRefusedProjects)
{
    ScheduleScene scene;
    scene.newJob("job.TSP");
    const struct
    {
        std::vector<std::string> arguments;
        const char* reason;
    } usage[] = {
        {{"schedule"}, "schedule: no schedule given"},
        {{"schedule", "job.TSP"}, "schedule: no schedule given"},
        {{"schedule", "--hourly"}, "schedule: no project file given"},
        {{"schedule", "job.TSP", "--daily", "25:00"}, "schedule: --daily needs a time HH:MM"},
        {{"schedule", "job.TSP", "--daily"}, "schedule: "},
        {{"schedule", "job.TSP", "--every", "soon"}, "schedule: --every needs a time span"},
        {{"schedule", "job.TSP", "--hourly", "--on-login"}, "schedule: give one of"},
        {{"schedule", "job.TSP", "--list"}, "schedule: --list takes no project file"},
        {{"schedule", "job.TSP", "--weekly"}, "schedule: unknown option --weekly"},
        {{"schedule", "job.TSP", "other.TSP", "--hourly"}, "schedule: more than one project file"},
    };
    for (const auto& c : usage) {
        SCOPED_TRACE(c.reason);
        const auto outcome = scene.run(c.arguments);
        EXPECT_EQ(outcome.status, 64);
        EXPECT_NE(outcome.err.find(std::string("tavrel-sync-cli: ") + c.reason), std::string::npos)
            << outcome.err;
    }
    EXPECT_FALSE(fs::exists(scene.units));

    std::ofstream(scene.dir / "junk.TSP") << "not a project";
    for (const char* file : {"missing.TSP", "junk.TSP"}) {
        SCOPED_TRACE(file);
        const auto refused = scene.run({"schedule", file, "--hourly"});
        EXPECT_EQ(refused.status, 3);
        EXPECT_EQ(refused.err.rfind("tavrel-sync-cli: Failed to open TSP file.\n", 0), 0U) << refused.err;
    }
    EXPECT_FALSE(fs::exists(scene.units));
    EXPECT_FALSE(fs::exists(scene.calls));
}
