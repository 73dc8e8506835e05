// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/exit_codes.h"
#include "cli/run_notice.h"
#include "engine/run_outcome.h"
#include "engine/run_scope.h"
#include "engine/run_state.h"
#include "model/job.h"
#include "platform/file_system.h"
#include "report/report_file.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace tavrel::cli {

// `run JOB.TSP [--report FILE] [--json] [--no-progress] [--debug] [--dry-run]
// [--allow-mass-delete] [--create-missing] [--no-history] [--notify always|errors|never]`: runs a project
// file with the window's engine. stdout gets the log as the window would show it ("\r\n" as "\n"), then
// "End process." and the outcome; stderr gets each error line with the system's reason. `--dry-run` runs
// the job as a preview: the same log, "Preview: " before the outcome, nothing changed. The report is kept
// in the run history too. SIGINT, SIGTERM and SIGHUP stop the run at the next handled file, a second one
// ends the process. At the end, a desktop notice as `--notify` asks (see noticeRunEnd); it never changes
// the exit status.
ExitCode runRun(std::span<const std::string_view> arguments);

// One run of a job as the runner makes it.
struct RunRequest
{
    std::string projectFile;
    std::optional<std::string> reportFile; // default: report::defaultReportPath()
    bool progress = false;                 // the progress line on stderr
    bool debug = false;
    bool dryRun = false;
    bool allowMassDelete = false;
    bool createMissing = false;
    bool noHistory = false;
    bool quiet = false;                      // -q: no log, only the errors
    bool verbose = false;                    // -v: each change as the report records it, on the log's stream
    NotifyMode notify = NotifyMode::Never;   // the desktop notice at the end
    const engine::RunScope* scope = nullptr; // null: the whole job
    // A report the caller made (and may have opened, to say before the run that it cannot);
    // null: one is made at `reportFile`.
    report::ReportFile* report = nullptr;
};

// How a run ended, as every front end of the runner tells it.
struct RunEnd
{
    engine::RunOutcome outcome = engine::RunOutcome::Unknown;
    int32_t errors = 0;
    engine::StatisticsSnapshot statistics;
    std::string outcomeText;          // the end box's text ("Preview: " first for a dry run)
    std::string json;                 // the --json line
    std::filesystem::path keptReport; // the history's copy of the report; empty when none
    ExitCode code = ExitCode::Stopped;
};

// Runs `job` once through `fileSystem`: the log to `log`, error lines and the progress line to
// stderr, the report where asked, a stop signal (installStopSignals) stops it. Ends through
// concludeRun. Nothing when the run could not be started.
std::optional<RunEnd> executeRun(const model::Job& job, const RunRequest& request,
                                 platform::FileSystem& fileSystem, std::ostream& log);

// The end of every run the runner makes, whatever started it: keeps the report in the history
// (unless asked not to, with the run's summary for `history`), and decides the outcome, its texts and the
// exit status.
RunEnd concludeRun(const RunRequest& request, const std::filesystem::path& reportFile,
                   std::chrono::system_clock::time_point startedAt, engine::RunResult result,
                   const engine::RunState& state);

// Whether the progress line may be drawn on stderr: a terminal that takes escapes (TERM set,
// not "dumb": an editor's shell or a serial console).
bool stderrTakesEscapes();

// The exit status of a finished run: 0 succeeded, 1 stopped, 2 disk full, 4 errors logged.
ExitCode exitCodeFor(engine::RunOutcome outcome);

} // namespace tavrel::cli
