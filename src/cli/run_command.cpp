// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/run_command.h"

#include "cli/arguments.h"
#include "cli/cli_command.h"
#include "cli/cli_sink.h"
#include "cli/json_result.h"
#include "cli/run_notice.h"
#include "cli/terminal_text.h"
#include "engine/run_driver.h"
#include "model/job.h"
#include "platform/posix_file_system.h"
#include "platform/preview_file_system.h"
#include "project/project_file.h"
#include "report/report_file.h"
#include "report/report_history.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sys/ioctl.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace tavrel::cli {
namespace {

// The signals that mean Stop: Ctrl+C, and the polite ends of systemd, shutdown, `timeout` and
// a closed terminal, which must leave a finished report and no temporary file either.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Set by the stop handler. The first stop signal puts every stop signal back to its default,
// so a second one, of whatever kind, ends the process.
std::atomic<int> g_interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free);
// The run's stop flag, set by the handler itself: a large copy looks at it between chunks,
// and a shutdown's grace period is too short to wait for the next timer tick. The main
// loop still copies g_interrupted into it, for a signal that came before the worker began
// (the worker clears the flag when it starts).
std::atomic<std::atomic<int32_t>*> g_stopFlag{nullptr};
static_assert(std::atomic<int32_t>::is_always_lock_free &&
              std::atomic<std::atomic<int32_t>*>::is_always_lock_free);

extern "C" void onInterrupt(int)
{
    g_interrupted.store(1);
    if (std::atomic<int32_t>* stop = g_stopFlag.load())
        stop->store(1);
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    for (const int signal : kStopSignals)
        ::sigaction(signal, &fallback, nullptr);
}

void installInterruptHandler()
{
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals)
        sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (const int signal : kStopSignals)
        ::sigaction(signal, &action, nullptr);
}

struct RunOptions
{
    std::string projectFile;
    std::optional<std::string> reportFile;
    std::optional<NotifyMode> notify;
    bool json = false;
    bool noProgress = false;
    bool debug = false;
    bool dryRun = false;
    bool allowMassDelete = false;
    bool createMissing = false;
    bool noHistory = false;
};

// The options that take no value, and what each one switches on.
constexpr std::array<std::pair<std::string_view, bool RunOptions::*>, 7> kSwitches{{
    {"--json", &RunOptions::json},
    {"--no-progress", &RunOptions::noProgress},
    {"--debug", &RunOptions::debug},
    {"--dry-run", &RunOptions::dryRun},
    {"--allow-mass-delete", &RunOptions::allowMassDelete},
    {"--create-missing", &RunOptions::createMissing},
    {"--no-history", &RunOptions::noHistory},
}};

// Empty options with `help` set for --help; a wrong command line throws.
RunOptions parseOptions(std::span<const std::string_view> arguments, bool& help)
{
    RunOptions options;
    bool haveFile = false;
    ArgumentReader reader(arguments);
    while (reader.next()) {
        const std::string_view argument = reader.current();
        if (!reader.isOption()) {
            if (haveFile)
                throw UsageError("only one project file can be run");
            options.projectFile = std::string(argument);
            haveFile = true;
        } else if (argument == "--help" || argument == "-h") {
            help = true;
            return options;
        } else if (argument == "--report") {
            const std::string_view file = reader.value();
            if (file.empty())
                throw UsageError("--report needs a file");
            options.reportFile = std::string(file);
        } else if (argument == "--notify") {
            const std::string_view mode = reader.value();
            options.notify = parseNotifyMode(mode);
            if (!options.notify)
                throw UsageError("--notify needs always, errors or never, not " + quoteArgument(mode));
        } else {
            const auto known =
                std::find_if(kSwitches.begin(), kSwitches.end(),
                             [argument](const auto& entry) { return entry.first == argument; });
            if (known == kSwitches.end())
                throw UsageError("unknown option " + quoteArgument(argument));
            reader.noValue();
            options.*(known->second) = true;
        }
    }
    if (!haveFile)
        throw UsageError("no project file given");
    return options;
}

// The width of the terminal on stderr, asked at each draw so a resized window is followed.
int terminalColumns()
{
    struct winsize size = {};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

// Adds the finished report to the run history and returns the kept copy, or an empty path. A
// history that cannot be written costs the run nothing but a line on stderr.
std::filesystem::path keepInHistory(const std::filesystem::path& reportFile,
                                    std::chrono::system_clock::time_point startedAt)
{
    const std::filesystem::path folder = report::defaultHistoryFolder();
    std::string whyNot;
    std::filesystem::path kept =
        report::keepReport(reportFile, folder, startedAt, report::kKeptReports, &whyNot);
    if (!kept.empty())
        return kept;
    std::cerr << "tavrel-sync-cli: the report was not kept in the history folder "
              << printableText(folder.native() + ": " + whyNot) + "\n";
    return {};
}

} // namespace

ExitCode exitCodeFor(engine::RunOutcome outcome)
{
    switch (outcome) {
    case engine::RunOutcome::Succeeded:
        return ExitCode::Succeeded;
    case engine::RunOutcome::CompletedWithErrors:
        return ExitCode::CompletedWithErrors;
    case engine::RunOutcome::DiskFull:
        return ExitCode::DiskFull;
    case engine::RunOutcome::Stopped:
    case engine::RunOutcome::Unknown:
        break;
    }
    return ExitCode::Stopped;
}

ExitCode runRun(std::span<const std::string_view> arguments)
{
    RunOptions options;
    try {
        bool help = false;
        options = parseOptions(arguments, help);
        if (help)
            return printCommandHelp("run");
    } catch (const UsageError& error) {
        return usageError(std::string("run: ") + error.what());
    }

    model::Job job;
    if (!openJobFile(job, options.projectFile))
        return ExitCode::ProjectRefused;

    report::ReportFile report(options.reportFile ? std::filesystem::path(*options.reportFile)
                                                 : report::defaultReportPath());
    // A preview reads through a file system that leaves even crash leftovers where they are.
    platform::PosixFileSystem fileSystem = options.dryRun
                                               ? platform::PosixFileSystem(platform::kKeepEveryTemporary)
                                               : platform::PosixFileSystem();
    engine::RunState state;
    CliSink sink(
        std::cout, std::cerr, !options.noProgress && ::isatty(STDERR_FILENO) == 1,
        [] { return std::chrono::steady_clock::now(); }, terminalColumns);
    sink.allowMassDeletion(options.allowMassDelete);
    sink.createMissingRoots(options.createMissing);
    engine::DebugLog debugLog;
    if (options.debug)
        debugLog = [](std::string_view path) { std::cerr << printableText(path) + "\n"; };

    // The handler reaches the flag only while `state` lives.
    struct StopFlagRelease
    {
        ~StopFlagRelease() { g_stopFlag.store(nullptr); }
    } release;
    g_stopFlag.store(&state.stopRequested);
    installInterruptHandler();
    // The history names the report by the time the run started.
    const auto startedAt = std::chrono::system_clock::now();
    const engine::RunContext context{job, state, fileSystem, report, sink, debugLog, options.projectFile};
    std::thread worker;
    if (!(options.dryRun ? engine::StartPreview(context, worker) : engine::StartSync(context, worker))) {
        std::cerr << "Cannot process synchronization.\n";
        return ExitCode::Stopped;
    }
    // The run timer and the Stop command of the window, on this thread.
    engine::RunResult result = engine::RunResult::Succeeded;
    while (!sink.waitForEnd(std::chrono::milliseconds(100), result)) {
        if (g_interrupted.load())
            state.stopRequested.store(1);
        sink.tick(state);
    }
    worker.join();
    sink.tick(state);
    sink.finish();
    // The notice opens the history's copy, which the next run does not overwrite.
    std::filesystem::path keptReport;
    if (!options.noHistory)
        keptReport = keepInHistory(report.path(), startedAt);

    const int32_t errors = state.errors.load();
    const engine::RunOutcome outcome = engine::outcomeOf(result, errors);
    const std::string endLine =
        options.dryRun ? engine::previewOutcomeText(outcome, errors) : engine::outcomeText(outcome, errors);
    std::cout << "End process.\n" << endLine << '\n';
    if (options.json)
        std::cout << resultJson(outcome, errors, state.snapshot(), options.dryRun) << '\n';
    std::cout.flush();
    std::error_code ignored;
    noticeRunEnd(options.notify.value_or(defaultNotifyMode(startedFromTerminal())),
                 RunEnd{options.projectFile, outcome, errors, sink.conflicts(), sink.skippedMassDeletions(),
                        options.dryRun,
                        keptReport.empty() ? std::filesystem::absolute(report.path(), ignored) : keptReport});
    return exitCodeFor(outcome);
}

} // namespace tavrel::cli
