// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_confined.h"

#include "platform/path_text.h"
#include "platform/posix/posix_copy.h"
#include "platform/posix/posix_folder_ops.h"
#include "platform/posix/posix_io.h"
#include "platform/posix/posix_keep.h"
#include "platform/posix/posix_remove.h"
#include "platform/posix/posix_trash.h"
#include "platform/recent_cache.h"
#include "platform/volume_probe.h"

#include <algorithm>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tavrel::platform::posix {

namespace {

// Folder handles kept open between calls; a pair works folder by folder, so a few suffice. The
// cache is trimmed only when a call begins, so a handle lent to a call stays open through it.
constexpr std::size_t kCachedFolders = 16;
// No real tree is deeper; a walk up that gets this far is going round in circles.
constexpr int kMaxAncestors = 4096;

bool identityOfFd(int fd, FolderIdentity& id)
{
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    id = identityOf(st);
    return true;
}

// Whether `id` is the folder open as `fd` or one of its ancestors (walked up through "..",
// which crosses mount points as the kernel sees them, not as a path text reads).
bool isSelfOrAncestor(int fd, const FolderIdentity& id)
{
    UniqueFd current(::openat(fd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (int step = 0; current.valid() && step < kMaxAncestors; ++step) {
        FolderIdentity here;
        if (!identityOfFd(current.get(), here))
            return false;
        if (here == id)
            return true;
        UniqueFd parent(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        FolderIdentity above;
        if (!parent.valid() || !identityOfFd(parent.get(), above) || above == here)
            return false; // the top of the file system
        current = std::move(parent);
    }
    return false;
}

// The deepest existing folder of the path `text` ("a/b/c/" -> "a/b/c", else "a/b", ...).
UniqueFd openNearestExisting(std::string text)
{
    for (;;) {
        UniqueFd fd(::open(text.empty() ? "." : text.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (fd.valid() || text.empty() || text == "/")
            return fd;
        text = std::string(parentOf(text));
    }
}

class ConfinedFileSystem final : public FileSystem
{
public:
    ConfinedFileSystem(FileSystem& byPath, const std::vector<std::string>& roots,
                       std::chrono::seconds staleAge)
        : m_byPath(byPath), m_staleAge(staleAge)
    {
        for (const std::string& text : roots)
            m_roots.push_back({text.empty() || text.back() == '/' ? text : text + "/", {}, {}, false, {}});
        for (std::size_t i = 0; i < m_roots.size(); ++i)
            (void)openRoot(i);
    }

    // Overlap when one root is another or an ancestor of it (or of where it will be made).
    FsError checkOverlap()
    {
        for (std::size_t i = 0; i < m_roots.size(); ++i) {
            UniqueFd start =
                m_roots[i].fd.valid()
                    ? UniqueFd(::openat(m_roots[i].fd.get(), ".", O_PATH | O_DIRECTORY | O_CLOEXEC))
                    : openNearestExisting(m_roots[i].text);
            if (!start.valid())
                continue;
            // A root left unopened because it is another root is met here as well.
            for (std::size_t j = 0; j < m_roots.size(); ++j)
                if (j != i && m_roots[j].fd.valid() && isSelfOrAncestor(start.get(), m_roots[j].id))
                    return FsError::Overlap;
        }
        return FsError::Ok;
    }

    FsError listFolder(const std::string& folder, std::vector<DirEntry>& entries) override
    {
        return list(folder, entries, false);
    }

    FsError listFolderCounting(const std::string& folder, std::vector<DirEntry>& entries,
                               int32_t& specialItems) override
    {
        specialItems = 0;
        return list(folder, entries, false, &specialItems);
    }

    FsError listKinds(const std::string& folder, std::vector<DirEntry>& entries) override
    {
        return list(folder, entries, true);
    }

    FsError createFolder(const std::string& folder, const std::string& ownerFrom) override
    {
        beginCall();
        std::size_t root = 0;
        std::string rel;
        if (!locate(folder, root, rel))
            return FsError::Other;
        struct stat owner = {};
        const bool hasOwner = !ownerFrom.empty() && statOf(ownerFrom, owner) == FsError::Ok;
        if (rel.empty())
            return createRoot(root, hasOwner ? &owner : nullptr);
        const auto [parentRel, name] = splitRel(rel);
        int parent = -1;
        if (FsError error = folderAt(root, parentRel, parent); error != FsError::Ok)
            return error;
        return createFolderAt(parent, name, hasOwner ? &owner : nullptr);
    }

    FsError readStamp(const std::string& path, FileStamp& stamp) override
    {
        beginCall();
        const FsError result = atItem(path, [&](int parent, const std::string& name, std::size_t) {
            return readStampAt(parent, name, stamp);
        });
        // A create-only copy right after this need not look for the target again: its final
        // rename refuses a name taken in between all the same.
        m_lastAbsent = result == FsError::NotFound ? path : std::string();
        return result;
    }

    FsError copy(const std::string& source, const std::string& target, const CopyRequest& request) override
    {
        if (request.mode == platform::CopyMode::CreateOnly)
            return copy(source, target, CopyMode::CreateOnly, nullptr, request.stopRequested, false);
        return copy(source, target, CopyMode::Overwrite, request.expected, request.stopRequested,
                    request.keepOld);
    }

    FsError makeNormal(const std::string& path) override
    {
        beginCall();
        return atItem(path, [&](int parent, const std::string& name, std::size_t) {
            return makeNormalAt(parent, name);
        });
    }

    std::unique_ptr<FileReader> openForReading(const std::string& path, FsError& error) override
    {
        beginCall();
        std::unique_ptr<FileReader> reader;
        error = atItem(path, [&](int parent, const std::string& name, std::size_t) {
            FsError opened = FsError::Ok;
            reader = openForReadingAt(parent, name, opened);
            return opened;
        });
        return reader;
    }

    FsError deleteItem(const std::string& path, bool toTrash) override
    {
        beginCall();
        std::size_t root = 0;
        std::string rel;
        if (!locate(path, root, rel) || rel.empty())
            return FsError::Other; // a root is never deleted through its pair
        const FsError result = atItem(path, [&](int parent, const std::string& name, std::size_t) {
            const ForeignFolders foreign = foreignTo(root);
            return toTrash ? moveToTrashAt(parent, name, foreign) : removeOutrightAt(parent, name, foreign);
        });
        if (result == FsError::Ok)
            forgetBelow(root, rel);
        return result;
    }

    // Between two roots of this view (a pair's root and its versions folder) as within one.
    FsError keepItem(const std::string& path, const std::string& destination, KeepMode mode) override
    {
        beginCall();
        Place source{-1, {}};
        FsError error = FsError::Ok;
        {
            const FailureSide onSource(FailedSide::Source);
            error = atItem(path, [&](int parent, const std::string& name, std::size_t) {
                source = {parent, name};
                return FsError::Ok;
            });
        }
        if (error != FsError::Ok)
            return error;
        const FailureSide onTarget(FailedSide::Target);
        return atItem(destination, [&](int parent, const std::string& name, std::size_t root) {
            const CopyOptions options = copyOptionsFor(root);
            CopyNotes notes;
            const FsError result = keepItemAt(source, {parent, name}, mode, options, &notes);
            m_kernelCopyUnsupported |= notes.kernelCopyUnsupported;
            m_roots[root].unnamedFilesRefused |= notes.unnamedFilesUnsupported;
            return result;
        });
    }

    FsError removeEmptyFolder(const std::string& path) override
    {
        beginCall();
        std::size_t root = 0;
        std::string rel;
        if (!locate(path, root, rel) || rel.empty())
            return FsError::Other; // a root is never removed through its pair
        const FsError result = atItem(path, [&](int parent, const std::string& name, std::size_t) {
            return removeEmptyFolderAt(parent, name);
        });
        if (result == FsError::Ok)
            forgetBelow(root, rel);
        return result;
    }

    FsError realFolder(const std::string& folder, std::string& real) override
    {
        return m_byPath.realFolder(folder, real);
    }

    void removeStaleTemporaries(const std::string& folder) override
    {
        beginCall();
        std::size_t root = 0;
        int fd = -1;
        if (folderOf(folder, root, fd) == FsError::Ok)
            removeStaleTemporariesAt(fd, staleAgeIn(root));
    }

    std::unique_ptr<FolderLock> lockFolder(const std::string& folder, FsError& error) override
    {
        beginCall();
        error = FsError::Ok;
        std::size_t root = 0;
        int fd = -1;
        if (folderOf(folder, root, fd) != FsError::Ok)
            return nullptr;
        std::unique_ptr<FolderLock> lock = lockFolderAt(fd, error);
        std::string rel;
        if (lock && locate(folder, root, rel) && rel.empty())
            m_roots[root].locked = true;
        return lock;
    }

    FsError readLink(const std::string& path, std::string& text) override
    {
        beginCall();
        return atItem(path, [&](int parent, const std::string& name, std::size_t) {
            return readLinkAt(parent, name, text);
        });
    }

    // False: whether a root lies on a drive that is not connected is asked of the file system by
    // path, which reads the tables of mounts.
    bool liesOnVacantMountPoint(const std::string& folder) override
    {
        (void)folder;
        return false;
    }

    // Asked by path of the roots before the view is made; a view cannot tell.
    FsError sameFolder(const std::string& a, const std::string& b, bool& same) override
    {
        (void)a;
        (void)b;
        same = false;
        return FsError::Other;
    }

    // A view is confined once: it makes no view of itself.
    std::unique_ptr<FileSystem> confineTo(const std::vector<std::string>& roots, FsError& error) override
    {
        (void)roots;
        error = FsError::Ok;
        return nullptr;
    }

    VolumeTraits probeVolume(const std::string& folder, const VolumeTraits* known) override
    {
        beginCall();
        std::size_t root = 0;
        int fd = -1;
        if (folderOf(folder, root, fd) != FsError::Ok)
            return known != nullptr ? *known : VolumeTraits{};
        VolumeTraits traits;
        if (known != nullptr) {
            traits = *known;
        } else {
            // The probe's files come and go; the folder keeps the times it had, so a probe of a
            // folder the run changes nothing in leaves no trace (Synchronize probes ORG too).
            struct stat before = {};
            const bool timed = ::fstat(fd, &before) == 0;
            traits = platform::probeVolume(fd);
            if (timed) {
                const timespec times[2] = {before.st_atim, before.st_mtim};
                const std::string self = "/proc/self/fd/" + std::to_string(fd);
                (void)::utimensat(AT_FDCWD, self.c_str(), times, 0);
            }
        }
        std::string rel;
        if (locate(folder, root, rel) && rel.empty())
            m_roots[root].traits = traits;
        return traits;
    }

    uint64_t volumeOf(const std::string& folder) override
    {
        beginCall();
        std::size_t root = 0;
        int fd = -1;
        struct stat st = {};
        if (folderOf(folder, root, fd) != FsError::Ok || ::fstat(fd, &st) != 0)
            return 0;
        return static_cast<uint64_t>(st.st_dev) + 1;
    }

    MetadataRefusals refusedMetadata() const override { return m_refused; }

private:
    struct Root
    {
        std::string text; // as the pair names it, ending with "/"
        UniqueFd fd;      // once resolved
        FolderIdentity id;
        bool locked = false;              // this view holds the run's lock on it
        VolumeTraits traits;              // once probed
        bool unnamedFilesRefused = false; // a copy into it found no O_TMPFILE to be had
    };

    // What copying into `root` asks of the copy, from its volume's traits.
    CopyOptions copyOptionsFor(std::size_t root) const
    {
        const VolumeTraits& traits = m_roots[root].traits;
        CopyOptions options;
        // A volume that keeps coarse times is no POSIX file system: its rename may not keep them.
        options.retimeAfterPublish = traits.timePrecision > 1;
        options.timeMin = traits.timeMin;
        options.timeMax = traits.timeMax;
        options.maxFileSize = traits.maxFileSize;
        // The kernel copies within one volume only (mostly): once it refused this pair's
        // volumes, each further file would ask in vain.
        options.tryKernelCopy = !m_kernelCopyUnsupported;
        options.tryUnnamedFile = !m_roots[root].unnamedFilesRefused;
        return options;
    }

    // A folder's handle by its root and its path below it.
    using FolderKey = std::pair<std::size_t, std::string>;

    static std::pair<std::string, std::string> splitRel(const std::string& rel)
    {
        const PathParts parts = splitPath(rel);
        return {std::string(withoutTrailingSlashes(parts.folder)), std::string(parts.name)};
    }

    void beginCall()
    {
        forgetLastFailure();
        m_knownAbsent = std::exchange(m_lastAbsent, std::string());
        m_cache.trimTo(kCachedFolders);
    }

    std::chrono::seconds staleAgeIn(std::size_t root) const
    {
        // No other run can be writing where this one holds the lock: whatever is left is a leftover.
        return m_roots[root].locked ? std::chrono::seconds(0) : m_staleAge;
    }

    // The root that holds `path` and the path below it, without leading or trailing "/".
    bool locate(const std::string& path, std::size_t& root, std::string& rel) const
    {
        std::size_t best = 0;
        bool found = false;
        for (std::size_t i = 0; i < m_roots.size(); ++i) {
            const std::string& text = m_roots[i].text;
            const bool inside = isAtOrBelow(path, text);
            if (inside && (!found || text.size() > m_roots[best].text.size())) {
                best = i;
                found = true;
            }
        }
        if (!found || !isUsablePath(path))
            return false;
        root = best;
        rel = path.size() > m_roots[best].text.size()
                  ? withoutTrailingSlash(path.substr(m_roots[best].text.size()))
                  : std::string();
        // Every component must be a plain name: "." or ".." would step outside the walk.
        for (std::size_t start = 0; start < rel.size();) {
            std::size_t end = rel.find('/', start);
            if (end == std::string::npos)
                end = rel.size();
            const std::string_view part(rel.data() + start, end - start);
            if (part.empty() || part == "." || part == "..")
                return false;
            start = end + 1;
        }
        return true;
    }

    ForeignFolders foreignTo(std::size_t root) const
    {
        ForeignFolders foreign;
        for (std::size_t i = 0; i < m_roots.size(); ++i)
            if (i != root && m_roots[i].fd.valid())
                foreign.push_back(m_roots[i].id);
        return foreign;
    }

    // Resolves a root once, through its path as written. Overlap when it is another root.
    FsError openRoot(std::size_t root)
    {
        Root& r = m_roots[root];
        if (r.fd.valid())
            return FsError::Ok;
        UniqueFd fd(retryOnEintr([&] { return ::open(r.text.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); }));
        if (!fd.valid())
            return errno == ENOTDIR || errno == ELOOP ? FsError::Other : errorFromErrno(errno);
        FolderIdentity id;
        if (!identityOfFd(fd.get(), id))
            return FsError::Other;
        for (std::size_t i = 0; i < m_roots.size(); ++i)
            if (i != root && m_roots[i].fd.valid() && m_roots[i].id == id)
                return FsError::Overlap;
        r.fd = std::move(fd);
        r.id = id;
        return FsError::Ok;
    }

    FsError createRoot(std::size_t root, const struct stat* owner)
    {
        Root& r = m_roots[root];
        if (r.fd.valid())
            return FsError::Exists;
        bool made = false;
        if (::mkdir(r.text.c_str(), 0777) == 0)
            made = true;
        else if (errno != EEXIST)
            return errorFromErrno(errno);
        if (FsError error = openRoot(root); error != FsError::Ok)
            return error;
        // As for any folder made: a volume without owners refuses, anything else fails the root.
        if (made && owner != nullptr && keepsOwners() &&
            ::fchownat(r.fd.get(), "", owner->st_uid, owner->st_gid, AT_EMPTY_PATH) != 0 && !isRefusal(errno))
            return errorFromErrno(errno);
        return made ? FsError::Ok : FsError::Exists;
    }

    // The folder `rel` of `root`, opened from its parent without following a link. Borrowed:
    // valid until the next call begins.
    FsError folderAt(std::size_t root, const std::string& rel, int& fd)
    {
        if (rel.empty()) {
            if (FsError error = openRoot(root); error != FsError::Ok)
                return error;
            fd = m_roots[root].fd.get();
            return FsError::Ok;
        }
        if (const UniqueFd* cached = m_cache.findIf(
                [&](const FolderKey& key) { return key.first == root && key.second == rel; })) {
            fd = cached->get();
            return FsError::Ok;
        }
        const auto [parentRel, name] = splitRel(rel);
        int parent = -1;
        if (FsError error = folderAt(root, parentRel, parent); error != FsError::Ok)
            return error;
        UniqueFd opened(retryOnEintr([parent, leaf = name.c_str()] {
            return ::openat(parent, leaf, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }));
        if (!opened.valid()) {
            // A link or a file where a folder was listed is never followed: an error for it.
            if (errno == ENOTDIR || errno == ELOOP) {
                errorFromErrno(errno);
                return FsError::Other;
            }
            return errorFromErrno(errno);
        }
        struct stat st = {};
        if (::fstat(opened.get(), &st) != 0 || !S_ISDIR(st.st_mode))
            return FsError::Other;
        if (isForeign(st, foreignTo(root)))
            return FsError::Overlap;
        fd = opened.get();
        m_cache.add({root, rel}, std::move(opened));
        return FsError::Ok;
    }

    FsError list(const std::string& folder, std::vector<DirEntry>& entries, bool kindsOnly,
                 int32_t* specialItems = nullptr)
    {
        entries.clear();
        beginCall();
        std::size_t root = 0;
        int fd = -1;
        if (FsError error = folderOf(folder, root, fd); error != FsError::Ok)
            return error;
        return listFolderAt(fd, entries, staleAgeIn(root), kindsOnly, specialItems);
    }

    FsError folderOf(const std::string& folder, std::size_t& root, int& fd)
    {
        std::string rel;
        if (!locate(folder, root, rel))
            return FsError::Other;
        return folderAt(root, rel, fd);
    }

    // Runs `call(parentFd, name, root)` on the item at `path` below a root.
    template <typename Call> FsError atItem(const std::string& path, Call call)
    {
        std::size_t root = 0;
        std::string rel;
        if (!locate(path, root, rel) || rel.empty())
            return FsError::Other;
        const auto [parentRel, name] = splitRel(rel);
        int parent = -1;
        if (FsError error = folderAt(root, parentRel, parent); error != FsError::Ok)
            return error;
        return call(parent, name, root);
    }

    FsError statOf(const std::string& path, struct stat& st)
    {
        std::size_t root = 0;
        std::string rel;
        if (!locate(path, root, rel))
            return FsError::Other;
        if (rel.empty())
            return openRoot(root) == FsError::Ok && ::fstat(m_roots[root].fd.get(), &st) == 0
                       ? FsError::Ok
                       : FsError::Other;
        return atItem(path, [&](int parent, const std::string& name, std::size_t) {
            return ::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? FsError::Ok
                                                                                  : errorFromErrno(errno);
        });
    }

    FsError copy(const std::string& source, const std::string& target, CopyMode mode,
                 const FileStamp* expected, const std::atomic<int32_t>* stopRequested, bool trashReplaced)
    {
        beginCall();
        int sourceFolder = -1;
        std::string sourceName;
        FsError error = FsError::Ok;
        {
            const FailureSide onSource(FailedSide::Source);
            error = atItem(source, [&](int parent, const std::string& name, std::size_t) {
                sourceFolder = parent;
                sourceName = name;
                return FsError::Ok;
            });
        }
        if (error != FsError::Ok)
            return error;
        const FailureSide onTarget(FailedSide::Target);
        return atItem(target, [&](int parent, const std::string& name, std::size_t root) {
            CopyNotes notes;
            CopyOptions options = copyOptionsFor(root);
            options.trashReplaced = trashReplaced;
            options.targetKnownAbsent =
                mode == CopyMode::CreateOnly && !m_knownAbsent.empty() && m_knownAbsent == target;
            const FsError result = copyItemAt({sourceFolder, sourceName}, {parent, name}, mode, expected,
                                              stopRequested, &notes, options);
            m_refused.permissions |= notes.permissionsRefused;
            m_refused.times |= notes.timesRefused;
            m_refused.owner |= notes.ownerRefused;
            m_kernelCopyUnsupported |= notes.kernelCopyUnsupported;
            m_roots[root].unnamedFilesRefused |= notes.unnamedFilesUnsupported;
            return result;
        });
    }

    // Drops the handles of a deleted folder and of everything that was below it.
    void forgetBelow(std::size_t root, const std::string& rel)
    {
        m_cache.eraseIf([&](const FolderKey& cached) {
            return cached.first == root && (cached.second == rel || (cached.second.size() > rel.size() &&
                                                                     cached.second.starts_with(rel) &&
                                                                     cached.second[rel.size()] == '/'));
        });
    }

    FileSystem& m_byPath;
    std::chrono::seconds m_staleAge;
    std::vector<Root> m_roots;
    RecentCache<FolderKey, UniqueFd> m_cache;
    MetadataRefusals m_refused;
    bool m_kernelCopyUnsupported = false;
    std::string m_lastAbsent;  // the path the last call found missing
    std::string m_knownAbsent; // the same, for the call under way
};

} // namespace

std::unique_ptr<FileSystem> makeConfinedFileSystem(FileSystem& byPath, const std::vector<std::string>& roots,
                                                   std::chrono::seconds staleTemporaryAge, FsError& error)
{
    auto view = std::make_unique<ConfinedFileSystem>(byPath, roots, staleTemporaryAge);
    error = view->checkOverlap();
    return view;
}

} // namespace tavrel::platform::posix
