// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/file_system.h"
#include "platform/posix/posix_io.h"

#include <string>

namespace tavrel::platform::posix {

// Removes a file, a link or a folder tree, `name` in the folder open as `folder`, for good.
// Links are removed as links, never followed. The walk stops at the first item it cannot remove
// and returns that error, so what is left is exactly what could not go, plus what was not
// reached. Subfolders are opened one by one without following links, so the walk never leaves
// the tree it started in; a folder of `foreign` (the pair's other root, met through a bind
// mount) is left whole: Overlap.
FsError removeOutrightAt(int folder, const std::string& name, const ForeignFolders& foreign = {});

} // namespace tavrel::platform::posix
