// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop notice at the end of a run, through a private session bus and a stand-in
// notification server: what the Notify call carries, the action opening the report, and that
// a desktop without a bus or a server changes nothing of the run.
#include "cli/cli_sink.h"
#include "cli/run_notice.h"
#include "model/job.h"
#include "project/project_file.h"
#include "support/program_runner.h"
#include "support/scoped_env.h"
#include "support/temp_tree.h"
#include "text/text_codec.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

// Waits up to `limit` for `done`.
template <typename Predicate> bool waitFor(Predicate done, milliseconds limit = milliseconds(10'000))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(milliseconds(20));
    }
    return true;
}

// Whether a process runs (a zombie left to a parent that does not reap it counts as ended).
bool running(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

pid_t spawn(const std::vector<std::string>& argv)
{
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return child;
}

void stop(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

// A scratch folder with a private session bus (dbus-daemon on a socket of its own), the run
// history in a folder whose name needs escaping as markup, and an xdg-open that records what
// it was asked to open.
class RunNoticeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::access("/usr/bin/dbus-daemon", X_OK) != 0)
            GTEST_SKIP() << "dbus-daemon is not installed (package dbus-daemon)";
        std::ofstream(m_dir / "bus.conf")
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>session</type><listen>unix:path="
            << m_dir / "bus"
            << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" "
               "eavesdrop=\"true\"/>"
               "<allow receive_sender=\"*\"/><allow eavesdrop=\"true\"/>"
               "<allow own=\"*\"/></policy></busconfig>\n";
        m_bus = spawn(
            {"/usr/bin/dbus-daemon", "--config-file=" + (m_dir / "bus.conf"), "--nofork", "--nopidfile"});
        ASSERT_TRUE(waitFor([this] { return fs::exists(m_dir / "bus"); })) << "the private bus did not start";
        fs::create_directories(m_dir / "bin");
        // Written aside and renamed, so the test never reads it half written.
        const std::string opened = m_dir / "opened";
        std::ofstream(m_dir / "bin/xdg-open") << "#!/bin/sh\nprintf '%s' \"$1\" > '" << opened
                                              << ".part' && mv '" << opened << ".part' '" << opened << "'\n";
        fs::permissions(m_dir / "bin/xdg-open", fs::perms::owner_all);
    }
    void TearDown() override
    {
        stop(m_server);
        stop(m_bus);
    }

    // Starts the notification server with `capabilities` that answers the notice with `answer`.
    void startServer(const std::string& capabilities, const std::string& answer)
    {
        m_server = spawn({TAVREL_FAKE_NOTIFICATION_SERVER, m_dir / "notice", capabilities, answer});
        ASSERT_TRUE(waitFor([this] { return fs::exists(m_dir / "notice.ready"); }))
            << "the notification server did not start";
    }

    // Saves a job "job.tsp" of one Absolute Copy pair over org/ and tgt/.
    std::string saveJob()
    {
        model::Job job;
        model::FolderPair* pair = job.addPair();
        pair->name = u"Docs";
        pair->method = model::SyncMethod::AbsoluteCopy;
        pair->orgPath = text::fromUtf8(m_dir / "org");
        pair->tgtPath = text::fromUtf8(m_dir / "tgt");
        pair->includeFiles.append(u"*");
        pair->includeFolders.append(u"*");
        pair->includeSubfolders = 1;
        std::string file = m_dir / "job.tsp";
        EXPECT_TRUE(project::saveProject(job, file));
        return file;
    }

    // Runs the runner as a timer's service does: stdin from /dev/null, stderr not a terminal.
    ProgramOutcome runUnattended(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> all{"-c", "exec \"$0\" \"$@\" </dev/null", TAVREL_CLI_PATH};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return runProgram("/bin/sh", all, m_dir.path());
    }

    // The Notify call the server saw, by key; empty when none came within `limit`.
    std::map<std::string, std::string> notice(milliseconds limit = milliseconds(10'000))
    {
        std::map<std::string, std::string> fields;
        if (!waitFor([this] { return fs::exists(m_dir / "notice"); }, limit))
            return fields;
        std::ifstream in(m_dir / "notice");
        std::string line;
        while (std::getline(in, line))
            fields[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
        return fields;
    }

    // The one report the run kept in the history.
    std::string keptReport() const
    {
        std::vector<std::string> kept;
        for (const auto& entry : fs::directory_iterator(m_dir / "d&b/tavrel-sync/reports"))
            if (entry.path().extension() == ".htm") // not the index of the runs' summaries
                kept.push_back(entry.path().string());
        EXPECT_EQ(kept.size(), 1u);
        return kept.empty() ? std::string() : kept.front();
    }

    TempDir m_dir;
    ScopedEnv m_address{"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (m_dir / "bus")};
    ScopedEnv m_dataHome{"XDG_DATA_HOME", m_dir / "d&b"};
    ScopedEnv m_path{"PATH",
                     (m_dir / "bin") + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin")};
    pid_t m_bus = -1;
    pid_t m_server = -1;
};

enum class Scene
{
    MissingOriginal, // ORG is away: one error
    MassDeletion,    // 12 of 13 target files to delete: the deletions are skipped, an error
    Clean,           // nothing to do
};

TEST_F(RunNoticeTest, NoticeCarriesTheJobTheOutcomeAndAnActionThatOpensTheReport)
{
    const struct
    {
        const char* name;
        Scene scene;
        std::vector<std::string> options;
        const char* capabilities;
        const char* answer; // what the user does with the notice
        int status;
        const char* summary; // empty: no notice
        const char* bodyStart;
        bool markup;
        bool opened;
    } cases[] = {
        {"an unattended run with errors",
         Scene::MissingOriginal,
         {},
         "actions,body,body-markup",
         "open",
         4,
         "job: completed with 1 error",
         "Process completed with 1 error.\\nReport: ",
         true,
         true},
        {"a skipped mass deletion, clicked",
         Scene::MassDeletion,
         {"--notify", "errors"},
         "actions,body",
         "default",
         4,
         "job: completed with 1 error",
         "Process completed with 1 error.\\nDeletions skipped as too many in 1 pair.\\nReport: ",
         false,
         true},
        {"errors, closed unread",
         Scene::MissingOriginal,
         {},
         "actions,body",
         "close",
         4,
         "job: completed with 1 error",
         "Process completed with 1 error.\\nReport: ",
         false,
         false},
        {"a clean run told always, by a server without actions",
         Scene::Clean,
         {"--notify", "always"},
         "body",
         "none",
         0,
         "job: succeeded",
         "Process succeeded.\\nReport: ",
         false,
         false},
        {"a clean unattended run", Scene::Clean, {}, "actions,body", "open", 0, "", "", false, false},
        {"errors with --notify never",
         Scene::MissingOriginal,
         {"--notify", "never"},
         "actions,body",
         "open",
         4,
         "",
         "",
         false,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(m_dir / "org");
        fs::remove_all(m_dir / "tgt");
        fs::remove_all(m_dir / "d&b");
        for (const char* leftover : {"notice", "notice.ready", "opened"})
            fs::remove(m_dir / leftover);
        switch (c.scene) {
        case Scene::MissingOriginal:
            buildTree(m_dir / "tgt", {});
            break;
        case Scene::MassDeletion: {
            std::vector<Node> many{file("keep", "k")};
            for (int i = 0; i < 12; ++i)
                many.push_back(file("stale" + std::to_string(i), "s"));
            buildTree(m_dir / "org", {file("keep", "k")});
            buildTree(m_dir / "tgt", many);
            break;
        }
        case Scene::Clean:
            buildTree(m_dir / "org", {file("a", "1")});
            buildTree(m_dir / "tgt", {file("a", "1")});
            break;
        }
        stop(m_server);
        startServer(c.capabilities, c.answer);
        std::vector<std::string> arguments{"run", saveJob(), "--report", m_dir / "r.htm"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const ProgramOutcome outcome = runUnattended(arguments);
        ASSERT_EQ(outcome.status, c.status) << outcome.err;

        if (std::string(c.summary).empty()) {
            // The notice would be on its way by now: its process starts before the run ends.
            EXPECT_TRUE(notice(milliseconds(1500)).empty());
            continue;
        }
        auto fields = notice();
        ASSERT_FALSE(fields.empty()) << "no Notify call came";
        const std::string report = keptReport();
        const std::string shownReport = c.markup ? "/d&amp;b/" : "/d&b/";
        EXPECT_EQ(fields["app"], "Tavrel Synchronizer");
        EXPECT_EQ(fields["icon"], "tavrel-sync");
        EXPECT_EQ(fields["summary"], c.summary);
        EXPECT_EQ(fields["body"].substr(0, std::string(c.bodyStart).size()), c.bodyStart);
        EXPECT_NE(fields["body"].find(shownReport), std::string::npos) << fields["body"];
        EXPECT_TRUE(fields["body"].ends_with(report.substr(report.rfind('/')))) << fields["body"];
        EXPECT_EQ(fields["actions"], "default|Open report|open|Open report");
        EXPECT_EQ(fields["expires"], "-1");
        // The process that sent the notice waits for its action, then ends.
        const pid_t listener = std::stoi(fields["pid"]);
        EXPECT_TRUE(waitFor([listener] { return !running(listener); }, milliseconds(15'000)))
            << "the notice's process is still there";
        if (c.opened) {
            ASSERT_TRUE(waitFor([this] { return fs::exists(m_dir / "opened"); })) << "xdg-open was not run";
            EXPECT_EQ(readFile(m_dir / "opened"), report);
        } else {
            EXPECT_FALSE(fs::exists(m_dir / "opened"));
        }
    }
}

// Started by hand in a terminal, a run tells its end there: no notice unless asked for.
TEST_F(RunNoticeTest, ARunStartedFromATerminalIsToldOnlyWhenAsked)
{
    if (::access("/usr/bin/script", X_OK) != 0)
        GTEST_SKIP() << "script (bsdutils) is not installed, so no terminal can be given to the run";
    const struct
    {
        std::vector<std::string> options;
        bool told;
    } cases[] = {{{}, false}, {{"--notify", "errors"}, true}};
    buildTree(m_dir / "tgt", {});
    const std::string job = saveJob();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.told ? "asked" : "not asked");
        stop(m_server);
        for (const char* leftover : {"notice", "notice.ready"})
            fs::remove(m_dir / leftover);
        startServer("actions,body", "close");
        // script runs the command on a new terminal: stdin, stdout and stderr are that terminal.
        std::string command = "exec '" TAVREL_CLI_PATH "' run '";
        command += job;
        command += "' --report '";
        command += m_dir / "r.htm";
        command += "'";
        for (const std::string& option : c.options) {
            command += ' ';
            command += option;
        }
        const ProgramOutcome outcome =
            runProgram("/usr/bin/script", {"-qec", command, "/dev/null"}, m_dir.path());
        ASSERT_EQ(outcome.status, 4) << outcome.out << outcome.err;
        const auto fields = notice(c.told ? milliseconds(10'000) : milliseconds(1500));
        EXPECT_EQ(!fields.empty(), c.told);
        if (c.told) {
            EXPECT_EQ(fields.at("summary"), "job: completed with 1 error");
        }
    }
}

// No session bus, or a bus without a notification server: the run ends as it would have,
// with the same streams, at once.
TEST_F(RunNoticeTest, WithoutABusOrAServerTheRunIsUnchanged)
{
    const struct
    {
        const char* name;
        std::string address;
    } cases[] = {
        {"no bus", "unix:path=" + (m_dir / "no-bus")},
        {"a bus without a notification server", "unix:path=" + (m_dir / "bus")},
        {"an address that is no address", "nonsense"},
    };
    buildTree(m_dir / "tgt", {});
    const std::string job = saveJob();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv address{"DBUS_SESSION_BUS_ADDRESS", c.address};
        const auto start = std::chrono::steady_clock::now();
        const ProgramOutcome outcome =
            runUnattended({"run", job, "--report", m_dir / "r.htm", "--notify", "always"});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(outcome.status, 4);
        EXPECT_EQ(outcome.err, "tavrel-sync-cli: ERROR: cannot read folder: " +
                                   (m_dir / "org/: ORG: No such file or directory\n"));
        EXPECT_TRUE(outcome.out.ends_with("End process.\nProcess completed with 1 error.\n")) << outcome.out;
    }
}

TEST(NotifyMode, DefaultIsErrorsUnlessStartedFromATerminal)
{
    using engine::RunOutcome;
    EXPECT_EQ(cli::defaultNotifyMode(true), cli::NotifyMode::Never);
    EXPECT_EQ(cli::defaultNotifyMode(false), cli::NotifyMode::Errors);
    const struct
    {
        const char* text;
        bool succeeded, errors, stopped, diskFull;
    } modes[] = {
        {"always", true, true, true, true},
        {"errors", false, true, true, true},
        {"never", false, false, false, false},
    };
    for (const auto& m : modes) {
        SCOPED_TRACE(m.text);
        const auto mode = cli::parseNotifyMode(m.text);
        ASSERT_TRUE(mode);
        EXPECT_EQ(cli::worthNotice(*mode, RunOutcome::Succeeded), m.succeeded);
        EXPECT_EQ(cli::worthNotice(*mode, RunOutcome::CompletedWithErrors), m.errors);
        EXPECT_EQ(cli::worthNotice(*mode, RunOutcome::Stopped), m.stopped);
        EXPECT_EQ(cli::worthNotice(*mode, RunOutcome::DiskFull), m.diskFull);
    }
    EXPECT_FALSE(cli::parseNotifyMode("sometimes"));
    EXPECT_FALSE(cli::parseNotifyMode(""));
}

// The notice's counts come from the sink: conflicts among the error lines, and the mass
// deletions it answered with a skip (an allowed one is no skip).
TEST(RunNotice, SinkCountsConflictsAndSkippedDeletions)
{
    for (const bool allow : {false, true}) {
        SCOPED_TRACE(allow ? "--allow-mass-delete" : "no switch");
        std::ostringstream out;
        std::ostringstream err;
        cli::CliSink sink(out, err, false);
        sink.allowMassDeletion(allow);
        sink.NoteError("CONFLICT: both changed: /a/x\r\n", "changed on both sides");
        sink.NoteError("ERROR: cannot copy file: /a/y\r\n", "TGT: Read-only file system");
        sink.NoteError("CONFLICT: changed here, deleted there: /a/z\r\n", "changed on one side");
        sink.ConfirmMassDeletion("Absolute Copy of pair A would delete 12 of 13 files. Delete them? ");
        sink.ConfirmMassDeletion("Absolute Copy of pair B would delete 20 of 21 files. Delete them? ");
        EXPECT_EQ(sink.conflicts(), 2);
        EXPECT_EQ(sink.skippedMassDeletions(), allow ? 0 : 2);
    }
}

TEST(RunNotice, NamesTheJobAndTellsConflictsAndSkippedDeletions)
{
    cli::NoticeFacts end;
    end.projectFile = "/home/u/jobs/night\xff.TSP";
    end.outcome = engine::RunOutcome::Stopped;
    end.errors = 3;
    end.conflicts = 2;
    end.skippedMassDeletions = 1;
    end.preview = true;
    const platform::DesktopNotice stopped = cli::runNotice(end);
    EXPECT_EQ(stopped.summary, "night\\xFF: preview stopped");
    EXPECT_EQ(stopped.body, "Preview: process was stoped by user.\n2 conflicts left as they are.\n"
                            "Deletions skipped as too many in 1 pair.");
    EXPECT_TRUE(stopped.actionLabel.empty()) << "no report, no action";

    end = {};
    end.projectFile = "b.tsp";
    end.outcome = engine::RunOutcome::DiskFull;
    end.report = "/r/1.htm";
    const platform::DesktopNotice full = cli::runNotice(end);
    EXPECT_EQ(full.summary, "b: disk full");
    EXPECT_EQ(full.body, "Not enough disk space to perform this operation.\nReport: /r/1.htm");
    EXPECT_EQ(full.actionLabel, "Open report");
    EXPECT_EQ(full.openOnAction, "/r/1.htm");
    EXPECT_EQ(platform::escapeNoticeMarkup("a<b>&c"), "a&lt;b&gt;&amp;c");
}

} // namespace
} // namespace tavrel::test
