#include "platform/posix_file_system.h"

#include "platform/posix_copy.h"
#include "platform/posix_io.h"
#include "platform/posix_remove.h"
#include "platform/posix_trash.h"
#include "platform/replace_file.h"

#include <climits>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrel::platform {

using posix::errorFromErrno;
using posix::isUsablePath;
using posix::retryOnEintr;
using posix::UniqueFd;

namespace {

class PosixFileReader final : public FileReader
{
public:
    explicit PosixFileReader(UniqueFd fd) : m_fd(std::move(fd)) {}

    // Fills the whole buffer unless the file ends, so two readers of equal files return equal
    // counts block by block.
    long read(void* buffer, std::size_t size) override
    {
        auto* bytes = static_cast<char*>(buffer);
        std::size_t total = 0;
        while (total < size) {
            const ssize_t got = retryOnEintr([&] { return ::read(m_fd.get(), bytes + total, size - total); });
            if (got < 0)
                return -1;
            if (got == 0)
                break;
            total += static_cast<std::size_t>(got);
        }
        return static_cast<long>(total);
    }

private:
    UniqueFd m_fd;
};

// Closing the descriptor releases the lock.
class PosixFolderLock final : public FolderLock
{
public:
    explicit PosixFolderLock(UniqueFd fd) : m_fd(std::move(fd)) {}

private:
    UniqueFd m_fd;
};

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
        if (now.tv_sec - st.st_ctim.tv_sec >= age.count())
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
    entry.lastWriteTime = posix::toFileTime(st.st_mtim);
    entry.size = entry.kind == EntryKind::Folder ? 0 : static_cast<uint64_t>(st.st_size);
    return true;
}

} // namespace

FsError PosixFileSystem::listFolder(const std::string& folder, std::vector<DirEntry>& entries)
{
    entries.clear();
    if (!isUsablePath(folder))
        return FsError::Other;
    const int fd = retryOnEintr([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0)
        return errorFromErrno(errno);
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        const int error = errno;
        ::close(fd);
        return errorFromErrno(error);
    }
    FsError result = FsError::Ok;
    std::vector<std::string> temporaries;
    for (;;) {
        errno = 0;
        const dirent* found = ::readdir(dir);
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
            found->d_type == DT_BLK)
            continue;
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
    }
    // After the walk: removing names while readdir runs may make it skip others.
    removeStale(fd, temporaries, m_staleTemporaryAge);
    ::closedir(dir);
    return result;
}

void PosixFileSystem::removeStaleTemporaries(const std::string& folder)
{
    if (!isUsablePath(folder))
        return;
    const int fd = retryOnEintr([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0)
        return;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return;
    }
    std::vector<std::string> temporaries;
    while (const dirent* found = ::readdir(dir))
        if (isExactTemporaryName(found->d_name))
            temporaries.push_back(found->d_name);
    removeStale(fd, temporaries, m_staleTemporaryAge);
    ::closedir(dir);
}

FsError PosixFileSystem::createFolder(const std::string& folder)
{
    if (!isUsablePath(folder))
        return FsError::Other;
    if (::mkdir(folder.c_str(), 0777) == 0)
        return FsError::Ok;
    if (errno != EEXIST)
        return errorFromErrno(errno);
    struct stat st = {};
    if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return FsError::Exists;
    return FsError::Other; // a file (or a dangling link) holds the name
}

FsError PosixFileSystem::readStamp(const std::string& path, FileStamp& stamp)
{
    if (!isUsablePath(path))
        return FsError::Other;
    struct stat st = {};
    if (::lstat(path.c_str(), &st) != 0)
        return errorFromErrno(errno);
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        return FsError::Other;
    stamp.lastWriteTime = posix::toFileTime(st.st_mtim);
    stamp.size = static_cast<uint64_t>(st.st_size);
    return FsError::Ok;
}

FsError PosixFileSystem::copyCreateOnly(const std::string& source, const std::string& target,
                                        const std::atomic<int32_t>* stopRequested)
{
    return posix::copyItem(source, target, posix::CopyMode::CreateOnly, nullptr, stopRequested);
}

FsError PosixFileSystem::copyOverwrite(const std::string& source, const std::string& target,
                                       const FileStamp* expected, const std::atomic<int32_t>* stopRequested)
{
    return posix::copyItem(source, target, posix::CopyMode::Overwrite, expected, stopRequested);
}

FsError PosixFileSystem::makeNormal(const std::string& path)
{
    if (!isUsablePath(path))
        return FsError::Other;
    struct stat st = {};
    if (::lstat(path.c_str(), &st) != 0)
        return errorFromErrno(errno);
    if (S_ISLNK(st.st_mode))
        return FsError::Ok; // a link has no permission bits of its own
    if ((st.st_mode & S_IWUSR) != 0)
        return FsError::Ok;
    // NOFOLLOW: a link swapped in since the lstat is refused (EOPNOTSUPP), not followed.
    if (::fchmodat(AT_FDCWD, path.c_str(), (st.st_mode & 07777) | S_IWUSR, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == EOPNOTSUPP ? FsError::Other : errorFromErrno(errno);
    return FsError::Ok;
}

std::unique_ptr<FileReader> PosixFileSystem::openForReading(const std::string& path, FsError& error)
{
    if (!isUsablePath(path)) {
        error = FsError::Other;
        return nullptr;
    }
    UniqueFd fd(
        retryOnEintr([&] { return ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); }));
    if (!fd.valid()) {
        error = errno == ELOOP ? FsError::Other : errorFromErrno(errno);
        return nullptr;
    }
    struct stat st = {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = FsError::Other;
        return nullptr;
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        error = FsError::Other;
        return nullptr;
    }
    error = FsError::Ok;
    return std::make_unique<PosixFileReader>(std::move(fd));
}

FsError PosixFileSystem::deleteItem(const std::string& path, bool toTrash)
{
    return toTrash ? posix::moveToTrash(path) : posix::removeOutright(path);
}

FsError PosixFileSystem::realFolder(const std::string& folder, std::string& real)
{
    if (!isUsablePath(folder))
        return FsError::Other;
    char* resolved = ::realpath(folder.c_str(), nullptr);
    if (resolved == nullptr)
        return errorFromErrno(errno);
    std::string result = resolved;
    std::free(resolved);
    struct stat st = {};
    if (::stat(result.c_str(), &st) != 0)
        return errorFromErrno(errno);
    if (!S_ISDIR(st.st_mode))
        return FsError::Other;
    if (result.back() != '/')
        result += '/';
    real = std::move(result);
    return FsError::Ok;
}

std::unique_ptr<FolderLock> PosixFileSystem::lockFolder(const std::string& folder, FsError& error)
{
    error = FsError::Ok;
    if (!isUsablePath(folder))
        return nullptr;
    UniqueFd fd(retryOnEintr([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    if (!fd.valid())
        return nullptr;
    if (retryOnEintr([&] { return ::flock(fd.get(), LOCK_EX | LOCK_NB); }) != 0) {
        if (errno == EWOULDBLOCK)
            error = FsError::Exists;
        return nullptr;
    }
    return std::make_unique<PosixFolderLock>(std::move(fd));
}

} // namespace tavrel::platform
