#pragma once

#include "cli/exit_codes.h"
#include "engine/run_state.h"

#include <span>
#include <string>
#include <string_view>

namespace tavrel::cli {

// `run JOB.TSP [--report FILE] [--json] [--no-progress] [--debug]`: runs a project file with
// the window's engine. stdout gets the log as the window would show it ("\r\n" as "\n"),
// then "End process." and the outcome; SIGINT stops the run at the next handled file, a
// second SIGINT ends the process.
ExitCode runRun(std::span<const std::string_view> arguments);

// The exit status of a finished run: 0 succeeded, 1 stopped, 2 disk full.
ExitCode exitCodeFor(engine::RunResult result);

// The text of the end-of-run box for `result`.
std::string_view outcomeText(engine::RunResult result);

// One JSON object: "result" and every counter under its own name.
std::string resultJson(engine::RunResult result, const engine::StatisticsSnapshot& statistics);

} // namespace tavrel::cli
