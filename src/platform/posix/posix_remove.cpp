// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_remove.h"

#include "platform/posix/posix_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavrel::platform::posix {

namespace {

// What emptyFolder returns for a subfolder of `foreign`; errno values are positive.
constexpr int kForeign = -1;

// Empties the folder open as `folder`, depth first. 0, the first errno or kForeign.
int emptyFolder(int folder, const ForeignFolders& foreign)
{
    // Names are read in full before anything is removed: removing while reading may make
    // readdir skip entries.
    std::vector<std::pair<std::string, bool>> children;
    {
        const DirStream dir = streamOver(UniqueFd(::dup(folder)));
        if (dir == nullptr)
            return errno;
        ::rewinddir(dir.get());
        int error = 0;
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(dir.get());
            if (entry == nullptr) {
                error = errno;
                break;
            }
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            bool isFolder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat st = {};
                if (::fstatat(folder, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                    isFolder = S_ISDIR(st.st_mode);
            }
            children.emplace_back(std::string(name), isFolder);
        }
        if (error != 0)
            return error;
    }
    for (const auto& [name, isFolder] : children) {
        if (isFolder) {
            UniqueFd child(retryOnEintr([folder, childName = name.c_str()] {
                return ::openat(folder, childName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            }));
            if (!child.valid())
                return errno;
            struct stat st = {};
            if (::fstat(child.get(), &st) != 0)
                return errno;
            if (isForeign(st, foreign))
                return kForeign;
            if (int error = emptyFolder(child.get(), foreign))
                return error;
        }
        if (::unlinkat(folder, name.c_str(), isFolder ? AT_REMOVEDIR : 0) != 0 && errno != ENOENT)
            return errno;
    }
    return 0;
}

} // namespace

FsError removeOutrightAt(int folder, const std::string& name, const ForeignFolders& foreign)
{
    if (!isPlainName(name))
        return FsError::Other;
    struct stat st = {};
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errorFromErrno(errno);
    if (!S_ISDIR(st.st_mode))
        return ::unlinkat(folder, name.c_str(), 0) == 0 ? FsError::Ok : errorFromErrno(errno);

    UniqueFd tree(retryOnEintr(
        [&] { return ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }));
    if (!tree.valid())
        return errno == ELOOP ? FsError::Other : errorFromErrno(errno);
    if (::fstat(tree.get(), &st) != 0)
        return errorFromErrno(errno);
    if (isForeign(st, foreign))
        return FsError::Overlap;
    if (int error = emptyFolder(tree.get(), foreign))
        return error == kForeign ? FsError::Overlap : errorFromErrno(error);
    tree.reset();
    return ::unlinkat(folder, name.c_str(), AT_REMOVEDIR) == 0 ? FsError::Ok : errorFromErrno(errno);
}

} // namespace tavrel::platform::posix
