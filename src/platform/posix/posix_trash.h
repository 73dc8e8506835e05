// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/file_system.h"
#include "platform/posix/posix_io.h"

#include <string>

namespace tavrel::platform::posix {

// Moves a file, a link or a folder tree to the user's freedesktop.org trash: the home trash
// for items on the home file system, $topdir/.Trash/$uid or $topdir/.Trash-$uid on another
// one. The trash folder is made (or found) and the record written before anything moves; the
// move is one rename, so nothing is deleted when it fails (Other): there is no fall-back to
// removal. The item is `name` in the folder open as `folder`; a folder of `foreign` is never
// moved (Overlap).
FsError moveToTrashAt(int folder, const std::string& name, const ForeignFolders& foreign = {});

} // namespace tavrel::platform::posix
