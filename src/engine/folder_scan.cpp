// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/folder_scan.h"

#include "engine/run_progress.h"
#include "platform/path_text.h"
#include "text/text_codec.h"
#include "text/wildcard.h"

#include <algorithm>
#include <deque>

namespace tavrel::engine {

namespace {

using platform::DirEntry;
using platform::EntryKind;
using platform::FsError;

std::vector<std::string> toBytes(const model::PatternList& list)
{
    std::vector<std::string> result;
    for (const std::u16string& item : list)
        result.push_back(text::toUtf8(item));
    return result;
}

bool isFileEntry(const DirEntry& entry)
{
    return entry.kind == EntryKind::File || entry.kind == EntryKind::Symlink;
}

// One read of the folder, sorted by name so that every run walks it in the same order.
// With `specialItems`, the FIFOs, sockets and devices the listing left out are counted there.
bool listSorted(platform::FileSystem& fs, const std::string& folder, std::vector<DirEntry>& entries,
                FsError* error = nullptr, bool kindsOnly = false, int32_t* specialItems = nullptr)
{
    entries.clear();
    // The reason a failure leaves is this listing's, never an earlier call's.
    platform::forgetLastFailure();
    int32_t specials = 0;
    const FsError listed = platform::pathTooLong(folder) ? FsError::Other
                           : kindsOnly                   ? fs.listKinds(folder, entries)
                           : specialItems != nullptr     ? fs.listFolderCounting(folder, entries, specials)
                                                         : fs.listFolder(folder, entries);
    if (specialItems != nullptr)
        *specialItems = specials;
    if (error != nullptr)
        *error = listed;
    if (listed != FsError::Ok) {
        entries.clear();
        return false;
    }
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return true;
}

// Whether a directory search with `pattern` would have started: it finds at least one item,
// counting the "." and ".." every listed folder holds.
bool searchStarts(const std::vector<DirEntry>& entries, const std::string& pattern)
{
    if (text::matchesPattern(".", pattern) || text::matchesPattern("..", pattern))
        return true;
    return std::any_of(entries.begin(), entries.end(),
                       [&](const DirEntry& entry) { return text::matchesPattern(entry.name, pattern); });
}

// The attribute bits an entry keeps: read-only, hidden and system, the three the pair's
// attribute modes act on. Any other bit a file system reports is dropped here.
constexpr uint32_t kEntryAttributes = platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem;

Entry fileEntry(const DirEntry& found)
{
    Entry entry;
    entry.name = found.name;
    entry.attributes = found.attributes & kEntryAttributes;
    entry.lastWriteTime = found.lastWriteTime;
    entry.size = found.size;
    entry.isLink = found.kind == EntryKind::Symlink;
    return entry;
}

Entry folderEntry(const DirEntry& found)
{
    Entry entry;
    entry.name = found.name;
    entry.attributes = found.attributes & kEntryAttributes;
    return entry;
}

// A mode outside the known three (from an edited project file) acts as Copy Only: the file
// stays listed, and an existing target with the attribute is never overwritten nor deleted.
// Guessing Involve or Ignore could destroy what the user meant to keep.
bool hasMode(model::AttributeMode mode, model::AttributeMode wanted)
{
    using model::AttributeMode;
    switch (mode) {
    case AttributeMode::Involve:
    case AttributeMode::CopyOnly:
    case AttributeMode::Ignore:
        return mode == wanted;
    }
    return wanted == AttributeMode::CopyOnly;
}

// The scan both sides share; `progress` is null for the target side.
void scanFolder(platform::FileSystem& fs, const std::string& folder, const PairFilters& filters,
                RunProgress* progress, const DebugLog& debugLog, ScanLists& lists, bool kindsOnly = false,
                std::vector<DirEntry>* listing = nullptr)
{
    lists.Clear();
    std::vector<DirEntry> own;
    std::vector<DirEntry>& entries = listing != nullptr ? *listing : own;
    // Only a source's special items are told of: they are what the run does not copy.
    lists.readable = listSorted(fs, folder, entries, &lists.listError, kindsOnly,
                                progress != nullptr ? &lists.specialItems : nullptr);
    if (!lists.readable)
        return;

    for (const std::string& pattern : filters.includeFiles) {
        for (const DirEntry& found : entries) {
            if (!isFileEntry(found) || !text::matchesPattern(found.name, pattern))
                continue;
            if (filters.ignores(found.attributes)) {
                if (progress)
                    progress->addSkipped(1);
                continue;
            }
            lists.files.Append(fileEntry(found));
        }
        if (progress && searchStarts(entries, pattern))
            progress->reportProgress();
    }

    for (const std::string& pattern : filters.excludeFiles) {
        for (const DirEntry& found : entries) {
            if (!isFileEntry(found) || !text::matchesPattern(found.name, pattern))
                continue;
            lists.excludedFiles.AppendName(found.name);
            if (progress)
                progress->addSkipped(1);
        }
        if (progress && searchStarts(entries, pattern))
            progress->reportProgress();
    }

    if (filters.includeSubfolders) {
        for (const std::string& pattern : filters.includeFolders)
            for (const DirEntry& found : entries)
                if (found.kind == EntryKind::Folder && text::matchesPattern(found.name, pattern))
                    lists.folders.Append(folderEntry(found));

        for (const std::string& pattern : filters.excludeFolders) {
            for (const DirEntry& found : entries) {
                if (found.kind != EntryKind::Folder || !text::matchesPattern(found.name, pattern))
                    continue;
                lists.excludedFolders.AppendName(found.name);
                if (progress) {
                    // The counting pass counted this subtree; skipping it keeps progress in step.
                    progress->addSkipped(CountFiles(fs, folder + found.name + "/", true, filters.includeFiles,
                                                    debugLog, progress->stopFlag()));
                    progress->reportProgress();
                }
            }
        }
    }

    Subtract(lists.files, lists.excludedFiles);
    if (filters.includeSubfolders)
        Subtract(lists.folders, lists.excludedFolders);
}

} // namespace

bool PairFilters::admitsFolder(std::string_view name) const
{
    if (!includeSubfolders)
        return false;
    const auto matches = [name](const std::string& pattern) { return text::matchesPattern(name, pattern); };
    return std::any_of(includeFolders.begin(), includeFolders.end(), matches) &&
           std::none_of(excludeFolders.begin(), excludeFolders.end(), matches);
}

PairFilters PairFilters::fromPair(const model::FolderPair& pair)
{
    PairFilters filters;
    filters.includeFiles = toBytes(pair.includeFiles);
    filters.excludeFiles = toBytes(pair.excludeFiles);
    filters.includeFolders = toBytes(pair.includeFolders);
    filters.excludeFolders = toBytes(pair.excludeFolders);
    filters.readOnlyMode = pair.readOnlyMode;
    filters.hiddenMode = pair.hiddenMode;
    filters.systemMode = pair.systemMode;
    filters.includeSubfolders = pair.includeSubfolders != 0;
    return filters;
}

bool PairFilters::ignores(uint32_t attributes) const
{
    using model::AttributeMode;
    return ((attributes & platform::kAttrReadOnly) && hasMode(readOnlyMode, AttributeMode::Ignore)) ||
           ((attributes & platform::kAttrHidden) && hasMode(hiddenMode, AttributeMode::Ignore)) ||
           ((attributes & platform::kAttrSystem) && hasMode(systemMode, AttributeMode::Ignore));
}

bool PairFilters::protects(uint32_t attributes) const
{
    using model::AttributeMode;
    return ((attributes & platform::kAttrReadOnly) && hasMode(readOnlyMode, AttributeMode::CopyOnly)) ||
           ((attributes & platform::kAttrHidden) && hasMode(hiddenMode, AttributeMode::CopyOnly)) ||
           ((attributes & platform::kAttrSystem) && hasMode(systemMode, AttributeMode::CopyOnly));
}

bool PairFilters::anyCopyOnly() const
{
    using model::AttributeMode;
    return hasMode(readOnlyMode, AttributeMode::CopyOnly) || hasMode(hiddenMode, AttributeMode::CopyOnly) ||
           hasMode(systemMode, AttributeMode::CopyOnly);
}

void ScanLists::Clear()
{
    files.Clear();
    excludedFiles.Clear();
    folders.Clear();
    excludedFolders.Clear();
    readable = false;
    listError = FsError::Ok;
    specialItems = 0;
}

void ScanSource(platform::FileSystem& fs, const FolderTask& task, const PairFilters& filters,
                RunProgress& progress, const DebugLog& debugLog, ScanLists& lists)
{
    scanFolder(fs, task.sourceFolder, filters, &progress, debugLog, lists);
}

void ScanTarget(platform::FileSystem& fs, const FolderTask& task, const PairFilters& filters,
                ScanLists& lists, bool kindsOnly, std::vector<platform::DirEntry>* listing)
{
    scanFolder(fs, task.targetFolder, filters, nullptr, {}, lists, kindsOnly, listing);
}

const platform::DirEntry* FindListed(const std::vector<platform::DirEntry>& listing, std::string_view name)
{
    const auto found =
        std::lower_bound(listing.begin(), listing.end(), name,
                         [](const DirEntry& entry, std::string_view wanted) { return entry.name < wanted; });
    return found != listing.end() && found->name == name ? &*found : nullptr;
}

int32_t CountFiles(platform::FileSystem& fs, std::string_view root, bool recurse,
                   const std::vector<std::string>& includePatterns, const DebugLog& debugLog,
                   const std::atomic<int32_t>* stopRequested, RootCheck* rootCheck)
{
    if (rootCheck != nullptr)
        *rootCheck = {};
    if (root.empty())
        return 0;
    const std::string rootFolder = platform::asFolder(std::string(root));
    std::vector<DirEntry> entries;
    // Lists `folder`; for the root, notes the outcome with the reason of this very listing.
    auto list = [&](const std::string& folder) {
        // A count needs names and kinds only.
        if (rootCheck == nullptr || folder != rootFolder)
            return listSorted(fs, folder, entries, nullptr, true);
        platform::forgetLastFailure();
        rootCheck->listed = listSorted(fs, folder, entries, nullptr, true);
        rootCheck->reason = rootCheck->listed ? std::string() : platform::lastFailureReason();
        return rootCheck->listed;
    };
    if (includePatterns.empty()) {
        if (rootCheck != nullptr)
            list(rootFolder);
        return 0;
    }
    int32_t total = 0;
    for (const std::string& pattern : includePatterns) {
        std::deque<std::string> queue{rootFolder};
        while (!queue.empty()) {
            if (stopRequested != nullptr && stopRequested->load() != 0)
                return total;
            const std::string folder = std::move(queue.front());
            queue.pop_front();
            // One listing serves both the "*" search and the pattern search of this folder.
            if (debugLog)
                debugLog(folder + "*");
            const bool listed = list(folder);
            if (listed && recurse)
                for (const DirEntry& found : entries)
                    if (found.kind == EntryKind::Folder && !platform::pathTooLong(folder + found.name + "/"))
                        queue.push_back(folder + found.name + "/");
            if (debugLog)
                debugLog(folder + pattern);
            for (const DirEntry& found : entries)
                if (isFileEntry(found) && text::matchesPattern(found.name, pattern))
                    ++total;
        }
    }
    return total;
}

} // namespace tavrel::engine
