// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/report_file.h"
#include "report/report_history.h"
#include "support/temp_tree.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace tavrel::report;
namespace fs = std::filesystem;

namespace {

// 2023-11-14 22:13:20 UTC.
const auto kStart = std::chrono::system_clock::from_time_t(1'700'000'000);

// Names are in local time: the tests fix the zone, so that they can spell the names out.
class ReportHistoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const char* zone = std::getenv("TZ"))
            m_zone = zone;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override
    {
        if (m_zone)
            ::setenv("TZ", m_zone->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

    // Writes `content` as the finished report of a run.
    fs::path finishedReport(const std::string& content)
    {
        std::ofstream(m_report, std::ios::binary | std::ios::trunc) << content;
        return m_report;
    }

    std::vector<std::string> keptNames() const
    {
        std::vector<std::string> names;
        for (const fs::path& path : keptReports(m_history))
            names.push_back(path.filename().string());
        return names;
    }

    tavrel::test::TempDir m_dir;
    fs::path m_report = fs::path(m_dir.path()) / "report.htm";
    fs::path m_history = fs::path(m_dir.path()) / "data" / "reports";
    std::optional<std::string> m_zone;
};

TEST_F(ReportHistoryTest, TheHundredAndFirstRunRemovesTheOldest)
{
    for (int run = 0; run < 101; ++run) {
        const fs::path kept = keepReport(finishedReport("run " + std::to_string(run)), m_history,
                                         kStart + std::chrono::seconds(run));
        ASSERT_FALSE(kept.empty()) << run;
    }
    const std::vector<std::string> names = keptNames();
    ASSERT_EQ(names.size(), 100u);
    EXPECT_EQ(names.front(), "2023-11-14_22-13-21.htm") << "the first run's report went";
    EXPECT_EQ(names.back(), "2023-11-14_22-15-00.htm");
    EXPECT_EQ(tavrel::test::readFile(newestReport(m_history).string()), "run 100");
    EXPECT_EQ(tavrel::test::readFile((m_history / "2023-11-14_22-13-21.htm").string()), "run 1");
}

TEST_F(ReportHistoryTest, RunsInOneSecondGetNumberedNamesAndNoneIsOverwritten)
{
    // Another file in the folder is no kept report: never counted, never removed.
    fs::create_directories(m_history);
    for (const char* other : {"notes.txt", "2023-11-14_22-13-20_x.htm", "2023-11-14_22-13-20_1.htm"})
        std::ofstream(m_history / other) << "mine";

    for (int run = 1; run <= 11; ++run)
        ASSERT_FALSE(keepReport(finishedReport("run " + std::to_string(run)), m_history,
                                kStart + std::chrono::milliseconds(run * 10), 10)
                         .empty());
    // The eleventh run pushed out the first; "_10" and "_11" order by number, not as text.
    const std::vector<std::string> names = keptNames();
    ASSERT_EQ(names.size(), 10u);
    EXPECT_EQ(names.front(), "2023-11-14_22-13-20_2.htm");
    EXPECT_EQ(names.back(), "2023-11-14_22-13-20_11.htm");
    EXPECT_EQ(newestReport(m_history).filename(), "2023-11-14_22-13-20_11.htm");
    for (int run = 2; run <= 11; ++run)
        EXPECT_EQ(tavrel::test::readFile(
                      (m_history / ("2023-11-14_22-13-20_" + std::to_string(run) + ".htm")).string()),
                  "run " + std::to_string(run));
    for (const char* other : {"notes.txt", "2023-11-14_22-13-20_x.htm", "2023-11-14_22-13-20_1.htm"})
        EXPECT_EQ(tavrel::test::readFile((m_history / other).string()), "mine") << other;
}

// Only a file named exactly as a run names its report is one: another shape of name, or a
// folder with a report's name, is neither listed nor pruned, however many reports are kept.
TEST_F(ReportHistoryTest, OnlyNamesOfTheKeptShapeAreKeptReports)
{
    const std::vector<std::string> kept = {"2023-11-13_09-00-00.htm", "2023-11-14_22-13-20.htm",
                                           "2023-11-14_22-13-20_2.htm", "2023-11-14_22-13-20_10.htm"};
    const std::vector<std::string> others = {
        "2023-11-14_22-13-20_1.htm",  "2023-11-14_22-13-20_02.htm", "2023-11-14_22-13-20_.htm",
        "2023-11-14_22-13-20_2x.htm", "2023-11-14_22-13-20.html",   "2023-11-14_22-13-20.HTM",
        "2023-11-14 22-13-20.htm",    "2023-11-14_22-13-2a.htm",    "2023-11-14_22-13-20-2.htm",
        "2023-11-1_22-13-20.htm",     "x2023-11-14_22-13-20.htm",   "2023-11-14_22-13-20.htm.bak",
    };
    fs::create_directories(m_history / "2023-11-15_00-00-00.htm");
    for (const std::vector<std::string>& names : {kept, others})
        for (const std::string& name : names)
            std::ofstream(m_history / name) << name;

    EXPECT_EQ(keptNames(), kept);
    ASSERT_FALSE(keepReport(finishedReport("new"), m_history, kStart + std::chrono::hours(1), 1).empty());
    EXPECT_EQ(keptNames(), std::vector<std::string>{"2023-11-14_23-13-20.htm"});
    for (const std::string& name : others)
        EXPECT_EQ(tavrel::test::readFile((m_history / name).string()), name);
    EXPECT_TRUE(fs::is_directory(m_history / "2023-11-15_00-00-00.htm"));
}

TEST_F(ReportHistoryTest, ALaterSecondIsNewerThanNumberedNamesOfAnEarlierOne)
{
    keepReport(finishedReport("a"), m_history, kStart);
    keepReport(finishedReport("b"), m_history, kStart);
    keepReport(finishedReport("c"), m_history, kStart + std::chrono::seconds(1));
    EXPECT_EQ(keptNames(), (std::vector<std::string>{"2023-11-14_22-13-20.htm", "2023-11-14_22-13-20_2.htm",
                                                     "2023-11-14_22-13-21.htm"}));
    EXPECT_EQ(tavrel::test::readFile(newestReport(m_history).string()), "c");
}

TEST_F(ReportHistoryTest, NothingIsKeptWithoutAReport)
{
    EXPECT_TRUE(keepReport(m_report, m_history, kStart).empty());
    EXPECT_TRUE(keptNames().empty());
    EXPECT_TRUE(newestReport(m_history).empty());
    EXPECT_TRUE(newestReport(fs::path(m_dir.path()) / "missing").empty());
}

// A link in place of the history folder or of the data folder above it is never followed: the
// report is not kept, the caller learns why, and nothing appears where the link points.
TEST_F(ReportHistoryTest, AHistoryReachedThroughALinkIsRefusedWithTheReason)
{
    const fs::path elsewhere = fs::path(m_dir.path()) / "elsewhere";
    const fs::path data = m_history.parent_path();
    struct Case
    {
        const char* name;
        fs::path link;   // made a link to `elsewhere`
        fs::path inFile; // or made a plain file
        std::string reason;
    };
    const Case cases[] = {
        {"history folder", m_history, {}, "it is a symbolic link, which the history never follows"},
        {"data folder", data, {}, data.string() + " is a symbolic link, which the history never follows"},
        {"a file in place", {}, m_history, "Not a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(data);
        fs::remove_all(elsewhere);
        fs::create_directories(elsewhere / "reports");
        fs::create_directories(data);
        if (!c.link.empty()) {
            fs::remove_all(c.link);
            fs::create_directory_symlink(c.link == data ? elsewhere : elsewhere / "reports", c.link);
        } else {
            std::ofstream(c.inFile) << "mine";
        }
        std::string whyNot;
        EXPECT_TRUE(keepReport(finishedReport("run"), m_history, kStart, kKeptReports, &whyNot).empty());
        EXPECT_EQ(whyNot, c.reason);
        EXPECT_TRUE(fs::is_empty(elsewhere / "reports"));
        EXPECT_TRUE(keptReports(m_history).empty());
    }
}

// Pruning takes only regular files this program made there: a name of the kept shape is not
// enough. Another user's file, a link of that name (and what it points to) and other names stay.
TEST_F(ReportHistoryTest, PruningLeavesWhatItDidNotMake)
{
    fs::create_directories(m_history);
    const fs::path precious = fs::path(m_dir.path()) / "precious.htm";
    std::ofstream(precious) << "precious";
    fs::create_symlink(precious, m_history / "2001-01-01_00-00-01.htm");
    std::ofstream(m_history / "2001-01-01_00-00-02.htm.bak") << "mine";
    const bool root = ::geteuid() == 0;
    if (root) {
        std::ofstream(m_history / "2001-01-01_00-00-00.htm") << "someone else's";
        ASSERT_EQ(::chown((m_history / "2001-01-01_00-00-00.htm").c_str(), 65534, 65534), 0);
    }

    for (int run = 0; run < 3; ++run)
        ASSERT_FALSE(keepReport(finishedReport("run " + std::to_string(run)), m_history,
                                kStart + std::chrono::seconds(run), 2)
                         .empty());
    EXPECT_EQ(keptNames(), (std::vector<std::string>{"2023-11-14_22-13-21.htm", "2023-11-14_22-13-22.htm"}));
    EXPECT_TRUE(fs::is_symlink(m_history / "2001-01-01_00-00-01.htm"));
    EXPECT_EQ(tavrel::test::readFile(precious.string()), "precious");
    EXPECT_EQ(tavrel::test::readFile((m_history / "2001-01-01_00-00-02.htm.bak").string()), "mine");
    if (!root)
        GTEST_SKIP() << "another user's file needs root to be made (chown)";
    EXPECT_EQ(tavrel::test::readFile((m_history / "2001-01-01_00-00-00.htm").string()), "someone else's");
}

// Each kept run is listed with what it was; a path with a tab or a line break stays in its
// field; a report kept without a summary (an older version's) or a torn line lists without one;
// the index does not grow past its slack with the lines of pruned reports.
TEST_F(ReportHistoryTest, KeptRunsCarryTheirSummaries)
{
    const RunSummary odd{"/home/u/odd\tjob\n\\x.TSP", "completed_with_errors", 3, 7, false};
    const RunSummary preview{"/home/u/job.TSP", "succeeded", 0, 2, true};
    ASSERT_FALSE(keepReport(finishedReport("a"), m_history, kStart, 3, nullptr, &odd).empty());
    ASSERT_FALSE(keepReport(finishedReport("b"), m_history, kStart + std::chrono::seconds(1), 3).empty());
    ASSERT_FALSE(
        keepReport(finishedReport("c"), m_history, kStart + std::chrono::seconds(2), 3, nullptr, &preview)
            .empty());
    std::ofstream(m_history / "runs.tsv", std::ios::app) << "garbage\n2023-11-14_22-13-21.htm\tstopped\t1";

    const std::vector<KeptRun> runs = keptRuns(m_history);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].report, m_history / "2023-11-14_22-13-20.htm");
    EXPECT_EQ(runs[0].startedAt, "2023-11-14 22:13:20");
    EXPECT_EQ(runs[0].summary, odd);
    EXPECT_EQ(runs[1].summary, std::nullopt);
    EXPECT_EQ(runs[2].summary, preview);
    // The line after a torn one is whole.
    const RunSummary next{"/j", "stopped", 1, 0, false};
    ASSERT_FALSE(
        keepReport(finishedReport("d"), m_history, kStart + std::chrono::seconds(3), 4, nullptr, &next)
            .empty());
    EXPECT_EQ(keptRuns(m_history).back().summary, next);

    // Twenty more runs, three kept: the index is written anew, holding only lines of kept runs.
    for (int run = 4; run < 23; ++run) {
        const RunSummary summary{"/j" + std::to_string(run), "succeeded", 0, run, false};
        ASSERT_FALSE(keepReport(finishedReport("r"), m_history, kStart + std::chrono::seconds(run), 3,
                                nullptr, &summary)
                         .empty());
    }
    const std::vector<KeptRun> last = keptRuns(m_history);
    ASSERT_EQ(last.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(last[static_cast<std::size_t>(i)].summary->changes, 20 + i);
    std::ifstream index(m_history / "runs.tsv");
    std::size_t lines = 0;
    for (std::string line; std::getline(index, line);)
        ++lines;
    EXPECT_LE(lines, 6u) << "the index keeps lines of pruned reports";
}

TEST(ReportLocation, AnInstalledProgramWritesToTheDataFolder)
{
    const tavrel::test::TempDir dir;
    const fs::path data = fs::path(dir.path()) / "data" / "tavrel-sync";
    struct Case
    {
        fs::path program;
        bool writable;
        bool beside;
    };
    // Run by root, every folder is writable: only the folder's place decides. A program in any
    // "bin" is installed (~/.local/bin, /opt/x/bin); a build tree or portable folder is not.
    const fs::path home = fs::path(dir.path()) / "home";
    for (const Case& c :
         {Case{"/usr/bin", true, false}, Case{"/usr/local/bin", true, false}, Case{"/usr", true, false},
          Case{"/bin", true, false}, Case{"/sbin/", true, false}, Case{"/usr/../opt/tavrel/bin", true, false},
          Case{"/usrlocal/bin", true, false}, Case{"/opt/tavrel/bin", false, false},
          Case{home / ".local/bin", true, false}, Case{home / ".local/bin/", true, false},
          Case{home / "build/src/cli", true, true}, Case{"/media/stick/TavrelSync", true, true},
          Case{"/media/stick/binaries", true, true}, Case{"/media/stick/TavrelSync", false, false}}) {
        SCOPED_TRACE(c.program.string());
        const fs::path expected = (c.beside ? c.program : data) / "report.htm";
        EXPECT_EQ(reportPathFor(c.program, c.writable, data), expected);
    }
}

} // namespace
