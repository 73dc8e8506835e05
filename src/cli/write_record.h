// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/file_system.h"

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace tavrel::cli {

// The paths a run wrote: what a watcher of the trees must not take for the user's changes.
struct WrittenPaths
{
    std::unordered_set<std::string> made;    // files and folders created, replaced or changed
    std::unordered_set<std::string> removed; // items deleted, with all they held

    // Whether a change seen at `path` (no trailing "/") is the run's own.
    bool wrote(const std::string& path) const;
    void clear()
    {
        made.clear();
        removed.clear();
    }
};

// A file system that passes every call on to `inner` and notes in `written` each path it is
// asked to write. Its views (confineTo) note into the same record. The record is read once
// the run has ended, so it needs no lock.
std::unique_ptr<platform::FileSystem> recordWrites(platform::FileSystem& inner, WrittenPaths& written);

} // namespace tavrel::cli
