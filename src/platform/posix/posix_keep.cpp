// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_keep.h"

#include "platform/posix/posix_folder_ops.h"
#include "platform/posix/posix_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavrel::platform::posix {

namespace {

constexpr const char* kNotAFile = "a folder or another kind of item has the name";
constexpr const char* kNotAFolder = "no longer a folder";
constexpr const char* kReadBackDiffers = "the kept copy did not read back as the original";

bool sameStat(const struct stat& a, const struct stat& b)
{
    auto same = [](const timespec& x, const timespec& y) {
        return x.tv_sec == y.tv_sec && x.tv_nsec == y.tv_nsec;
    };
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           same(a.st_mtim, b.st_mtim) && same(a.st_ctim, b.st_ctim);
}

// Whether the two items read the same: a file byte for byte, a link by its text.
bool readsTheSame(const Place& a, const Place& b, bool link)
{
    if (link) {
        std::string first;
        std::string second;
        return readLinkAt(a.folder, a.name, first) == FsError::Ok &&
               readLinkAt(b.folder, b.name, second) == FsError::Ok && first == second;
    }
    FsError error = FsError::Ok;
    const std::unique_ptr<FileReader> first = openForReadingAt(a.folder, a.name, error);
    const std::unique_ptr<FileReader> second = openForReadingAt(b.folder, b.name, error);
    if (!first || !second)
        return false;
    std::vector<char> one(kCompareBlockSize);
    std::vector<char> two(kCompareBlockSize);
    for (;;) {
        const long got = first->read(one.data(), one.size());
        const long other = second->read(two.data(), two.size());
        if (got < 0 || got != other)
            return false;
        if (got == 0)
            return true;
        if (std::memcmp(one.data(), two.data(), static_cast<std::size_t>(got)) != 0)
            return false;
    }
}

// Where no rename or hard link can keep the item: a copy, read back, and for a move the
// original removed only once the copy is known good and the original is still the one copied.
FsError keepByCopy(const Place& source, const Place& destination, KeepMode mode, const struct stat& before,
                   const CopyOptions& options, CopyNotes* notes)
{
    const FsError copied =
        copyItemAt(source, destination, CopyMode::CreateOnly, nullptr, nullptr, notes, options);
    if (copied != FsError::Ok)
        return copied;
    auto undo = [&](FsError error) {
        ::unlinkat(destination.folder, destination.name.c_str(), 0);
        return error;
    };
    if (!readsTheSame(source, destination, S_ISLNK(before.st_mode)))
        return undo(failedBecause(FsError::Other, FailedSide::Target, kReadBackDiffers));
    struct stat after = {};
    if (::fstatat(source.folder, source.name.c_str(), &after, AT_SYMLINK_NOFOLLOW) != 0)
        return undo(errorFromErrno(errno, FailedSide::Source));
    if (!sameStat(before, after))
        return undo(FsError::SourceChanged);
    if (mode == KeepMode::Copy)
        return FsError::Ok;
    if (::unlinkat(source.folder, source.name.c_str(), 0) != 0)
        return undo(errorFromErrno(errno, FailedSide::Source));
    return FsError::Ok;
}

} // namespace

FsError keepItemAt(const Place& source, const Place& destination, KeepMode mode, const CopyOptions& options,
                   CopyNotes* notes)
{
    if (!isPlainName(source.name) || !isPlainName(destination.name))
        return FsError::Other;
    struct stat before = {};
    if (::fstatat(source.folder, source.name.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0)
        return errorFromErrno(errno, FailedSide::Source);
    if (!S_ISREG(before.st_mode) && !S_ISLNK(before.st_mode))
        return failedBecause(FsError::Other, FailedSide::Source, kNotAFile);

    if (mode == KeepMode::Move) {
        if (renameWithoutReplacing(source.folder, source.name, destination.folder, destination.name) == 0)
            return FsError::Ok;
        if (errno != EXDEV)
            return errorMakingName(errno, destination.folder);
    } else {
        // Without AT_SYMLINK_FOLLOW a link is linked as itself, never what it points to.
        if (::linkat(source.folder, source.name.c_str(), destination.folder, destination.name.c_str(), 0) ==
            0)
            return FsError::Ok;
        const int error = errno;
        if (error != EXDEV && error != EPERM && error != EOPNOTSUPP && error != ENOSYS && error != EMLINK)
            return errorMakingName(error, destination.folder);
    }
    return keepByCopy(source, destination, mode, before, options, notes);
}

FsError removeEmptyFolderAt(int parent, const std::string& name)
{
    if (!isPlainName(name))
        return FsError::Other;
    if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0)
        return FsError::Ok;
    // Something came in since it was emptied: it stays, with what it holds.
    if (errno == ENOTEMPTY || errno == EEXIST)
        return failedBecause(FsError::Other, FailedSide::Unknown, "the folder is not empty");
    if (errno == ENOTDIR)
        return failedBecause(FsError::Other, FailedSide::Unknown, kNotAFolder);
    return errorFromErrno(errno);
}

} // namespace tavrel::platform::posix
