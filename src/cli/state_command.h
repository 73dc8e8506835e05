// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/exit_codes.h"

#include <span>
#include <string_view>

namespace tavrel::cli {

// `state forget JOB.TSP PAIR`: removes what a remembering Synchronize pair knows of its last
// run, so its next run is a first run again (copies both ways, deletes nothing). Says on
// stdout whether there was anything to forget; a removal the system refuses exits CannotSave.
ExitCode runState(std::span<const std::string_view> arguments);

} // namespace tavrel::cli
