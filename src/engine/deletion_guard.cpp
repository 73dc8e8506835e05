// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/deletion_guard.h"

#include "platform/path_text.h"

#include <deque>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tavrel::engine {

namespace {

// Files and links anywhere below `folder`; what cannot be listed counts nothing.
int64_t filesBelow(platform::FileSystem& fs, const std::string& folder)
{
    int64_t count = 0;
    std::deque<std::string> queue{folder};
    std::vector<platform::DirEntry> entries;
    while (!queue.empty()) {
        const std::string current = std::move(queue.front());
        queue.pop_front();
        if (platform::pathTooLong(current) || fs.listFolder(current, entries) != platform::FsError::Ok)
            continue;
        for (const platform::DirEntry& entry : entries) {
            if (entry.kind == platform::EntryKind::Folder)
                queue.push_back(current + entry.name + "/");
            else
                ++count;
        }
    }
    return count;
}

} // namespace

DeletionPlan PlanDeletions(platform::FileSystem& fs, const std::string& orgRoot, const std::string& tgtRoot,
                           const PairFilters& filters, const NameKey& key)
{
    DeletionPlan plan;
    std::deque<std::pair<std::string, std::string>> queue{{orgRoot, tgtRoot}};
    bool root = true;
    ScanLists source;
    ScanLists target;
    // Names and kinds are all the count needs unless a read-only rule has to see the bit.
    const bool kindsOnly = filters.readOnlyMode == model::AttributeMode::Involve;
    while (!queue.empty()) {
        const auto [org, tgt] = std::move(queue.front());
        queue.pop_front();
        ScanTarget(fs, FolderTask{{}, org, Direction::OrgToTgt, root}, filters, source, kindsOnly);
        ScanTarget(fs, FolderTask{{}, tgt, Direction::OrgToTgt, root}, filters, target, kindsOnly);
        if (root)
            plan.originalEmpty = source.readable && source.files.empty() && source.folders.empty();
        root = false;
        if (!target.readable)
            continue;
        plan.targetFiles += static_cast<int64_t>(target.files.size());
        if (!source.readable) {
            for (const Entry& folder : target.folders)
                plan.targetFiles += filesBelow(fs, tgt + folder.name + "/");
            continue; // an unreadable source deletes nothing
        }
        // The same matching as the deletion phase: each source name takes one target name.
        EntryList doomedFiles = target.files;
        Subtract(doomedFiles, source.files, key);
        for (const Entry& file : doomedFiles)
            if (!filters.protects(file.attributes))
                ++plan.doomedFiles;
        if (!filters.includeSubfolders)
            continue;
        EntryList doomedFolders = target.folders;
        Subtract(doomedFolders, source.folders, key);
        for (const Entry& folder : doomedFolders) {
            const int64_t inside = filesBelow(fs, tgt + folder.name + "/");
            plan.targetFiles += inside;
            plan.doomedFiles += inside;
        }
        // The folders both sides have are walked on, each with the source's own spelling of it.
        std::unordered_map<std::string, const std::string*> sourceNames;
        for (const Entry& folder : source.folders)
            sourceNames.emplace(key ? key(folder.name) : folder.name, &folder.name);
        for (const Entry& folder : target.folders) {
            const auto found = sourceNames.find(key ? key(folder.name) : folder.name);
            if (found != sourceNames.end())
                queue.emplace_back(org + *found->second + "/", tgt + folder.name + "/");
        }
    }
    return plan;
}

bool IsMassDeletion(const DeletionPlan& plan)
{
    if (plan.doomedFiles == 0)
        return false;
    if (plan.originalEmpty && plan.targetFiles > 0)
        return true;
    return plan.doomedFiles > 10 && plan.doomedFiles * 2 > plan.targetFiles;
}

std::string MassDeletionStatement(const std::string& pairName, const DeletionPlan& plan,
                                  const std::string& tgtRoot)
{
    return "Absolute Copy of pair " + pairName + " would delete " + std::to_string(plan.doomedFiles) +
           " of " + std::to_string(plan.targetFiles) + " files in " + tgtRoot + ".";
}

} // namespace tavrel::engine
