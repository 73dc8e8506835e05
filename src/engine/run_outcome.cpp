// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run_outcome.h"

#include "text/text_codec.h"

namespace tavrel::engine {

RunOutcome outcomeOf(RunResult result, int32_t errors)
{
    switch (result) {
    case RunResult::Succeeded:
        return errors > 0 ? RunOutcome::CompletedWithErrors : RunOutcome::Succeeded;
    case RunResult::Stopped:
        return RunOutcome::Stopped;
    case RunResult::DiskFull:
        return RunOutcome::DiskFull;
    }
    return RunOutcome::Unknown;
}

const char* outcomeName(RunOutcome outcome)
{
    return outcome == RunOutcome::Succeeded             ? "succeeded"
           : outcome == RunOutcome::CompletedWithErrors ? "completed_with_errors"
           : outcome == RunOutcome::DiskFull            ? "disk_full"
                                                        : "stopped";
}

std::string outcomeText(RunOutcome outcome, int32_t errors)
{
    switch (outcome) {
    case RunOutcome::Succeeded:
        return "Process succeeded.";
    case RunOutcome::CompletedWithErrors:
        return "Process completed with " + std::to_string(errors) + (errors == 1 ? " error." : " errors.");
    case RunOutcome::Stopped:
        return "Process was stoped by user.";
    case RunOutcome::DiskFull:
        return "Not enough disk space to perform this operation.";
    case RunOutcome::Unknown:
        break;
    }
    return "Unknown error occured.";
}

std::string previewOutcomeText(RunOutcome outcome, int32_t errors)
{
    std::string text = outcomeText(outcome, errors);
    // Every outcome text begins with an ASCII capital.
    if (!text.empty())
        text.front() = text::lowerAscii(text.front());
    return "Preview: " + text;
}

} // namespace tavrel::engine
