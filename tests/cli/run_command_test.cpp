// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/job.h"
#include "project/project_file.h"
#include "support/program_runner.h"
#include "support/scoped_env.h"
#include "support/temp_tree.h"
#include "text/text_codec.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <pty.h>
#include <regex>
#include <signal.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tavrel::test {
namespace {

using Outcome = ProgramOutcome;

// Every run keeps its report in the history under $XDG_DATA_HOME: the tests' runs keep theirs
// in their own folder, never in the user's.
class RunCommandTest : public ::testing::Test
{
protected:
    // The run history's folder.
    std::string historyFolder() const { return m_dir / "data/tavrel-sync/reports"; }
    // The files in it, by name, but for the index of the runs' summaries.
    std::vector<std::string> keptReports() const
    {
        std::vector<std::string> names;
        if (std::filesystem::is_directory(historyFolder()))
            for (const auto& entry : std::filesystem::directory_iterator(historyFolder()))
                if (entry.path().filename() != "runs.tsv")
                    names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Saves a one-pair job over org/ and tgt/ and returns its file.
    std::string saveJob(model::SyncMethod method, const std::string& name = "Docs",
                        const std::string& org = "org", const model::PairExtras& extras = {})
    {
        model::Job job;
        model::FolderPair* pair = job.addPair();
        pair->extras = extras;
        pair->name = text::fromUtf8(name);
        pair->method = method;
        pair->orgPath = text::fromUtf8(m_dir / org);
        pair->tgtPath = text::fromUtf8(m_dir / "tgt");
        pair->includeFiles.append(u"*");
        pair->includeFolders.append(u"*");
        pair->includeSubfolders = 1;
        std::string file = m_dir / "job.tsp";
        EXPECT_TRUE(project::saveProject(job, file));
        return file;
    }

    Outcome run(const std::vector<std::string>& arguments)
    {
        return runProgram(TAVREL_CLI_PATH, arguments, m_dir.path());
    }

    // Sends `signal` to a run held inside its counting walk: long folder names make the walk's
    // debug output overflow the stderr pipe, which holds the worker there until the signal came.
    void expectStopWhileCounting(int signal)
    {
        std::vector<Node> nodes;
        for (int i = 0; i < 150; ++i)
            nodes.push_back(file(std::string(200, 'a' + i % 26) + std::to_string(i) + "/f", "x"));
        buildTree(m_dir / "org", nodes);
        StartedProgram program(
            TAVREL_CLI_PATH,
            {"run", saveJob(model::SyncMethod::LightCopy), "--report", m_dir / "r.htm", "--debug"},
            m_dir.path());
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ::kill(program.pid(), signal);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const Outcome outcome = program.finish();

        EXPECT_EQ(outcome.status, 1);
        EXPECT_TRUE(outcome.out.ends_with("End process.\nProcess was stoped by user.\n")) << outcome.out;
        EXPECT_LT(snapshotTree(m_dir / "tgt").size(), 10u);
        // A stopped run's report is finished all the same.
        EXPECT_TRUE(readFile(m_dir / "r.htm").ends_with("</p>\n</body>\n</html>\n"));
    }

    TempDir m_dir;
    ScopedEnv m_dataHome{"XDG_DATA_HOME", m_dir / "data"};
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
        json.starts_with("{\"result\":\"succeeded\",\"errors\":0,\"conflicts\":0,\"orgFilesCreated\":0,"
                         "\"orgFoldersCreated\":0,"
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
    const Outcome outcome = runProgram(TAVREL_CLI_PATH, {"run", "--report=r=1.htm", "--", "-job.tsp"},
                                       m_dir.path(), m_dir.path());
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

    // A terminal that takes no escapes (TERM=dumb or unset) gets no line either.
    const struct
    {
        const char* term;
        bool noProgress;
    } cases[] = {{"xterm", false}, {"xterm", true}, {"dumb", false}, {nullptr, false}};
    for (const auto& c : cases) {
        const bool quiet = c.noProgress || c.term == nullptr || std::string_view(c.term) == "dumb";
        SCOPED_TRACE(std::string(c.term ? c.term : "(no TERM)") + (c.noProgress ? " --no-progress" : ""));
        // Emptied, not removed: a target that existed at the last run and is gone is an error.
        std::filesystem::remove_all(m_dir / "tgt");
        std::filesystem::create_directories(m_dir / "tgt");
        int terminal = -1;
        int side = -1;
        ASSERT_EQ(::openpty(&terminal, &side, nullptr, nullptr, nullptr), 0);
        std::vector<std::string> arguments = {TAVREL_CLI_PATH, "run", job, "--report", m_dir / "r.htm"};
        if (c.noProgress)
            arguments.push_back("--no-progress");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(side, STDERR_FILENO);
            if (c.term != nullptr)
                ::setenv("TERM", c.term, 1);
            else
                ::unsetenv("TERM");
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
    EXPECT_EQ(refused.err, "tavrel-sync-cli: Failed to open TSP file.\ntavrel-sync-cli: " +
                               (m_dir / "bad.tsp: not a project file\n"));
    EXPECT_EQ(refused.out, "");

    EXPECT_EQ(run({"run"}).status, 64);
    EXPECT_EQ(run({"run", m_dir / "bad.tsp", "--bogus"}).status, 64);
    EXPECT_EQ(run({"run", m_dir / "bad.tsp", "--report"}).status, 64);
}

TEST_F(RunCommandTest, InterruptStopsTheRunAtTheNextHandledFile)
{
    expectStopWhileCounting(SIGINT);
}

// What every run that logged `errors` error lines ends with, whatever they were.
void expectCompletedWithErrors(const Outcome& outcome, int errors, const std::string& endLine,
                               int conflicts = 0)
{
    EXPECT_EQ(outcome.status, 4) << outcome.err;
    const std::string end = "End process.\n" + endLine +
                            "\n{\"result\":\"completed_with_errors\",\"errors\":" + std::to_string(errors) +
                            ",\"conflicts\":" + std::to_string(conflicts) + ",\"orgFilesCreated\":";
    EXPECT_NE(outcome.out.find(end), std::string::npos) << outcome.out;
}

// A conflict a remembering pair leaves is an error of the run (exit 4) and is counted in the
// JSON as a conflict too.
TEST_F(RunCommandTest, ConflictsEndWithErrorsAndAreCountedInTheJson)
{
    model::PairExtras extras;
    extras.rememberState = true;
    extras.pairId = model::newPairId();
    buildTree(m_dir / "org", {file("both", "v1", at(1)), file("quiet", "q", at(1))});
    buildTree(m_dir / "tgt", {file("both", "v1", at(1)), file("quiet", "q", at(1))});
    const std::string job = saveJob(model::SyncMethod::Synchronize, "Docs", "org", extras);
    ASSERT_EQ(run({"run", job, "--report", m_dir / "r.htm"}).status, 0);
    buildTree(m_dir / "org", {file("both", "org edit", at(2))});
    buildTree(m_dir / "tgt", {file("both", "tgt edit", at(3))});
    const Outcome outcome = run({"run", job, "--report", m_dir / "r.htm", "--json"});
    expectCompletedWithErrors(outcome, 1, "Process completed with 1 error.", 1);
    EXPECT_NE(outcome.out.find("CONFLICT: both changed: " + (m_dir / "org/both") + "\n"), std::string::npos)
        << outcome.out;
}

// An unplugged ORG drive: the nightly job exits 4, and stderr tells the cron mail why.
TEST_F(RunCommandTest, MissingOriginalEndsWithErrorsAndTellsTheCauseOnStderr)
{
    buildTree(m_dir / "tgt", {});
    const Outcome outcome = run({"run", saveJob(model::SyncMethod::AbsoluteCopy, "Docs", "unplugged"),
                                 "--report", m_dir / "r.htm", "--json"});
    expectCompletedWithErrors(outcome, 1, "Process completed with 1 error.");
    EXPECT_TRUE(outcome.out.starts_with("Start process.\nCalculate the file amount... 0\n"
                                        "ERROR: cannot read folder: " +
                                        (m_dir / "unplugged/\nEnd process.\n")))
        << outcome.out;
    EXPECT_EQ(outcome.err, "tavrel-sync-cli: ERROR: cannot read folder: " +
                               (m_dir / "unplugged/: ORG: No such file or directory\n"));
}

// What scripts choose to see: -q only the errors, -v each change as the report has it, and
// `>log 2>&1` each error once (the log's line, then the reason below it).
TEST_F(RunCommandTest, QuietVerboseAndOneFileForBoth)
{
    buildTree(m_dir / "org", {file("a", "a"), file("sub/b", "b")});
    buildTree(m_dir / "tgt", {file("old", "o")});
    const std::string job = saveJob(model::SyncMethod::AbsoluteCopy);

    const Outcome verbose = run({"run", job, "--report", m_dir / "r.htm", "-v"});
    EXPECT_EQ(verbose.status, 0) << verbose.err;
    for (const std::string& line : {"[C] " + (m_dir / "org/a => ") + (m_dir / "tgt/a\n"),
                                    "[A] " + (m_dir / "tgt/sub/\n"), "[D] " + (m_dir / "tgt/old\n")})
        EXPECT_NE(verbose.out.find(line), std::string::npos) << line << verbose.out;
    EXPECT_TRUE(verbose.out.ends_with("End process.\nProcess succeeded.\n")) << verbose.out;

    const std::string unplugged = saveJob(model::SyncMethod::AbsoluteCopy, "Docs", "unplugged");
    const std::string line = "ERROR: cannot read folder: " + (m_dir / "unplugged/");
    const Outcome quiet = run({"run", unplugged, "--report", m_dir / "r.htm", "--quiet"});
    EXPECT_EQ(quiet.status, 4);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "tavrel-sync-cli: " + line + ": ORG: No such file or directory\n");

    const Outcome oneFile = runProgram(
        "/bin/sh",
        {"-c", "exec \"$0\" \"$@\" 2>&1", TAVREL_CLI_PATH, "run", unplugged, "--report", m_dir / "r.htm"},
        m_dir.path());
    EXPECT_EQ(oneFile.status, 4);
    EXPECT_NE(oneFile.out.find(line + "\ntavrel-sync-cli: because: ORG: No such file or directory\n"),
              std::string::npos)
        << oneFile.out;

    EXPECT_EQ(run({"run", job, "-q", "-v"}).status, 64);
}

// The kept runs, newest first, with what each was; one job's alone; a report's path to open.
TEST_F(RunCommandTest, HistoryListsTheKeptRuns)
{
    buildTree(m_dir / "org", {file("a", "a")});
    buildTree(m_dir / "tgt", {});
    const std::string job = saveJob(model::SyncMethod::LightCopy);
    ASSERT_EQ(run({"run", job, "--report", m_dir / "r.htm", "--dry-run"}).status, 0);
    ASSERT_EQ(run({"run", job, "--report", m_dir / "r.htm"}).status, 0);
    std::filesystem::copy_file(job, m_dir / "other.tsp");
    std::filesystem::remove_all(m_dir / "org"); // an unplugged original: one error
    ASSERT_EQ(run({"run", m_dir / "other.tsp", "--report", m_dir / "r.htm"}).status, 4);

    const Outcome all = run({"history"});
    EXPECT_EQ(all.status, 0) << all.err;
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = all.out.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(all.out.substr(start, end - start));
    ASSERT_EQ(lines.size(), 3u) << all.out;
    EXPECT_TRUE(lines[0].starts_with("  1  ")) << lines[0];
    EXPECT_TRUE(lines[0].ends_with("  completed_with_errors  1 error  0 changes  " + (m_dir / "other.tsp")))
        << lines[0];
    EXPECT_TRUE(lines[1].ends_with("  succeeded              0 errors  1 change  " + job)) << lines[1];
    EXPECT_TRUE(lines[2].ends_with("  succeeded              0 errors  1 change  " + job + "  (preview)"))
        << lines[2];

    const Outcome mine = run({"history", m_dir / "./job.tsp"});
    EXPECT_EQ(std::count(mine.out.begin(), mine.out.end(), '\n'), 2) << mine.out;
    const Outcome path = run({"history", job, "--open", "2"});
    EXPECT_EQ(path.status, 0);
    ASSERT_TRUE(path.out.ends_with(".htm\n")) << path.out;
    EXPECT_EQ(path.out.rfind(historyFolder(), 0), 0u) << path.out;
    EXPECT_NE(readFile(path.out.substr(0, path.out.size() - 1)).find("Preview"), std::string::npos);
    EXPECT_EQ(run({"history", "--open", "4"}).status, 64);
}

// A report asked for by name that cannot be written stops the run before it changes anything.
TEST_F(RunCommandTest, AReportThatCannotBeWrittenIsAnErrorAndNothingRuns)
{
    buildTree(m_dir / "org", {file("a", "a")});
    buildTree(m_dir / "tgt", {});
    const Outcome outcome =
        run({"run", saveJob(model::SyncMethod::LightCopy), "--report", m_dir / "gone/r.htm"});
    EXPECT_EQ(outcome.status, 73);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "tavrel-sync-cli: run: cannot write the report " +
                               (m_dir / "gone/r.htm: No such file or directory\n"));
    EXPECT_EQ(snapshotTree(m_dir / "tgt"), describeTree({}));
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
    EXPECT_EQ(
        outcome.err,
        "tavrel-sync-cli: ERROR: cannot copy file: " + (m_dir / "org/a: TGT: Read-only file system\n") +
            "tavrel-sync-cli: ERROR: cannot copy file: " + (m_dir / "org/b: TGT: Read-only file system\n"));
}

// Deletions the system refuses, for real: an immutable file (root ignores permissions) and a
// folder without the write bit, for a plain user. Each is an error with its reason, exit 4.
class RefusedDeletionTest : public RunCommandTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(RefusedDeletionTest, EndsWithErrors)
{
    const bool immutableFile = GetParam();
    buildTree(m_dir / "org", {file("keep", "k")});
    buildTree(m_dir / "tgt", {file("keep", "k"), file("gone", "g")});
    const std::string job = saveJob(model::SyncMethod::AbsoluteCopy);
    const std::string gone = m_dir / "tgt/gone";
    Outcome outcome;
    std::string reason;
    if (immutableFile) {
        const int fd = ::open(gone.c_str(), O_RDONLY | O_NOFOLLOW);
        int flags = 0;
        const bool immutable = ::geteuid() == 0 && fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                               ::ioctl(fd, FS_IOC_SETFLAGS, &(flags |= FS_IMMUTABLE_FL)) == 0;
        if (!immutable) {
            ::close(fd);
            GTEST_SKIP() << "an immutable file needs root and a file system with the flag";
        }
        outcome = run({"run", job, "--json"});
        flags &= ~FS_IMMUTABLE_FL;
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
        ::close(fd);
        reason = "TGT: Operation not permitted";
    } else {
        ASSERT_EQ(::chmod((m_dir / "tgt").c_str(), 0555), 0);
        if (::geteuid() != 0) {
            outcome = run({"run", job, "--json"});
        } else {
            // Root ignores the missing write bit: the run is made by another user.
            if (::access("/usr/bin/setpriv", X_OK) != 0)
                GTEST_SKIP() << "setpriv is missing, and root ignores permissions";
            std::filesystem::permissions(m_dir.path(), std::filesystem::perms::owner_all |
                                                           std::filesystem::perms::group_exec |
                                                           std::filesystem::perms::others_exec);
            for (const auto& entry : std::filesystem::recursive_directory_iterator(m_dir.path()))
                ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
            ASSERT_EQ(::chown(m_dir.path().c_str(), 65534, 65534), 0);
            outcome = runProgram(
                "/usr/bin/setpriv",
                {"--reuid=65534", "--regid=65534", "--clear-groups", TAVREL_CLI_PATH, "run", job, "--json"},
                m_dir.path());
        }
        ::chmod((m_dir / "tgt").c_str(), 0755);
        reason = "TGT: Permission denied";
    }
    expectCompletedWithErrors(outcome, 1, "Process completed with 1 error.");
    EXPECT_NE(outcome.out.find("ERROR: cannot delete: " + gone + "\n"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.err.find("ERROR: cannot delete: " + gone + ": " + reason + "\n"), std::string::npos)
        << outcome.err;
    EXPECT_EQ(readFile(gone), "g");
}

INSTANTIATE_TEST_SUITE_P(Cli, RefusedDeletionTest, ::testing::Bool(), [](const auto& info) {
    return info.param ? "ImmutableFile" : "FolderWithoutWriteBit";
});

// Another program writes to a large file all through its copy, for real: no copy is
// published, the run ends with errors, and a run after the writer stopped copies it.
TEST_F(RunCommandTest, FileWrittenDuringItsCopyIsNotPublished)
{
    const std::string source = m_dir / "org/growing.log";
    buildTree(m_dir / "org", {file("growing.log", std::string(std::size_t{64} << 20, 'x'))});
    const std::string job = saveJob(model::SyncMethod::LightCopy);
    std::atomic<bool> writing{true};
    std::atomic<bool> wrote{false};
    std::thread writer([&] {
        const int fd = ::open(source.c_str(), O_WRONLY);
        for (off_t at = 0; writing.load(); at = (at + 4096) % (off_t{64} << 20)) {
            if (::pwrite(fd, "y", 1, at) != 1)
                break;
            wrote = true;
        }
        wrote = true;
        ::close(fd);
    });
    // On a busy machine the thread may start late: the run must meet the writes.
    while (!wrote.load())
        std::this_thread::yield();
    const Outcome outcome = run({"run", job, "--json"});
    writing = false;
    writer.join();
    expectCompletedWithErrors(outcome, 1, "Process completed with 1 error.");
    EXPECT_NE(outcome.out.find("ERROR: file changed while copied: " + source + "\n"), std::string::npos)
        << outcome.out;
    EXPECT_FALSE(std::filesystem::exists(m_dir / "tgt/growing.log"));

    EXPECT_EQ(run({"run", job}).status, 0);
    EXPECT_EQ(readFile(m_dir / "tgt/growing.log"), readFile(source));
}

// A run's stdout taken apart: the log, the end line after "End process.", and the JSON line
// with its elapsed time set to 0 (two runs never take the same time).
struct RunText
{
    std::string log;
    std::string endLine;
    std::string json;
};

RunText splitRunText(const std::string& out)
{
    const std::string endProcess = "End process.\n";
    const std::size_t end = out.rfind(endProcess);
    if (end == std::string::npos)
        return {out, "", ""};
    RunText text;
    text.log = out.substr(0, end);
    const std::string rest = out.substr(end + endProcess.size());
    const std::size_t lineEnd = std::min(rest.find('\n'), rest.size());
    text.endLine = rest.substr(0, lineEnd);
    text.json = std::regex_replace(rest.substr(std::min(lineEnd + 1, rest.size())),
                                   std::regex("\"elapsedMs\":[0-9]+"), "\"elapsedMs\":0");
    return text;
}

struct DryRunCase
{
    const char* name;
    model::SyncMethod method;
    const char* org;     // the ORG folder's name: "unplugged" is missing
    int status;          // of the preview and of the real run
    const char* realEnd; // the real run's end line
    bool changes;        // whether the real run changes the trees
};

void PrintTo(const DryRunCase& c, std::ostream* out)
{
    *out << c.name;
}

class DryRunTest : public RunCommandTest, public ::testing::WithParamInterface<DryRunCase>
{
};

// `--dry-run` changes nothing, and prints what the real run then prints: the same log and
// stderr, the same report records and counters, the same exit status; only the end line
// says "Preview: " and the JSON "preview":true.
TEST_P(DryRunTest, ChangesNothingAndPrintsWhatTheRunThenDoes)
{
    const DryRunCase& c = GetParam();
    buildTree(m_dir / "org",
              {file("new.txt", "new"), file("same.txt", "same"), file("newer.txt", "v2", at(100)),
               file("older.txt", "v0", at(0)), file("sub/deep.txt", "deep"),
               file("read-only.txt", "ro", at(0), 0444), file(".hidden", "h"), symlink("link", "new.txt"),
               file("skip.tmp", "excluded")});
    buildTree(m_dir / "tgt",
              {file("same.txt", "same"), file("newer.txt", "v1", at(0)), file("older.txt", "v9", at(50)),
               file("stale.txt", "stale"), file("gone/old.txt", "old")});
    model::Job job;
    model::FolderPair* pair = job.addPair();
    pair->name = u"Docs";
    pair->method = c.method;
    pair->orgPath = text::fromUtf8(m_dir / c.org);
    pair->tgtPath = text::fromUtf8(m_dir / "tgt");
    pair->includeFiles.append(u"*");
    pair->excludeFiles.append(u"*.tmp");
    pair->includeFolders.append(u"*");
    pair->includeSubfolders = 1;
    const std::string project = m_dir / "job.tsp";
    ASSERT_TRUE(project::saveProject(job, project));
    const TreeSnapshot org = snapshotTree(m_dir / "org");
    const TreeSnapshot tgt = snapshotTree(m_dir / "tgt");

    const Outcome preview = run({"run", project, "--report", m_dir / "preview.htm", "--json", "--dry-run"});
    EXPECT_EQ(snapshotTree(m_dir / "org"), org);
    EXPECT_EQ(snapshotTree(m_dir / "tgt"), tgt);
    const Outcome real = run({"run", project, "--report", m_dir / "real.htm", "--json"});
    EXPECT_EQ(snapshotTree(m_dir / "org") != org || snapshotTree(m_dir / "tgt") != tgt, c.changes);

    EXPECT_EQ(preview.status, c.status) << preview.err;
    EXPECT_EQ(real.status, c.status) << real.err;
    const RunText previewText = splitRunText(preview.out);
    const RunText realText = splitRunText(real.out);
    EXPECT_TRUE(realText.log.starts_with("Start process.\n")) << real.out;
    EXPECT_EQ(previewText.log, realText.log);
    EXPECT_EQ(realText.endLine, c.realEnd);
    EXPECT_EQ(previewText.endLine, "Preview: p" + realText.endLine.substr(1));
    EXPECT_EQ(preview.err, real.err);
    EXPECT_EQ(readReportLines(m_dir / "preview.htm"), readReportLines(m_dir / "real.htm"));

    // The JSON's result is the outcome's, with "preview":true after it.
    const std::string mark = ",\"preview\":true";
    const std::size_t at = previewText.json.find(mark);
    ASSERT_NE(at, std::string::npos) << previewText.json;
    EXPECT_EQ(previewText.json.substr(0, at) + previewText.json.substr(at + mark.size()), realText.json);
    EXPECT_EQ(previewText.json.find("\"result\":"), 1u) << previewText.json;
    EXPECT_EQ(realText.json.find("preview"), std::string::npos) << realText.json;
}

INSTANTIATE_TEST_SUITE_P(
    Methods, DryRunTest,
    ::testing::Values(
        DryRunCase{"Light", model::SyncMethod::LightCopy, "org", 0, "Process succeeded.", true},
        DryRunCase{"Update", model::SyncMethod::UpdateCopy, "org", 0, "Process succeeded.", true},
        DryRunCase{"Copy", model::SyncMethod::Copy, "org", 0, "Process succeeded.", true},
        DryRunCase{"Absolute", model::SyncMethod::AbsoluteCopy, "org", 0, "Process succeeded.", true},
        DryRunCase{"Synchronize", model::SyncMethod::Synchronize, "org", 0, "Process succeeded.", true},
        DryRunCase{"UnpluggedOriginal", model::SyncMethod::AbsoluteCopy, "unplugged", 4,
                   "Process completed with 1 error.", false}),
    [](const ::testing::TestParamInfo<DryRunCase>& info) { return std::string(info.param.name); });

struct GuardCase
{
    const char* name;
    int stale;  // target files ORG lacks
    bool allow; // --allow-mass-delete
    int status;
    const char* asked; // the answer printed after the question; nullptr: no question
    bool deleted;      // the stale files are gone
};

void PrintTo(const GuardCase& c, std::ostream* out)
{
    *out << c.name;
}

class MassDeletionTest : public RunCommandTest, public ::testing::WithParamInterface<GuardCase>
{
};

// Absolute Copy about to delete more than half of a target of over ten files: without
// --allow-mass-delete the runner skips the pair's deletions with an error (exit 4), with it
// they go ahead; a smaller deletion asks nothing. Each question is printed on stderr with
// what the runner answered.
TEST_P(MassDeletionTest, SkipsUnlessAllowed)
{
    const GuardCase& c = GetParam();
    std::vector<Node> org;
    for (int i = 0; i < 12; ++i)
        org.push_back(file("keep" + std::to_string(i), "k"));
    std::vector<Node> tgt = org;
    for (int i = 0; i < c.stale; ++i)
        tgt.push_back(file("stale" + std::to_string(i), "s"));
    buildTree(m_dir / "org", org);
    buildTree(m_dir / "tgt", tgt);
    std::vector<std::string> arguments = {"run", saveJob(model::SyncMethod::AbsoluteCopy), "--report",
                                          m_dir / "r.htm"};
    if (c.allow)
        arguments.push_back("--allow-mass-delete");

    const Outcome outcome = run(arguments);
    EXPECT_EQ(outcome.status, c.status) << outcome.err;
    EXPECT_EQ(snapshotTree(m_dir / "tgt"), describeTree(c.deleted ? org : tgt));
    const bool skipped = outcome.out.find("\nDeletions skipped: Docs\n") != std::string::npos;
    EXPECT_EQ(skipped, !c.deleted) << outcome.out;
    if (c.asked == nullptr) {
        EXPECT_EQ(outcome.err, "");
        return;
    }
    const std::string question = "Absolute Copy of pair Docs would delete " + std::to_string(c.stale) +
                                 " of " + std::to_string(12 + c.stale) + " files in " + (m_dir / "tgt/") +
                                 ". Delete them? ";
    EXPECT_TRUE(outcome.err.starts_with(question + c.asked + "\n")) << outcome.err;
    // The skip is an error line like any other: once more on stderr, with its reason.
    EXPECT_EQ(outcome.err.find("\ntavrel-sync-cli: Deletions skipped: Docs: ") != std::string::npos,
              !c.deleted)
        << outcome.err;
}

INSTANTIATE_TEST_SUITE_P(
    Guard, MassDeletionTest,
    ::testing::Values(
        GuardCase{"OverTheThreshold", 13, false, 4, "No: skipped (--allow-mass-delete deletes them).", false},
        GuardCase{"OverTheThresholdAllowed", 13, true, 0, "Yes: --allow-mass-delete was given.", true},
        GuardCase{"UnderTheThreshold", 11, false, 0, nullptr, true}),
    [](const ::testing::TestParamInfo<GuardCase>& info) { return std::string(info.param.name); });

// `--dry-run` asks nothing and needs no --allow-mass-delete: it prints the deletions as the
// allowed run would, says that a real run asks first, and ends as that run does.
TEST_F(RunCommandTest, DryRunOfAMassDeletionSaysARealRunAsks)
{
    std::vector<Node> org;
    for (int i = 0; i < 12; ++i)
        org.push_back(file("keep" + std::to_string(i), "k"));
    std::vector<Node> tgt = org;
    for (int i = 0; i < 13; ++i)
        tgt.push_back(file("stale" + std::to_string(i), "s"));
    buildTree(m_dir / "org", org);
    buildTree(m_dir / "tgt", tgt);
    const std::string project = saveJob(model::SyncMethod::AbsoluteCopy);

    const Outcome preview = run({"run", project, "--report", m_dir / "preview.htm", "--dry-run"});
    EXPECT_EQ(snapshotTree(m_dir / "tgt"), describeTree(tgt));
    const Outcome allowed = run({"run", project, "--report", m_dir / "real.htm", "--allow-mass-delete"});
    EXPECT_EQ(snapshotTree(m_dir / "tgt"), describeTree(org));

    EXPECT_EQ(preview.status, 0) << preview.err;
    EXPECT_EQ(preview.err, "");
    const std::string note = "Preview: Absolute Copy of pair Docs would delete 13 of 25 files in " +
                             (m_dir / "tgt/") + ". A real run asks before deleting them.\n";
    const std::size_t at = preview.out.find(note);
    ASSERT_NE(at, std::string::npos) << preview.out;
    // Apart from that line and the end line, the allowed run's log.
    const RunText previewText =
        splitRunText(preview.out.substr(0, at) + preview.out.substr(at + note.size()));
    EXPECT_EQ(previewText.log, splitRunText(allowed.out).log);
    EXPECT_EQ(readReportLines(m_dir / "preview.htm"), readReportLines(m_dir / "real.htm"));
}

// The local time as the history names its reports.
std::string historyStamp(std::chrono::system_clock::time_point time)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local = {};
    char text[32] = {};
    ::localtime_r(&seconds, &local);
    std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &local);
    return text;
}

struct HistoryCase
{
    const char* name;
    std::vector<std::string> options;
    bool kept;
};

void PrintTo(const HistoryCase& c, std::ostream* out)
{
    *out << c.name;
}

class RunHistoryTest : public RunCommandTest, public ::testing::WithParamInterface<HistoryCase>
{
};

// Each run, a preview too and also with --report FILE, adds its report to the history under
// the time it started; --no-history adds none. What the folder held stays.
TEST_P(RunHistoryTest, AddsTheReportUnlessTold)
{
    const HistoryCase& c = GetParam();
    buildTree(m_dir / "org", {file("a.txt", "a")});
    buildTree(historyFolder(), {file("2001-01-01_00-00-00.htm", "older run"), file("notes.txt", "mine")});
    const std::vector<std::string> before = keptReports();
    std::vector<std::string> arguments = {"run", saveJob(model::SyncMethod::Copy), "--report",
                                          m_dir / "r.htm"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());

    const std::string earliest = historyStamp(std::chrono::system_clock::now());
    const Outcome outcome = run(arguments);
    const std::string latest = historyStamp(std::chrono::system_clock::now());
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");

    std::vector<std::string> added;
    for (const std::string& name : keptReports())
        if (std::find(before.begin(), before.end(), name) == before.end())
            added.push_back(name);
    EXPECT_EQ(readFile(historyFolder() + "/2001-01-01_00-00-00.htm"), "older run");
    EXPECT_EQ(readFile(historyFolder() + "/notes.txt"), "mine");
    if (!c.kept) {
        EXPECT_TRUE(added.empty()) << added.front();
        return;
    }
    ASSERT_EQ(added.size(), 1u);
    const std::string& name = added.front();
    EXPECT_TRUE(
        std::regex_match(name, std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2}_[0-9]{2}-[0-9]{2}-[0-9]{2}\\.htm")))
        << name;
    const std::string stamp = name.substr(0, 19);
    EXPECT_TRUE(earliest <= stamp && stamp <= latest)
        << stamp << " not within " << earliest << " .. " << latest;
    const std::string report = readFile(m_dir / "r.htm");
    EXPECT_FALSE(report.empty());
    EXPECT_EQ(readFile(historyFolder() + "/" + name), report);
}

INSTANTIATE_TEST_SUITE_P(
    History, RunHistoryTest,
    ::testing::Values(HistoryCase{"Run", {}, true}, HistoryCase{"DryRun", {"--dry-run"}, true},
                      HistoryCase{"NoHistory", {"--no-history"}, false},
                      HistoryCase{"DryRunNoHistory", {"--dry-run", "--no-history"}, false}),
    [](const ::testing::TestParamInfo<HistoryCase>& info) { return std::string(info.param.name); });

// A history folder that cannot be made costs the run nothing but a line on stderr.
TEST_F(RunCommandTest, AHistoryThatCannotBeWrittenIsToldAndTheRunSucceeds)
{
    buildTree(m_dir / "org", {file("a.txt", "a")});
    buildTree(m_dir / "data", {file("tavrel-sync", "a file where the data folder would be")});
    const Outcome outcome = run({"run", saveJob(model::SyncMethod::Copy), "--report", m_dir / "r.htm"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_TRUE(outcome.out.ends_with("End process.\nProcess succeeded.\n")) << outcome.out;
    EXPECT_EQ(outcome.err, "tavrel-sync-cli: the report was not kept in the history folder " +
                               historyFolder() + ": Not a directory\n");
    EXPECT_EQ(snapshotTree(m_dir / "tgt"), describeTree({file("a.txt", "a")}));
}

struct MissingTargetCase
{
    const char* name;
    std::vector<std::string> options;
    int status;
    std::string stderrLine; // after the target's path
    bool made;
};

class MissingTargetTest : public RunCommandTest, public ::testing::WithParamInterface<MissingTargetCase>
{
};

// The target of the last run is gone (an unplugged drive looks like that): the runner makes it
// only with --create-missing, and without it says so on stderr, naming the switch, and ends with
// exit status 4. A dry run makes nothing either way.
TEST_P(MissingTargetTest, IsMadeOnlyWithTheSwitch)
{
    const MissingTargetCase& c = GetParam();
    buildTree(m_dir / "org", {file("a.txt", "a")});
    const std::string job = saveJob(model::SyncMethod::Copy);
    ASSERT_EQ(run({"run", job, "--report", m_dir / "r.htm", "--no-history"}).status, 0);
    std::filesystem::remove_all(m_dir / "tgt");

    std::vector<std::string> arguments = {"run", job, "--report", m_dir / "r.htm", "--no-history"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const Outcome outcome = run(arguments);
    EXPECT_EQ(outcome.status, c.status) << outcome.err;
    const std::string missing =
        "ERROR: target folder is missing (is its drive connected?): " + (m_dir / "tgt/");
    EXPECT_EQ(outcome.out.find(missing + "\n") != std::string::npos, c.status == 4) << outcome.out;
    EXPECT_NE(outcome.err.find(c.stderrLine), std::string::npos) << outcome.err;
    EXPECT_EQ(std::filesystem::exists(m_dir / "tgt/a.txt"), c.made);
}

INSTANTIATE_TEST_SUITE_P(
    Roots, MissingTargetTest,
    ::testing::Values(
        MissingTargetCase{"Refused",
                          {},
                          4,
                          "tgt/: it existed when this pair last ran; --create-missing creates it\n",
                          false},
        MissingTargetCase{"CreateMissing",
                          {"--create-missing"},
                          0,
                          "tgt/ of pair Docs existed when the pair last ran and is missing now. "
                          "Is its drive connected? Create it? Yes: --create-missing was given.\n",
                          true},
        MissingTargetCase{"DryRun", {"--dry-run"}, 4, "--create-missing creates it\n", false}),
    [](const ::testing::TestParamInfo<MissingTargetCase>& info) { return std::string(info.param.name); });

// FIFOs and sockets in ORG are no error: one warning line with their count, and the run
// succeeds, the second time as well.
TEST_F(RunCommandTest, SpecialFilesAreOneWarningAndTheRunSucceeds)
{
    buildTree(m_dir / "org", {file("a.txt", "a"), fifo("pipe"), unixSocket("sub/sock")});
    const std::string job = saveJob(model::SyncMethod::AbsoluteCopy);
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        const Outcome outcome = run({"run", job, "--report", m_dir / "r.htm", "--no-history"});
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(outcome.err, "");
        std::size_t warnings = 0;
        for (std::size_t at = outcome.out.find("WARNING: "); at != std::string::npos;
             at = outcome.out.find("WARNING: ", at + 1))
            ++warnings;
        EXPECT_EQ(warnings, 1u) << outcome.out;
        EXPECT_NE(outcome.out.find("\nWARNING: special files skipped: 2 in " + m_dir / "org/" + "\n"),
                  std::string::npos)
            << outcome.out;
        EXPECT_TRUE(outcome.out.ends_with("End process.\nProcess succeeded.\n")) << outcome.out;
    }
    EXPECT_EQ(snapshotTree(m_dir / "tgt"), describeTree({file("a.txt", "a"), folder("sub")}));
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
    StartedProgram program(TAVREL_CLI_PATH,
                           {"run", saveJob(model::SyncMethod::LightCopy), "--report", report}, m_dir.path());
    // The copy is being written while the program holds a file in the target open: a named
    // temporary, or an unnamed file ("#inode (deleted)" to /proc) where the volume makes them.
    const std::string inTarget = m_dir / "tgt/";
    auto copyUnderway = [&] {
        std::error_code error;
        const std::string fds = "/proc/" + std::to_string(program.pid()) + "/fd";
        for (const auto& entry : std::filesystem::directory_iterator(fds, error)) {
            const std::filesystem::path target = std::filesystem::read_symlink(entry.path(), error);
            if (!error && target.string().starts_with(inTarget))
                return true;
        }
        return false;
    };
    // The first sighting counts: looking again could miss a copy published meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool started = false;
    while (!(started = copyUnderway()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(started) << "the copy never started";
    ::kill(program.pid(), GetParam());
    const Outcome outcome = program.finish();

    EXPECT_EQ(outcome.status, 1) << outcome.err;
    EXPECT_TRUE(outcome.out.ends_with("End process.\nProcess was stoped by user.\n")) << outcome.out;
    EXPECT_TRUE(readFile(report).ends_with("</p>\n</body>\n</html>\n"));
    EXPECT_TRUE(std::filesystem::is_empty(m_dir / "tgt")) << "neither the file nor its temporary stays";
}

// The same signals before any copy began, while the run counts its files.
TEST_P(StopSignalTest, StopsTheRunWhileItCounts)
{
    expectStopWhileCounting(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalTest, ::testing::Values(SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "Term" : "Hangup");
                         });

} // namespace
} // namespace tavrel::test
