#include "cli/cli_command.h"
#include "cli/run_command.h"
#include "cli/show_command.h"

#include <array>

namespace tavrel::cli {
namespace {

// New subcommands are added here (and nowhere else in this folder besides their own file);
// the usage text follows the table.
constexpr std::array kCommands{
    CliCommand{"run", "JOB.TSP [--report FILE] [--json] [--no-progress] [--debug]", runRun},
    CliCommand{"show", "JOB.TSP", runShow},
};

} // namespace

std::span<const CliCommand> cliCommands()
{
    return kCommands;
}

void printUsage(std::FILE* stream)
{
    std::fputs("usage:\n", stream);
    for (const CliCommand& command : kCommands)
        std::fprintf(stream, "  tavrel-sync-cli %.*s %.*s\n", static_cast<int>(command.name.size()),
                     command.name.data(), static_cast<int>(command.arguments.size()),
                     command.arguments.data());
    std::fputs("  tavrel-sync-cli --help | --version\n", stream);
}

ExitCode usageError(std::string_view reason)
{
    std::fprintf(stderr, "tavrel-sync-cli: %.*s\n", static_cast<int>(reason.size()), reason.data());
    printUsage(stderr);
    return ExitCode::Usage;
}

} // namespace tavrel::cli
