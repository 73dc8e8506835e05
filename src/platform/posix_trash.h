#pragma once

#include "platform/file_system.h"

#include <functional>
#include <string>

namespace tavrel::platform::posix {

// Moves `item` (an absolute path) into a trash; true with the item's new path in `pathInTrash`.
using TrashMover = std::function<bool(const std::string& item, std::string& pathInTrash)>;

// Moves a file, a link or a folder tree to the user's freedesktop.org trash: the home trash
// for items on the home file system, $topdir/.Trash/$uid or $topdir/.Trash-$uid on another
// one. The trash folder is made (or found) before anything moves, and an item the mover put
// anywhere else is moved back. Nothing is deleted when that fails (Other): there is no
// fall-back to removal. `mover` defaults to Qt's trash; tests pass their own.
FsError moveToTrash(const std::string& path, const TrashMover& mover = {});

} // namespace tavrel::platform::posix
