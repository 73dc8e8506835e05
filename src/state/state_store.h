// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/pair_extras.h"

#include <filesystem>
#include <system_error>

namespace tavrel::state {

// Where remembered states live: the user's data folder's state/ (XDG_DATA_HOME), one file per
// pair id, so a pair keeps its state when it is renamed, moved to another slot or its job
// file is copied, and two pairs never share one.
std::filesystem::path stateFolder();

// The state file of `id`: stateFolder()/<32 hex digits>.state.
std::filesystem::path stateFileOf(const model::PairId& id);

// Makes the state folder (private to the user) when missing, before a writer opens a file,
// and removes temporaries of writes that died more than an hour ago.
std::error_code prepareStateFolder();

enum class ForgetOutcome
{
    Removed,
    NothingToForget, // no state kept for the id
    Failed,          // the system refused; see the error
};

// Removes the remembered state of `id`: the pair's next run is a first run again.
ForgetOutcome forgetState(const model::PairId& id, std::error_code& error);

} // namespace tavrel::state
