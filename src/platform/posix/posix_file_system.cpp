// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_file_system.h"

#include "platform/mount_table.h"
#include "platform/path_text.h"
#include "platform/posix/fd_io.h"
#include "platform/posix/posix_confined.h"
#include "platform/posix/posix_copy.h"
#include "platform/posix/posix_folder_ops.h"
#include "platform/posix/posix_io.h"
#include "platform/posix/posix_keep.h"
#include "platform/posix/posix_remove.h"
#include "platform/posix/posix_trash.h"
#include "platform/posix/temporary_name.h"

#include <array>
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
using posix::splitFolderAndName;
using posix::UniqueFd;

namespace {

// The folder at `path`, links followed as the path says, for *at calls. O_PATH needs no read
// permission: a folder one may only write into still takes new files.
UniqueFd openFolderPath(const std::string& path, FsError& error, int access = O_PATH)
{
    UniqueFd fd(retryOnEintr([&] { return ::open(path.c_str(), access | O_DIRECTORY | O_CLOEXEC); }));
    error = fd.valid() ? FsError::Ok : errorFromErrno(errno);
    return fd;
}

// Larger than any real table of file systems; a bigger file is read only this far.
constexpr std::size_t kMaxTableBytes = std::size_t{1} << 20;

// The text of a table such as /etc/fstab, or empty when it cannot be read. Read to its end,
// since files under /proc report a size of 0.
std::string readTableFile(const std::string& file)
{
    const UniqueFd fd(retryOnEintr([&] { return ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); }));
    if (!fd.valid())
        return {};
    std::string text;
    std::array<uint8_t, 16384> buffer;
    while (text.size() < kMaxTableBytes) {
        const ssize_t got = posix::readFull(fd.get(), buffer);
        if (got <= 0)
            break;
        text.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(got));
        if (static_cast<std::size_t>(got) < buffer.size())
            break;
    }
    return text;
}

// Runs `call(folderFd, name)` on the item at `path`.
template <typename Call> FsError atParent(const std::string& path, Call call)
{
    if (!isUsablePath(path))
        return FsError::Other;
    const auto [folderPath, name] = splitFolderAndName(path);
    FsError error = FsError::Ok;
    const UniqueFd folder = openFolderPath(folderPath, error);
    if (!folder.valid())
        return error;
    return call(folder.get(), name);
}

} // namespace

FsError PosixFileSystem::listFolder(const std::string& folder, std::vector<DirEntry>& entries)
{
    int32_t specialItems = 0;
    return listFolderCounting(folder, entries, specialItems);
}

FsError PosixFileSystem::listFolderCounting(const std::string& folder, std::vector<DirEntry>& entries,
                                            int32_t& specialItems)
{
    entries.clear();
    specialItems = 0;
    if (!isUsablePath(folder))
        return FsError::Other;
    FsError error = FsError::Ok;
    const UniqueFd fd = openFolderPath(folder, error, O_RDONLY);
    if (!fd.valid())
        return error;
    return posix::listFolderAt(fd.get(), entries, m_staleTemporaryAge, false, &specialItems);
}

void PosixFileSystem::removeStaleTemporaries(const std::string& folder)
{
    if (!isUsablePath(folder))
        return;
    FsError error = FsError::Ok;
    const UniqueFd fd = openFolderPath(folder, error);
    if (fd.valid())
        posix::removeStaleTemporariesAt(fd.get(), m_staleTemporaryAge);
}

FsError PosixFileSystem::createFolder(const std::string& folder, const std::string& ownerFrom)
{
    struct stat owner = {};
    const bool hasOwner = !ownerFrom.empty() && ::stat(ownerFrom.c_str(), &owner) == 0;
    const FsError result = atParent(folder, [&](int parent, const std::string& name) {
        return posix::createFolderAt(parent, name, hasOwner ? &owner : nullptr);
    });
    // A folder given by path may be reached through a link, as a root typed by the user may.
    struct stat st = {};
    if (result == FsError::Other && isUsablePath(folder) && ::stat(folder.c_str(), &st) == 0 &&
        S_ISDIR(st.st_mode))
        return FsError::Exists;
    return result;
}

FsError PosixFileSystem::readStamp(const std::string& path, FileStamp& stamp)
{
    return atParent(
        path, [&](int parent, const std::string& name) { return posix::readStampAt(parent, name, stamp); });
}

FsError PosixFileSystem::copy(const std::string& source, const std::string& target,
                              const CopyRequest& request)
{
    if (request.mode == CopyMode::CreateOnly)
        return posix::copyItem(source, target, posix::CopyMode::CreateOnly, nullptr, request.stopRequested);
    posix::CopyOptions options;
    options.trashReplaced = request.keepOld;
    return posix::copyItem(source, target, posix::CopyMode::Overwrite, request.expected,
                           request.stopRequested, options);
}

FsError PosixFileSystem::makeNormal(const std::string& path)
{
    return atParent(path,
                    [&](int parent, const std::string& name) { return posix::makeNormalAt(parent, name); });
}

std::unique_ptr<FileReader> PosixFileSystem::openForReading(const std::string& path, FsError& error)
{
    std::unique_ptr<FileReader> reader;
    error = atParent(path, [&](int parent, const std::string& name) {
        FsError opened = FsError::Ok;
        reader = posix::openForReadingAt(parent, name, opened);
        return opened;
    });
    return reader;
}

FsError PosixFileSystem::readLink(const std::string& path, std::string& text)
{
    return atParent(
        path, [&](int parent, const std::string& name) { return posix::readLinkAt(parent, name, text); });
}

FsError PosixFileSystem::sameFolder(const std::string& a, const std::string& b, bool& same)
{
    same = false;
    if (!isUsablePath(a) || !isUsablePath(b))
        return FsError::Other;
    FsError error = FsError::Ok;
    const UniqueFd first = openFolderPath(a, error);
    const UniqueFd second = openFolderPath(b, error);
    if (!first.valid() || !second.valid())
        return error == FsError::Ok ? FsError::Other : error;
    // A marker made in one and looked up in the other, each way round: a read-only side may
    // refuse the marker.
    for (const auto& [made, looked] :
         {std::pair{first.get(), second.get()}, std::pair{second.get(), first.get()}}) {
        std::string marker;
        if (!createExclusiveTemporary(made, "same-folder", marker).valid())
            continue;
        struct stat st = {};
        same = ::fstatat(looked, marker.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        ::unlinkat(made, marker.c_str(), 0);
        return FsError::Ok;
    }
    return FsError::Other;
}

FsError PosixFileSystem::deleteItem(const std::string& path, bool toTrash)
{
    return atParent(path, [&](int parent, const std::string& name) {
        return toTrash ? posix::moveToTrashAt(parent, name) : posix::removeOutrightAt(parent, name);
    });
}

FsError PosixFileSystem::keepItem(const std::string& path, const std::string& destination, KeepMode mode)
{
    if (!isUsablePath(path) || !isUsablePath(destination))
        return FsError::Other;
    const auto [sourceFolderPath, sourceName] = splitFolderAndName(path);
    const auto [folderPath, name] = splitFolderAndName(destination);
    FsError error = FsError::Ok;
    const UniqueFd sourceFolder = openFolderPath(sourceFolderPath, error);
    if (!sourceFolder.valid())
        return error;
    const UniqueFd folder = openFolderPath(folderPath, error);
    if (!folder.valid())
        return error;
    return posix::keepItemAt({sourceFolder.get(), sourceName}, {folder.get(), name}, mode);
}

FsError PosixFileSystem::removeEmptyFolder(const std::string& path)
{
    return atParent(posix::withoutTrailingSlash(path), [&](int parent, const std::string& name) {
        return posix::removeEmptyFolderAt(parent, name);
    });
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

uint64_t PosixFileSystem::volumeOf(const std::string& folder)
{
    struct stat st = {};
    if (!isUsablePath(folder) || ::stat(folder.c_str(), &st) != 0)
        return 0;
    return static_cast<uint64_t>(st.st_dev) + 1;
}

bool PosixFileSystem::liesOnVacantMountPoint(const std::string& folder)
{
    if (!isUsablePath(folder) || folder.front() != '/')
        return false;
    // The nearest folder that exists, with its links resolved, and the names still missing
    // below it: the path the folder would get if it were made now.
    std::string existing = folder;
    std::string missing;
    std::string real;
    while (realFolder(existing, real) != FsError::Ok) {
        const PathParts parts = splitPath(existing);
        if (parts.folder.empty() || parts.name.empty())
            return false;
        missing.insert(0, std::string(parts.name) + "/");
        existing = std::string(parts.folder);
    }
    return platform::liesOnVacantMountPoint(real + missing, readTableFile(m_fileSystemTable),
                                            readTableFile("/proc/self/mounts"));
}

std::unique_ptr<FolderLock> PosixFileSystem::lockFolder(const std::string& folder, FsError& error)
{
    error = FsError::Ok;
    if (!isUsablePath(folder))
        return nullptr;
    FsError opened = FsError::Ok;
    const UniqueFd fd = openFolderPath(folder, opened);
    if (!fd.valid())
        return nullptr;
    return posix::lockFolderAt(fd.get(), error);
}

std::unique_ptr<FileSystem> PosixFileSystem::confineTo(const std::vector<std::string>& roots, FsError& error)
{
    return posix::makeConfinedFileSystem(*this, roots, m_staleTemporaryAge, error);
}

} // namespace tavrel::platform
