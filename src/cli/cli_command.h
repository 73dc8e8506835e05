// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/exit_codes.h"
#include "model/job.h"

#include <cstdio>
#include <span>
#include <string_view>

namespace tavrel::cli {

// One subcommand: its name, its arguments as the usage text shows them (after a "\n" they go
// on in a line of their own, indented to where they begin), the rest of its `--help` text, and
// its entry point, which gets the arguments after the name.
struct CliCommand
{
    std::string_view name;
    std::string_view arguments;
    std::string_view help;
    ExitCode (*run)(std::span<const std::string_view> arguments);
};

// Every subcommand, in the order the usage text lists them.
std::span<const CliCommand> cliCommands();

// The usage text, listing every subcommand.
void printUsage(std::FILE* stream);

// Prints the reason and, on a second line, which --help to read (the command's, when the reason
// starts with "COMMAND: "); gives the usage exit code.
ExitCode usageError(std::string_view reason);

// `COMMAND --help`: its usage line and help text on stdout.
ExitCode printCommandHelp(std::string_view command);

// Opens a project file for a command. A refused file gets two lines on stderr, "Failed to
// open TSP file." and then the file with the reason ("job.TSP: no such file"); false then,
// with `job` emptied.
bool openJobFile(model::Job& job, std::string_view file);

} // namespace tavrel::cli
