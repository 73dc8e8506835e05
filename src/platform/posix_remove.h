#pragma once

#include "platform/file_system.h"

#include <string>

namespace tavrel::platform::posix {

// Removes a file, a link or a folder tree for good. Links are removed as links, never
// followed. The walk stops at the first item it cannot remove and returns that error, so
// what is left is exactly what could not go, plus what was not reached.
FsError removeOutright(const std::string& path);

} // namespace tavrel::platform::posix
