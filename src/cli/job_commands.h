// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/exit_codes.h"

#include <span>
#include <string_view>

namespace tavrel::cli {

// `new JOB.TSP --pair NAME METHOD ORG TGT [PAIR OPTIONS]... [--force]`: writes a project file
// holding the pairs given, checked as the pair dialog checks them.
ExitCode runNew(std::span<const std::string_view> arguments);

// `edit JOB.TSP ACTION...`: adds, changes, enables, disables or removes pairs of a project
// file. All actions are checked before the file is written, once, through the atomic save.
ExitCode runEdit(std::span<const std::string_view> arguments);

} // namespace tavrel::cli
