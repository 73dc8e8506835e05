// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/file_system.h"

#include <chrono>
#include <string>

namespace tavrel::platform {

// The real file system on Linux, reached by path: the folders a path names are resolved as it
// says (links included), the last component never follows a link. FIFOs, sockets and devices
// are never opened, and copies appear under their final name only when complete. Holds no run
// state: one object may serve any number of runs, each pair through its own confined view.
class PosixFileSystem final : public FileSystem
{
public:
    // `staleTemporaryAge`: how long a temporary file must have stayed unchanged to count as
    // left from a crash; tests shorten it, since a status time cannot be set back.
    explicit PosixFileSystem(std::chrono::seconds staleTemporaryAge = std::chrono::hours(1))
        : m_staleTemporaryAge(staleTemporaryAge)
    {}

    FsError listFolder(const std::string& folder, std::vector<DirEntry>& entries) override;
    FsError listFolderCounting(const std::string& folder, std::vector<DirEntry>& entries,
                               int32_t& specialItems) override;
    // The whole listing: only a pair's confined view lists kinds without a stat per item.
    FsError listKinds(const std::string& folder, std::vector<DirEntry>& entries) override
    {
        return listFolder(folder, entries);
    }
    FsError createFolder(const std::string& folder, const std::string& ownerFrom = {}) override;
    FsError readStamp(const std::string& path, FileStamp& stamp) override;
    FsError copy(const std::string& source, const std::string& target, const CopyRequest& request) override;
    FsError makeNormal(const std::string& path) override;
    std::unique_ptr<FileReader> openForReading(const std::string& path, FsError& error) override;
    FsError deleteItem(const std::string& path, bool toTrash) override;
    FsError keepItem(const std::string& path, const std::string& destination, KeepMode mode) override;
    FsError removeEmptyFolder(const std::string& path) override;
    FsError realFolder(const std::string& folder, std::string& real) override;
    FsError readLink(const std::string& path, std::string& text) override;
    FsError sameFolder(const std::string& a, const std::string& b, bool& same) override;
    void removeStaleTemporaries(const std::string& folder) override;
    uint64_t volumeOf(const std::string& folder) override;
    bool liesOnVacantMountPoint(const std::string& folder) override;
    // flock on the open folder: held by this process's descriptor, so another run in this
    // process or in any other one is refused, and a crash releases it.
    std::unique_ptr<FolderLock> lockFolder(const std::string& folder, FsError& error) override;
    std::unique_ptr<FileSystem> confineTo(const std::vector<std::string>& roots, FsError& error) override;
    // Volumes are probed through a pair's confined view, which holds the folder open; by path,
    // nothing is tried.
    VolumeTraits probeVolume(const std::string& folder, const VolumeTraits* known = nullptr) override
    {
        (void)folder;
        return known != nullptr ? *known : VolumeTraits{};
    }
    // Copies by path keep no record of refusals; a pair's view does.
    MetadataRefusals refusedMetadata() const override { return {}; }

    // The table of file systems that liesOnVacantMountPoint reads; tests give one of their own.
    void setFileSystemTable(std::string file) { m_fileSystemTable = std::move(file); }

private:
    std::chrono::seconds m_staleTemporaryAge;
    std::string m_fileSystemTable = "/etc/fstab";
};

} // namespace tavrel::platform
