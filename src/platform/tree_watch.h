// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavrel::platform {

// One entry of a watched tree that changed: created, written, its attributes set, deleted,
// or moved in or out. The program's own temporary files and trash folders are no changes.
struct TreeChange
{
    int tree = -1;          // the id the tree was watched under
    std::string folder;     // the folder holding the entry, relative to the root ("" the root)
    std::string name;       // the entry's name in that folder
    bool newFolder = false; // a folder that came: its contents came with it (and are now watched)
};

// What one wait saw.
struct WatchEvents
{
    std::vector<TreeChange> changes;
    bool overflowed = false;       // the kernel dropped events: nothing is known of that time
    std::vector<int> rootsGone;    // trees whose root was deleted, moved or unmounted
    std::vector<int> limitReached; // trees that met the watch limit while a folder came
};

enum class WatchStatus
{
    Ok,
    Missing,      // the root is not a folder that can be opened
    LimitReached, // the user's watch limit (fs.inotify.max_user_watches) was met; nothing watched
    Other,
};

// Watches whole folder trees, one kernel watch per folder, as folders come and go. Links are
// never followed below a root (a root itself may be one, resolved when it is watched).
class TreeWatch
{
public:
    virtual ~TreeWatch() = default;

    // Watches every folder from `root` down under `tree`; after anything but Ok, nothing of it.
    virtual WatchStatus watchTree(int tree, const std::string& root) = 0;
    // Drops every watch of `tree`.
    virtual void unwatchTree(int tree) = 0;
    // Waits until something is seen or `timeout` passes (a signal ends the wait early), and
    // adds what was seen to `events`.
    virtual void wait(std::chrono::milliseconds timeout, WatchEvents& events) = 0;
    // How many folders are watched.
    virtual std::size_t watchedFolders() const = 0;
};

// A TreeWatch over the kernel's notification; null with errno when it cannot be had.
std::unique_ptr<TreeWatch> openTreeWatch();

// Whether `folder` lies on a volume where changes made by other machines or by the volume's
// own server are not notified (FUSE, NFS, SMB): such trees are polled instead.
bool onUnnotifiedVolume(const std::string& folder);

// Whether `folder` is a folder that can be opened (links followed).
bool folderExists(const std::string& folder);

// fs.inotify.max_user_watches (or this user namespace's lower limit), nothing when unreadable.
std::optional<long> maxUserWatches();

// A digest of every entry's path, kind, size and last-write time below `root` (links not
// followed), independent of listing order; nothing when the root cannot be listed. Two equal
// digests mean, as far as a listing tells, an unchanged tree.
std::optional<uint64_t> treeDigest(const std::string& root);

} // namespace tavrel::platform
