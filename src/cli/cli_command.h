#pragma once

#include "cli/exit_codes.h"

#include <cstdio>
#include <span>
#include <string_view>

namespace tavrel::cli {

// One subcommand: its name, its arguments as the usage text shows them, and its entry point,
// which gets the arguments after the name.
struct CliCommand
{
    std::string_view name;
    std::string_view arguments;
    ExitCode (*run)(std::span<const std::string_view> arguments);
};

// Every subcommand, in the order the usage text lists them.
std::span<const CliCommand> cliCommands();

// The usage text, listing every subcommand.
void printUsage(std::FILE* stream);

// Prints the usage text on stderr after a short reason, and gives the usage exit code.
ExitCode usageError(std::string_view reason);

} // namespace tavrel::cli
