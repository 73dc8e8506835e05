// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/run_command.h"

#include "cli/arguments.h"
#include "cli/cli_command.h"
#include "cli/cli_sink.h"
#include "cli/json_result.h"
#include "cli/run_notice.h"
#include "cli/stop_signals.h"
#include "cli/terminal_text.h"
#include "engine/run_driver.h"
#include "model/job.h"
#include "platform/posix/posix_file_system.h"
#include "platform/preview_file_system.h"
#include "platform/terminal.h"
#include "project/project_file.h"
#include "report/report_file.h"
#include "report/report_history.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <system_error>
#include <thread>

namespace tavrel::cli {
namespace {

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
    bool quiet = false;
    bool verbose = false;
};

// The options that take no value, and what each one switches on.
constexpr std::array<std::pair<std::string_view, bool RunOptions::*>, 11> kSwitches{{
    {"--json", &RunOptions::json},
    {"--no-progress", &RunOptions::noProgress},
    {"--debug", &RunOptions::debug},
    {"--dry-run", &RunOptions::dryRun},
    {"--allow-mass-delete", &RunOptions::allowMassDelete},
    {"--create-missing", &RunOptions::createMissing},
    {"--no-history", &RunOptions::noHistory},
    {"-q", &RunOptions::quiet},
    {"--quiet", &RunOptions::quiet},
    {"-v", &RunOptions::verbose},
    {"--verbose", &RunOptions::verbose},
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
    if (options.quiet && options.verbose)
        throw UsageError("-q and -v exclude each other");
    return options;
}

// Adds the finished report to the run history and returns the kept copy, or an empty path. A
// history that cannot be written costs the run nothing but a line on stderr.
std::filesystem::path keepInHistory(const std::filesystem::path& reportFile,
                                    std::chrono::system_clock::time_point startedAt,
                                    const report::RunSummary& summary)
{
    const std::filesystem::path folder = report::defaultHistoryFolder();
    std::string whyNot;
    std::filesystem::path kept =
        report::keepReport(reportFile, folder, startedAt, report::kKeptReports, &whyNot, &summary);
    if (!kept.empty())
        return kept;
    std::cerr << "tavrel-sync-cli: the report was not kept in the history folder "
              << printableText(folder.native() + ": " + whyNot) + "\n";
    return {};
}

} // namespace

bool stderrTakesEscapes()
{
    const char* term = std::getenv("TERM");
    return platform::isTerminal(platform::StandardStream::Error) && term != nullptr && *term != '\0' &&
           std::string_view(term) != "dumb";
}

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

    // A preview reads through a file system that leaves even crash leftovers where they are.
    platform::PosixFileSystem fileSystem = options.dryRun
                                               ? platform::PosixFileSystem(platform::kKeepEveryTemporary)
                                               : platform::PosixFileSystem();
    // The run would go on without its report, so say so before anything changes; one asked for
    // by name is not silently dropped.
    report::ReportFile report(options.reportFile ? std::filesystem::path(*options.reportFile)
                                                 : report::defaultReportPath());
    if (!report.OpenReport()) {
        const int cause = errno;
        std::cerr << "tavrel-sync-cli: " << (options.reportFile ? "run: " : "warning: ")
                  << printableText(
                         "cannot write the report " + report.path().native() + ": " +
                         (std::filesystem::is_directory(report.path()) ? "a folder" : std::strerror(cause)))
                  << "\n";
        if (options.reportFile)
            return ExitCode::CannotSave;
    }
    installStopSignals();
    RunRequest request;
    request.projectFile = options.projectFile;
    request.reportFile = options.reportFile;
    request.progress = !options.noProgress && stderrTakesEscapes();
    request.debug = options.debug;
    request.dryRun = options.dryRun;
    request.allowMassDelete = options.allowMassDelete;
    request.createMissing = options.createMissing;
    request.noHistory = options.noHistory;
    request.quiet = options.quiet;
    request.notify = options.notify.value_or(defaultNotifyMode(startedFromTerminal()));
    request.verbose = options.verbose;
    request.report = &report;
    const std::optional<RunEnd> end = executeRun(job, request, fileSystem, std::cout);
    if (!end) {
        std::cerr << "Cannot process synchronization.\n";
        return ExitCode::Stopped;
    }
    if (!options.quiet)
        std::cout << "End process.\n" << end->outcomeText << '\n';
    if (options.json)
        std::cout << end->json << '\n';
    std::cout.flush();
    return end->code;
}

std::optional<RunEnd> executeRun(const model::Job& job, const RunRequest& request,
                                 platform::FileSystem& fileSystem, std::ostream& log)
{
    std::optional<report::ReportFile> ownReport;
    report::ReportFile& report =
        request.report != nullptr
            ? *request.report
            : ownReport.emplace(request.reportFile ? std::filesystem::path(*request.reportFile)
                                                   : report::defaultReportPath());
    engine::RunState state;
    CliSink sink(
        log, std::cerr, request.progress, [] { return std::chrono::steady_clock::now(); },
        platform::errorTerminalColumns);
    sink.allowMassDeletion(request.allowMassDelete);
    sink.setOutput(request.quiet, platform::outputsShareAFile());
    if (request.verbose)
        report.echoRecordsTo([&sink](std::string_view line) { sink.printOperation(line); });
    sink.createMissingRoots(request.createMissing);
    engine::DebugLog debugLog;
    if (request.debug)
        debugLog = [](std::string_view path) { std::cerr << printableText(path) + "\n"; };

    // The handler reaches the flag only while `state` lives.
    const StopFlagBinding binding(state.stopRequested);
    // The history names the report by the time the run started.
    const auto startedAt = std::chrono::system_clock::now();
    engine::RunContext context{job, state, fileSystem, report, sink, debugLog, request.projectFile};
    context.scope = request.scope;
    std::thread worker;
    if (!(request.dryRun ? engine::StartPreview(context, worker) : engine::StartSync(context, worker)))
        return std::nullopt;
    // The run timer and the Stop command of the window, on this thread.
    engine::RunResult result = engine::RunResult::Succeeded;
    while (!sink.waitForEnd(std::chrono::milliseconds(100), result)) {
        if (stopSignalled())
            state.stopRequested.store(1);
        sink.tick(state);
    }
    worker.join();
    sink.tick(state);
    sink.finish();
    RunEnd end = concludeRun(request, report.path(), startedAt, result, state);
    // The notice opens the history's copy, which the next run does not overwrite.
    std::error_code ignored;
    noticeRunEnd(request.notify,
                 NoticeFacts{request.projectFile, end.outcome, end.errors, sink.conflicts(),
                             sink.skippedMassDeletions(), request.dryRun,
                             end.keptReport.empty() ? std::filesystem::absolute(report.path(), ignored)
                                                    : end.keptReport});
    return end;
}

RunEnd concludeRun(const RunRequest& request, const std::filesystem::path& reportFile,
                   std::chrono::system_clock::time_point startedAt, engine::RunResult result,
                   const engine::RunState& state)
{
    RunEnd end;
    end.errors = state.errors.load();
    end.outcome = engine::outcomeOf(result, end.errors);
    end.statistics = state.snapshot();
    if (!request.noHistory) {
        std::error_code ignored;
        const std::filesystem::path job =
            std::filesystem::absolute(request.projectFile, ignored).lexically_normal();
        end.keptReport = keepInHistory(reportFile, startedAt,
                                       {job.string(), engine::outcomeName(end.outcome), end.errors,
                                        end.statistics.allOperations, request.dryRun});
    }
    end.outcomeText = request.dryRun ? engine::previewOutcomeText(end.outcome, end.errors)
                                     : engine::outcomeText(end.outcome, end.errors);
    end.json = resultJson(end.outcome, end.errors, state.conflicts.load(), end.statistics, request.dryRun);
    end.code = exitCodeFor(end.outcome);
    return end;
}

} // namespace tavrel::cli
