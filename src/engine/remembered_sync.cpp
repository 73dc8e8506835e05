// SPDX-License-Identifier: GPL-3.0-or-later
// Synchronize with a memory of its last run: each item is decided from what both sides hold
// now and what the last run left (sync_decision.h), so a deletion stays deleted and a file
// changed on both sides is a conflict, never a guess by clock.
#include "engine/pair_run.h"
#include "engine/sync_decision.h"
#include "engine/sync_names.h"
#include "platform/path_text.h"
#include "state/state_store.h"
#include "state/sync_state.h"
#include "text/text_codec.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <set>

namespace tavrel::engine {

namespace {

using platform::EntryKind;
using platform::FsError;

// One side's items of a folder, by name, as the pair's filters let them through.
struct SideListing
{
    std::map<std::string, Entry> items;
    std::map<std::string, EntryKind> kinds;
    std::vector<std::string> excluded; // names the filters leave out: their records are kept
    bool readable = false;
};

SeenItem seenOfEntry(const Entry& entry, EntryKind kind, int64_t futureLimit)
{
    return SeenItem{kind, kind == EntryKind::Folder ? 0 : entry.size,
                    kind == EntryKind::Folder ? 0 : entry.lastWriteTime, entry.lastWriteTime > futureLimit};
}

bool isExcluded(const SideListing& side, const std::string& name)
{
    return std::find(side.excluded.begin(), side.excluded.end(), name) != side.excluded.end();
}

} // namespace

// The remembered state as a map of folders (relative paths) to their items.
struct PairRun::RememberedState
{
    bool known = false;
    std::map<std::string, std::map<std::string, state::StateEntry>> folders;
    std::map<std::string, std::vector<state::StateEntry>> next; // what this run made equal
    std::set<std::string> visited;                              // folders this run decided
};

PairOutcome PairRun::processRemembered(const FolderTask& root)
{
    const model::PairExtras& extras = m_pair->extras;
    const std::string name = text::displayName(text::toUtf8(m_pair->name));
    RememberedState memory;

    state::StateHeader header;
    header.pairId = extras.pairId;
    std::string realOrg;
    std::string realTgt;
    fs().realFolder(root.sourceFolder, realOrg);
    fs().realFolder(root.targetFolder, realTgt);
    header.roots = {realOrg, realTgt};
    header.orgTraits = m_sourceTraits;
    header.tgtTraits = m_targetTraits;

    state::StateReader reader;
    if (extras.hasPairId() &&
        reader.open(state::stateFileOf(extras.pairId), header.roots) == state::StateStatus::Ok) {
        state::StateFolder folder;
        while (reader.nextFolder(folder))
            for (state::StateEntry& entry : folder.entries)
                memory.folders[folder.path].emplace(entry.name, std::move(entry));
        memory.known = reader.status() == state::StateStatus::Ok;
        if (!memory.known)
            memory.folders.clear();
    }
    if (!memory.known)
        m_sink.AppendLog("WARNING: no state for pair " + name +
                         ": first run rules (nothing is deleted; this run's result is remembered)\r\n");

    PairOutcome outcome = PairOutcome::Continue;
    std::deque<std::string> queue{""};
    while (!queue.empty() && outcome == PairOutcome::Continue && !m_overlap) {
        if (m_progress.stopRequested()) {
            outcome = PairOutcome::Stopped;
            break;
        }
        const std::string rel = std::move(queue.front());
        queue.pop_front();
        outcome = rememberedFolder(memory, root, rel, queue);
    }

    // What was not reached (a stop, a full disk, a folder left alone) keeps its old record, so
    // the next run neither resurrects nor deletes anything on its account.
    // Only below a folder that is still remembered, though: the records below a folder this run
    // deleted (or forgot) would otherwise outlive it, and a file put back there later that
    // matches its old record would read as deleted on the other side. The map's order puts
    // each folder before the folders inside it.
    for (auto& [path, entries] : memory.folders) {
        if (memory.visited.count(path))
            continue;
        std::vector<state::StateEntry>& kept = memory.next[path];
        if (path.empty()) {
            for (auto& [entryName, entry] : entries)
                kept.push_back(entry);
            continue;
        }
        const platform::PathParts parts = platform::splitPath(path);
        const std::string parent(parts.folder);
        const std::string leaf(parts.name);
        const auto parentEntries = memory.next.find(parent);
        if (parentEntries == memory.next.end() ||
            std::none_of(
                parentEntries->second.begin(), parentEntries->second.end(),
                [&](const state::StateEntry& e) { return e.name == leaf && e.kind == EntryKind::Folder; }))
            continue;
        for (auto& [entryName, entry] : entries)
            kept.push_back(entry);
    }
    if (extras.hasPairId() && !m_overlap && !m_preview) {
        state::StateWriter writer;
        std::error_code error = state::prepareStateFolder();
        if (!error)
            error = writer.open(state::stateFileOf(extras.pairId), header);
        for (const auto& [path, entries] : memory.next) {
            if (entries.empty() && !path.empty())
                continue;
            if (!error)
                error = writer.beginFolder(path);
            for (const state::StateEntry& entry : entries)
                if (!error)
                    error = writer.add(entry);
        }
        if (!error)
            error = writer.commit();
        if (error)
            m_progress.logError("ERROR: cannot keep the state of pair " + name + "\r\n", error.message());
    }
    return outcome;
}

PairOutcome PairRun::rememberedFolder(RememberedState& memory, const FolderTask& root, const std::string& rel,
                                      std::deque<std::string>& queue)
{
    const std::string orgFolder = root.sourceFolder + rel;
    const std::string tgtFolder = root.targetFolder + rel;
    auto list = [&](const std::string& folder, const std::string& other, Direction direction) {
        SideListing side;
        ScanLists lists;
        ScanSource(fs(), FolderTask{folder, other, direction, rel.empty()}, m_filters, m_progress, m_debugLog,
                   lists);
        side.readable = lists.readable;
        for (const Entry& entry : lists.files) {
            side.kinds[entry.name] = entry.isLink ? EntryKind::Symlink : EntryKind::File;
            side.items[entry.name] = entry;
        }
        if (m_filters.includeSubfolders)
            for (const Entry& entry : lists.folders) {
                side.kinds[entry.name] = EntryKind::Folder;
                side.items[entry.name] = entry;
            }
        for (const Entry& entry : lists.excludedFiles)
            side.excluded.push_back(entry.name);
        for (const Entry& entry : lists.excludedFolders)
            side.excluded.push_back(entry.name);
        return side;
    };
    const SideListing org = list(orgFolder, tgtFolder, Direction::OrgToTgt);
    const SideListing tgt = list(tgtFolder, orgFolder, Direction::TgtToOrg);
    if (!org.readable || !tgt.readable) {
        logError("cannot read folder", org.readable ? tgtFolder : orgFolder);
        return PairOutcome::Continue; // its records stay as they were
    }
    memory.visited.insert(rel);
    std::vector<state::StateEntry>& next = memory.next[rel];
    const std::map<std::string, state::StateEntry>& records = memory.folders[rel];

    // A root emptied since the last run (an unplugged drive, a wiped stick) looks like the
    // deletion of everything: the mass-deletion question decides, as for a mirror.
    if (rel.empty() && memory.known && !records.empty() && (org.items.empty() || tgt.items.empty()) &&
        !rememberedDeletionsAllowed(org.items.empty() ? m_sourceRoot : m_targetRoot, records.size()))
        return PairOutcome::Continue;

    std::set<std::string> names;
    for (const auto& [n, e] : org.items)
        names.insert(n);
    for (const auto& [n, e] : tgt.items)
        names.insert(n);
    for (const auto& [n, e] : records)
        names.insert(n);

    for (auto current = names.begin(); current != names.end(); ++current) {
        const std::string& itemName = *current;
        const auto recorded = records.find(itemName);
        std::optional<RememberedItem> record;
        if (recorded != records.end())
            record = rememberedOf(recorded->second);
        // Filtered out on a side: nothing is done, and what was known is kept.
        if (isExcluded(org, itemName) || isExcluded(tgt, itemName)) {
            if (record)
                next.push_back(recorded->second);
            continue;
        }
        const auto orgItem = org.items.find(itemName);
        const auto tgtItem = tgt.items.find(itemName);
        DecisionInput input;
        input.pairHasState = memory.known;
        input.record = record;
        if (orgItem != org.items.end())
            input.org = seenOfEntry(orgItem->second, org.kinds.at(itemName), m_futureLimit);
        if (tgtItem != tgt.items.end())
            input.tgt = seenOfEntry(tgtItem->second, tgt.kinds.at(itemName), m_futureLimit);
        input.timeRule = m_timeRule;
        input.policy = m_pair->extras.conflictPolicy;
        if (input.org.has_value() != input.tgt.has_value() && record && record->kind == EntryKind::Folder) {
            const bool orgPresent = input.org.has_value();
            input.changedBeneath = changedBelow(memory, (orgPresent ? root.sourceFolder : root.targetFolder),
                                                rel + itemName + "/", orgPresent ? Side::Org : Side::Tgt);
        }
        SyncDecision decision = decideItem(input);
        if (decision.action == SyncAction::FirstRun)
            decision = firstRunDecision(input);
        const std::string orgPath = orgFolder + itemName;
        if (decision.action == SyncAction::RecordOnly && input.org->kind == EntryKind::File &&
            !IsContentEqual(fs(), orgPath, tgtFolder + itemName, input.org->size))
            decision = resolveConflict(ConflictKind::BothChanged, Side::Org, input);

        const PairOutcome outcome =
            actOn(memory, root, rel, itemName, input, decision, record ? &recorded->second : nullptr, queue);
        if (outcome == PairOutcome::Continue) {
            if (input.org && input.org->kind != EntryKind::Folder)
                m_progress.addHandled();
            if (input.tgt && input.tgt->kind != EntryKind::Folder)
                m_progress.addHandled();
        }
        // Cut short: what this folder did not reach keeps its record, so the next run neither
        // brings back what was deleted nor takes for new what was there.
        if (outcome != PairOutcome::Continue || m_progress.stopRequested()) {
            for (auto rest = std::next(current); rest != names.end(); ++rest)
                if (const auto left = records.find(*rest); left != records.end())
                    next.push_back(left->second);
            return outcome != PairOutcome::Continue ? outcome : PairOutcome::Stopped;
        }
    }
    m_progress.reportProgress();
    return PairOutcome::Continue;
}

// Without a memory: the rules of Synchronize as they always were (the newer file wins, a file
// on one side is copied to the other), but nothing is ever deleted.
SyncDecision PairRun::firstRunDecision(const DecisionInput& input)
{
    if (input.org && !input.tgt)
        return {SyncAction::CopyToTgt};
    if (input.tgt && !input.org)
        return {SyncAction::CopyToOrg};
    if (!input.org)
        return {SyncAction::ForgetRecord};
    if (input.org->kind != input.tgt->kind)
        return {SyncAction::SkipConflict, ConflictKind::BothChanged};
    if (input.org->kind == EntryKind::Folder)
        return {SyncAction::Nothing};
    const int order = compareTimes(input.org->lastWriteTime, input.tgt->lastWriteTime, input.timeRule);
    if (order != 0 && (input.org->futureDated || input.tgt->futureDated))
        return {SyncAction::SkipConflict, ConflictKind::BothChanged};
    if (order > 0)
        return {SyncAction::CopyToTgt};
    if (order < 0)
        return {SyncAction::CopyToOrg};
    return {SyncAction::RecordOnly};
}

// Whether anything below `rel` (a folder the other side deleted) is new or changed since the
// record, on the side that still has it.
bool PairRun::changedBelow(const RememberedState& memory, const std::string& sideRoot, const std::string& rel,
                           Side side)
{
    FolderChangeScan scan(side, m_timeRule);
    std::deque<std::string> folders{rel};
    while (!folders.empty() && !scan.changed()) {
        const std::string current = std::move(folders.front());
        folders.pop_front();
        std::vector<platform::DirEntry> entries;
        if (fs().listFolder(sideRoot + current, entries) != FsError::Ok)
            return true; // what cannot be seen may have changed
        const auto recorded = memory.folders.find(current);
        std::size_t matched = 0;
        for (const platform::DirEntry& entry : entries) {
            std::optional<RememberedItem> record;
            if (recorded != memory.folders.end())
                if (const auto found = recorded->second.find(entry.name); found != recorded->second.end()) {
                    record = rememberedOf(found->second);
                    ++matched;
                }
            scan.add(record, seenOf(entry, entry.lastWriteTime > m_futureLimit));
            if (entry.kind == EntryKind::Folder)
                folders.push_back(current + entry.name + "/");
        }
        if (recorded != memory.folders.end() && matched < recorded->second.size())
            scan.addMissing();
    }
    return scan.changed();
}

bool PairRun::rememberedDeletionsAllowed(const std::string& emptiedRoot, std::size_t recorded)
{
    if (m_deletions != DeletionGate::Unasked)
        return m_deletions == DeletionGate::Open;
    m_deletions = DeletionGate::Open;
    const std::string name = text::displayName(text::toUtf8(m_pair->name));
    return askMassDeletion("Synchronize pair " + name + ": " + text::displayName(emptiedRoot) +
                               " is empty, but its last run left " + std::to_string(recorded) +
                               " items there.",
                           "Delete them on the other side too?",
                           "a root is empty since the last run; --allow-mass-delete allows the deletions");
}

PairOutcome PairRun::actOn(RememberedState& memory, const FolderTask& root, const std::string& rel,
                           const std::string& itemName, const DecisionInput& input,
                           const SyncDecision& decision, const state::StateEntry* record,
                           std::deque<std::string>& queue)
{
    std::vector<state::StateEntry>& next = memory.next[rel];
    const std::string orgPath = root.sourceFolder + rel + itemName;
    const std::string tgtPath = root.targetFolder + rel + itemName;
    // Both sides hold the item equally now: remember it as they are.
    auto remember = [&] {
        platform::FileStamp orgStamp;
        platform::FileStamp tgtStamp;
        const bool folder = (input.org ? input.org->kind : input.tgt->kind) == EntryKind::Folder;
        if (folder) {
            state::StateEntry entry;
            entry.name = itemName;
            entry.kind = EntryKind::Folder;
            next.push_back(std::move(entry));
            queue.push_back(rel + itemName + "/");
            return;
        }
        if (fs().readStamp(orgPath, orgStamp) != FsError::Ok ||
            fs().readStamp(tgtPath, tgtStamp) != FsError::Ok)
            return;
        state::StateEntry entry;
        entry.name = itemName;
        entry.kind = input.org ? input.org->kind : input.tgt->kind;
        entry.size = orgStamp.size;
        entry.orgTime = orgStamp.lastWriteTime;
        entry.tgtTime = tgtStamp.lastWriteTime;
        // Kept for what the record cannot tell from times and sizes: a file replaced by
        // another of the same size and time, a link pointed elsewhere.
        entry.orgInode = orgStamp.inode;
        entry.tgtInode = tgtStamp.inode;
        if (entry.kind == EntryKind::Symlink && fs().readLink(orgPath, entry.linkTarget) != FsError::Ok)
            entry.linkTarget.clear();
        next.push_back(std::move(entry));
    };
    auto keepRecord = [&] {
        if (record)
            next.push_back(*record);
    };
    // Copies the item from one side to the other, over what is there: a file through the usual
    // copies (trash, size limit, checks), a folder by making it.
    auto copy = [&](bool toTgt) -> CopyOutcome {
        const SeenItem& from = toTgt ? *input.org : *input.tgt;
        const std::optional<SeenItem>& to = toTgt ? input.tgt : input.org;
        const std::string& source = toTgt ? orgPath : tgtPath;
        const std::string& target = toTgt ? tgtPath : orgPath;
        const Direction direction = toTgt ? Direction::OrgToTgt : Direction::TgtToOrg;
        const FolderTask task{toTgt ? root.sourceFolder + rel : root.targetFolder + rel,
                              toTgt ? root.targetFolder + rel : root.sourceFolder + rel, direction, false};
        if (from.kind == EntryKind::Folder) {
            if (to && to->kind != EntryKind::Folder) {
                logError("cannot create folder", target + "/");
                return CopyOutcome::Failed;
            }
            return to || createTargetFolder(MakeSubfolderTask(task, itemName)) ? CopyOutcome::Done
                                                                               : CopyOutcome::Failed;
        }
        TaskState state(task, namesWrittenBy(task));
        Entry entry;
        entry.name = itemName;
        entry.size = from.size;
        entry.lastWriteTime = from.lastWriteTime;
        entry.isLink = from.kind == EntryKind::Symlink;
        if (!to)
            return CreateOnlyCopy(state, entry, source, target);
        platform::FileStamp stamp;
        if (fs().readStamp(target, stamp) != FsError::Ok) {
            logError("cannot copy file", source);
            return CopyOutcome::Failed;
        }
        return OverwriteFile(state, entry, source, target, stamp);
    };
    auto finish = [&](CopyOutcome outcome) {
        if (outcome == CopyOutcome::DiskFull || outcome == CopyOutcome::Stopped) {
            keepRecord();
            return outcome == CopyOutcome::DiskFull ? PairOutcome::DiskFull : PairOutcome::Stopped;
        }
        if (outcome == CopyOutcome::Done)
            remember();
        else
            keepRecord();
        return PairOutcome::Continue;
    };
    auto remove = [&](bool inTgt) {
        const std::string& path = inTgt ? tgtPath : orgPath;
        const bool folder = (inTgt ? input.tgt : input.org)->kind == EntryKind::Folder;
        if (m_deletions == DeletionGate::Closed) {
            keepRecord();
            return PairOutcome::Continue;
        }
        const FsError deleted = removeItem(path, folder);
        if (deleted == FsError::Ok || deleted == FsError::NotFound) {
            if (deleted == FsError::Ok) {
                m_progress.count(folder ? Operation::FolderDeleted : Operation::FileDeleted,
                                 inTgt ? Direction::OrgToTgt : Direction::TgtToOrg);
                m_report.ReportDeleted(path);
            }
            return PairOutcome::Continue;
        }
        if (noteOverlap(deleted))
            return PairOutcome::Continue;
        if (!m_notKeptReason.empty())
            logError("cannot delete", folder ? path + "/" : path, m_notKeptReason);
        else
            logFailure("cannot delete", folder ? path + "/" : path,
                       inTgt ? Direction::OrgToTgt : Direction::TgtToOrg, platform::FailedSide::Target);
        keepRecord();
        return deleted == FsError::DiskFull ? PairOutcome::DiskFull : PairOutcome::Continue;
    };

    switch (decision.action) {
    case SyncAction::Nothing:
        if (input.org && input.tgt)
            remember();
        return PairOutcome::Continue;
    case SyncAction::RecordOnly:
        remember();
        return PairOutcome::Continue;
    case SyncAction::FirstRun:
    case SyncAction::ForgetRecord:
        return PairOutcome::Continue;
    case SyncAction::CopyToTgt:
        return finish(copy(true));
    case SyncAction::CopyToOrg:
        return finish(copy(false));
    case SyncAction::DeleteInTgt:
        return remove(true);
    case SyncAction::DeleteInOrg:
        return remove(false);
    case SyncAction::SkipConflict: {
        const std::string line = conflictLogLine(decision.conflict, text::displayName(orgPath)) + "\r\n";
        platform::forgetLastFailure();
        m_progress.logConflict(line,
                               decision.conflict == ConflictKind::BothChanged
                                   ? "changed on both sides since the last run; both are left as they are"
                                   : "changed on one side and deleted on the other; nothing was changed");
        keepRecord();
        if (input.org && input.tgt && input.org->kind == EntryKind::Folder &&
            input.tgt->kind == EntryKind::Folder)
            queue.push_back(rel + itemName + "/");
        return PairOutcome::Continue;
    }
    case SyncAction::KeepBoth: {
        // The loser's version is kept beside the winner's on both sides, then the winner's
        // copy takes the name on the loser's side.
        const bool orgWins = decision.winner == Side::Org;
        const std::optional<SeenItem>& loser = orgWins ? input.tgt : input.org;
        if (loser && loser->kind != EntryKind::Folder) {
            const std::string aside = conflictName(itemName, civilTimeOf(loser->lastWriteTime, 0), false);
            const std::string loserPath = orgWins ? tgtPath : orgPath;
            const std::string loserFolder = orgWins ? root.targetFolder + rel : root.sourceFolder + rel;
            const std::string winnerFolder = orgWins ? root.sourceFolder + rel : root.targetFolder + rel;
            for (const std::string& folder : {loserFolder, winnerFolder}) {
                const FsError kept =
                    fs().copy(loserPath, folder + aside,
                              {platform::CopyMode::CreateOnly, nullptr, false, m_progress.stopFlag()});
                if (kept == FsError::DiskFull) {
                    keepRecord();
                    return PairOutcome::DiskFull;
                }
                if (kept != FsError::Ok && kept != FsError::Exists) {
                    logFailure("cannot copy file", loserPath,
                               orgWins ? Direction::TgtToOrg : Direction::OrgToTgt,
                               platform::FailedSide::Target);
                    keepRecord();
                    return PairOutcome::Continue;
                }
            }
        }
        // Changed here and deleted there, the changed item goes back where it was.
        return finish(copy(orgWins));
    }
    }
    return PairOutcome::Continue;
}

} // namespace tavrel::engine
