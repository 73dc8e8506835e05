// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_folder_ops.h"

#include "platform/posix/fd_io.h"
#include "platform/posix/temporary_name.h"

#include <algorithm>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavrel::platform::posix {

namespace {

// Files from this size on are read ahead harder: the kernel's window doubles.
constexpr off_t kSequentialFrom = off_t{1} << 20;

class PosixFileReader final : public FileReader
{
public:
    PosixFileReader(UniqueFd fd, off_t size) : m_fd(std::move(fd)), m_left(size), m_sized(size > 0) {}

    // Fills the whole buffer unless the file ends, so two readers of equal files return equal
    // counts block by block. The file ends where its size said when it was opened: reading no
    // further saves the read that finds the end (half the reads of a small file), and what it
    // grows by meanwhile is a change the next run sees by its stamp. A file that showed no
    // size (as those of /proc do) is read to its real end.
    long read(void* buffer, std::size_t size) override
    {
        if (m_sized)
            size = static_cast<std::size_t>(std::min<off_t>(static_cast<off_t>(size), m_left));
        if (size == 0)
            return 0;
        const ssize_t got = readFull(m_fd.get(), {static_cast<uint8_t*>(buffer), size});
        if (got > 0)
            m_left -= got;
        return static_cast<long>(got);
    }

private:
    UniqueFd m_fd;
    off_t m_left;
    bool m_sized;
};

// Closing the descriptors releases the locks.
class PosixFolderLock final : public FolderLock
{
public:
    PosixFolderLock(UniqueFd fd, std::vector<UniqueFd> ancestors)
        : m_fd(std::move(fd)), m_ancestors(std::move(ancestors))
    {}

private:
    UniqueFd m_fd;
    std::vector<UniqueFd> m_ancestors;
};

// Deeper than any real tree; a bound keeps a strange mount from looping.
constexpr int kMaxAncestors = 512;

// Shared locks on every folder above the one open as `folder`, up to "/", found through ".."
// (by identity: a link or a bind mount in the path that named the folder changes nothing).
// False when another run holds one of them as its root. A folder that cannot be opened for
// reading or locked is passed over: it cannot be told, and the run is not blocked for it.
bool lockAncestors(int folder, std::vector<UniqueFd>& held)
{
    UniqueFd current(retryOnEintr([&] { return ::openat(folder, ".", O_PATH | O_DIRECTORY | O_CLOEXEC); }));
    struct stat here = {};
    if (!current.valid() || ::fstat(current.get(), &here) != 0)
        return true;
    for (int depth = 0; depth < kMaxAncestors; ++depth) {
        UniqueFd parent(
            retryOnEintr([&] { return ::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC); }));
        struct stat above = {};
        if (!parent.valid() || ::fstat(parent.get(), &above) != 0)
            return true;
        if (above.st_dev == here.st_dev && above.st_ino == here.st_ino)
            return true; // "/" is its own parent
        UniqueFd readable(
            retryOnEintr([&] { return ::openat(parent.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
        if (readable.valid()) {
            if (retryOnEintr([&] { return ::flock(readable.get(), LOCK_SH | LOCK_NB); }) == 0)
                held.push_back(std::move(readable));
            else if (errno == EWOULDBLOCK)
                return false;
        }
        current = std::move(parent);
        here = above;
    }
    return true;
}

// Unlinks those of `names` (temporary names found in the folder open as `folder`) that are
// regular files whose status has not changed for `age`: left from a crash. A copy in progress
// changes the status time with every write, and setting the final times changes it too (the
// last write time would not do: it is set to the source's before the rename). Never a link:
// its name says nothing of what it is.
void removeStale(int folder, const std::vector<std::string>& names, std::chrono::seconds age)
{
    // The fine clock: time() may trail a status time stamped from a finer clock.
    timespec now = {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    for (const std::string& name : names) {
        struct stat st = {};
        if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (age.count() == 0 || now.tv_sec - st.st_ctim.tv_sec >= age.count())
            ::unlinkat(folder, name.c_str(), 0);
    }
}

// Fills `entry` from a stat of a listed item; false for kinds that are never listed.
bool describe(const std::string& name, const struct stat& st, DirEntry& entry)
{
    if (S_ISREG(st.st_mode))
        entry.kind = EntryKind::File;
    else if (S_ISDIR(st.st_mode))
        entry.kind = EntryKind::Folder;
    else if (S_ISLNK(st.st_mode))
        entry.kind = EntryKind::Symlink;
    else
        return false;
    entry.name = name;
    entry.attributes = 0;
    if ((st.st_mode & S_IWUSR) == 0 && !S_ISLNK(st.st_mode))
        entry.attributes |= kAttrReadOnly;
    if (name.front() == '.')
        entry.attributes |= kAttrHidden;
    entry.lastWriteTime = toFileTime(st.st_mtim);
    entry.size = entry.kind == EntryKind::Folder ? 0 : static_cast<uint64_t>(st.st_size);
    return true;
}

// A directory stream over a new descriptor of `folder`, so the caller's handle stays open.
DirStream openStream(int folder)
{
    return streamOver(UniqueFd(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
}

} // namespace

FsError listFolderAt(int folder, std::vector<DirEntry>& entries, std::chrono::seconds staleAge,
                     bool kindsOnly, int32_t* specialItems)
{
    entries.clear();
    int32_t specials = 0;
    const DirStream dir = openStream(folder);
    if (dir == nullptr)
        return errorFromErrno(errno);
    const int fd = ::dirfd(dir.get());
    FsError result = FsError::Ok;
    std::vector<std::string> temporaries;
    for (;;) {
        errno = 0;
        const dirent* found = ::readdir(dir.get());
        if (found == nullptr) {
            if (errno != 0)
                result = FsError::Other;
            break;
        }
        const std::string name = found->d_name;
        if (name == "." || name == "..")
            continue;
        if (isTemporaryName(name)) {
            if (isExactTemporaryName(name))
                temporaries.push_back(name);
            continue;
        }
        // The type from the folder itself spares a stat for items that are never listed.
        if (found->d_type == DT_FIFO || found->d_type == DT_SOCK || found->d_type == DT_CHR ||
            found->d_type == DT_BLK) {
            ++specials;
            continue;
        }
        if (kindsOnly && (found->d_type == DT_REG || found->d_type == DT_DIR || found->d_type == DT_LNK)) {
            DirEntry entry;
            entry.name = name;
            entry.attributes = name.front() == '.' ? kAttrHidden : 0;
            entry.kind = found->d_type == DT_REG   ? EntryKind::File
                         : found->d_type == DT_DIR ? EntryKind::Folder
                                                   : EntryKind::Symlink;
            entries.push_back(std::move(entry));
            continue;
        }
        struct stat st = {};
        if (::fstatat(fd, found->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            // Gone since readdir: not an item any more. Anything else makes the listing
            // incomplete, and the caller must know (it may decide deletions on it).
            if (errno != ENOENT)
                result = FsError::Other;
            continue;
        }
        DirEntry entry;
        if (describe(name, st, entry))
            entries.push_back(std::move(entry));
        else
            ++specials;
    }
    if (specialItems != nullptr)
        *specialItems = specials;
    // After the walk: removing names while readdir runs may make it skip others.
    removeStale(fd, temporaries, staleAge);
    return result;
}

void removeStaleTemporariesAt(int folder, std::chrono::seconds staleAge)
{
    const DirStream dir = openStream(folder);
    if (dir == nullptr)
        return;
    std::vector<std::string> temporaries;
    while (const dirent* found = ::readdir(dir.get()))
        if (isExactTemporaryName(found->d_name))
            temporaries.push_back(found->d_name);
    removeStale(::dirfd(dir.get()), temporaries, staleAge);
}

FsError createFolderAt(int parent, const std::string& name, const struct stat* ownerFrom)
{
    if (!isPlainName(name))
        return FsError::Other;
    if (::mkdirat(parent, name.c_str(), 0777) == 0) {
        // A volume without owners (FAT) refuses and still gets the folder; any other failure
        // would leave root's folder where the source's owner was meant to be.
        if (ownerFrom != nullptr && keepsOwners() &&
            ::fchownat(parent, name.c_str(), ownerFrom->st_uid, ownerFrom->st_gid, AT_SYMLINK_NOFOLLOW) !=
                0 &&
            !isRefusal(errno))
            return errorFromErrno(errno);
        return FsError::Ok;
    }
    if (errno != EEXIST)
        return errorMakingName(errno, parent);
    struct stat st = {};
    if (::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
        return FsError::Exists;
    return FsError::Other; // a file or a link holds the name
}

FsError readStampAt(int parent, const std::string& name, FileStamp& stamp)
{
    if (!isPlainName(name))
        return FsError::Other;
    struct stat st = {};
    if (::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errorFromErrno(errno);
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        return FsError::Other;
    stamp.lastWriteTime = toFileTime(st.st_mtim);
    stamp.size = static_cast<uint64_t>(st.st_size);
    stamp.inode = static_cast<uint64_t>(st.st_ino);
    return FsError::Ok;
}

FsError readLinkAt(int parent, const std::string& name, std::string& text)
{
    if (!isPlainName(name))
        return FsError::Other;
    int error = 0;
    std::string read = readLinkText(parent, name, 255, error);
    if (error != 0)
        return error == EINVAL ? FsError::Other : errorFromErrno(error);
    text = std::move(read);
    return FsError::Ok;
}

FsError makeNormalAt(int parent, const std::string& name)
{
    if (!isPlainName(name))
        return FsError::Other;
    struct stat st = {};
    if (::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errorFromErrno(errno);
    if (S_ISLNK(st.st_mode))
        return FsError::Ok; // a link has no permission bits of its own
    if ((st.st_mode & S_IWUSR) != 0)
        return FsError::Ok;
    // NOFOLLOW: a link swapped in since the stat is refused (EOPNOTSUPP), not followed.
    if (::fchmodat(parent, name.c_str(), (st.st_mode & 07777) | S_IWUSR, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == EOPNOTSUPP ? FsError::Other : errorFromErrno(errno);
    return FsError::Ok;
}

std::unique_ptr<FileReader> openForReadingAt(int parent, const std::string& name, FsError& error)
{
    if (!isPlainName(name)) {
        error = FsError::Other;
        return nullptr;
    }
    struct stat st = {};
    int openError = 0;
    UniqueFd fd = openRegular(parent, name.c_str(), O_RDONLY | O_NOFOLLOW, st, openError);
    if (!fd.valid()) {
        error = openError == ELOOP || openError == 0 ? FsError::Other : errorFromErrno(openError);
        return nullptr;
    }
    // O_NONBLOCK stays: regular files ignore it.
    if (st.st_size >= kSequentialFrom)
        (void)::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    error = FsError::Ok;
    return std::make_unique<PosixFileReader>(std::move(fd), st.st_size);
}

// A run holds its root with an exclusive flock and every folder above it with a shared one.
// So a run whose root is held, or lies below another run's root, meets an exclusive lock (on
// the root, or on the ancestor that is the other's root) where it asks for its own; a run
// whose root lies above another's cannot have the exclusive lock because that other run holds
// it shared. Sibling roots share their ancestors' locks. The locks live in the kernel with the
// descriptors: nothing is written anywhere, and a run that crashed or was killed holds
// nothing, so it never blocks the next one.
std::unique_ptr<FolderLock> lockFolderAt(int folder, FsError& error)
{
    error = FsError::Ok;
    UniqueFd fd(retryOnEintr([&] { return ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    if (!fd.valid())
        return nullptr;
    if (retryOnEintr([&] { return ::flock(fd.get(), LOCK_EX | LOCK_NB); }) != 0) {
        if (errno == EWOULDBLOCK)
            error = FsError::Exists;
        return nullptr;
    }
    std::vector<UniqueFd> ancestors;
    if (!lockAncestors(fd.get(), ancestors)) {
        error = FsError::Exists;
        return nullptr;
    }
    return std::make_unique<PosixFolderLock>(std::move(fd), std::move(ancestors));
}

} // namespace tavrel::platform::posix
