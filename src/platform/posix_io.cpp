// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix_io.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tavrel::platform::posix {

namespace {

// The errno behind the last failure mapped on this thread, like errno itself: only a reason
// for the log, never a decision.
thread_local int t_lastFailure = 0;
// A reason no errno gives; it wins over t_lastFailure while it is set.
thread_local const char* t_lastFailureText = nullptr;

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
    if (error != 0) {
        t_lastFailure = error;
        t_lastFailureText = nullptr;
    }
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

bool isUsablePath(std::string_view path)
{
    if (path.empty() || path.size() >= PATH_MAX || path.find('\0') != std::string_view::npos)
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

std::string withoutTrailingSlash(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return std::string(path);
}

std::pair<std::string, std::string> splitFolderAndName(std::string_view path)
{
    const std::string whole = withoutTrailingSlash(path);
    const std::size_t slash = whole.rfind('/');
    if (slash == std::string::npos)
        return {"./", whole};
    return {whole.substr(0, slash + 1), whole.substr(slash + 1)};
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

FsError failWith(FsError error, const char* reason)
{
    t_lastFailure = 0;
    t_lastFailureText = reason;
    return error;
}

} // namespace tavrel::platform::posix

namespace tavrel::platform {

std::string lastFailureReason()
{
    const int error = std::exchange(posix::t_lastFailure, 0);
    if (const char* text = std::exchange(posix::t_lastFailureText, nullptr))
        return text;
    if (error == 0)
        return {};
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not be in `buffer`.
    return ::strerror_r(error, buffer, sizeof buffer);
}

void forgetLastFailure()
{
    posix::t_lastFailure = 0;
    posix::t_lastFailureText = nullptr;
}

} // namespace tavrel::platform
