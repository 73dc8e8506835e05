#pragma once

#include "cli/exit_codes.h"
#include "engine/run_outcome.h"
#include "engine/run_state.h"

#include <span>
#include <string>
#include <string_view>

namespace tavrel::cli {

// `run JOB.TSP [--report FILE] [--json] [--no-progress] [--debug]`: runs a project file with
// the window's engine. stdout gets the log as the window would show it ("\r\n" as "\n"),
// then "End process." and the outcome; stderr gets each error line with the system's reason.
// SIGINT, SIGTERM and SIGHUP stop the run at the next handled file, a second one ends the
// process.
ExitCode runRun(std::span<const std::string_view> arguments);

// The exit status of a finished run: 0 succeeded, 1 stopped, 2 disk full, 4 errors logged.
ExitCode exitCodeFor(engine::RunOutcome outcome);

// One JSON object: "result", "errors" and every counter under its own name.
std::string resultJson(engine::RunOutcome outcome, int32_t errors, const engine::StatisticsSnapshot& statistics);

} // namespace tavrel::cli
