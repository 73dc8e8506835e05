// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/state_command.h"

#include "cli/arguments.h"
#include "cli/cli_command.h"
#include "cli/pair_options.h"
#include "cli/terminal_text.h"
#include "model/job.h"
#include "state/state_store.h"
#include "text/text_codec.h"

#include <cstdio>
#include <string>
#include <vector>

namespace tavrel::cli {

ExitCode runState(std::span<const std::string_view> arguments)
{
    std::vector<std::string_view> operands;
    try {
        ArgumentReader reader(arguments);
        while (reader.next()) {
            if (reader.isOption() && (reader.current() == "--help" || reader.current() == "-h"))
                return printCommandHelp("state");
            if (reader.isOption())
                throw UsageError("unknown option " + quoteArgument(reader.current()));
            operands.push_back(reader.current());
        }
        if (operands.empty())
            throw UsageError("no action given (forget)");
        if (operands[0] != "forget")
            throw UsageError("unknown action " + quoteArgument(operands[0]) + " (forget)");
        if (operands.size() != 3)
            throw UsageError("forget needs JOB.TSP PAIR");
    } catch (const UsageError& error) {
        return usageError(std::string("state: ") + error.what());
    }

    model::Job job;
    if (!openJobFile(job, operands[1]))
        return ExitCode::ProjectRefused;
    int slot = 0;
    try {
        slot = findPair(job, "forget", operands[2]);
    } catch (const UsageError& error) {
        return usageError(std::string("state: ") + error.what());
    }
    const model::FolderPair& pair = *job.pairAt(slot);
    std::string named = "pair " + std::to_string(slot);
    if (!pair.name.empty())
        named += " (" + printableText(text::toUtf8(pair.name), Breaks::Escape) + ")";

    std::error_code error;
    const state::ForgetOutcome outcome = pair.extras.hasPairId()
                                             ? state::forgetState(pair.extras.pairId, error)
                                             : state::ForgetOutcome::NothingToForget;
    switch (outcome) {
    case state::ForgetOutcome::Removed:
        std::printf("Forgot the remembered state of %s; its next run is a first run.\n", named.c_str());
        return ExitCode::Succeeded;
    case state::ForgetOutcome::NothingToForget:
        std::printf("No remembered state for %s.\n", named.c_str());
        return ExitCode::Succeeded;
    case state::ForgetOutcome::Failed:
        break;
    }
    const std::string file = printableText(state::stateFileOf(pair.extras.pairId).string(), Breaks::Escape);
    std::fprintf(stderr, "tavrel-sync-cli: state: cannot remove %s: %s\n", file.c_str(),
                 error.message().c_str());
    return ExitCode::CannotSave;
}

} // namespace tavrel::cli
