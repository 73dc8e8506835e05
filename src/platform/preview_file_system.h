// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/file_system.h"
#include "platform/forwarding_file_system.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace tavrel::platform {

// Stale age for the PosixFileSystem that a preview reads through: its listings then remove no
// crash leftover either (a listing of the real file system removes ours unchanged for an hour).
inline constexpr std::chrono::seconds kKeepEveryTemporary = std::chrono::seconds::max();

// What a run would do, changing nothing: a file system over `disk` whose reads go to the disk
// and whose writes are only remembered, so that later steps of the same run see them. A folder
// created here can be listed (empty, or with what was copied into it); a file copied here has
// the source's time, size and read-only bit and reads as the source's bytes (a link gives the
// source's link text); an item deleted here is gone, and everything below it. The answers are
// those the real calls give on a disk that takes every write: Exists for a create-only copy
// onto a file or link, Other onto a folder, NotFound into a missing folder, Other for an
// overwrite whose target changed since `expected`, and so on.
//
// A copy takes the time the target volume's probed span allows, and a volume whose probe found
// no permission bits or settable times reports those refusals as the real copies would. Each
// remembered write costs memory (a few hundred bytes): a preview of a first copy of a million
// files holds a few hundred megabytes until the run ends.
//
// What a preview cannot foresee, and a real run may meet: a disk that fills up, a folder or
// volume that refuses the write, a trash that cannot be had, a file changed by someone else
// after the preview read it, and two names one case-insensitive volume would take as one.
//
// Calls that touch the disk:
// - lockFolder takes the run's lock for real (by path, through `disk`), so a preview tells of
//   a folder in use as the real run would. The lock changes nothing; it is not taken through
//   the pair's view, whose locked roots would have their temporaries swept at once.
// - probeVolume is forwarded for a folder that exists: the probe removes what it made on
//   every path and gives the folder its times back (only the status-change time moves). A
//   folder made only here is probed in its nearest existing folder: where the real run would
//   make it, on the same volume. volumeOf answers the same way, and liesOnVacantMountPoint
//   asks `disk`: a missing root is refused in a preview exactly when the real run refuses it.
// - removeStaleTemporaries removes nothing. Listings are those of `disk`: give a preview a
//   PosixFileSystem made with kKeepEveryTemporary and it removes nothing at all.
//
// - sameFolder cannot be told (Other): a folder may exist only here.
//
// Every other read is forwarded to `disk` (or the pair's view of it) as ForwardingFileSystem
// does; this class overrides what a preview changes.
//
// Paths are taken as the engine writes them (folders with or without their final "/"): the
// memory is keyed by that text. Not for two threads at once; a run uses one worker.
class PreviewFileSystem final : public ForwardingFileSystem
{
public:
    explicit PreviewFileSystem(FileSystem& disk);
    ~PreviewFileSystem() override;
    PreviewFileSystem(const PreviewFileSystem&) = delete;
    PreviewFileSystem& operator=(const PreviewFileSystem&) = delete;

    FsError listFolder(const std::string& folder, std::vector<DirEntry>& entries) override;
    // The disk's count of what its listing left out; none in a folder made only here.
    FsError listFolderCounting(const std::string& folder, std::vector<DirEntry>& entries,
                               int32_t& specialItems) override;
    FsError createFolder(const std::string& folder, const std::string& ownerFrom = {}) override;
    FsError readStamp(const std::string& path, FileStamp& stamp) override;
    // Keeping the old file acts as a plain overwrite: its move to the trash is a write like any
    // other. Nothing is copied, so there is nothing to stop between chunks.
    FsError copy(const std::string& source, const std::string& target, const CopyRequest& request) override;
    FsError makeNormal(const std::string& path) override;
    std::unique_ptr<FileReader> openForReading(const std::string& path, FsError& error) override;
    FsError deleteItem(const std::string& path, bool toTrash) override;
    // A copy as a create-only copy makes it, and for Move the item deleted here.
    FsError keepItem(const std::string& path, const std::string& destination, KeepMode mode) override;
    FsError removeEmptyFolder(const std::string& path) override;
    void removeStaleTemporaries(const std::string& folder) override;
    std::unique_ptr<FolderLock> lockFolder(const std::string& folder, FsError& error) override;
    FsError readLink(const std::string& path, std::string& text) override;
    VolumeTraits probeVolume(const std::string& folder, const VolumeTraits* known = nullptr) override;
    uint64_t volumeOf(const std::string& folder) override;
    bool liesOnVacantMountPoint(const std::string& folder) override
    {
        return m_disk.liesOnVacantMountPoint(folder);
    }
    FsError sameFolder(const std::string& a, const std::string& b, bool& same) override
    {
        (void)a;
        (void)b;
        same = false;
        return FsError::Other;
    }
    MetadataRefusals refusedMetadata() const override;
    // A preview over `disk`'s view confined to `roots` (or over `disk` itself, where it makes
    // no view), remembering into the same memory as this one.
    std::unique_ptr<FileSystem> confineTo(const std::vector<std::string>& roots, FsError& error) override;

private:
    class Overlay;
    class Listings;
    struct Found;
    PreviewFileSystem(FileSystem& disk, std::unique_ptr<FileSystem> view, std::vector<std::string> roots,
                      std::shared_ptr<Overlay> overlay);

    Found stateOf(const std::string& key);
    Found diskStateOf(const std::string& key);
    bool isRoot(const std::string& key) const;
    bool reachesByListing(const std::string& key) const;
    FsError copyHere(const std::string& source, const std::string& target, bool overwrite,
                     const FileStamp* expected);
    std::string nearestDiskFolder(const std::string& key);
    FileSystem& volumeView(const std::string& folder, std::string& where,
                           std::unique_ptr<FileSystem>& holder);
    const VolumeTraits* traitsFor(const std::string& key) const;

    // Reads go to inner(): the disk's view confined to the roots, or the disk.
    FileSystem& m_disk;
    bool m_confined;                  // inner() is a view of the disk
    std::vector<std::string> m_roots; // without their final "/"; empty: not confined
    std::shared_ptr<Overlay> m_overlay;
    std::unique_ptr<Listings> m_listings;
    std::vector<std::pair<std::string, VolumeTraits>> m_probed; // folders probed in this view
    MetadataRefusals m_refused;
};

} // namespace tavrel::platform
