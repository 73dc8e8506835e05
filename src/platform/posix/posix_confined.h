// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/file_system.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace tavrel::platform::posix {

// The view FileSystem::confineTo describes, over the real file system: each root is opened once
// (links in the root's own path followed, as the user chose it), and every folder below it is
// opened from its parent's handle with O_NOFOLLOW, checked to be a folder and not another root,
// and kept open while the pair works in it. Items are then reached by name in that handle, so
// a folder swapped for a link, or moved, after it was opened never redirects a call outside
// the pair. Leftover temporary files in a root this view holds locked are removed at once.
std::unique_ptr<FileSystem> makeConfinedFileSystem(FileSystem& byPath, const std::vector<std::string>& roots,
                                                   std::chrono::seconds staleTemporaryAge, FsError& error);

} // namespace tavrel::platform::posix
