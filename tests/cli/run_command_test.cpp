#include "model/job.h"
#include "platform/text_codec.h"
#include "project/project_file.h"
#include "support/program_runner.h"
#include "support/temp_tree.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <string>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tavrel::test {
namespace {

using Outcome = ProgramOutcome;

class RunCommandTest : public ::testing::Test
{
protected:
    // Saves a one-pair job over org/ and tgt/ and returns its file.
    std::string saveJob(model::SyncMethod method, const std::string& name = "Docs", const std::string& org = "org")
    {
        model::Job job;
        model::FolderPair* pair = job.addPair();
        pair->name = platform::fromUtf8(name);
        pair->method = method;
        pair->orgPath = platform::fromUtf8(m_dir / org);
        pair->tgtPath = platform::fromUtf8(m_dir / "tgt");
        pair->includeFiles.append(u"*");
        pair->includeFolders.append(u"*");
        pair->includeSubfolders = 1;
        const std::string file = m_dir / "job.tsp";
        EXPECT_EQ(project::saveProject(job, file), 1);
        return file;
    }

    Outcome run(const std::vector<std::string>& arguments)
    {
        return runProgram(TAVREL_CLI_PATH, arguments, m_dir.path());
    }

    TempDir m_dir;
};

TEST_F(RunCommandTest, PrintsTheLogTheEndAndTheCountersAsJson)
{
    buildTree(m_dir / "org", {file("a.txt", "a"), file("sub/b.txt", "b")});
    buildTree(m_dir / "tgt", {file("stale", "s")});
    const std::string job = saveJob(model::SyncMethod::AbsoluteCopy);
    const std::string report = m_dir / "report.htm";

    const Outcome outcome = run({"run", job, "--report", report, "--json"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    const std::string expectedText = "Start process.\nCalculate the file amount... 2\nHandle pair : Docs\n"
                                     "End process.\nProcess succeeded.\n";
    ASSERT_TRUE(outcome.out.starts_with(expectedText)) << outcome.out;
    const std::string json = outcome.out.substr(expectedText.size());
    EXPECT_TRUE(
        json.starts_with("{\"result\":\"succeeded\",\"errors\":0,\"orgFilesCreated\":0,\"orgFoldersCreated\":0,"
                         "\"orgFilesOverwritten\":0,\"orgFilesDeleted\":0,\"orgFoldersDeleted\":0,"
                         "\"tgtFilesCreated\":2,\"tgtFoldersCreated\":1,\"tgtFilesOverwritten\":0,"
                         "\"tgtFilesDeleted\":1,\"tgtFoldersDeleted\":0,\"allOperations\":4,\"elapsedMs\":"))
        << json;
    EXPECT_TRUE(json.ends_with(",\"totalFiles\":2,\"processedFiles\":2}\n")) << json;
    EXPECT_EQ(snapshotTree(m_dir / "tgt"), describeTree({file("a.txt", "a"), file("sub/b.txt", "b")}));
    EXPECT_EQ(readReportLines(report).size(), 4u);
    EXPECT_EQ(outcome.err, ""); // stderr is not a terminal: no progress line
}

// "--report=FILE" is "--report FILE"; after "--" a project file may begin with "-".
TEST_F(RunCommandTest, ReportWithEqualsAndAFileAfterTheOptionsEnd)
{
    buildTree(m_dir / "org", {file("a.txt", "a")});
    const std::string job = saveJob(model::SyncMethod::Copy);
    std::filesystem::rename(job, m_dir / "-job.tsp");
    const Outcome outcome = runProgram(TAVREL_CLI_PATH, {"run", "--report=r=1.htm", "--", "-job.tsp"}, m_dir.path(),
                                       m_dir.path());
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_TRUE(outcome.out.ends_with("End process.\nProcess succeeded.\n")) << outcome.out;
    EXPECT_EQ(readReportLines(m_dir / "r=1.htm").size(), 2u); // the folder, the file
    EXPECT_EQ(snapshotTree(m_dir / "tgt"), describeTree({file("a.txt", "a")}));
}

// On a terminal stderr shows the progress line, redrawn in place and taken away before the
// end; --no-progress and a stderr that is no terminal show none.
TEST_F(RunCommandTest, ProgressLineOnlyOnATerminal)
{
    std::vector<Node> nodes;
    for (int i = 0; i < 20; ++i)
        nodes.push_back(file("f" + std::to_string(i), std::string(1000, 'x')));
    buildTree(m_dir / "org", nodes);
    const std::string job = saveJob(model::SyncMethod::Copy);

    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "--no-progress" : "progress");
        std::filesystem::remove_all(m_dir / "tgt");
        int terminal = -1;
        int side = -1;
        ASSERT_EQ(::openpty(&terminal, &side, nullptr, nullptr, nullptr), 0);
        std::vector<std::string> arguments = {TAVREL_CLI_PATH, "run", job, "--report", m_dir / "r.htm"};
        if (quiet)
            arguments.push_back("--no-progress");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(side, STDERR_FILENO);
            std::vector<char*> argv;
            for (std::string& argument : arguments)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(side);
        std::string err;
        char buffer[4096];
        for (ssize_t got; (got = ::read(terminal, buffer, sizeof buffer)) > 0;) // EIO once the child is gone
            err.append(buffer, static_cast<std::size_t>(got));
        ::close(terminal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << err;
        if (quiet) {
            EXPECT_EQ(err, "");
        } else {
            EXPECT_TRUE(err.starts_with("\r")) << err;
            EXPECT_NE(err.find(" files  "), std::string::npos) << err;
            EXPECT_NE(err.find(" files/s  "), std::string::npos) << err;
            EXPECT_NE(err.find(" elapsed  "), std::string::npos) << err;
            EXPECT_TRUE(err.ends_with("\033[K\r\033[K")) << "the line is taken away at the end: " << err;
        }
    }
}

TEST_F(RunCommandTest, DebugPrintsTheCountingWalkOnStderr)
{
    buildTree(m_dir / "org", {file("a.txt", "a")});
    const Outcome outcome =
        run({"run", saveJob(model::SyncMethod::Copy), "--report", m_dir / "r.htm", "--debug"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, (m_dir / "org/*\n") + (m_dir / "org/*\n"));
}

TEST_F(RunCommandTest, RefusedProjectAndUsageErrorsHaveTheirOwnExitCodes)
{
    buildTree(m_dir.path(), {file("bad.tsp", "not a project")});
    const Outcome refused = run({"run", m_dir / "bad.tsp"});
    EXPECT_EQ(refused.status, 3);
    EXPECT_EQ(refused.err, "Failed to open TSP file.\n" + (m_dir / "bad.tsp: not a project file\n"));
    EXPECT_EQ(refused.out, "");

    EXPECT_EQ(run({"run"}).status, 64);
    EXPECT_EQ(run({"run", m_dir / "bad.tsp", "--bogus"}).status, 64);
    EXPECT_EQ(run({"run", m_dir / "bad.tsp", "--report"}).status, 64);
}

TEST_F(RunCommandTest, InterruptStopsTheRunAtTheNextHandledFile)
{
    // Long folder names make the counting walk's debug output overflow the stderr pipe, which
    // holds the worker inside the count until the test has sent SIGINT.
    std::vector<Node> nodes;
    for (int i = 0; i < 150; ++i)
        nodes.push_back(file(std::string(200, 'a' + i % 26) + std::to_string(i) + "/f", "x"));
    buildTree(m_dir / "org", nodes);
    StartedProgram program(
        TAVREL_CLI_PATH,
        {"run", saveJob(model::SyncMethod::LightCopy), "--report", m_dir / "r.htm", "--debug"}, m_dir.path());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ::kill(program.pid(), SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Outcome outcome = program.finish();

    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.out.ends_with("End process.\nProcess was stoped by user.\n")) << outcome.out;
    EXPECT_LT(snapshotTree(m_dir / "tgt").size(), 10u);
    // A stopped run's report is finished all the same.
    EXPECT_TRUE(readFile(m_dir / "r.htm").ends_with("</p>\n</body>\n</html>\n"));
}

// What every run that logged `errors` error lines ends with, whatever they were.
void expectCompletedWithErrors(const Outcome& outcome, int errors, const std::string& endLine)
{
    EXPECT_EQ(outcome.status, 4) << outcome.err;
    const std::string end = "End process.\n" + endLine + "\n{\"result\":\"completed_with_errors\",\"errors\":" +
                            std::to_string(errors) + ",\"orgFilesCreated\":";
    EXPECT_NE(outcome.out.find(end), std::string::npos) << outcome.out;
}

// An unplugged ORG drive: the nightly job exits 4, and stderr tells the cron mail why.
TEST_F(RunCommandTest, MissingOriginalEndsWithErrorsAndTellsTheCauseOnStderr)
{
    buildTree(m_dir / "tgt", {});
    const Outcome outcome =
        run({"run", saveJob(model::SyncMethod::AbsoluteCopy, "Docs", "unplugged"), "--report", m_dir / "r.htm",
             "--json"});
    expectCompletedWithErrors(outcome, 1, "Process completed with 1 error.");
    EXPECT_TRUE(outcome.out.starts_with("Start process.\nCalculate the file amount... 0\n"
                                        "ERROR: cannot read folder: " +
                                        (m_dir / "unplugged/\nEnd process.\n")))
        << outcome.out;
    EXPECT_EQ(outcome.err, "ERROR: cannot read folder: " + (m_dir / "unplugged/: No such file or directory\n"));
}

// A target on a read-only mount: every copy fails, each with the system's reason on stderr.
TEST_F(RunCommandTest, ReadOnlyTargetEndsWithErrors)
{
    buildTree(m_dir / "org", {file("a", "1"), file("b", "2")});
    const std::string target = m_dir / "tgt";
    std::filesystem::create_directories(target);
    if (::geteuid() != 0 || ::mount("tavrel-test", target.c_str(), "tmpfs", MS_RDONLY, "size=64k") != 0)
        GTEST_SKIP() << "a read-only tmpfs cannot be mounted here (needs root and mount rights)";
    struct Unmount
    {
        std::string path;
        ~Unmount() { ::umount(path.c_str()); }
    } unmount{target};

    const Outcome outcome =
        run({"run", saveJob(model::SyncMethod::Copy), "--report", m_dir / "r.htm", "--json"});
    expectCompletedWithErrors(outcome, 2, "Process completed with 2 errors.");
    EXPECT_EQ(outcome.err, "ERROR: cannot copy file: " + (m_dir / "org/a: Read-only file system\n") +
                               "ERROR: cannot copy file: " + (m_dir / "org/b: Read-only file system\n"));
}

class StopSignalTest : public RunCommandTest, public ::testing::WithParamInterface<int>
{
};

// systemd, shutdown and `timeout` end a run with SIGTERM, a closed terminal with SIGHUP: both
// stop it as the Stop command does, in the middle of a large copy: exit 1, the report
// finished, no temporary file left in the target.
TEST_P(StopSignalTest, StopsALargeCopyAndLeavesNoTemporary)
{
    std::filesystem::create_directories(m_dir / "org");
    std::filesystem::create_directories(m_dir / "tgt");
    {
        // Real data, not holes: a 256 MiB copy takes long enough to be caught in the middle.
        const int fd = ::open((m_dir / "org/big").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const std::string block(1 << 20, 'b');
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(::write(fd, block.data(), block.size()), static_cast<ssize_t>(block.size()));
        ::close(fd);
    }
    const std::string report = m_dir / "r.htm";
    StartedProgram program(TAVREL_CLI_PATH, {"run", saveJob(model::SyncMethod::LightCopy), "--report", report},
                           m_dir.path());
    auto temporaryInTarget = [&] {
        for (const auto& entry : std::filesystem::directory_iterator(m_dir / "tgt"))
            if (entry.path().filename().string().ends_with(".tavrel-tmp"))
                return true;
        return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!temporaryInTarget() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(temporaryInTarget()) << "the copy never started";
    ::kill(program.pid(), GetParam());
    const Outcome outcome = program.finish();

    EXPECT_EQ(outcome.status, 1) << outcome.err;
    EXPECT_TRUE(outcome.out.ends_with("End process.\nProcess was stoped by user.\n")) << outcome.out;
    EXPECT_TRUE(readFile(report).ends_with("</p>\n</body>\n</html>\n"));
    EXPECT_TRUE(std::filesystem::is_empty(m_dir / "tgt")) << "neither the file nor its temporary stays";
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalTest, ::testing::Values(SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "Term" : "Hangup");
                         });

} // namespace
} // namespace tavrel::test
