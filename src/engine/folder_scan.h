// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/debug_log.h"
#include "engine/entry_list.h"
#include "engine/task_queue.h"
#include "model/folder_pair.h"
#include "platform/file_system.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::engine {

class RunProgress;

// A pair's filters with its patterns turned into bytes once, for every task of the pair.
struct PairFilters
{
    std::vector<std::string> includeFiles;
    std::vector<std::string> excludeFiles;
    std::vector<std::string> includeFolders;
    std::vector<std::string> excludeFolders;
    model::AttributeMode readOnlyMode = model::AttributeMode::Involve;
    model::AttributeMode hiddenMode = model::AttributeMode::Involve;
    model::AttributeMode systemMode = model::AttributeMode::Involve;
    bool includeSubfolders = false;

    static PairFilters fromPair(const model::FolderPair& pair);

    // Whether an Ignore mode leaves out a file with these attribute bits.
    bool ignores(uint32_t attributes) const;
    // Whether a Copy Only mode protects an existing item with these attribute bits.
    bool protects(uint32_t attributes) const;
    bool anyCopyOnly() const;
    // Whether a scan of its parent lets the subfolder `name` through (the folder patterns).
    bool admitsFolder(std::string_view name) const;
};

// What one scan of a folder lets through.
struct ScanLists
{
    EntryList files;           // with attributes, time and size
    EntryList excludedFiles;   // names only
    EntryList folders;         // names and attributes (the latter for Copy Only protection)
    EntryList excludedFolders; // names only
    bool readable = false;     // the folder could be listed
    platform::FsError listError = platform::FsError::Ok; // why it could not
    int32_t specialItems = 0; // FIFOs, sockets and devices in a source folder: never listed

    void Clear();
};

// Fills `lists` from the task's source folder: included files (attribute Ignore rules
// applied), excluded files, and with subfolders the included and excluded folders, then the
// exclusions subtracted. Adds to skippedFiles and reports progress as it goes.
void ScanSource(platform::FileSystem& fs, const FolderTask& task, const PairFilters& filters,
                RunProgress& progress, const DebugLog& debugLog, ScanLists& lists);

// The same lists from the task's target folder, without counting or progress. With
// `kindsOnly`, entries carry names, kinds and the hidden bit only (no stat per item): for
// callers whose filters look at no other attribute.
// With `listing`, the folder's whole listing (sorted by name, before any filter) is kept there.
void ScanTarget(platform::FileSystem& fs, const FolderTask& task, const PairFilters& filters,
                ScanLists& lists, bool kindsOnly = false, std::vector<platform::DirEntry>* listing = nullptr);

// The item of a sorted listing with exactly this name, or null.
const platform::DirEntry* FindListed(const std::vector<platform::DirEntry>& listing, std::string_view name);

// The counting walk: for each include pattern, every folder from `root` breadth first
// (every subfolder when `recurse`), counting the file entries the pattern finds. Applies no
// exclusion and no attribute mode. A missing root counts 0. With `stopRequested`, the walk
// ends early, with what it counted so far, once that flag is non-zero; the caller tells.
// With `rootCheck`, says whether `root` could be listed and the system's reason when not; the
// root is listed even when there is no pattern, so a missing root is found whatever the pair
// counts. Not meaningful after a stop. An empty root is left to the pair's own check.
struct RootCheck
{
    bool listed = true;
    std::string reason;
};
int32_t CountFiles(platform::FileSystem& fs, std::string_view root, bool recurse,
                   const std::vector<std::string>& includePatterns, const DebugLog& debugLog,
                   const std::atomic<int32_t>* stopRequested = nullptr, RootCheck* rootCheck = nullptr);

} // namespace tavrel::engine
