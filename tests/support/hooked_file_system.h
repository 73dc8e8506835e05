// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/file_system.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tavrel::test {

// Forwards every call to a real file system, with hooks that let a test change the world
// between the engine's scan and its next step, or alter what a listing shows. A view confined
// to a pair's roots is hooked the same way, with the same hooks.
class HookedFileSystem final : public platform::FileSystem
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
        : m_inner(inner), m_hooks(std::make_shared<Hooks>()), beforeCopy(m_hooks->beforeCopy),
          afterList(m_hooks->afterList), beforeList(m_hooks->beforeList),
          beforeCreateFolder(m_hooks->beforeCreateFolder), beforeDelete(m_hooks->beforeDelete)
    {}

private:
    HookedFileSystem(std::unique_ptr<platform::FileSystem> view, std::shared_ptr<Hooks> hooks)
        : m_owned(std::move(view)), m_inner(*m_owned), m_hooks(std::move(hooks)),
          beforeCopy(m_hooks->beforeCopy), afterList(m_hooks->afterList), beforeList(m_hooks->beforeList),
          beforeCreateFolder(m_hooks->beforeCreateFolder), beforeDelete(m_hooks->beforeDelete)
    {}

    std::unique_ptr<platform::FileSystem> m_owned; // the confined view this one hooks
    platform::FileSystem& m_inner;
    std::shared_ptr<Hooks> m_hooks;

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
        const platform::FsError result = m_inner.listFolder(folder, entries);
        if (result == platform::FsError::Ok && afterList)
            afterList(folder, entries);
        return result;
    }
    platform::FsError createFolder(const std::string& folder, const std::string& ownerFrom = {}) override
    {
        if (beforeCreateFolder)
            beforeCreateFolder(folder);
        return m_inner.createFolder(folder, ownerFrom);
    }
    platform::FsError readStamp(const std::string& path, platform::FileStamp& stamp) override
    {
        return m_inner.readStamp(path, stamp);
    }
    platform::FsError copyCreateOnly(const std::string& source, const std::string& target,
                                     const std::atomic<int32_t>* stopRequested = nullptr) override
    {
        if (beforeCopy)
            beforeCopy(source, target);
        return m_inner.copyCreateOnly(source, target, stopRequested);
    }
    platform::FsError copyOverwrite(const std::string& source, const std::string& target,
                                    const platform::FileStamp* expected = nullptr,
                                    const std::atomic<int32_t>* stopRequested = nullptr) override
    {
        if (beforeCopy)
            beforeCopy(source, target);
        return m_inner.copyOverwrite(source, target, expected, stopRequested);
    }
    platform::FsError copyOverwriteKeepingOld(const std::string& source, const std::string& target,
                                              const platform::FileStamp* expected = nullptr,
                                              const std::atomic<int32_t>* stopRequested = nullptr) override
    {
        if (beforeCopy)
            beforeCopy(source, target);
        return m_inner.copyOverwriteKeepingOld(source, target, expected, stopRequested);
    }
    platform::FsError makeNormal(const std::string& path) override { return m_inner.makeNormal(path); }
    std::unique_ptr<platform::FileReader> openForReading(const std::string& path,
                                                         platform::FsError& error) override
    {
        return m_inner.openForReading(path, error);
    }
    platform::FsError deleteItem(const std::string& path, bool toTrash) override
    {
        if (beforeDelete)
            beforeDelete(path);
        return m_inner.deleteItem(path, toTrash);
    }
    platform::FsError realFolder(const std::string& folder, std::string& real) override
    {
        return m_inner.realFolder(folder, real);
    }
    void removeStaleTemporaries(const std::string& folder) override
    {
        m_inner.removeStaleTemporaries(folder);
    }
    std::unique_ptr<platform::FolderLock> lockFolder(const std::string& folder,
                                                     platform::FsError& error) override
    {
        return m_inner.lockFolder(folder, error);
    }
    platform::FsError readLink(const std::string& path, std::string& text) override
    {
        return m_inner.readLink(path, text);
    }
    platform::VolumeTraits probeVolume(const std::string& folder,
                                       const platform::VolumeTraits* known) override
    {
        return m_inner.probeVolume(folder, known);
    }
    uint64_t volumeOf(const std::string& folder) override { return m_inner.volumeOf(folder); }
    platform::FsError sameFolder(const std::string& a, const std::string& b, bool& same) override
    {
        return m_inner.sameFolder(a, b, same);
    }
    platform::MetadataRefusals refusedMetadata() const override { return m_inner.refusedMetadata(); }
    std::unique_ptr<platform::FileSystem> confineTo(const std::vector<std::string>& roots,
                                                    platform::FsError& error) override
    {
        std::unique_ptr<platform::FileSystem> view = m_inner.confineTo(roots, error);
        if (!view)
            return nullptr;
        return std::unique_ptr<platform::FileSystem>(new HookedFileSystem(std::move(view), m_hooks));
    }
};

} // namespace tavrel::test
