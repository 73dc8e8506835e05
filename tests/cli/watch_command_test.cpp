// SPDX-License-Identifier: GPL-3.0-or-later
// `watch` through the real kernel: the runner watches temporary trees, the test changes them
// and reads the runner's JSON lines. Every wait has a deadline; nothing is asserted after a
// bare sleep except that no run came.
#include "model/job.h"
#include "project/project_file.h"
#include "support/program_runner.h"
#include "support/scoped_env.h"
#include "support/temp_tree.h"
#include "text/text_codec.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tavrel::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The value of `name` in a JSON line, as written ("change" for a string, 3 for a number).
std::string field(const std::string& line, const std::string& name)
{
    std::smatch match;
    if (std::regex_search(line, match, std::regex("\"" + name + "\":(\"([^\"]*)\"|(-?[0-9]+)|true|false)")))
        return match[2].matched ? match[2].str() : match[3].matched ? match[3].str() : match[1].str();
    return {};
}

int number(const std::string& line, const std::string& name)
{
    const std::string value = field(line, name);
    return value.empty() ? -1 : std::stoi(value);
}

class WatchCommandTest : public ::testing::Test
{
protected:
    // A mirror of org/ into tgt/, and of tgt/ into `chained` when given.
    std::string saveJob(const std::string& chained = {})
    {
        model::Job job;
        auto addPair = [&job](const std::string& org, const std::string& tgt) {
            model::FolderPair* pair = job.addPair();
            pair->name = u"Docs";
            pair->method = model::SyncMethod::AbsoluteCopy;
            pair->orgPath = text::fromUtf8(org);
            pair->tgtPath = text::fromUtf8(tgt);
            pair->includeFiles.append(u"*");
            pair->includeFolders.append(u"*");
            pair->includeSubfolders = 1;
        };
        addPair(m_org, m_tgt);
        if (!chained.empty())
            addPair(m_tgt, chained);
        std::string file = m_dir / "job.tsp";
        EXPECT_TRUE(project::saveProject(job, file));
        return file;
    }

    // Starts the watch over a target folder that exists, and waits for the line of its first run.
    void start(const std::string& delay = "0.3", const std::string& chained = {})
    {
        fs::create_directories(m_tgt);
        if (!chained.empty())
            fs::create_directories(chained);
        m_program = std::make_unique<StartedProgram>(
            TAVREL_CLI_PATH, std::vector<std::string>{"watch", saveJob(chained), "--delay", delay, "--json"},
            m_dir.path());
        ASSERT_TRUE(waitForLines(1)) << "no first run";
        EXPECT_EQ(field(lines()[0], "trigger"), "start");
    }

    std::vector<std::string> lines() const
    {
        std::vector<std::string> result;
        std::istringstream in(readFile(m_dir / "program-stdout"));
        for (std::string line; std::getline(in, line);)
            result.push_back(line);
        return result;
    }

    static bool waitUntil(const std::function<bool()>& done, std::chrono::seconds limit = 20s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }

    bool waitForLines(std::size_t count) const
    {
        return waitUntil([&] { return lines().size() >= count; });
    }

    bool targetMatches() const { return snapshotTree(m_tgt) == snapshotTree(m_org); }

    ProgramOutcome stop()
    {
        ::kill(m_program->pid(), SIGTERM);
        return m_program->finish();
    }

    TempDir m_dir;
    ScopedEnv m_dataHome{"XDG_DATA_HOME", m_dir / "data"};
    std::string m_org = m_dir / "org";
    std::string m_tgt = m_dir / "tgt";
    std::unique_ptr<StartedProgram> m_program;
};

struct Step
{
    const char* name;
    std::function<void(const std::string& org)> change;
    int mostCounted; // files a run of the changed folders alone counts at most
};

// Each change is followed by runs of the folders it touched: the target ends as ORG is, and
// no run counts the 200 files of the folder no step touches.
TEST_F(WatchCommandTest, EachKindOfChangeIsSyncedByARunOfTheFoldersItTouched)
{
    std::vector<Node> tree{file("a/one", "1"), file("b/two", "2")};
    for (int i = 0; i < 200; ++i)
        tree.push_back(file("filler/f" + std::to_string(i), "x"));
    buildTree(m_org, tree);
    start();
    ASSERT_TRUE(targetMatches());

    const Step steps[] = {
        {"create", [](const std::string& org) { writeFile(org + "/a/new", "n"); }, 2},
        {"modify", [](const std::string& org) { writeFile(org + "/a/one", "changed"); }, 2},
        {"rename in a folder", [](const std::string& org) { fs::rename(org + "/a/new", org + "/a/renamed"); },
         2},
        {"rename across folders",
         [](const std::string& org) { fs::rename(org + "/a/renamed", org + "/b/moved"); }, 3},
        {"create a folder tree",
         [](const std::string& org) {
             fs::create_directories(org + "/c/d/e");
             writeFile(org + "/c/d/e/deep", "d");
         },
         1},
        {"move a folder in", [](const std::string& org) { fs::rename(org + "/c", org + "/b/c"); }, 3},
        {"delete a folder", [](const std::string& org) { fs::remove_all(org + "/b"); }, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const std::size_t before = lines().size();
        step.change(m_org);
        ASSERT_TRUE(waitUntil([&] { return lines().size() > before && targetMatches(); }));
        const std::vector<std::string> now = lines();
        for (std::size_t i = before; i < now.size(); ++i) {
            EXPECT_EQ(field(now[i], "trigger"), "change") << now[i];
            EXPECT_EQ(field(now[i], "result"), "succeeded") << now[i];
            EXPECT_LE(number(now[i], "totalFiles"), step.mostCounted) << now[i];
        }
    }
    // Stopped while idle: the last run's status, and no run more.
    const std::size_t runs = lines().size();
    const ProgramOutcome outcome = stop();
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(lines().size(), runs);
}

TEST_F(WatchCommandTest, BurstOfTenThousandChangesIsOneRun)
{
    buildTree(m_org, {file("a/one", "1")});
    // Six delays (the longest a steady stream waits) are well above the burst's length.
    start("1");
    fs::create_directories(m_org + "/burst");
    for (int i = 0; i < 10'000; ++i)
        writeFile(m_org + "/burst/f" + std::to_string(i), "x");
    ASSERT_TRUE(waitUntil([&] { return lines().size() >= 2 && targetMatches(); }, 40s));
    // Time for a second run to show, if one were coming.
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(lines().size(), 2u);
    stop();
}

TEST_F(WatchCommandTest, WrongCommandLinesAreRefusedWithTheReason)
{
    const std::string job = saveJob();
    const struct
    {
        std::vector<std::string> arguments;
        const char* reason;
    } cases[] = {
        {{"watch"}, "watch: no project file given"},
        {{"watch", job, "--delay", "0"}, "watch: --delay needs a positive number, not 0"},
        {{"watch", job, "--poll", "-5"}, "watch: --poll needs a positive number, not -5"},
        {{"watch", job, "--full-every", "2h"}, "watch: --full-every needs a positive number, not 2h"},
        {{"watch", job, "--json=yes"}, "watch: --json takes no value"},
        {{"watch", job, "--full-every", "1e9"}, "watch: --full-every takes at most 87600"},
        {{"watch", job, "--every", "1"}, "watch: unknown option --every"},
    };
    for (const auto& c : cases) {
        const ProgramOutcome outcome = runProgram(TAVREL_CLI_PATH, c.arguments, m_dir.path());
        EXPECT_EQ(outcome.status, 64) << c.reason;
        EXPECT_NE(outcome.err.find(c.reason), std::string::npos) << outcome.err;
    }
}

// What one pair's run writes into the folder the next pair copies from is a change for that
// pair: a run's own writes are no changes only for the pair that made them.
TEST_F(WatchCommandTest, ChangeCarriesThroughChainedPairs)
{
    buildTree(m_org, {file("a/one", "1")});
    const std::string last = m_dir / "last";
    start("0.3", last);
    ASSERT_EQ(snapshotTree(last), snapshotTree(m_org));
    writeFile(m_org + "/a/new", "n");
    EXPECT_TRUE(waitUntil([&] { return snapshotTree(last) == snapshotTree(m_org); }))
        << "the second pair never got the first one's copy";
    stop();
}

// Over the watch limit, the tree is polled instead, said once with the limit's name and value.
// The limit is lowered in a user namespace of the watch's own, where it binds no one else.
TEST_F(WatchCommandTest, TreeOverTheWatchLimitIsPolled)
{
    if (runProgram("/usr/bin/unshare", {"--user", "--map-root-user", "true"}, m_dir.path()).status != 0)
        GTEST_SKIP() << "no user namespace to lower the watch limit in";
    std::vector<Node> tree;
    for (int i = 0; i < 10; ++i)
        tree.push_back(file("d" + std::to_string(i) + "/f", "x"));
    // Both trees over the limit from the start: no kernel event can start a run.
    buildTree(m_org, tree);
    buildTree(m_tgt, tree);
    const std::string script = "echo 4 > /proc/sys/user/max_inotify_watches && exec \"$0\" \"$@\"";
    m_program = std::make_unique<StartedProgram>(
        "/usr/bin/unshare",
        std::vector<std::string>{"--user", "--map-root-user", "sh", "-c", script, TAVREL_CLI_PATH, "watch",
                                 saveJob(), "--delay", "0.3", "--poll", "0.5", "--json"},
        m_dir.path());
    ASSERT_TRUE(waitForLines(1));
    writeFile(m_org + "/d3/new", "n");
    const bool synced = waitUntil([&] { return targetMatches(); });
    const ProgramOutcome outcome = stop();
    ASSERT_TRUE(synced) << readFile(m_dir / "program-stdout") << outcome.err;
    EXPECT_EQ(field(lines().back(), "trigger"), "poll") << lines().back();
    EXPECT_NE(outcome.err.find("fs.inotify.max_user_watches is 4"), std::string::npos) << outcome.err;
}

// More changes than the kernel's queue holds: it drops events, and the pair runs whole. The
// watch is held still while they come, so the queue overflows for certain; the queue's size is
// the system's own (lowering it would shrink the queues of every other program started then).
TEST_F(WatchCommandTest, LostEventsRunTheWholePair)
{
    const std::string limitText = readFile("/proc/sys/fs/inotify/max_queued_events");
    const long limit = limitText.empty() ? 0 : std::stol(limitText);
    if (limit <= 0 || limit > 100'000)
        GTEST_SKIP() << "the kernel's event queue holds " << limitText
                     << " events: too many to overflow quickly";
    buildTree(m_org, {file("a/one", "1")});
    start();
    ::kill(m_program->pid(), SIGSTOP);
    // Each new file is at least two events: its creation and its close after writing.
    for (long i = 0; i < limit / 2 + 100; ++i)
        writeFile(m_org + "/a/f" + std::to_string(i), "x");
    ::kill(m_program->pid(), SIGCONT);
    ASSERT_TRUE(waitUntil([&] { return lines().size() >= 2 && targetMatches(); }, 60s));
    EXPECT_EQ(field(lines()[1], "trigger"), "overflow") << lines()[1];
    stop();
}

// A target drive that goes away pauses the pair (no run, no error); when it is back, the pair
// runs whole and gets what changed meanwhile.
TEST_F(WatchCommandTest, MissingRootPausesThePairUntilItIsBack)
{
    buildTree(m_org, {file("a/one", "1")});
    start();
    fs::rename(m_tgt, m_dir / "away");
    writeFile(m_org + "/a/while-away", "w");
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(lines().size(), 1u) << "a run while the target was away";
    EXPECT_FALSE(fs::exists(m_tgt)) << "the missing target was made afresh";
    fs::rename(m_dir / "away", m_tgt);
    ASSERT_TRUE(waitUntil([&] { return lines().size() >= 2 && targetMatches(); }));
    EXPECT_EQ(field(lines()[1], "trigger"), "resume") << lines()[1];
    EXPECT_EQ(field(lines()[1], "result"), "succeeded") << lines()[1];
    const ProgramOutcome outcome = stop();
    EXPECT_NE(outcome.err.find("paused"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("resumed"), std::string::npos) << outcome.err;
}

// A run that copies thousands of files takes long enough to change the tree under it.
class SlowRunTest : public WatchCommandTest
{
protected:
    // Starts a run of many new files and waits until its first copy shows in the target.
    void startSlowRun()
    {
        buildTree(m_org, {file("a/one", "1")});
        start();
        fs::create_directories(m_org + "/slow");
        for (int i = 0; i < 6000; ++i)
            writeFile(m_org + "/slow/f" + std::to_string(i), std::string(512, 'x'));
        ASSERT_TRUE(waitUntil([&] { return fs::exists(m_tgt + "/slow") && !fs::is_empty(m_tgt + "/slow"); }));
    }
};

TEST_F(SlowRunTest, ChangeDuringARunIsPickedUpByTheNextOne)
{
    startSlowRun();
    writeFile(m_org + "/a/late", "late");
    ASSERT_TRUE(waitUntil([&] { return fs::exists(m_tgt + "/a/late") && targetMatches(); }));
    EXPECT_GE(lines().size(), 3u) << "the change came in the run's time, so a run of its own syncs it";
    stop();
}

TEST_F(SlowRunTest, SigtermStopsTheRunAndEndsTheWatch)
{
    startSlowRun();
    const std::size_t before = lines().size();
    const ProgramOutcome outcome = stop();
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    const std::vector<std::string> now = lines();
    ASSERT_EQ(now.size(), before + 1);
    EXPECT_EQ(field(now.back(), "result"), "stopped") << now.back();
    for (const auto& [path, node] : snapshotTree(m_tgt))
        EXPECT_EQ(path.find(".tavrel-tmp"), std::string::npos) << "a temporary file was left: " << path;
}

} // namespace
} // namespace tavrel::test
