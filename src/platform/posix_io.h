// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/file_system.h"

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tavrel::platform::posix {

// Owns one file descriptor and closes it once.
class UniqueFd final
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void reset(int fd = -1);
    // Closes now and reports the close error (0 or an errno): a late write error shows up here
    // on network file systems.
    int close();

private:
    int m_fd = -1;
};

// The identity of a folder, which no path text can disguise.
struct FolderIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FolderIdentity&) const = default;
};

inline FolderIdentity identityOf(const struct stat& st)
{
    return {st.st_dev, st.st_ino};
}

// Folders a walk must never enter, write or delete: the other root of a pair.
using ForeignFolders = std::vector<FolderIdentity>;

inline bool isForeign(const struct stat& st, const ForeignFolders& foreign)
{
    if (!S_ISDIR(st.st_mode))
        return false;
    for (const FolderIdentity& id : foreign)
        if (id == identityOf(st))
            return true;
    return false;
}

// Repeats a system call while it fails with EINTR.
template <typename Call> auto retryOnEintr(Call call)
{
    auto result = call();
    while (result == -1 && errno == EINTR)
        result = call();
    return result;
}

// The error value for an errno of a failed call.
FsError errorFromErrno(int error);

// False for a path the kernel would refuse or read as another path: empty, with a NUL byte,
// of PATH_MAX bytes or more, or with a component longer than NAME_MAX.
bool isUsablePath(std::string_view path);

// Whether `name` is one item's name: not empty, not "." or "..", without "/" or a NUL byte,
// at most NAME_MAX bytes. Every *at call of ours takes only such names.
bool isPlainName(std::string_view name);

// Run by root, what the program creates keeps its source's owner, as cp -a does; anyone else
// owns what they write.
bool keepsOwners();

// `path` without trailing "/" (the root stays "/").
std::string withoutTrailingSlash(std::string_view path);

// Splits "a/b/name" into "a/b/" and "name"; a bare name gets the folder "./".
std::pair<std::string, std::string> splitFolderAndName(std::string_view path);

// A stat time as 100 ns units since the Unix epoch, truncated.
int64_t toFileTime(const timespec& time);

} // namespace tavrel::platform::posix
