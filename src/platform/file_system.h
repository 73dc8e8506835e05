// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/failure_note.h"
#include "platform/volume_probe.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tavrel::platform {

// Outcome of one file-system call. Each call below says which values it returns.
enum class FsError
{
    Ok,
    Exists,        // the name is taken (create-only copy, folder creation)
    DiskFull,      // ENOSPC or EDQUOT: ends a run
    AccessDenied,  // EACCES, EPERM, EROFS
    NotFound,      // the item or a parent folder is missing
    Other,         // anything else: I/O errors, wrong kind of item, names too long
    Stopped,       // a copy saw the stop flag between chunks: nothing was published
    Overlap,       // the folder is the pair's other root (reached through a bind mount, say):
                   // never entered, written or deleted
    SourceChanged, // the source was written to while it was copied: nothing was published
    TooLarge,      // the file is larger than the target's volume can hold: nothing was written
};

// Attribute bits as the engine tests them.
inline constexpr uint32_t kAttrReadOnly = 1; // owner-write bit clear
inline constexpr uint32_t kAttrHidden = 2;   // name begins with "."
inline constexpr uint32_t kAttrSystem = 4;   // never set on POSIX

enum class EntryKind
{
    File,
    Folder,
    Symlink, // a leaf: listed with files, copied as a link, never followed
};

// One item of a folder listing. Paths and names are raw bytes, never re-encoded.
struct DirEntry
{
    std::string name;
    EntryKind kind = EntryKind::File;
    uint32_t attributes = 0;
    int64_t lastWriteTime = 0; // 100 ns units since the Unix epoch, truncated
    uint64_t size = 0;
};

// What the engine learns of an existing target file.
struct FileStamp
{
    int64_t lastWriteTime = 0;
    uint64_t size = 0;
    uint64_t inode = 0; // its number on its volume, where readStamp knows it (else 0)
};

// A file opened for streaming comparison.
class FileReader
{
public:
    virtual ~FileReader() = default;
    // Bytes read into `buffer` (0 at the end of the file), or -1 on a read error. Fewer than
    // `size` bytes only at the end of the file.
    virtual long read(void* buffer, std::size_t size) = 0;
};

// Block size for streaming comparisons: two cached 256 MiB files compared in 65 ms with 64 KiB
// blocks against 120 ms with 4 KiB; larger blocks gained nothing.
inline constexpr std::size_t kCompareBlockSize = std::size_t{64} * 1024;

// Metadata a volume would not keep on copies whose content it did keep (FAT has no permission
// bits, some network mounts refuse a link's times, a volume without owners refuses them).
struct MetadataRefusals
{
    bool permissions = false;
    bool times = false;
    bool owner = false;
};

// How keepItem keeps an item: taken away from where it was, or left there as well.
enum class KeepMode
{
    Move, // the item is gone from its place afterwards (a deletion that keeps it)
    Copy, // the item stays (an overwrite about to replace it keeps the old version)
};

// What a copy may do where the target name is taken.
enum class CopyMode
{
    CreateOnly, // never replaces anything
    Overwrite,  // replaces the regular file or link there
};

// One copy as FileSystem::copy takes it.
struct CopyRequest
{
    CopyMode mode = CopyMode::CreateOnly;
    const FileStamp* expected = nullptr; // Overwrite: the target as the run read it
    bool keepOld = false;                // Overwrite: the replaced file goes to the trash first
    const std::atomic<int32_t>* stopRequested = nullptr;
};

// Held while a run works in a folder; destroying it lets another run in.
class FolderLock
{
public:
    virtual ~FolderLock() = default;
};

// The engine's only way to the disk. Folder paths end with "/". Every call is pure: a file
// system that wraps another forwards or answers each one where it is written
// (ForwardingFileSystem forwards them all), so no call is left unlocked, unconfined or
// unprobed by a default nobody chose.
class FileSystem
{
public:
    virtual ~FileSystem() = default;

    // Files, folders and links of `folder` without "." and "..", FIFOs, sockets, devices and
    // the engine's own temporary files; those left from a crash (unchanged for an hour) are
    // removed on the way. Ok, NotFound, AccessDenied, Other (also for a listing that failed
    // midway: `entries` then holds what was read).
    virtual FsError listFolder(const std::string& folder, std::vector<DirEntry>& entries) = 0;

    // listFolder that also counts in `specialItems` the FIFOs, sockets and devices it left out
    // (told from the folder's own type field where the volume fills it in: no stat more per
    // item).
    virtual FsError listFolderCounting(const std::string& folder, std::vector<DirEntry>& entries,
                                       int32_t& specialItems) = 0;

    // The names and kinds of `folder`'s items as listFolder gives them, with the hidden bit
    // (it comes from the name) but no other attribute, time or size (left zero): what a count
    // needs, often without a stat per item.
    virtual FsError listKinds(const std::string& folder, std::vector<DirEntry>& entries) = 0;

    // One level. Ok; Exists when a folder is already there (by path, also a link to one; in a
    // confined view a link is Other); NotFound when the parent is missing; AccessDenied,
    // DiskFull, Other. Run by root, a new folder gets the owner of the folder `ownerFrom`.
    virtual FsError createFolder(const std::string& folder, const std::string& ownerFrom = {}) = 0;

    // Stamp of an existing regular file or link, without following links. Ok, NotFound
    // (missing), AccessDenied, Other (also when a folder, FIFO or other non-file holds the name).
    virtual FsError readStamp(const std::string& path, FileStamp& stamp) = 0;

    // Copies `source` to `target` through a temporary file renamed into place, as `request`
    // says. CreateOnly never replaces anything: Exists when a file or link holds the target
    // name. Overwrite replaces the regular file or link there: Other when the target is a
    // folder or changed after `request.expected` was read (if given); with `request.keepOld`
    // the old file first goes to the user's trash, as a deletion to the trash does (Other
    // without a trash to be had, and the old target stays; DiskFull when the trash's record
    // found no space; a file system that cannot keep the old file answers Other and never
    // replaces it). Either way: Ok, DiskFull, AccessDenied, NotFound (source gone), Other (also
    // when a folder, FIFO or other kind holds the name, or when the temporary file's length is
    // not what was read), Stopped (`request.stopRequested`, if given, became non-zero between
    // two chunks of a large file), SourceChanged (the source's size or times moved between its
    // open and the last read), TooLarge (longer than the target's volume can hold); on every
    // failure the old target stays as it was. Carries permission bits and the nanosecond
    // last-write time; a link is copied as a link with the same link text. Only a whole copy of
    // one version of the source is ever published.
    virtual FsError copy(const std::string& source, const std::string& target,
                         const CopyRequest& request) = 0;

    // Adds the owner-write bit. Ok, NotFound, AccessDenied, Other.
    virtual FsError makeNormal(const std::string& path) = 0;

    // Opens a regular file for reading (O_NOFOLLOW|O_NONBLOCK, checked to be a regular file).
    // nullptr with `error` set to NotFound, AccessDenied or Other on failure.
    virtual std::unique_ptr<FileReader> openForReading(const std::string& path, FsError& error) = 0;

    // Deletes a file, a link or a whole folder tree, to the user's trash or outright.
    // Ok, NotFound, AccessDenied, Other (also when the item's volume has no trash to be had:
    // nothing goes to a trash on another volume), DiskFull (the trash's record found no
    // space). A trash that fails deletes nothing.
    virtual FsError deleteItem(const std::string& path, bool toTrash) = 0;

    // Puts the regular file or link `path` at `destination` (whose folder exists), never
    // replacing anything there: the way a replaced or deleted file is kept as a version. On one
    // volume Move renames and Copy makes a hard link (an instant, whatever the size); where that
    // cannot be (another volume, a volume without hard links) the item is copied, the copy read
    // back against the original (a link by its text), and for Move the original removed only
    // then. Ok; Exists (the destination is taken); NotFound (the item or the destination's
    // folder is missing); DiskFull; AccessDenied; SourceChanged (written to meanwhile); Other
    // (a folder or other kind of item, a copy that did not read back the same). On every
    // failure the item is where and as it was, and nothing is left at `destination`. One that
    // cannot keep an item answers Other and never loses it.
    virtual FsError keepItem(const std::string& path, const std::string& destination, KeepMode mode) = 0;

    // Removes the folder `path` only when it is empty: what a deletion leaves behind once it
    // has moved every item away, without taking anything that came in meanwhile. Ok, NotFound,
    // AccessDenied, Other (not empty, not a folder).
    virtual FsError removeEmptyFolder(const std::string& path) = 0;

    // The folder with every link resolved, ending with "/". Ok, NotFound, AccessDenied, Other.
    virtual FsError realFolder(const std::string& folder, std::string& real) = 0;

    // Removes the temporary files that a crashed copy or save left in `folder` (regular files
    // of the reserved name shape, unchanged for an hour), as listFolder does on its way, for
    // callers that do not list the folder. Removal failures are ignored.
    virtual void removeStaleTemporaries(const std::string& folder) = 0;

    // An advisory lock on `folder` (links followed) for the life of the handle, so that two
    // runs never work in one folder at once. Exists when another run holds it. Any other
    // failure (no such folder, a file system without locks) gives nullptr with Ok: the run
    // goes on unlocked rather than being blocked for good.
    virtual std::unique_ptr<FolderLock> lockFolder(const std::string& folder, FsError& error) = 0;

    // The text of the link `path`. Ok, NotFound, Other (not a link).
    virtual FsError readLink(const std::string& path, std::string& text) = 0;

    // What the volume holding `folder` keeps of what is written there, found by trying it in
    // that folder (see probeVolume). With `known` (found on this volume earlier), nothing is
    // tried and the file system takes those for the folder's volume. One that cannot probe
    // answers `known`, or the defaults (exact times, case kept) with probed false.
    virtual VolumeTraits probeVolume(const std::string& folder, const VolumeTraits* known = nullptr) = 0;

    // A number that is the same for two folders exactly when they lie on one volume; 0 when
    // it cannot be told (each folder is then probed on its own).
    virtual uint64_t volumeOf(const std::string& folder) = 0;

    // Whether `folder` (which need not exist; the links of its existing part followed) lies at
    // or below a mount point that the system's table of file systems (/etc/fstab) names and
    // where nothing is mounted now: a drive that is not connected, whose bare mount-point
    // folder belongs to the disk above it.
    virtual bool liesOnVacantMountPoint(const std::string& folder) = 0;

    // Whether the folders `a` and `b` (paths, links followed) are one folder: a file made in one
    // shows in the other. For volumes whose folder identities cannot be trusted (a user-space
    // volume that ignores case numbers each spelling of a name apart). Nothing is left behind.
    // Ok with `same` set; Other when it cannot be told.
    virtual FsError sameFolder(const std::string& a, const std::string& b, bool& same) = 0;

    // What copies made through this file system had refused so far (the content was kept).
    virtual MetadataRefusals refusedMetadata() const = 0;

    // A view of this file system for one pair: only items below `roots` (folder paths ending
    // with "/") can be reached through it, every folder below a root is reached from the root's
    // handle without following links, and no folder whose identity is another of the roots is
    // ever entered, written or deleted (Overlap). Roots may be links; each is resolved once,
    // when the view is made or, for one that does not exist yet, when it is created. `error`
    // is Overlap when one root is another or lies inside it by identity (a case-folded or
    // linked path, say); the view is made all the same. A file system that makes no views
    // answers nullptr with Ok: the caller goes on with this file system.
    virtual std::unique_ptr<FileSystem> confineTo(const std::vector<std::string>& roots, FsError& error) = 0;
};

} // namespace tavrel::platform
