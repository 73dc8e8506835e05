#pragma once

#include "platform/file_system.h"

#include <functional>
#include <string>
#include <vector>

namespace tavrel::test {

// Forwards every call to a real file system, with hooks that let a test change the world
// between the engine's scan and its next step, or alter what a listing shows.
class HookedFileSystem final : public platform::FileSystem
{
public:
    explicit HookedFileSystem(platform::FileSystem& inner) : m_inner(inner) {}

    // Runs before each copy (create-only or overwrite) with its source and target.
    std::function<void(const std::string& source, const std::string& target)> beforeCopy;
    // May change a successful listing of `folder` before the engine sees it.
    std::function<void(const std::string& folder, std::vector<platform::DirEntry>& entries)> afterList;

    platform::FsError listFolder(const std::string& folder, std::vector<platform::DirEntry>& entries) override
    {
        const platform::FsError result = m_inner.listFolder(folder, entries);
        if (result == platform::FsError::Ok && afterList)
            afterList(folder, entries);
        return result;
    }
    platform::FsError createFolder(const std::string& folder) override
    {
        return m_inner.createFolder(folder);
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
    platform::FsError makeNormal(const std::string& path) override { return m_inner.makeNormal(path); }
    std::unique_ptr<platform::FileReader> openForReading(const std::string& path,
                                                         platform::FsError& error) override
    {
        return m_inner.openForReading(path, error);
    }
    platform::FsError deleteItem(const std::string& path, bool toTrash) override
    {
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

private:
    platform::FileSystem& m_inner;
};

} // namespace tavrel::test
