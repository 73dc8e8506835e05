// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

namespace tavrel::platform {

// The folder of the running executable (from /proc/self/exe), or an empty path when it
// cannot be read.
std::filesystem::path programFolder();

// The user's data folder for this program: $XDG_DATA_HOME/tavrel-sync, else
// ~/.local/share/tavrel-sync. Not created here.
std::filesystem::path userDataFolder();

// Whether a file can be created in `folder` (checked with access(W_OK|X_OK)).
bool isFolderWritable(const std::filesystem::path& folder);

} // namespace tavrel::platform
