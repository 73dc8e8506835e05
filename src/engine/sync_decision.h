// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/time_rule.h"
#include "model/pair_extras.h"
#include "platform/file_system.h"
#include "state/sync_state.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavrel::engine {

// The decision of a Synchronize pair that remembers its last run: what to do with one item
// (a path relative to the roots) from what each side holds now and what the last run left.
// Pure: it reads nothing and changes nothing; the caller acts on the answer.

// One side's item as a scan finds it now.
struct SeenItem
{
    platform::EntryKind kind = platform::EntryKind::File;
    uint64_t size = 0;
    int64_t lastWriteTime = 0;
    // Dated more than the allowed margin after the run's start: may count as changed, never
    // as the newer of two.
    bool futureDated = false;
};

// What the last run left of the item on both sides (the two sides were equal then).
struct RememberedItem
{
    platform::EntryKind kind = platform::EntryKind::File;
    uint64_t size = 0;
    int64_t orgTime = 0;
    int64_t tgtTime = 0;
};

// The forms decideItem takes, from what the state file and a scan give.
RememberedItem rememberedOf(const state::StateEntry& entry);
SeenItem seenOf(const platform::DirEntry& entry, bool futureDated);

enum class Side
{
    Org,
    Tgt,
};

struct DecisionInput
{
    // False: the pair has no remembered state at all (its first run, or the state was lost or
    // belongs to other roots); the first-run rules hold and nothing is deleted.
    bool pairHasState = true;
    std::optional<RememberedItem> record;
    std::optional<SeenItem> org;
    std::optional<SeenItem> tgt;
    TimeRule timeRule; // the pair's, combine() of both roots
    model::ConflictPolicy policy = model::ConflictPolicy::Skip;
    // For a folder deleted on one side and still present on the other: whether anything
    // beneath it on the present side is new or changed since the record (FolderChangeScan).
    bool changedBeneath = false;
};

enum class SyncAction
{
    Nothing,     // unchanged on both sides (or absent everywhere)
    CopyToTgt,   // ORG's item to TGT, replacing what is there
    CopyToOrg,   // TGT's item to ORG, replacing what is there
    DeleteInTgt, // deleted in ORG since the last run, unchanged in TGT
    DeleteInOrg,
    ForgetRecord, // gone from both sides: drop the record
    // Changed on both sides to the same kind, size and time: nothing to copy, remember the new
    // state. For files the caller first compares the contents; when they differ it asks
    // resolveConflict(ConflictKind::BothChanged, ...) instead.
    RecordOnly,
    FirstRun,     // no state for the pair: the method's rules without memory, deleting nothing
    SkipConflict, // a conflict left as it is: log conflictLogLine, keep the record unchanged
    // Both changed: the `winner` keeps the name on both sides, the loser's version is kept
    // beside it on both sides under conflictName().
    KeepBoth,
};

enum class ConflictKind
{
    None,
    BothChanged,
    ChangedDeleted, // changed on one side, deleted on the other (`deletedOn`)
};

struct SyncDecision
{
    SyncAction action = SyncAction::Nothing;
    ConflictKind conflict = ConflictKind::None;
    Side deletedOn = Side::Org; // ChangedDeleted only
    Side winner = Side::Org;    // KeepBoth only: the side whose version keeps the name

    friend bool operator==(const SyncDecision&, const SyncDecision&) = default;
};

// Whether `now` differs from what the last run left on `side`: presence, kind, or for
// files and links size or time at the rule's precision. A folder's own size and time are not
// looked at (they move with every change inside it); its contents are decided item by item.
bool changedSince(const std::optional<RememberedItem>& record, const std::optional<SeenItem>& now, Side side,
                  const TimeRule& rule);

// The whole rule for one item:
// - no state for the pair: FirstRun;
// - changed on one side only: copied that way; deleted on one side, unchanged on the other:
//   deleted on the other; gone from both: ForgetRecord; no change: Nothing;
// - changed on both: RecordOnly when they are equal now, else a BothChanged conflict;
// - changed on one side, deleted on the other: a ChangedDeleted conflict; so is a folder
//   deleted on one side with something new or changed beneath it on the other, and there
//   nothing is ever deleted, whatever the policy;
// - conflicts are settled by resolveConflict.
SyncDecision decideItem(const DecisionInput& input);

// A conflict settled by the input's policy. Skip (and any unknown policy) leaves both sides:
// SkipConflict. BothChanged: KeepBoth with the newer side as winner (a future-dated side is
// never the newer; ORG when neither is), OrgWins/TgtWins copy that side over. ChangedDeleted:
// KeepBoth copies the changed item back to where it was deleted; the winning side's state is
// copied over or deleted, except for a folder with changes beneath, which is never deleted
// (SkipConflict).
SyncDecision resolveConflict(ConflictKind kind, Side deletedOn, const DecisionInput& input);

// The log line of a conflict with the item's ORG path (where it is or was):
// "CONFLICT: both changed: PATH" or "CONFLICT: changed here, deleted there: PATH".
std::string conflictLogLine(ConflictKind kind, std::string_view path);

// Tells whether anything below a folder changed since the last run, fed item by item while
// the caller walks the folder's present side: the evidence decideItem wants as
// `changedBeneath` before it lets a folder deletion spread to the other side.
class FolderChangeScan final
{
public:
    FolderChangeScan(Side side, const TimeRule& rule) : m_side(side), m_rule(rule) {}

    // One item below the folder on the scanned side, with its record (none: new since).
    void add(const std::optional<RememberedItem>& record, const SeenItem& now)
    {
        m_changed = m_changed || changedSince(record, now, m_side, m_rule);
    }
    // A record below the folder whose item the scanned side no longer has.
    void addMissing() { m_changed = true; }
    bool changed() const { return m_changed; }

private:
    Side m_side;
    TimeRule m_rule;
    bool m_changed = false;
};

} // namespace tavrel::engine
