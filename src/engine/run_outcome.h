// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run_state.h"

#include <cstdint>
#include <string>

namespace tavrel::engine {

// How a run ended, as both front ends tell the user: the engine's end result, with a run
// that went to its end but logged errors told apart from one that succeeded.
enum class RunOutcome
{
    Succeeded,
    CompletedWithErrors,
    Stopped,
    DiskFull,
    Unknown, // an end result this program does not know
};

// A stop or a full disk says more than the errors logged before it, so only a run that went
// to its end becomes CompletedWithErrors.
RunOutcome outcomeOf(RunResult result, int32_t errors);

// The outcome as one word for scripts and the run history: "succeeded",
// "completed_with_errors", "disk_full" or "stopped".
const char* outcomeName(RunOutcome outcome);

// The text of the end-of-run box and the runner's last line: "Process succeeded.",
// "Process completed with 3 errors." and so on.
std::string outcomeText(RunOutcome outcome, int32_t errors);

// The same for a preview run: "Preview: " and the outcome's text with its first letter in
// lower case ("Preview: process succeeded.", "Preview: process completed with 3 errors.").
std::string previewOutcomeText(RunOutcome outcome, int32_t errors);

} // namespace tavrel::engine
