// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/exit_codes.h"

#include <span>
#include <string_view>

namespace tavrel::cli {

// `history [JOB.TSP] [--open N]`: the kept runs newest first, numbered from 1, a line each
// (start time, outcome, errors, changes, job), only JOB's when one is named; with --open, only
// the path of run N's report, for a browser or a script.
ExitCode runHistory(std::span<const std::string_view> arguments);

} // namespace tavrel::cli
