#pragma once

#include "platform/file_system.h"

#include <string>

namespace tavrel::platform::posix {

enum class CopyMode
{
    CreateOnly, // publish without replacing anything, Exists when the name is taken
    Overwrite,  // publish over an existing file or link, never over a folder
};

// Copies a regular file (content, permission bits, nanosecond times) or a link (its text and
// times) to a temporary file beside `target`, then renames it to `target`. A failure removes
// the temporary file and leaves whatever was at `target` untouched. With `expected`, an
// overwrite is refused (Other) when the target's stamp no longer matches it.
FsError copyItem(const std::string& source, const std::string& target, CopyMode mode,
                 const FileStamp* expected);

} // namespace tavrel::platform::posix
