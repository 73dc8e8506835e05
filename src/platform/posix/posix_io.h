// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/file_system.h"
#include "platform/unique_fd.h"

#include <cerrno>
#include <cstdint>
#include <dirent.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace tavrel::platform::posix {

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

struct DirCloser
{
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// A directory stream; closing it closes the descriptor it read from.
using DirStream = std::unique_ptr<DIR, DirCloser>;

// A stream over the folder open as `fd`, which it takes over. Null with errno set (and `fd`
// closed) when `fd` is not valid or fdopendir refuses it.
DirStream streamOver(UniqueFd fd);

// Repeats a system call while it fails with EINTR.
template <typename Call> auto retryOnEintr(Call call)
{
    auto result = call();
    while (result == -1 && errno == EINTR)
        result = call();
    return result;
}

// The error value for an errno of a failed call, noted as the thread's last failure on the
// side a FailureSide in scope names (else Unknown).
FsError errorFromErrno(int error);
// The same, on `side`.
FsError errorFromErrno(int error, FailedSide side);
// errorFromErrno for a call that gave a new name in the folder open as `folder` (a create, a
// rename from `from` there): noted as making a name, so that a volume refusing the name says
// so. ENOENT counts only while the folder (and `from`) are still there: else it is the
// system's own.
FsError errorMakingName(int error, int folder, const char* from = nullptr);

// `error`, noted as the thread's last failure on `side` with `cause`: for failures that no
// errno stands for (an item that changed kind since it was listed).
FsError failedBecause(FsError error, FailedSide side, const char* cause);

// While it lives, failures mapped on this thread belong to `side` (of a copy, say).
class FailureSide final
{
public:
    explicit FailureSide(platform::FailedSide side);
    ~FailureSide();
    FailureSide(const FailureSide&) = delete;
    FailureSide& operator=(const FailureSide&) = delete;

private:
    platform::FailedSide m_previous;
};

// False for a path the kernel would refuse or read as another path: empty, with a NUL byte,
// of PATH_MAX bytes or more, or with a component longer than NAME_MAX.
bool isUsablePath(std::string_view path);

// Whether `name` is one item's name: not empty, not "." or "..", without "/" or a NUL byte,
// at most NAME_MAX bytes. Every *at call of ours takes only such names.
bool isPlainName(std::string_view name);

// Run by root, what the program creates keeps its source's owner, as cp -a does; anyone else
// owns what they write.
bool keepsOwners();

// Whether `error` is a volume saying it cannot keep some metadata (owner, mode, times): the
// content stands.
bool isRefusal(int error);

// `path` without trailing "/" (the root stays "/").
std::string withoutTrailingSlash(std::string_view path);

// Splits "a/b/name" into "a/b/" and "name"; a bare name gets the folder "./".
std::pair<std::string, std::string> splitFolderAndName(std::string_view path);

// Renames `from` in `fromFolder` to `to` in `toFolder` unless `to` is taken. RENAME_NOREPLACE
// where the file system has it (FUSE volumes often lack it); else a hard link, which refuses a
// taken name too, and the old name removed; else (folders, FAT) a look, then a plain rename: a
// name made between the two is the one case left that it could replace. 0, or -1 with errno
// (EEXIST when `to` is taken, EXDEV across volumes).
int renameWithoutReplacing(int fromFolder, const std::string& from, int toFolder, const std::string& to);

// Opens `name` in `folder` (AT_FDCWD for a path) with `flags` and O_CLOEXEC|O_NONBLOCK (a FIFO
// put in the file's place cannot block the open; a regular file ignores the flag), creating it
// with `mode` under O_CREAT, and keeps it only when it is a regular file, whose stat goes to
// `info`. Not valid on failure, with `error` set to the errno, or to 0 when what was opened
// is no regular file. With O_NOFOLLOW a link there fails with ELOOP.
UniqueFd openRegular(int folder, const char* name, int flags, struct stat& info, int& error, mode_t mode = 0);

// The text of the link `name` in `folder` (AT_FDCWD for a path), however long: `sizeHint` (its
// lstat size, where known) sizes the first try. Empty with `error` set to the errno on failure
// (EINVAL: not a link), else `error` is 0.
std::string readLinkText(int folder, const std::string& name, std::size_t sizeHint, int& error);

// A stat time as 100 ns units since the Unix epoch, truncated.
int64_t toFileTime(const timespec& time);

} // namespace tavrel::platform::posix
