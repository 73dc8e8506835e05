// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/arguments.h"
#include "model/folder_pair.h"
#include "model/job.h"

#include <span>
#include <string>
#include <string_view>

namespace tavrel::cli {

// The pair options of `new` and `edit`, for their help texts.
extern const std::string_view kPairOptionsHelp;

// A pair from "--pair NAME METHOD ORG TGT", starting as the window's Add Pair makes it: all
// files and folders included, subfolders on, deleted files to the trash. Each value is checked
// as the pair dialog checks it; a bad one throws a UsageError naming `option`.
model::FolderPair pairFromArguments(std::string_view option, std::span<const std::string_view> values);

// Applies the reader's current option to `pair` when it is a pair option (taking its value),
// and tells whether it was one. A bad value throws a UsageError naming the option.
bool applyPairOption(ArgumentReader& reader, model::FolderPair& pair);

// Whether `option` is one that applyPairOption takes.
bool isPairOption(std::string_view option);

// The checks of the whole pair, once all its options are in: the pair dialog's checks
// (model::checkPair), worded for the command line. `action` ("--pair Docs") names what is
// refused.
void checkWholePair(const model::FolderPair& pair, std::string_view action);

// Gives the pair its id once it has an option of the extension block (kept from then on).
void settlePair(model::FolderPair& pair);

// The slot of the pair that `pair` names: a slot number as `show` prints it, or else a pair's
// name. Throws a UsageError naming `option` when no pair, or more than one, fits.
int findPair(const model::Job& job, std::string_view option, std::string_view pair);

} // namespace tavrel::cli
