// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace tavrel::engine {

enum class Direction : int32_t
{
    OrgToTgt = 0, // the source is on the ORG side
    TgtToOrg = 1, // the source is on the TGT side (Synchronize only)
};

// One folder to process. Both folders are byte paths ending with "/".
struct FolderTask
{
    std::string sourceFolder;
    std::string targetFolder;
    Direction direction = Direction::OrgToTgt;
    // A pair's root (either direction): its folders are the user's own and may be links.
    bool isRoot = false;
    // Whether the task's subfolders are queued after it: a run of what changed handles a
    // changed folder's own entries only.
    bool walksSubfolders = true;
};

// The root task of a pair from its ORG and TGT folders (UTF-8 bytes).
FolderTask MakeRootTask(std::string_view orgFolder, std::string_view tgtFolder);

// The task of subfolder `name` of `task`, in the task's own direction.
FolderTask MakeSubfolderTask(const FolderTask& task, std::string_view name);

// The first-in first-out queue through which one pair's tree is walked breadth first.
class TaskQueue final
{
public:
    void push(FolderTask task) { m_tasks.push_back(std::move(task)); }
    // The front task, handed over to the caller; nothing when the queue is empty.
    std::optional<FolderTask> pop();
    bool empty() const { return m_tasks.empty(); }
    std::size_t size() const { return m_tasks.size(); }

private:
    std::deque<FolderTask> m_tasks;
};

} // namespace tavrel::engine
