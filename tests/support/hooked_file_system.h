// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/forwarding_file_system.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tavrel::test {

// Forwards every call to a real file system, with hooks that let a test change the world
// between the engine's scan and its next step, or alter what a listing shows. A view confined
// to a pair's roots is hooked the same way, with the same hooks.
class HookedFileSystem final : public platform::ForwardingFileSystem
{
public:
    struct Hooks
    {
        // Runs before each copy (create-only or overwrite) with its source and target.
        std::function<void(const std::string& source, const std::string& target)> beforeCopy;
        // May change a successful listing of `folder` before the engine sees it.
        std::function<void(const std::string& folder, std::vector<platform::DirEntry>& entries)> afterList;
        // Runs before each listing, successful or not, with the folder about to be listed.
        std::function<void(const std::string& folder)> beforeList;
        // Runs before each folder creation and each delete with the path.
        std::function<void(const std::string& path)> beforeCreateFolder;
        std::function<void(const std::string& path)> beforeDelete;
    };

    explicit HookedFileSystem(platform::FileSystem& inner)
        : ForwardingFileSystem(inner), m_hooks(std::make_shared<Hooks>()), beforeCopy(m_hooks->beforeCopy),
          afterList(m_hooks->afterList), beforeList(m_hooks->beforeList),
          beforeCreateFolder(m_hooks->beforeCreateFolder), beforeDelete(m_hooks->beforeDelete)
    {}

private:
    HookedFileSystem(std::unique_ptr<platform::FileSystem> view, std::shared_ptr<Hooks> hooks)
        : ForwardingFileSystem(std::move(view)), m_hooks(std::move(hooks)), beforeCopy(m_hooks->beforeCopy),
          afterList(m_hooks->afterList), beforeList(m_hooks->beforeList),
          beforeCreateFolder(m_hooks->beforeCreateFolder), beforeDelete(m_hooks->beforeDelete)
    {}

    std::shared_ptr<Hooks> m_hooks; // shared with the views made from this one

public:
    decltype(Hooks::beforeCopy)& beforeCopy;
    decltype(Hooks::afterList)& afterList;
    decltype(Hooks::beforeList)& beforeList;
    decltype(Hooks::beforeCreateFolder)& beforeCreateFolder;
    decltype(Hooks::beforeDelete)& beforeDelete;

    platform::FsError listFolder(const std::string& folder, std::vector<platform::DirEntry>& entries) override
    {
        if (beforeList)
            beforeList(folder);
        const platform::FsError result = inner().listFolder(folder, entries);
        if (result == platform::FsError::Ok && afterList)
            afterList(folder, entries);
        return result;
    }
    platform::FsError createFolder(const std::string& folder, const std::string& ownerFrom = {}) override
    {
        if (beforeCreateFolder)
            beforeCreateFolder(folder);
        return inner().createFolder(folder, ownerFrom);
    }
    platform::FsError copy(const std::string& source, const std::string& target,
                           const platform::CopyRequest& request) override
    {
        if (beforeCopy)
            beforeCopy(source, target);
        return inner().copy(source, target, request);
    }
    platform::FsError deleteItem(const std::string& path, bool toTrash) override
    {
        if (beforeDelete)
            beforeDelete(path);
        return inner().deleteItem(path, toTrash);
    }
    std::unique_ptr<platform::FileSystem> confineTo(const std::vector<std::string>& roots,
                                                    platform::FsError& error) override
    {
        std::unique_ptr<platform::FileSystem> view = inner().confineTo(roots, error);
        if (!view)
            return nullptr;
        return std::unique_ptr<platform::FileSystem>(new HookedFileSystem(std::move(view), m_hooks));
    }
};

} // namespace tavrel::test
