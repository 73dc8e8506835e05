// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/exit_codes.h"

#include <span>
#include <string_view>

namespace tavrel::cli {

// `watch JOB.TSP [--delay SECONDS] [--full-every HOURS] [--poll SECONDS] [--json]`: runs the job,
// then watches both roots of every enabled pair and runs again, over the folders that changed
// only, once the trees have been quiet for the delay (at the latest after six delays of steady
// change). The whole job runs every --full-every hours and after the kernel lost events. Roots
// on volumes that do not notify (FUSE, NFS, SMB) and trees over the watch limit are polled; a
// pair with a missing root waits until it is back. One line per run on stdout (one JSON object
// with --json). SIGINT, SIGTERM and SIGHUP stop the current run and end the watch; the exit
// status is that of the last run, 0 before any.
ExitCode runWatch(std::span<const std::string_view> arguments);

} // namespace tavrel::cli
