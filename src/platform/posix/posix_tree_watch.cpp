// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/path_text.h"
#include "platform/posix/temporary_name.h"
#include "platform/tree_watch.h"
#include "platform/unique_fd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <unordered_map>

namespace tavrel::platform {
namespace {

using posix::UniqueFd;

constexpr uint32_t kChildEvents =
    IN_CREATE | IN_DELETE | IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO;
// IN_EXCL_UNLINK: a file deleted while still open says nothing more of its writes.
constexpr uint32_t kWatchMask = kChildEvents | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;

// A freedesktop trash made at the top of a volume (".Trash-1000", ".Trash") holds what a run
// deleted, no change of the user's.
bool isOwnName(std::string_view folder, std::string_view name)
{
    return isTemporaryName(name) || (folder.empty() && name.substr(0, 6) == ".Trash");
}

// A file made unnamed (O_TMPFILE, as our copies are written) and linked under its name once
// whole is told by the kernel under "#" and its inode number while it is written: an
// event of that name that makes or moves nothing, for which the folder holds no such item,
// is one of those.
bool isUnnamedFileEvent(uint32_t mask, std::string_view name)
{
    if (name.size() < 2 || name.front() != '#' ||
        (mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO)) != 0)
        return false;
    return std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string joined(const std::string& folder, std::string_view name)
{
    std::string path = folder;
    if (!path.empty())
        path.push_back('/');
    path.append(name);
    return path;
}

// The subfolders of the open folder `fd` (no links), names only.
std::vector<std::string> subfolders(int fd)
{
    std::vector<std::string> names;
    const int own = ::dup(fd);
    if (own < 0)
        return names;
    DIR* dir = ::fdopendir(own);
    if (dir == nullptr) {
        ::close(own);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st = {};
            folder = ::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        if (folder)
            names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

class InotifyTreeWatch final : public TreeWatch
{
public:
    explicit InotifyTreeWatch(UniqueFd fd) : m_fd(std::move(fd)) {}

    WatchStatus watchTree(int tree, const std::string& root) override
    {
        // The root may be a link, resolved here once; below it, nothing is followed.
        UniqueFd rootFd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!rootFd.valid())
            return WatchStatus::Missing;
        m_roots[tree] = root;
        const int error = addFolders(tree, rootFd.get(), std::string());
        if (error == 0)
            return WatchStatus::Ok;
        unwatchTree(tree);
        return error == ENOSPC ? WatchStatus::LimitReached : WatchStatus::Other;
    }

    void unwatchTree(int tree) override
    {
        forget([tree](const Place& place) { return place.tree == tree; });
        m_roots.erase(tree);
    }

    void wait(std::chrono::milliseconds timeout, WatchEvents& events) override
    {
        pollfd waitFor = {m_fd.get(), POLLIN, 0};
        if (::poll(&waitFor, 1, static_cast<int>(timeout.count())) <= 0)
            return;
        alignas(inotify_event) std::array<char, std::size_t{64} * 1024> buffer;
        for (;;) {
            const ssize_t got = ::read(m_fd.get(), buffer.data(), buffer.size());
            if (got <= 0)
                return;
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                handle(*event, events);
            }
        }
    }

    std::size_t watchedFolders() const override { return m_places.size(); }

private:
    // Where a watch is: a folder of a tree. One folder can be in several trees (nested roots),
    // and the kernel gives it one watch.
    struct Place
    {
        int tree = -1;
        std::string folder;
    };

    // Watches `fd` (the folder `folder` of `tree`) and every folder below; 0 or the errno of the
    // first watch that failed for want of room. Folders that vanish meanwhile are left.
    int addFolders(int tree, int fd, const std::string& folder)
    {
        // The kernel follows the descriptor's link to the very folder that was opened, so no
        // path is looked up again and no link swapped in can be followed.
        char path[64];
        std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
        const int wd = ::inotify_add_watch(m_fd.get(), path, kWatchMask);
        if (wd < 0)
            return errno == ENOSPC ? ENOSPC : 0;
        std::vector<Place>& places = m_places[wd];
        bool known = false;
        for (Place& place : places)
            if (place.tree == tree) {
                place.folder = folder;
                known = true;
            }
        if (!known)
            places.push_back({tree, folder});
        for (const std::string& name : subfolders(fd)) {
            if (isOwnName(folder, name))
                continue;
            UniqueFd sub(::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!sub.valid())
                continue;
            if (const int error = addFolders(tree, sub.get(), joined(folder, name)); error != 0)
                return error;
        }
        return 0;
    }

    template <typename Drops> void forget(Drops drops)
    {
        for (auto it = m_places.begin(); it != m_places.end();) {
            std::vector<Place>& places = it->second;
            std::erase_if(places, drops);
            if (places.empty()) {
                ::inotify_rm_watch(m_fd.get(), it->first);
                it = m_places.erase(it);
            } else {
                ++it;
            }
        }
    }

    void handle(const inotify_event& event, WatchEvents& events)
    {
        if ((event.mask & IN_Q_OVERFLOW) != 0) {
            events.overflowed = true;
            return;
        }
        const auto found = m_places.find(event.wd);
        if (found == m_places.end())
            return;
        const std::vector<Place> places = found->second;
        if ((event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) != 0) {
            for (const Place& place : places)
                if (place.folder.empty())
                    events.rootsGone.push_back(place.tree);
            // A subfolder's own end is seen by its parent; the watch goes with the folder.
            if ((event.mask & IN_IGNORED) != 0)
                m_places.erase(event.wd);
            return;
        }
        if (event.len == 0)
            return;
        const std::string_view name(event.name);
        const bool folder = (event.mask & IN_ISDIR) != 0;
        for (const Place& place : places) {
            if (isOwnName(place.folder, name))
                continue;
            const std::string path = joined(place.folder, name);
            if (isUnnamedFileEvent(event.mask, name)) {
                struct stat st = {};
                const std::string full = asFolder(m_roots[place.tree]) + path;
                if (::fstatat(AT_FDCWD, full.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
            }
            // A folder moved away takes its watches' places with it: they are found again
            // where it lands, if that is in a watched tree.
            if (folder && (event.mask & IN_MOVED_FROM) != 0)
                forget([&](const Place& p) { return p.tree == place.tree && isAtOrBelow(p.folder, path); });
            const bool came = folder && (event.mask & (IN_CREATE | IN_MOVED_TO)) != 0;
            if (came) {
                const auto root = m_roots.find(place.tree);
                if (root != m_roots.end()) {
                    UniqueFd sub(::open(joined(root->second, path).c_str(),
                                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                    if (sub.valid() && addFolders(place.tree, sub.get(), path) == ENOSPC)
                        events.limitReached.push_back(place.tree);
                }
            }
            events.changes.push_back({place.tree, place.folder, std::string(name), came});
        }
    }

    UniqueFd m_fd;
    std::unordered_map<int, std::vector<Place>> m_places; // by watch descriptor
    std::unordered_map<int, std::string> m_roots;         // by tree
};

void digestFolder(int fd, const std::string& folder, uint64_t& digest, int depth)
{
    const int own = ::dup(fd);
    if (own < 0)
        return;
    DIR* dir = ::fdopendir(own);
    if (dir == nullptr) {
        ::close(own);
        return;
    }
    std::vector<std::string> folders;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || isOwnName(folder, name))
            continue;
        struct stat st = {};
        if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        // FNV-1a of the entry, summed: the order of a listing does not matter.
        uint64_t hash = 1469598103934665603ULL;
        auto mix = [&hash](const void* data, std::size_t size) {
            const auto* bytes = static_cast<const unsigned char*>(data);
            for (std::size_t i = 0; i < size; ++i)
                hash = (hash ^ bytes[i]) * 1099511628211ULL;
        };
        const std::string path = joined(folder, name);
        mix(path.data(), path.size() + 1);
        const std::array<int64_t, 4> facts{static_cast<int64_t>(st.st_mode), static_cast<int64_t>(st.st_size),
                                           static_cast<int64_t>(st.st_mtim.tv_sec),
                                           static_cast<int64_t>(st.st_mtim.tv_nsec)};
        mix(facts.data(), sizeof facts);
        digest += hash;
        if (S_ISDIR(st.st_mode))
            folders.push_back(std::string(name));
    }
    ::closedir(dir);
    if (depth > 4096)
        return;
    for (const std::string& name : folders) {
        UniqueFd sub(::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (sub.valid())
            digestFolder(sub.get(), joined(folder, name), digest, depth + 1);
    }
}

} // namespace

std::unique_ptr<TreeWatch> openTreeWatch()
{
    UniqueFd fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!fd.valid())
        return nullptr;
    return std::make_unique<InotifyTreeWatch>(std::move(fd));
}

bool onUnnotifiedVolume(const std::string& folder)
{
    struct statfs volume = {};
    if (::statfs(folder.c_str(), &volume) != 0)
        return false;
    constexpr std::array<unsigned long, 5> kUnnotified{
        0x65735546UL, // FUSE
        0x6969UL,     // NFS
        0xFF534D42UL, // CIFS
        0xFE534D42UL, // SMB2
        0x517BUL,     // SMB
    };
    for (const unsigned long magic : kUnnotified)
        if (static_cast<unsigned long>(volume.f_type) == magic)
            return true;
    return false;
}

bool folderExists(const std::string& folder)
{
    struct stat st = {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<long> maxUserWatches()
{
    // The per-namespace limit where the kernel has one; the system-wide one bounds it.
    std::optional<long> limit;
    for (const char* file : {"/proc/sys/user/max_inotify_watches", "/proc/sys/fs/inotify/max_user_watches"}) {
        std::FILE* in = std::fopen(file, "re");
        if (in == nullptr)
            continue;
        long value = 0;
        if (std::fscanf(in, "%ld", &value) == 1 && (!limit || value < *limit))
            limit = value;
        std::fclose(in);
    }
    return limit;
}

std::optional<uint64_t> treeDigest(const std::string& root)
{
    UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        return std::nullopt;
    uint64_t digest = 0;
    digestFolder(fd.get(), std::string(), digest, 0);
    return digest;
}

} // namespace tavrel::platform
