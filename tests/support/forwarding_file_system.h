// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/file_system.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tavrel::test {

// Passes every call on to an inner file system, for test file systems that change a few calls
// and keep the rest real: they derive from this and override only those.
// Two calls stay with platform::FileSystem, so that a changed listing is never bypassed:
// listKinds lists through listFolder, and confineTo gives no view (the engine then makes every
// call through this object). A class that wants views wraps the inner one's view itself.
class ForwardingFileSystem : public platform::FileSystem
{
public:
    explicit ForwardingFileSystem(platform::FileSystem& inner) : m_inner(inner) {}

    platform::FsError listFolder(const std::string& folder, std::vector<platform::DirEntry>& entries) override
    {
        return m_inner.listFolder(folder, entries);
    }
    platform::FsError createFolder(const std::string& folder, const std::string& ownerFrom = {}) override
    {
        return m_inner.createFolder(folder, ownerFrom);
    }
    platform::FsError readStamp(const std::string& path, platform::FileStamp& stamp) override
    {
        return m_inner.readStamp(path, stamp);
    }
    platform::FsError copyCreateOnly(const std::string& source, const std::string& target,
                                     const std::atomic<int32_t>* stopRequested = nullptr) override
    {
        return m_inner.copyCreateOnly(source, target, stopRequested);
    }
    platform::FsError copyOverwrite(const std::string& source, const std::string& target,
                                    const platform::FileStamp* expected = nullptr,
                                    const std::atomic<int32_t>* stopRequested = nullptr) override
    {
        return m_inner.copyOverwrite(source, target, expected, stopRequested);
    }
    platform::FsError copyOverwriteKeepingOld(const std::string& source, const std::string& target,
                                              const platform::FileStamp* expected = nullptr,
                                              const std::atomic<int32_t>* stopRequested = nullptr) override
    {
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
        return m_inner.deleteItem(path, toTrash);
    }
    platform::FsError keepItem(const std::string& path, const std::string& destination,
                               platform::KeepMode mode) override
    {
        return m_inner.keepItem(path, destination, mode);
    }
    platform::FsError removeEmptyFolder(const std::string& path) override
    {
        return m_inner.removeEmptyFolder(path);
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
                                       const platform::VolumeTraits* known = nullptr) override
    {
        return m_inner.probeVolume(folder, known);
    }
    uint64_t volumeOf(const std::string& folder) override { return m_inner.volumeOf(folder); }
    bool liesOnVacantMountPoint(const std::string& folder) override
    {
        return m_inner.liesOnVacantMountPoint(folder);
    }
    platform::FsError sameFolder(const std::string& a, const std::string& b, bool& same) override
    {
        return m_inner.sameFolder(a, b, same);
    }
    platform::MetadataRefusals refusedMetadata() const override { return m_inner.refusedMetadata(); }

protected:
    // Forwards to `view`, a view the inner file system gave, and keeps it as long as this lives.
    explicit ForwardingFileSystem(std::unique_ptr<platform::FileSystem> view)
        : m_view(std::move(view)), m_inner(*m_view)
    {}

    platform::FileSystem& inner() const { return m_inner; }

private:
    std::unique_ptr<platform::FileSystem> m_view;
    platform::FileSystem& m_inner;
};

} // namespace tavrel::test
