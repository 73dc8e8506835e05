// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/state_store.h"

#include "platform/app_paths.h"
#include "platform/staged_file.h"

namespace tavrel::state {

std::filesystem::path stateFolder()
{
    return platform::userDataFolder() / "state";
}

std::filesystem::path stateFileOf(const model::PairId& id)
{
    return stateFolder() / (model::pairIdText(id) + ".state");
}

std::error_code prepareStateFolder()
{
    const std::error_code error = platform::makePrivateFolders(stateFolder());
    // A run that died while writing its state left a temporary; an hour is far beyond any write.
    if (!error)
        platform::removeStaleStagedFiles(stateFolder(), std::chrono::hours(1));
    return error;
}

ForgetOutcome forgetState(const model::PairId& id, std::error_code& error)
{
    error = platform::removeFile(stateFileOf(id));
    if (!error)
        return ForgetOutcome::Removed;
    if (error == std::errc::no_such_file_or_directory) {
        error.clear();
        return ForgetOutcome::NothingToForget;
    }
    return ForgetOutcome::Failed;
}

} // namespace tavrel::state
