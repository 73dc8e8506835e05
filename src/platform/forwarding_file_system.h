// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/file_system.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tavrel::platform {

// Passes every call on to an inner file system, for a file system that changes a few calls and
// keeps the rest (the preview, the watch's record of writes, the tests' faults): it derives from
// this and overrides only those. Three calls do not simply forward, so that a changed listing is
// never bypassed: listKinds and listFolderCounting list through this object's listFolder (no
// count of special items), and confineTo gives no view, since the inner one's view would
// bypass this object; a class that wants views wraps the inner one's view itself, and one
// that changes no listing forwards the two listings itself.
class ForwardingFileSystem : public FileSystem
{
public:
    explicit ForwardingFileSystem(FileSystem& inner) : m_inner(inner) {}

    FsError listFolder(const std::string& folder, std::vector<DirEntry>& entries) override
    {
        return m_inner.listFolder(folder, entries);
    }
    FsError listFolderCounting(const std::string& folder, std::vector<DirEntry>& entries,
                               int32_t& specialItems) override
    {
        specialItems = 0;
        return listFolder(folder, entries);
    }
    FsError listKinds(const std::string& folder, std::vector<DirEntry>& entries) override
    {
        return listFolder(folder, entries);
    }
    FsError createFolder(const std::string& folder, const std::string& ownerFrom = {}) override
    {
        return m_inner.createFolder(folder, ownerFrom);
    }
    FsError readStamp(const std::string& path, FileStamp& stamp) override
    {
        return m_inner.readStamp(path, stamp);
    }
    FsError copy(const std::string& source, const std::string& target, const CopyRequest& request) override
    {
        return m_inner.copy(source, target, request);
    }
    FsError makeNormal(const std::string& path) override { return m_inner.makeNormal(path); }
    std::unique_ptr<FileReader> openForReading(const std::string& path, FsError& error) override
    {
        return m_inner.openForReading(path, error);
    }
    FsError deleteItem(const std::string& path, bool toTrash) override
    {
        return m_inner.deleteItem(path, toTrash);
    }
    FsError keepItem(const std::string& path, const std::string& destination, KeepMode mode) override
    {
        return m_inner.keepItem(path, destination, mode);
    }
    FsError removeEmptyFolder(const std::string& path) override { return m_inner.removeEmptyFolder(path); }
    FsError realFolder(const std::string& folder, std::string& real) override
    {
        return m_inner.realFolder(folder, real);
    }
    void removeStaleTemporaries(const std::string& folder) override
    {
        m_inner.removeStaleTemporaries(folder);
    }
    std::unique_ptr<FolderLock> lockFolder(const std::string& folder, FsError& error) override
    {
        return m_inner.lockFolder(folder, error);
    }
    FsError readLink(const std::string& path, std::string& text) override
    {
        return m_inner.readLink(path, text);
    }
    VolumeTraits probeVolume(const std::string& folder, const VolumeTraits* known = nullptr) override
    {
        return m_inner.probeVolume(folder, known);
    }
    uint64_t volumeOf(const std::string& folder) override { return m_inner.volumeOf(folder); }
    bool liesOnVacantMountPoint(const std::string& folder) override
    {
        return m_inner.liesOnVacantMountPoint(folder);
    }
    FsError sameFolder(const std::string& a, const std::string& b, bool& same) override
    {
        return m_inner.sameFolder(a, b, same);
    }
    MetadataRefusals refusedMetadata() const override { return m_inner.refusedMetadata(); }
    std::unique_ptr<FileSystem> confineTo(const std::vector<std::string>& roots, FsError& error) override
    {
        (void)roots;
        error = FsError::Ok;
        return nullptr;
    }

protected:
    // Forwards to `view`, a view the inner file system gave, and keeps it as long as this
    // lives; to `inner` where there is no view.
    ForwardingFileSystem(std::unique_ptr<FileSystem> view, FileSystem& inner)
        : m_view(std::move(view)), m_inner(m_view ? *m_view : inner)
    {}
    explicit ForwardingFileSystem(std::unique_ptr<FileSystem> view)
        : m_view(std::move(view)), m_inner(*m_view)
    {}

    FileSystem& inner() const { return m_inner; }

private:
    std::unique_ptr<FileSystem> m_view;
    FileSystem& m_inner;
};

} // namespace tavrel::platform
