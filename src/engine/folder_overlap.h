// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/file_system.h"

#include <string>

namespace tavrel::engine {

// The real folder of `folder` (every link resolved, ending with "/"). A folder that does not
// exist yet is resolved through its nearest existing parent, the rest appended as written
// ("." dropped, ".." taken back). Falls back to the text itself when nothing resolves.
std::string resolveFolder(platform::FileSystem& fs, const std::string& folder);

// Whether the two folders are the same or one lies inside the other, decided on their real
// folders: Absolute Copy with ORG inside TGT would otherwise delete ORG.
bool foldersOverlap(platform::FileSystem& fs, const std::string& org, const std::string& tgt);

} // namespace tavrel::engine
