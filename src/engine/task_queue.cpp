// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/task_queue.h"

#include "platform/path_text.h"

namespace tavrel::engine {

FolderTask MakeRootTask(std::string_view orgFolder, std::string_view tgtFolder)
{
    return {platform::asFolder(std::string(orgFolder)), platform::asFolder(std::string(tgtFolder)),
            Direction::OrgToTgt, true};
}

FolderTask MakeSubfolderTask(const FolderTask& task, std::string_view name)
{
    FolderTask sub;
    sub.sourceFolder = task.sourceFolder;
    sub.sourceFolder.append(name).push_back('/');
    sub.targetFolder = task.targetFolder;
    sub.targetFolder.append(name).push_back('/');
    sub.direction = task.direction;
    return sub;
}

std::optional<FolderTask> TaskQueue::pop()
{
    if (m_tasks.empty())
        return std::nullopt;
    FolderTask task = std::move(m_tasks.front());
    m_tasks.pop_front();
    return task;
}

} // namespace tavrel::engine
