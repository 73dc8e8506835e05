// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_command.h"
#include "cli/exit_codes.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

using namespace tavrel::cli;

int main(int argc, char** argv)
{
    const std::vector<std::string_view> arguments(argv + std::min(argc, 1), argv + argc);
    if (arguments.empty())
        return toStatus(usageError("no command given"));

    const std::string_view first = arguments.front();
    if (first == "--help" || first == "-h") {
        printUsage(stdout);
        return toStatus(ExitCode::Succeeded);
    }
    if (first == "--version") {
        std::puts("tavrel-sync-cli " TAVREL_VERSION);
        return toStatus(ExitCode::Succeeded);
    }
    for (const CliCommand& command : cliCommands()) {
        if (command.name == first)
            return toStatus(command.run(std::span(arguments).subspan(1)));
    }
    return toStatus(usageError("unknown command: " + std::string(first)));
}
