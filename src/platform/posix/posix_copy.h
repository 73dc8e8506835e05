// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/file_system.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <limits>
#include <string>

namespace tavrel::platform::posix {

enum class CopyMode
{
    CreateOnly, // publish without replacing anything, Exists when the name is taken
    Overwrite,  // publish over an existing file or link, never over a folder
};

// A name inside a folder open as `folder` (a descriptor for *at calls).
struct Place
{
    int folder;
    std::string name;
};

// Metadata a volume refused while the content was copied and kept (FAT refuses permission bits
// and lengths, some network mounts a link's times).
struct CopyNotes
{
    bool permissionsRefused = false;
    bool timesRefused = false;
    bool ownerRefused = false;
    bool kernelCopyUnsupported = false;   // the kernel could not copy between these volumes
    bool unnamedFilesUnsupported = false; // the target's volume cannot make or link an O_TMPFILE
};

// What the target's volume needs of a copy.
struct CopyOptions
{
    // Set the times again under the final name: some volumes (FAT through FUSE) give a
    // renamed file the time of the rename.
    bool retimeAfterPublish = false;
    // The span of last-write times (100 ns units) the volume stores; a time outside it is set
    // as the nearest end, which compares as equal later, instead of what the volume would make
    // of it (exFAT clamps, FAT through FUSE wraps 1975 round to 2103).
    int64_t timeMin = std::numeric_limits<int64_t>::min();
    int64_t timeMax = std::numeric_limits<int64_t>::max();
    // An overwrite moves the file it replaces to the trash (the copy fails, keeping the old
    // file, when there is no trash to be had).
    bool trashReplaced = false;
    // Try the kernel's copy first; a caller that saw it fail between the same volumes skips it.
    bool tryKernelCopy = true;
    // A new file is written as an unnamed file of the target's volume (O_TMPFILE) and linked
    // under its name once whole; a caller that saw the volume refuse that skips it.
    bool tryUnnamedFile = true;
    // The caller has just seen the target missing: a create-only copy does not stat it again.
    bool targetKnownAbsent = false;
    // The longest file the target's volume holds; a longer source is refused (TooLarge) before
    // anything is written.
    uint64_t maxFileSize = std::numeric_limits<uint64_t>::max();

    timespec fit(const timespec& time) const;
};

// Copies the regular file or link `source` to `target`, each a name in a folder handle, as
// copyItem below does. Nothing is resolved through a path: a folder swapped for a link after
// its handle was opened is never followed. Refused metadata is noted in `notes`.
FsError copyItemAt(const Place& source, const Place& target, CopyMode mode, const FileStamp* expected,
                   const std::atomic<int32_t>* stopRequested = nullptr, CopyNotes* notes = nullptr,
                   const CopyOptions& options = {});

// Copies a regular file (content, permission bits, nanosecond times) or a link (its text and
// times) to a temporary file beside `target`, then renames it to `target`; a new regular file
// where the volume allows it to an unnamed file that is linked as `target` once complete. A
// failure removes the temporary file and leaves whatever was at `target` untouched. With `expected`, an
// overwrite is refused (Other) when the target's stamp no longer matches it. With
// `stopRequested`, a copy that finds it non-zero between two chunks gives up (Stopped).
FsError copyItem(const std::string& source, const std::string& target, CopyMode mode,
                 const FileStamp* expected, const std::atomic<int32_t>* stopRequested = nullptr,
                 const CopyOptions& options = {});

} // namespace tavrel::platform::posix
