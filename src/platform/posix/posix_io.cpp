// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_io.h"

#include "platform/path_text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace tavrel::platform::posix {

namespace {

// The side of the failures mapped on this thread now.
thread_local FailedSide t_side = FailedSide::Unknown;

FsError mapped(int error, const FailureNote& note)
{
    if (error != 0)
        noteFailure(note);
    switch (error) {
    case 0:
        return FsError::Ok;
    case EEXIST:
        return FsError::Exists;
    case ENOSPC:
    case EDQUOT:
        return FsError::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
        return FsError::AccessDenied;
    case ENOENT:
    case ENOTDIR:
        return FsError::NotFound;
    default:
        return FsError::Other;
    }
}

} // namespace

DirStream streamOver(UniqueFd fd)
{
    if (!fd.valid())
        return nullptr;
    DirStream dir(::fdopendir(fd.get()));
    if (dir == nullptr) {
        const int error = errno;
        fd.reset();
        errno = error;
        return nullptr;
    }
    fd.release();
    return dir;
}

FsError errorFromErrno(int error)
{
    return errorFromErrno(error, t_side);
}

FsError errorFromErrno(int error, FailedSide side)
{
    return mapped(error, {side, std::error_code(error, std::generic_category()), false});
}

FsError errorMakingName(int error, int folder, const char* from)
{
    bool refusedName = true;
    if (error == ENOENT) {
        // A folder removed meanwhile, or a temporary someone took away, is no refused name.
        struct stat st = {};
        refusedName = ::fstat(folder, &st) == 0 && st.st_nlink > 0 &&
                      (from == nullptr || ::fstatat(folder, from, &st, AT_SYMLINK_NOFOLLOW) == 0);
    }
    return mapped(error, {t_side, std::error_code(error, std::generic_category()), refusedName});
}

FsError failedBecause(FsError error, FailedSide side, const char* cause)
{
    noteFailure({side, {}, false, cause});
    return error;
}

FailureSide::FailureSide(FailedSide side) : m_previous(std::exchange(t_side, side)) {}

FailureSide::~FailureSide()
{
    t_side = m_previous;
}

static_assert(kMaxPathBytes + 1 == PATH_MAX, "the path limit is the system's, less its terminating NUL");

bool isUsablePath(std::string_view path)
{
    if (path.empty() || pathTooLong(path) || path.find('\0') != std::string_view::npos)
        return false;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end - start > NAME_MAX)
            return false;
        start = end + 1;
    }
    return true;
}

bool isPlainName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.size() <= NAME_MAX &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

bool keepsOwners()
{
    static const bool root = ::geteuid() == 0;
    return root;
}

bool isRefusal(int error)
{
    return error == EPERM || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP;
}

std::string withoutTrailingSlash(std::string_view path)
{
    return std::string(withoutTrailingSlashes(path));
}

std::pair<std::string, std::string> splitFolderAndName(std::string_view path)
{
    const PathParts parts = splitPath(path);
    return {parts.folder.empty() ? std::string("./") : std::string(parts.folder), std::string(parts.name)};
}

int renameWithoutReplacing(int fromFolder, const std::string& from, int toFolder, const std::string& to)
{
    if (::renameat2(fromFolder, from.c_str(), toFolder, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return -1;
    if (::linkat(fromFolder, from.c_str(), toFolder, to.c_str(), 0) == 0) {
        ::unlinkat(fromFolder, from.c_str(), 0);
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return -1;
    struct stat st = {};
    if (::fstatat(toFolder, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    if (errno != ENOENT)
        return -1;
    return ::renameat(fromFolder, from.c_str(), toFolder, to.c_str());
}

int64_t toFileTime(const timespec& time)
{
    return static_cast<int64_t>(time.tv_sec) * 10'000'000 + time.tv_nsec / 100;
}

UniqueFd openRegular(int folder, const char* name, int flags, struct stat& info, int& error, mode_t mode)
{
    UniqueFd fd(retryOnEintr([&] { return ::openat(folder, name, flags | O_CLOEXEC | O_NONBLOCK, mode); }));
    if (!fd.valid()) {
        error = errno;
        return fd;
    }
    if (::fstat(fd.get(), &info) != 0) {
        error = errno;
        return UniqueFd();
    }
    if (!S_ISREG(info.st_mode)) {
        error = 0;
        return UniqueFd();
    }
    error = 0;
    return fd;
}

std::string readLinkText(int folder, const std::string& name, std::size_t sizeHint, int& error)
{
    std::string text(std::max<std::size_t>(sizeHint, 63) + 1, '\0');
    for (;;) {
        const ssize_t length = ::readlinkat(folder, name.c_str(), text.data(), text.size());
        if (length < 0) {
            error = errno;
            return {};
        }
        if (static_cast<std::size_t>(length) < text.size()) {
            text.resize(static_cast<std::size_t>(length));
            error = 0;
            return text;
        }
        text.resize(text.size() * 2); // longer than the buffer, or it grew since lstat: read again
    }
}

} // namespace tavrel::platform::posix
