// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/file_system.h"
#include "platform/posix/posix_copy.h"

#include <string>

namespace tavrel::platform::posix {

// FileSystem::keepItem on names in folder handles: `source` is put at `destination` as that
// call says. `options` and `notes` serve the copy made where no rename or hard link can be.
FsError keepItemAt(const Place& source, const Place& destination, KeepMode mode,
                   const CopyOptions& options = {}, CopyNotes* notes = nullptr);

// FileSystem::removeEmptyFolder on the folder `name` in the folder open as `parent`.
FsError removeEmptyFolderAt(int parent, const std::string& name);

} // namespace tavrel::platform::posix
