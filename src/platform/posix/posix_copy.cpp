// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_copy.h"

#include "platform/posix/fd_io.h"
#include "platform/posix/posix_io.h"
#include "platform/posix/posix_trash.h"
#include "platform/posix/temporary_name.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <span>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavrel::platform::posix {

namespace {

// Blocks of the read/write fallback; copy_file_range moves at most this much per call, so
// that a stop is seen about every 8 MiB. A 160 MiB copy took the same time (60 ms, page
// cache, ext4) with 8 MiB chunks as with 1 GiB ones.
constexpr std::size_t kFallbackBlock = std::size_t{256} * 1024;
constexpr std::size_t kKernelChunk = std::size_t{8} << 20;
// What copyData returns when it saw the stop flag; errno values are positive.
constexpr int kStopped = -1;
// Reasons for failures that no errno stands for.
constexpr const char* kOtherKind = "a folder or another kind of item has the name";
constexpr const char* kNoLongerAFile = "no longer a regular file or link";

// Removes the temporary file on every path that does not publish it.
class TemporaryGuard final
{
public:
    TemporaryGuard(int folder, std::string name) : m_folder(folder), m_name(std::move(name)) {}
    TemporaryGuard(const TemporaryGuard&) = delete;
    TemporaryGuard& operator=(const TemporaryGuard&) = delete;
    ~TemporaryGuard()
    {
        if (m_armed)
            ::unlinkat(m_folder, m_name.c_str(), 0);
    }
    void release() { m_armed = false; }

private:
    int m_folder;
    std::string m_name;
    bool m_armed = true;
};

// Whether a file we create is owned as `st` says already (ours, with our group).
bool ownedLike(const struct stat& st)
{
    static const uid_t user = ::geteuid();
    static const gid_t group = ::getegid();
    return st.st_uid == user && st.st_gid == group;
}

bool isKernelCopyUnsupported(int error)
{
    return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP || error == EINVAL;
}

// One file's data on its way from `in` to `out`: the regions copied so far, the chunks done
// (a stop is seen between two of them), and which side an errno came from.
class DataCopy
{
public:
    DataCopy(int in, int out, const std::atomic<int32_t>* stop) : m_in(in), m_out(out), m_stop(stop) {}

    // Copies [at, end) by the kernel while it will; `at` ends where it stopped: at `end`, or
    // where the rest must be read by hand (this file cannot be spliced, or these volumes not at
    // all, which clears `kernelCopy`).
    int byKernel(off_t& at, off_t end, bool& kernelCopy)
    {
        while (at < end && kernelCopy && m_kernelThisFile) {
            if (stopBeforeChunk())
                return kStopped;
            loff_t inOffset = at;
            loff_t outOffset = at;
            const auto want = static_cast<std::size_t>(std::min<off_t>(end - at, kKernelChunk));
            const ssize_t copied =
                retryOnEintr([&] { return ::copy_file_range(m_in, &inOffset, m_out, &outOffset, want, 0); });
            if (copied > 0) {
                at += copied;
                wrote(at);
            } else if (copied == 0) {
                // A file the kernel cannot splice: an early 0 is not the end of such a file, so
                // read on by hand.
                m_kernelThisFile = false;
            } else if (isKernelCopyUnsupported(errno)) {
                kernelCopy = false; // another file system (EXDEV): not worth asking again
            } else {
                // The kernel's copy does not say which side failed; a read of the source where
                // it stopped does.
                const int error = errno;
                uint8_t probe = 0;
                if (::pread(m_in, &probe, 1, at) < 0)
                    m_failedSide = FailedSide::Source;
                return error;
            }
        }
        return 0;
    }

    // Reads with pread/pwrite from `at` up to `end` or the end of the file; `reached` gets the
    // offset reached.
    int byReading(off_t at, off_t end, off_t& reached)
    {
        std::vector<uint8_t>& buffer = block();
        for (bool firstBlock = true; at < end; firstBlock = false) {
            if (!firstBlock && stopBeforeChunk())
                return kStopped;
            const auto want = static_cast<std::size_t>(std::min<off_t>(end - at, kFallbackBlock));
            const ssize_t got = retryOnEintr([&] { return ::pread(m_in, buffer.data(), want, at); });
            if (got < 0) {
                m_failedSide = FailedSide::Source;
                return errno;
            }
            if (got == 0)
                break;
            if (const std::error_code error =
                    writeAllAt(m_out, std::span(buffer).first(static_cast<std::size_t>(got)), at))
                return error.value();
            at += got;
            wrote(at);
        }
        reached = at;
        return 0;
    }

    // Gives `out` the length `length`. A trailing hole has no data to copy: setting the length
    // recreates it. Only then: some volumes (FAT through FUSE) refuse ftruncate to grow a file
    // or to keep its length, and get the hole as zeros.
    int setLength(off_t length)
    {
        if (m_extent == length || retryOnEintr([&] { return ::ftruncate(m_out, length); }) == 0)
            return 0;
        if (!isRefusal(errno) || m_extent > length)
            return errno;
        std::vector<uint8_t>& zeros = block();
        std::fill(zeros.begin(), zeros.end(), uint8_t{0});
        while (m_extent < length) {
            const auto part = static_cast<std::size_t>(std::min<off_t>(length - m_extent, kFallbackBlock));
            if (const std::error_code error = writeAllAt(m_out, std::span(zeros).first(part), m_extent))
                return error.value();
            m_extent += static_cast<off_t>(part);
        }
        return 0;
    }

    FailedSide failedSide() const { return m_failedSide; }

private:
    // One buffer per thread for every copy that reads by hand: a fresh 256 KiB block per file
    // would cost two system calls of its own (mmap and munmap).
    static std::vector<uint8_t>& block()
    {
        thread_local std::vector<uint8_t> buffer;
        if (buffer.size() < kFallbackBlock)
            buffer.resize(kFallbackBlock);
        return buffer;
    }

    // A file copied in one chunk is never given up: there is no "between" to stop in.
    bool stopBeforeChunk() const
    {
        return m_chunksDone > 0 && m_stop != nullptr && m_stop->load(std::memory_order_relaxed) != 0;
    }

    void wrote(off_t end)
    {
        m_extent = std::max(m_extent, end);
        ++m_chunksDone;
    }

    int m_in;
    int m_out;
    const std::atomic<int32_t>* m_stop;
    off_t m_extent = 0; // the end of the data written so far
    int m_chunksDone = 0;
    bool m_kernelThisFile = true;
    FailedSide m_failedSide = FailedSide::Target;
};

// The data regions of `in` one after the other (holes stay holes: only a file with fewer
// blocks than its length can hold any, so the others are one region with nothing to ask),
// then the length; `copiedLength` gets it.
int copyRegions(DataCopy& copy, int in, const struct stat& st, bool& kernelCopy, off_t& copiedLength)
{
    const off_t size = st.st_size;
    off_t length = size;
    const bool mayHaveHoles = static_cast<off_t>(st.st_blocks) * 512 < size;
    for (off_t pos = 0; pos < size;) {
        off_t dataStart = mayHaveHoles ? ::lseek(in, pos, SEEK_DATA) : pos;
        if (dataStart < 0) {
            if (errno == ENXIO)
                break;       // only a hole is left
            dataStart = pos; // no hole support here: all of it is data
        }
        if (dataStart >= size)
            break;
        off_t dataEnd = mayHaveHoles ? ::lseek(in, dataStart, SEEK_HOLE) : size;
        if (dataEnd < 0 || dataEnd > size)
            dataEnd = size;
        off_t at = dataStart;
        if (const int error = copy.byKernel(at, dataEnd, kernelCopy))
            return error;
        if (at < dataEnd) {
            off_t reached = at;
            if (const int error = copy.byReading(at, dataEnd, reached))
                return error;
            if (reached < dataEnd) {
                length = reached; // the file shrank while we copied it
                break;
            }
        }
        pos = dataEnd;
    }
    // A file the kernel shows as empty may have content all the same (/proc and the like). One
    // that grows while it is copied is copied as it was when opened.
    if (size == 0) {
        off_t reached = size;
        if (const int error = copy.byReading(size, std::numeric_limits<off_t>::max(), reached))
            return error;
        length = reached;
    }
    if (const int error = copy.setLength(length))
        return error;
    copiedLength = length;
    return 0;
}

// Copies the file's data regions (holes stay holes), reading by hand where the kernel cannot
// copy (`kernelCopy` is cleared when it refuses these volumes), and sets the final length,
// which `copiedLength` receives. 0, an errno, or kStopped when `stop` was set before some
// chunk after the first. An errno says in `failedSide` whether reading `in` or writing `out`
// failed.
int copyData(int in, int out, const struct stat& st, const std::atomic<int32_t>* stop, bool& kernelCopy,
             off_t& copiedLength, FailedSide& failedSide)
{
    DataCopy copy(in, out, stop);
    const int error = copyRegions(copy, in, st, kernelCopy, copiedLength);
    failedSide = copy.failedSide();
    return error;
}

// Whether the source was written to while it was read: its size or either time moved. A file
// rewritten in place keeps its size but not its ctime, one truncated and refilled keeps neither.
bool changedSince(const struct stat& before, const struct stat& after)
{
    auto same = [](const timespec& a, const timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    };
    return before.st_size != after.st_size || !same(before.st_mtim, after.st_mtim) ||
           !same(before.st_ctim, after.st_ctim);
}

// Whether the target allows the publication: Ok, Exists (create-only and a file or link has
// the name), Other (a folder or another kind of item has it, or a stamp that changed since the
// decision). Another kind is never a copy of the file, so it is a failure, not a target present.
FsError checkTarget(int folder, const std::string& name, CopyMode mode, const FileStamp* expected)
{
    struct stat st = {};
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            return errorFromErrno(errno);
        return mode == CopyMode::Overwrite && expected != nullptr
                   ? failedBecause(FsError::Other, FailedSide::Target, "removed since it was compared")
                   : FsError::Ok;
    }
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        return failedBecause(FsError::Other, FailedSide::Target, kOtherKind);
    if (mode == CopyMode::CreateOnly)
        return FsError::Exists;
    if (expected != nullptr && (toFileTime(st.st_mtim) != expected->lastWriteTime ||
                                static_cast<uint64_t>(st.st_size) != expected->size))
        return failedBecause(FsError::Other, FailedSide::Target, "changed since it was compared");
    return FsError::Ok;
}

// A name that appeared while the copy was made: Exists for a file or link, Other for any
// other kind, as checkTarget tells them apart.
FsError takenBy(int folder, const std::string& name)
{
    struct stat st = {};
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode) &&
        !S_ISLNK(st.st_mode))
        return failedBecause(FsError::Other, FailedSide::Target, kOtherKind);
    return FsError::Exists;
}

FsError publish(int folder, const std::string& temporary, const std::string& name, CopyMode mode,
                const FileStamp* expected, bool trashReplaced)
{
    if (mode == CopyMode::Overwrite) {
        // Checked again right before the rename to keep the window of a concurrent change small.
        if (FsError error = checkTarget(folder, name, mode, expected); error != FsError::Ok)
            return error;
        if (trashReplaced) {
            // The old file goes to the trash first; without a trash it stays and the copy fails,
            // saying why (a full disk under the trash ends the run).
            if (const FsError trashed = moveToTrashAt(folder, name);
                trashed != FsError::Ok && trashed != FsError::NotFound)
                return trashed;
            mode = CopyMode::CreateOnly; // its name is free now; anything that takes it wins
        }
    }
    if (mode == CopyMode::Overwrite) {
        if (::renameat(folder, temporary.c_str(), folder, name.c_str()) != 0)
            return errorMakingName(errno, folder, temporary.c_str());
        return FsError::Ok;
    }
    if (renameWithoutReplacing(folder, temporary, folder, name) == 0)
        return FsError::Ok;
    return errno == EEXIST ? takenBy(folder, name) : errorMakingName(errno, folder, temporary.c_str());
}

FsError copyLink(const Place& source, const struct stat& sourceStat, int folder, const std::string& name,
                 CopyMode mode, const FileStamp* expected, CopyNotes& notes, const CopyOptions& options)
{
    int error = 0;
    const std::string text = readLinkText(source.folder, source.name, sourceStat.st_size, error);
    if (error != 0)
        return errorFromErrno(error, FailedSide::Source);
    std::string temporary;
    error = createUnderFreshName(name, temporary, [&](const std::string& candidate) {
        return ::symlinkat(text.c_str(), folder, candidate.c_str());
    });
    if (error != 0)
        return errorMakingName(error, folder);
    TemporaryGuard guard(folder, temporary);
    if (keepsOwners() &&
        ::fchownat(folder, temporary.c_str(), sourceStat.st_uid, sourceStat.st_gid, AT_SYMLINK_NOFOLLOW) != 0)
        notes.ownerRefused = true;
    // The link stands whether or not its own times can be set (SFTP mounts cannot; sshfs
    // even answers ENOENT).
    const timespec times[2] = {sourceStat.st_atim, options.fit(sourceStat.st_mtim)};
    if (::utimensat(folder, temporary.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        notes.timesRefused = true;
    const FsError result = publish(folder, temporary, name, mode, expected, options.trashReplaced);
    if (result == FsError::Ok)
        guard.release();
    return result;
}

// Whether a file open as a descriptor can be named through /proc/self/fd: linkat needs that
// path (AT_EMPTY_PATH would need a capability) to link an unnamed file.
bool procFdAvailable()
{
    static const bool available = ::access("/proc/self/fd", X_OK) == 0;
    return available;
}

bool isUnnamedFileRefusal(int error)
{
    return error == EOPNOTSUPP || error == ENOTSUP || error == EISDIR || error == EINVAL || error == ENOSYS;
}

// A refusal to link a file under a new name: the volume has no hard links (FUSE, FAT).
bool isLinkRefusal(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOTSUP || error == ENOSYS || error == EXDEV;
}

// Where a copy is written before it is published.
struct CopyTarget
{
    UniqueFd fd;
    std::string temporary; // its name in the folder; empty for an unnamed file
};

FsError copyRegular(const Place& source, int folder, const std::string& name, CopyMode mode,
                    const FileStamp* expected, const std::atomic<int32_t>* stop, CopyNotes& notes,
                    const CopyOptions& options)
{
    struct stat st = {};
    int openError = 0;
    UniqueFd in = openRegular(source.folder, source.name.c_str(), O_RDONLY | O_NOFOLLOW, st, openError);
    // ELOOP or no regular file: swapped for a link, a FIFO or a device after the caller looked.
    if (!in.valid())
        return openError == ELOOP || openError == 0
                   ? failedBecause(FsError::Other, FailedSide::Source, kNoLongerAFile)
                   : errorFromErrno(openError, FailedSide::Source);
    // O_NONBLOCK stays: regular files ignore it, so clearing it would only cost two calls.
    if (static_cast<uint64_t>(st.st_size) > options.maxFileSize)
        return FsError::TooLarge;

    // A new file goes in as one link of a finished unnamed file: one change of the folder
    // instead of a create and a rename, and a copy that fails or stops leaves no name behind
    // (closing the unnamed file frees it). Overwrites and volumes without unnamed files (FUSE,
    // FAT, many network mounts) go through a temporary name.
    CopyTarget out;
    const bool unnamed = mode == CopyMode::CreateOnly && options.tryUnnamedFile && procFdAvailable();
    if (unnamed) {
        out.fd.reset(retryOnEintr(
            [&] { return ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, S_IRUSR | S_IWUSR); }));
        if (!out.fd.valid() && isUnnamedFileRefusal(errno))
            notes.unnamedFilesUnsupported = true;
    }
    if (!out.fd.valid()) {
        out.fd = createExclusiveTemporary(folder, name, out.temporary);
        if (!out.fd.valid())
            return errorMakingName(errno, folder);
    }
    TemporaryGuard guard(folder, out.temporary);
    if (out.temporary.empty())
        guard.release();

    bool kernelCopy = options.tryKernelCopy;
    off_t copiedLength = 0;
    FailedSide failedSide = FailedSide::Target;
    int error = copyData(in.get(), out.fd.get(), st, stop, kernelCopy, copiedLength, failedSide);
    notes.kernelCopyUnsupported |= options.tryKernelCopy && !kernelCopy;
    if (error != 0)
        return error == kStopped ? FsError::Stopped : errorFromErrno(error, failedSide);
    // Only one whole version of the source is published: a file written to while it was read
    // gives a copy that matches no version of it, and the next run copies it again.
    struct stat after = {};
    if (::fstat(in.get(), &after) != 0)
        return errorFromErrno(errno, FailedSide::Source);
    if (changedSince(st, after))
        return FsError::SourceChanged;
    // A volume may take more than it keeps (FAT through FUSE keeps a length modulo 4 GiB). One
    // that makes unnamed files is a kernel file system that keeps the lengths it is given, and
    // copyData counted every byte the kernel took: its copy needs no stat of its own.
    if (!out.temporary.empty()) {
        struct stat written = {};
        if (::fstat(out.fd.get(), &written) != 0)
            return errorFromErrno(errno, FailedSide::Target);
        if (written.st_size != copiedLength)
            return failedBecause(FsError::Other, FailedSide::Target,
                                 "the volume kept another length than was written");
    }
    // Owner first: changing it clears mode bits that the fchmod below sets again. A file we
    // made is ours already: nothing to change when the source is ours too.
    if (keepsOwners() && !ownedLike(st) && ::fchown(out.fd.get(), st.st_uid, st.st_gid) != 0)
        notes.ownerRefused = true;
    // Only the permission bits: a set-user-ID bit on a file we now own could hand out our rights.
    // A volume without permission bits (FAT) still gets the content.
    if (::fchmod(out.fd.get(), st.st_mode & 0777) != 0) {
        if (!isRefusal(errno))
            return errorFromErrno(errno);
        notes.permissionsRefused = true;
    }
    const timespec times[2] = {st.st_atim, options.fit(st.st_mtim)};
    if (::futimens(out.fd.get(), times) != 0) {
        if (!isRefusal(errno))
            return errorFromErrno(errno);
        notes.timesRefused = true;
    }
    // No fsync: a crash may lose a fresh copy, but the rename after close never exposes a
    // partial one under the final name, and syncing each of thousands of small files costs
    // far more than the run itself.
    FsError result = FsError::Ok;
    if (out.temporary.empty()) {
        // Linked while open (the link needs the descriptor); nothing was written after the
        // checks above, so the name only ever shows the whole copy.
        char self[32];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", out.fd.get());
        if (::linkat(AT_FDCWD, self, folder, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            const int linkError = errno;
            if (linkError == EEXIST)
                return takenBy(folder, name);
            if (!isLinkRefusal(linkError))
                return errorMakingName(linkError, folder);
            // A volume that makes unnamed files but cannot link them: once more by a name.
            notes.unnamedFilesUnsupported = true;
            CopyOptions named = options;
            named.tryUnnamedFile = false;
            out.fd.reset();
            return copyRegular(source, folder, name, mode, expected, stop, notes, named);
        }
        if ((error = out.fd.close()) != 0) {
            ::unlinkat(folder, name.c_str(), 0); // published only just now, by this copy
            return errorFromErrno(error);
        }
    } else {
        if ((error = out.fd.close()) != 0)
            return errorFromErrno(error);
        result = publish(folder, out.temporary, name, mode, expected, options.trashReplaced);
        if (result != FsError::Ok)
            return result;
        guard.release();
    }
    // Some volumes (FAT through FUSE) give a renamed file the time of the rename.
    if (options.retimeAfterPublish && ::utimensat(folder, name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        notes.timesRefused = true;
    return result;
}

} // namespace

timespec CopyOptions::fit(const timespec& time) const
{
    const int64_t ticks = toFileTime(time);
    if (ticks >= timeMin && ticks <= timeMax)
        return time;
    const int64_t bound = ticks < timeMin ? timeMin : timeMax;
    return {static_cast<time_t>(bound / 10'000'000), static_cast<long>(bound % 10'000'000) * 100};
}

FsError copyItemAt(const Place& source, const Place& target, CopyMode mode, const FileStamp* expected,
                   const std::atomic<int32_t>* stopRequested, CopyNotes* notes, const CopyOptions& options)
{
    const std::string& name = target.name;
    if (!isPlainName(source.name) || !isPlainName(name))
        return FsError::Other;
    CopyNotes ignored;
    CopyNotes& kept = notes != nullptr ? *notes : ignored;
    // What is not marked as the source's below failed on the target.
    const FailureSide onTarget(FailedSide::Target);

    struct stat sourceStat = {};
    if (::fstatat(source.folder, source.name.c_str(), &sourceStat, AT_SYMLINK_NOFOLLOW) != 0)
        return errorFromErrno(errno, FailedSide::Source);
    if (!S_ISREG(sourceStat.st_mode) && !S_ISLNK(sourceStat.st_mode)) // never opened
        return failedBecause(FsError::Other, FailedSide::Source, kNoLongerAFile);

    // Refused before any data moves: an existing target costs one stat, not a copy.
    if (!options.targetKnownAbsent || mode != CopyMode::CreateOnly)
        if (FsError error = checkTarget(target.folder, name, mode, expected); error != FsError::Ok)
            return error;

    if (S_ISLNK(sourceStat.st_mode))
        return copyLink(source, sourceStat, target.folder, name, mode, expected, kept, options);
    return copyRegular(source, target.folder, name, mode, expected, stopRequested, kept, options);
}

FsError copyItem(const std::string& source, const std::string& target, CopyMode mode,
                 const FileStamp* expected, const std::atomic<int32_t>* stopRequested,
                 const CopyOptions& options)
{
    if (!isUsablePath(source) || !isUsablePath(target))
        return FsError::Other;
    const auto [sourceFolderPath, sourceName] = splitFolderAndName(source);
    const auto [folderPath, name] = splitFolderAndName(target);
    UniqueFd sourceFolder(retryOnEintr(
        [path = sourceFolderPath.c_str()] { return ::open(path, O_PATH | O_DIRECTORY | O_CLOEXEC); }));
    if (!sourceFolder.valid())
        return errorFromErrno(errno, FailedSide::Source);
    UniqueFd folder(
        retryOnEintr([path = folderPath.c_str()] { return ::open(path, O_PATH | O_DIRECTORY | O_CLOEXEC); }));
    if (!folder.valid())
        return errorFromErrno(errno, FailedSide::Target);
    return copyItemAt({sourceFolder.get(), sourceName}, {folder.get(), name}, mode, expected, stopRequested,
                      nullptr, options);
}

} // namespace tavrel::platform::posix
