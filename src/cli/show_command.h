// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/exit_codes.h"
#include "model/folder_pair.h"

#include <span>
#include <string>
#include <string_view>

namespace tavrel::cli {

// `show JOB.TSP`: prints every pair of a project file as the window's pair information
// panel shows it, one block per pair, headed by its slot number.
ExitCode runShow(std::span<const std::string_view> arguments);

// The block for one pair, lines ending in "\n".
std::string describePair(int slot, const model::FolderPair& pair);

} // namespace tavrel::cli
