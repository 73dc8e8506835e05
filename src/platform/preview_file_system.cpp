// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/preview_file_system.h"

#include "platform/path_text.h"
#include "platform/recent_cache.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <unordered_map>

namespace tavrel::platform {

namespace {

// Disk listings kept per view for the writes' checks; the engine works folder by folder, so
// the folder of a copy's target and its parent are nearly always among the last few.
constexpr std::size_t kRecentListings = 8;

// "a/b/" and "a/b" name one item; "/" stays itself.
std::string keyOf(const std::string& path)
{
    std::string key = path;
    while (key.size() > 1 && key.back() == '/')
        key.pop_back();
    return key;
}

std::string folderPathOf(const std::string& key)
{
    return key == "/" ? key : key + "/";
}

// The key of the folder holding `key`, and the name in it. False for a key with no folder
// above it in its text ("/", a relative name).
bool splitKey(const std::string& key, std::string& parent, std::string& name)
{
    const PathParts parts = splitPath(key);
    if (parts.folder.empty() || parts.name.empty())
        return false;
    parent = withoutTrailingSlashes(parts.folder);
    name = parts.name;
    return true;
}

uint32_t hiddenBit(const std::string& name)
{
    return !name.empty() && name.front() == '.' ? kAttrHidden : 0;
}

int64_t nowInTicks()
{
    using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;
    return std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch()).count();
}

struct Record
{
    enum class Kind
    {
        Gone,   // deleted here, with everything below it
        Folder, // made here: nothing of the disk lies below it
        Item,   // a file or link copied or changed here
    };
    Kind kind = Kind::Gone;
    DirEntry entry;     // Folder, Item: as a listing shows it
    std::string origin; // Item: the disk path that holds its bytes or link text
};

// What the memory says of a path.
enum class Says
{
    Disk,       // nothing: the disk decides
    Here,       // the record
    Gone,       // deleted, or below a deletion or a folder made here
    NotAFolder, // below a file or link made here
};

} // namespace

// The remembered writes of one run, shared by every view of it.
class PreviewFileSystem::Overlay
{
public:
    Says lookup(const std::string& key, const Record*& record) const
    {
        record = nullptr;
        if (m_folders.empty())
            return Says::Disk;
        if ((record = find(key)) != nullptr)
            return record->kind == Record::Kind::Gone ? Says::Gone : Says::Here;
        std::string current = key;
        std::string parent;
        std::string name;
        while (splitKey(current, parent, name)) {
            if (const Record* above = find(parent))
                return above->kind == Record::Kind::Item ? Says::NotAFolder : Says::Gone;
            current = parent;
        }
        return Says::Disk;
    }

    const std::map<std::string, Record>* childrenOf(const std::string& key) const
    {
        const auto found = m_folders.find(key);
        return found == m_folders.end() ? nullptr : &found->second;
    }

    // Records `record` for `key`; whatever was remembered below it goes.
    void set(const std::string& key, Record record)
    {
        std::string parent;
        std::string name;
        if (!splitKey(key, parent, name))
            return;
        m_folders.erase(key);
        const std::string prefix = key + "/";
        for (auto it = m_folders.lower_bound(prefix); it != m_folders.end() && it->first.starts_with(prefix);)
            it = m_folders.erase(it);
        record.entry.name = name;
        m_folders[parent][name] = std::move(record);
    }

private:
    const Record* find(const std::string& key) const
    {
        std::string parent;
        std::string name;
        if (!splitKey(key, parent, name))
            return nullptr;
        const auto folder = m_folders.find(parent);
        if (folder == m_folders.end())
            return nullptr;
        const auto item = folder->second.find(name);
        return item == folder->second.end() ? nullptr : &item->second;
    }

    std::map<std::string, std::map<std::string, Record>> m_folders; // by folder key, then name
};

// The last few disk listings of a view.
class PreviewFileSystem::Listings
{
public:
    struct Listing
    {
        FsError error = FsError::Ok;
        std::unordered_map<std::string, DirEntry> byName;
    };

    const Listing& of(const std::string& key, FileSystem& fs)
    {
        if (const Listing* known = m_recent.find(key))
            return *known;
        std::vector<DirEntry> entries;
        const FsError error = fs.listFolder(folderPathOf(key), entries);
        return remember(key, error, entries);
    }

    const Listing& remember(const std::string& key, FsError error, const std::vector<DirEntry>& entries)
    {
        m_recent.eraseIf([&](const std::string& held) { return held == key; });
        m_recent.trimTo(kRecentListings - 1);
        Listing listing{error, {}};
        for (const DirEntry& entry : entries)
            listing.byName.emplace(entry.name, entry);
        return m_recent.add(key, std::move(listing));
    }

private:
    RecentCache<std::string, Listing> m_recent;
};

// An item as this run sees it: the disk's, or one the memory holds.
struct PreviewFileSystem::Found
{
    FsError error = FsError::Ok; // NotFound: nothing has the name
    DirEntry entry;
    std::string origin; // files and links: the disk path holding the bytes or link text
};

PreviewFileSystem::PreviewFileSystem(FileSystem& disk)
    : ForwardingFileSystem(disk), m_disk(disk), m_confined(false), m_overlay(std::make_shared<Overlay>()),
      m_listings(std::make_unique<Listings>())
{}

PreviewFileSystem::PreviewFileSystem(FileSystem& disk, std::unique_ptr<FileSystem> view,
                                     std::vector<std::string> roots, std::shared_ptr<Overlay> overlay)
    : ForwardingFileSystem(std::move(view), disk), m_disk(disk), m_confined(&inner() != &disk),
      m_roots(std::move(roots)), m_overlay(std::move(overlay)), m_listings(std::make_unique<Listings>())
{}

PreviewFileSystem::~PreviewFileSystem() = default;

bool PreviewFileSystem::isRoot(const std::string& key) const
{
    return std::find(m_roots.begin(), m_roots.end(), key) != m_roots.end();
}

bool PreviewFileSystem::reachesByListing(const std::string& key) const
{
    if (m_roots.empty())
        return true;
    return std::any_of(m_roots.begin(), m_roots.end(),
                       [&](const std::string& root) { return isBelow(key, root); });
}

PreviewFileSystem::Found PreviewFileSystem::stateOf(const std::string& key)
{
    Found found;
    const Record* record = nullptr;
    switch (m_overlay->lookup(key, record)) {
    case Says::Disk:
        return diskStateOf(key);
    case Says::Here:
        found.entry = record->entry;
        found.origin = record->origin;
        return found;
    case Says::Gone:
        found.error = FsError::NotFound;
        return found;
    case Says::NotAFolder:
        found.error = FsError::Other;
        return found;
    }
    return found;
}

PreviewFileSystem::Found PreviewFileSystem::diskStateOf(const std::string& key)
{
    Found found;
    std::string parent;
    std::string name;
    if (reachesByListing(key) && splitKey(key, parent, name)) {
        // The listing of its folder gives kind and attributes as the engine's scans see them.
        const Listings::Listing& listing = m_listings->of(parent, inner());
        if (listing.error != FsError::Ok) {
            found.error = listing.error;
            return found;
        }
        const auto item = listing.byName.find(name);
        if (item == listing.byName.end()) {
            found.error = FsError::NotFound;
            return found;
        }
        found.entry = item->second;
        found.origin = key;
        return found;
    }
    // A root (its folder lies outside the view), asked of the disk by path: roots may be links.
    found.entry.name = name.empty() ? key : name;
    found.entry.attributes = hiddenBit(found.entry.name);
    std::string real;
    if (m_disk.realFolder(folderPathOf(key), real) == FsError::Ok) {
        found.entry.kind = EntryKind::Folder;
        return found;
    }
    FileStamp stamp;
    found.error = m_disk.readStamp(key, stamp);
    if (found.error == FsError::Ok) {
        std::string text;
        found.entry.kind = m_disk.readLink(key, text) == FsError::Ok ? EntryKind::Symlink : EntryKind::File;
        found.entry.lastWriteTime = stamp.lastWriteTime;
        found.entry.size = stamp.size;
        found.origin = key;
    }
    return found;
}

FsError PreviewFileSystem::listFolder(const std::string& folder, std::vector<DirEntry>& entries)
{
    int32_t specialItems = 0;
    return listFolderCounting(folder, entries, specialItems);
}

FsError PreviewFileSystem::listFolderCounting(const std::string& folder, std::vector<DirEntry>& entries,
                                              int32_t& specialItems)
{
    entries.clear();
    specialItems = 0;
    const std::string key = keyOf(folder);
    const Record* record = nullptr;
    FsError result = FsError::Ok;
    switch (m_overlay->lookup(key, record)) {
    case Says::Disk:
        result = inner().listFolderCounting(folder, entries, specialItems);
        m_listings->remember(key, result, entries);
        // A listing that failed midway still shows what it read, changed as this run changed it.
        if (result != FsError::Ok && result != FsError::Other)
            return result;
        break;
    case Says::Here:
        if (record->entry.kind != EntryKind::Folder)
            return FsError::Other;
        break;
    case Says::Gone:
        return FsError::NotFound;
    case Says::NotAFolder:
        return FsError::Other;
    }
    const std::map<std::string, Record>* children = m_overlay->childrenOf(key);
    if (children == nullptr)
        return result;
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < entries.size(); ++i)
        index.emplace(entries[i].name, i);
    std::vector<char> gone(entries.size(), 0);
    for (const auto& [name, child] : *children) {
        const auto listed = index.find(name);
        if (child.kind == Record::Kind::Gone) {
            if (listed != index.end())
                gone[listed->second] = 1;
        } else if (listed != index.end()) {
            entries[listed->second] = child.entry;
        } else {
            entries.push_back(child.entry);
            gone.push_back(0);
        }
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (gone[i])
            continue;
        if (kept != i)
            entries[kept] = std::move(entries[i]);
        ++kept;
    }
    entries.resize(kept);
    return result;
}

FsError PreviewFileSystem::createFolder(const std::string& folder, const std::string& ownerFrom)
{
    (void)ownerFrom;
    const std::string key = keyOf(folder);
    const Found here = stateOf(key);
    if (here.error == FsError::Ok)
        return here.entry.kind == EntryKind::Folder ? FsError::Exists : FsError::Other;
    if (here.error != FsError::NotFound)
        return here.error;
    std::string parent;
    std::string name;
    if (!splitKey(key, parent, name))
        return FsError::Other;
    const Found above = stateOf(parent);
    if (above.error != FsError::Ok)
        return above.error;
    if (above.entry.kind != EntryKind::Folder)
        return FsError::Other;
    Record record;
    record.kind = Record::Kind::Folder;
    record.entry.kind = EntryKind::Folder;
    record.entry.attributes = hiddenBit(name);
    record.entry.lastWriteTime = nowInTicks();
    m_overlay->set(key, std::move(record));
    return FsError::Ok;
}

FsError PreviewFileSystem::readStamp(const std::string& path, FileStamp& stamp)
{
    const Record* record = nullptr;
    switch (m_overlay->lookup(keyOf(path), record)) {
    case Says::Disk:
        return inner().readStamp(path, stamp);
    case Says::Here:
        if (record->entry.kind == EntryKind::Folder)
            return FsError::Other;
        stamp = {record->entry.lastWriteTime, record->entry.size};
        return FsError::Ok;
    case Says::Gone:
        return FsError::NotFound;
    case Says::NotAFolder:
        return FsError::Other;
    }
    return FsError::Other;
}

FsError PreviewFileSystem::copy(const std::string& source, const std::string& target,
                                const CopyRequest& request)
{
    return copyHere(source, target, request.mode == CopyMode::Overwrite, request.expected);
}

// In the order the real copy meets its failures: the target's folder, the source, the target.
FsError PreviewFileSystem::copyHere(const std::string& source, const std::string& target, bool overwrite,
                                    const FileStamp* expected)
{
    const std::string key = keyOf(target);
    std::string parent;
    std::string name;
    if (!splitKey(key, parent, name))
        return FsError::Other;
    const Found folder = stateOf(parent);
    if (folder.error != FsError::Ok)
        return folder.error;
    if (folder.entry.kind != EntryKind::Folder)
        return FsError::Other;
    const Found from = stateOf(keyOf(source));
    if (from.error != FsError::Ok)
        return from.error;
    if (from.entry.kind == EntryKind::Folder)
        return FsError::Other;
    const Found to = stateOf(key);
    if (to.error == FsError::Ok) {
        if (to.entry.kind == EntryKind::Folder)
            return FsError::Other;
        if (!overwrite)
            return FsError::Exists;
        if (expected != nullptr &&
            (to.entry.lastWriteTime != expected->lastWriteTime || to.entry.size != expected->size))
            return FsError::Other;
    } else if (to.error != FsError::NotFound) {
        return to.error;
    } else if (overwrite && expected != nullptr) {
        return FsError::Other; // the target went since it was read
    }

    Record record;
    record.kind = Record::Kind::Item;
    record.entry = from.entry;
    const bool link = from.entry.kind == EntryKind::Symlink;
    record.entry.attributes = (link ? 0 : from.entry.attributes & kAttrReadOnly) | hiddenBit(name);
    record.origin = from.origin;
    // What the target's volume does to a copy, as its probe found it.
    if (const VolumeTraits* traits = traitsFor(key)) {
        record.entry.lastWriteTime = std::clamp(record.entry.lastWriteTime, traits->timeMin,
                                                std::max(traits->timeMin, traits->timeMax));
        if (traits->probed) {
            m_refused.permissions |= !link && !traits->permissionsSettable;
            m_refused.times |= link ? !traits->linkTimesSettable : !traits->timesSettable;
        }
    }
    m_overlay->set(key, std::move(record));
    return FsError::Ok;
}

FsError PreviewFileSystem::makeNormal(const std::string& path)
{
    const std::string key = keyOf(path);
    const Found found = stateOf(key);
    if (found.error != FsError::Ok)
        return found.error;
    // A folder's own bit changes nothing a run looks at; a record would hide what is in it.
    if (found.entry.kind == EntryKind::Folder || (found.entry.attributes & kAttrReadOnly) == 0)
        return FsError::Ok;
    Record record;
    record.kind = Record::Kind::Item;
    record.entry = found.entry;
    record.entry.attributes &= ~kAttrReadOnly;
    record.origin = found.origin;
    m_overlay->set(key, std::move(record));
    return FsError::Ok;
}

std::unique_ptr<FileReader> PreviewFileSystem::openForReading(const std::string& path, FsError& error)
{
    const Record* record = nullptr;
    switch (m_overlay->lookup(keyOf(path), record)) {
    case Says::Disk:
        return inner().openForReading(path, error);
    case Says::Here:
        if (record->entry.kind != EntryKind::File) {
            error = FsError::Other; // a folder, or a link, which is never opened
            return nullptr;
        }
        // The disk never changes in a preview: the origin still holds the copied bytes. It may
        // lie in an earlier pair's root, outside this view, so it is read by path.
        return m_disk.openForReading(record->origin, error);
    case Says::Gone:
        error = FsError::NotFound;
        return nullptr;
    case Says::NotAFolder:
        break;
    }
    error = FsError::Other;
    return nullptr;
}

FsError PreviewFileSystem::deleteItem(const std::string& path, bool toTrash)
{
    (void)toTrash;
    const std::string key = keyOf(path);
    if (isRoot(key))
        return FsError::Other; // a root is never deleted through its pair
    const Found found = stateOf(key);
    if (found.error != FsError::Ok)
        return found.error;
    m_overlay->set(key, Record{});
    return FsError::Ok;
}

FsError PreviewFileSystem::keepItem(const std::string& path, const std::string& destination, KeepMode mode)
{
    const FsError kept = copyHere(path, destination, false, nullptr);
    if (kept != FsError::Ok || mode == KeepMode::Copy)
        return kept;
    return deleteItem(path, false);
}

FsError PreviewFileSystem::removeEmptyFolder(const std::string& path)
{
    const std::string key = keyOf(path);
    if (isRoot(key))
        return FsError::Other;
    const Found found = stateOf(key);
    if (found.error != FsError::Ok)
        return found.error;
    std::vector<DirEntry> entries;
    if (found.entry.kind != EntryKind::Folder || listFolder(path, entries) != FsError::Ok || !entries.empty())
        return FsError::Other;
    m_overlay->set(key, Record{});
    return FsError::Ok;
}

void PreviewFileSystem::removeStaleTemporaries(const std::string& folder)
{
    (void)folder;
}

std::unique_ptr<FolderLock> PreviewFileSystem::lockFolder(const std::string& folder, FsError& error)
{
    error = FsError::Ok;
    const Record* record = nullptr;
    if (m_overlay->lookup(keyOf(folder), record) != Says::Disk)
        return nullptr; // made here: there is nothing to lock, as the real run would find it
    return m_disk.lockFolder(folder, error);
}

FsError PreviewFileSystem::readLink(const std::string& path, std::string& text)
{
    const Record* record = nullptr;
    switch (m_overlay->lookup(keyOf(path), record)) {
    case Says::Disk:
        return inner().readLink(path, text);
    case Says::Here:
        if (record->entry.kind != EntryKind::Symlink)
            return FsError::Other;
        return m_disk.readLink(record->origin, text);
    case Says::Gone:
        return FsError::NotFound;
    case Says::NotAFolder:
        break;
    }
    return FsError::Other;
}

// The folder itself when the disk has it as this run sees it, else the nearest folder above it
// that the disk has: where the real run makes it, on the same volume.
std::string PreviewFileSystem::nearestDiskFolder(const std::string& key)
{
    std::string current = key;
    const Record* record = nullptr;
    std::string parent;
    std::string name;
    while (m_overlay->lookup(current, record) != Says::Disk && splitKey(current, parent, name))
        current = parent;
    return current;
}

// Where a folder's volume is asked: this view, for a folder it reaches; else, above a root the
// real run would make, a view of that folder alone (kept in `holder`).
FileSystem& PreviewFileSystem::volumeView(const std::string& folder, std::string& where,
                                          std::unique_ptr<FileSystem>& holder)
{
    const std::string key = nearestDiskFolder(keyOf(folder));
    where = folderPathOf(key);
    if (m_confined && (isRoot(key) || reachesByListing(key)))
        return inner();
    FsError confined = FsError::Ok;
    holder = m_disk.confineTo({where}, confined);
    return holder ? *holder : m_disk;
}

VolumeTraits PreviewFileSystem::probeVolume(const std::string& folder, const VolumeTraits* known)
{
    VolumeTraits traits;
    if (known != nullptr) {
        traits = *known;
    } else {
        std::string where;
        std::unique_ptr<FileSystem> holder;
        traits = volumeView(folder, where, holder).probeVolume(where);
    }
    const std::string key = keyOf(folder);
    std::erase_if(m_probed, [&](const auto& probed) { return probed.first == key; });
    m_probed.emplace_back(key, traits);
    return traits;
}

uint64_t PreviewFileSystem::volumeOf(const std::string& folder)
{
    std::string where;
    std::unique_ptr<FileSystem> holder;
    return volumeView(folder, where, holder).volumeOf(where);
}

const VolumeTraits* PreviewFileSystem::traitsFor(const std::string& key) const
{
    const VolumeTraits* best = nullptr;
    std::size_t bestLength = 0;
    for (const auto& [folder, traits] : m_probed) {
        if (isAtOrBelow(key, folder) && (best == nullptr || folder.size() > bestLength)) {
            best = &traits;
            bestLength = folder.size();
        }
    }
    return best;
}

MetadataRefusals PreviewFileSystem::refusedMetadata() const
{
    return m_refused;
}

std::unique_ptr<FileSystem> PreviewFileSystem::confineTo(const std::vector<std::string>& roots,
                                                         FsError& error)
{
    std::unique_ptr<FileSystem> view = m_disk.confineTo(roots, error);
    std::vector<std::string> keys;
    keys.reserve(roots.size());
    for (const std::string& root : roots)
        keys.push_back(keyOf(root));
    return std::unique_ptr<FileSystem>(
        new PreviewFileSystem(m_disk, std::move(view), std::move(keys), m_overlay));
}

} // namespace tavrel::platform
