// SPDX-License-Identifier: GPL-3.0-or-later
// The versions folder of a pair: what the pair replaces or deletes is moved there under its
// relative path with the time in its name ("report 2026-03-14 091500.pdf"), and after each run
// only the newest and the recent versions stay. An item that cannot be kept is neither
// replaced nor deleted.
#include "engine/folder_overlap.h"
#include "engine/pair_run.h"
#include "engine/sync_names.h"
#include "platform/local_time.h"
#include "platform/path_text.h"
#include "text/text_codec.h"

#include <chrono>
#include <deque>
#include <map>
#include <utility>

namespace tavrel::engine {

namespace {

using platform::FsError;
using platform::KeepMode;

// A version named for a second already taken (two runs in one second, a file replaced twice)
// takes the next free second: the name keeps its shape, so pruning still knows it.
constexpr int kSecondsTried = 60;

} // namespace

bool PairRun::setUpVersions(const FolderTask& root)
{
    m_versionsRoot.clear();
    m_versionFolders.clear();
    m_notKeptReason.clear();
    const std::string& folder = m_pair->extras.versionsFolder;
    if (folder.empty())
        return true;
    const std::string versions = platform::asFolder(folder);
    // Checked again here, on the real folders: a project file may hold what the dialog refuses,
    // and versions inside a root would be copied back and forth as the pair's own files.
    if (!versions.starts_with('/') || foldersOverlap(m_fs, versions, root.sourceFolder) ||
        foldersOverlap(m_fs, versions, root.targetFolder)) {
        logError(
            "versions folder overlaps ORG or TGT", versions,
            "the versions folder must be a full path outside both folders; nothing of the pair was done");
        return false;
    }
    m_versionsRoot = versions;
    const int64_t now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    m_versionSeconds = now + platform::utcOffsetAt(now);
    return true;
}

FsError PairRun::keepVersion(const std::string& path, KeepMode mode, std::string& kept)
{
    const std::string& root = platform::isBelow(path, m_sourceRoot) ? m_sourceRoot : m_targetRoot;
    const std::string rel = path.substr(root.size());
    const platform::PathParts parts = platform::splitPath(rel);
    const std::string folderRel(parts.folder);
    const std::string name(parts.name);
    // The folders below the versions folder are made as they are needed, the versions folder
    // itself only where its drive is there: a bare mount point belongs to the disk above it.
    for (std::size_t end = 0; end != std::string::npos;) {
        const std::string made = m_versionsRoot + folderRel.substr(0, end);
        end = end < folderRel.size() ? folderRel.find('/', end) : std::string::npos;
        if (end != std::string::npos)
            ++end;
        if (m_versionFolders.count(made))
            continue;
        if (made == m_versionsRoot && m_fs.liesOnVacantMountPoint(m_versionsRoot)) {
            m_notKeptReason = "the versions folder " + text::displayName(m_versionsRoot) +
                              " lies on a drive that is not connected; nothing was replaced or deleted";
            return FsError::NotFound;
        }
        platform::forgetLastFailure();
        const FsError created = fs().createFolder(made);
        if (created != FsError::Ok && created != FsError::Exists) {
            m_notKeptReason = "cannot make " + text::displayName(made) + " in the versions folder (" +
                              platform::lastFailureReason() + "); nothing was replaced or deleted";
            return created;
        }
        m_versionFolders.insert(made);
    }
    if (platform::pathTooLong(m_versionsRoot + rel + " YYYY-MM-DD HHMMSS")) {
        m_notKeptReason =
            "its path in the versions folder would be too long; nothing was replaced or deleted";
        return FsError::Other;
    }
    FsError result = FsError::Exists;
    for (int second = 0; second < kSecondsTried && result == FsError::Exists; ++second) {
        kept = m_versionsRoot + folderRel +
               versionName(name, civilTimeOf((m_versionSeconds + second) * kTicksPerSecond));
        platform::forgetLastFailure();
        result = fs().keepItem(path, kept, mode);
    }
    if (result != FsError::Ok && result != FsError::NotFound) {
        const std::string reason = platform::lastFailureReason();
        m_notKeptReason = "it could not be kept in the versions folder " + text::displayName(m_versionsRoot) +
                          (reason.empty() ? std::string() : " (" + reason + ")") + "; it was left as it was";
    }
    return result;
}

FsError PairRun::removeItem(const std::string& path, bool folder)
{
    m_notKeptReason.clear();
    if (!keepsVersions())
        return fs().deleteItem(path, m_pair->recycleDeleted != 0);
    if (folder)
        return moveTreeToVersions(platform::asFolder(path));
    std::string kept;
    return keepVersion(path, KeepMode::Move, kept);
}

// Every file and link of the tree is kept as a version, then the emptied folders go, deepest
// first, each only while it is empty. The first item that cannot be kept ends the walk: it and
// what was not reached stay where they are.
FsError PairRun::moveTreeToVersions(const std::string& folder)
{
    std::deque<std::string> queue{folder};
    std::vector<std::string> folders;
    std::vector<platform::DirEntry> entries;
    while (!queue.empty()) {
        std::string current = std::move(queue.front());
        queue.pop_front();
        if (const FsError listed = fs().listFolder(current, entries); listed != FsError::Ok)
            return listed;
        for (const platform::DirEntry& entry : entries) {
            const std::string path = current + entry.name;
            if (entry.kind == platform::EntryKind::Folder) {
                queue.push_back(path + "/");
                continue;
            }
            std::string kept;
            if (const FsError moved = keepVersion(path, KeepMode::Move, kept); moved != FsError::Ok)
                return moved;
        }
        folders.push_back(std::move(current));
    }
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        if (const FsError removed = fs().removeEmptyFolder(*it); removed != FsError::Ok)
            return removed;
    return FsError::Ok;
}

FsError PairRun::overwriteKeepingVersion(const std::string& source, const std::string& target,
                                         const platform::FileStamp& stamp)
{
    std::string kept;
    const FsError keptOld = keepVersion(target, KeepMode::Copy, kept);
    if (keptOld != FsError::Ok)
        return keptOld;
    const FsError result =
        fs().copy(source, target, {platform::CopyMode::Overwrite, &stamp, false, m_progress.stopFlag()});
    // The old file still stands under its name: the version of it goes again.
    if (result != FsError::Ok)
        (void)fs().deleteItem(kept, false);
    return result;
}

// Only names of the versions' own shape are looked at, in every folder below the versions
// folder; anything else there is never touched.
void PairRun::pruneVersions()
{
    const model::PairExtras& extras = m_pair->extras;
    if (extras.keepVersions == 0 && extras.keepDays == 0)
        return;
    std::deque<std::string> queue{m_versionsRoot};
    std::vector<platform::DirEntry> entries;
    while (!queue.empty()) {
        const std::string current = std::move(queue.front());
        queue.pop_front();
        if (fs().listFolder(current, entries) != FsError::Ok)
            continue; // none made yet, or unreadable: nothing of ours to prune there
        std::map<std::string, std::vector<std::pair<std::string, int64_t>>> byFile;
        for (const platform::DirEntry& entry : entries) {
            if (entry.kind == platform::EntryKind::Folder) {
                queue.push_back(current + entry.name + "/");
                continue;
            }
            if (const std::optional<VersionOf> version = versionOf(entry.name))
                byFile[version->name].emplace_back(entry.name, secondsOf(version->when));
        }
        for (const auto& [file, versions] : byFile) {
            std::vector<int64_t> times;
            for (const auto& version : versions)
                times.push_back(version.second);
            const std::vector<bool> drop =
                versionsToPrune(times, extras.keepVersions, extras.keepDays, m_versionSeconds);
            for (std::size_t i = 0; i < drop.size(); ++i) {
                if (!drop[i])
                    continue;
                const std::string path = current + versions[i].first;
                platform::forgetLastFailure();
                const FsError removed = fs().deleteItem(path, false);
                if (removed != FsError::Ok && removed != FsError::NotFound)
                    logError("cannot delete", path,
                             "an old version in the versions folder: " + platform::lastFailureReason());
            }
        }
    }
}

} // namespace tavrel::engine
