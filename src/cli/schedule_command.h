// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/exit_codes.h"

#include <span>
#include <string_view>

namespace tavrel::cli {

// `schedule JOB.TSP --daily HH:MM | --hourly | --every DURATION | --on-login | --remove`,
// `schedule --list`: writes, enables and removes the systemd user units that run a job
// (schedule/user_units.h does the work; this is its command line and its messages).
ExitCode runSchedule(std::span<const std::string_view> arguments);

} // namespace tavrel::cli
