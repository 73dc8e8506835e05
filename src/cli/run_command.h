// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/exit_codes.h"
#include "engine/run_outcome.h"

#include <span>
#include <string_view>

namespace tavrel::cli {

// `run JOB.TSP [--report FILE] [--json] [--no-progress] [--debug] [--dry-run]
// [--allow-mass-delete] [--create-missing] [--no-history] [--notify always|errors|never]`: runs a project
// file with the window's engine. stdout gets the log as the window would show it ("\r\n" as "\n"), then "End
// process." and the outcome; stderr gets each error line with the system's reason. `--dry-run` runs the job
// as a preview: the same log, "Preview: " before the outcome, nothing changed. The report is kept in the run
// history too. SIGINT, SIGTERM and SIGHUP stop the run at the next handled file, a second one ends the
// process. At the end, a desktop notice as `--notify` asks (see noticeRunEnd); it never changes the exit
// status.
ExitCode runRun(std::span<const std::string_view> arguments);

// The exit status of a finished run: 0 succeeded, 1 stopped, 2 disk full, 4 errors logged.
ExitCode exitCodeFor(engine::RunOutcome outcome);

} // namespace tavrel::cli
