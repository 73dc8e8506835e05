// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/sync_decision.h"

namespace tavrel::engine {
namespace {

Side other(Side side)
{
    return side == Side::Org ? Side::Tgt : Side::Org;
}

SyncAction copyFrom(Side side)
{
    return side == Side::Org ? SyncAction::CopyToTgt : SyncAction::CopyToOrg;
}

SyncAction deleteIn(Side side)
{
    return side == Side::Org ? SyncAction::DeleteInOrg : SyncAction::DeleteInTgt;
}

const std::optional<SeenItem>& sideOf(const DecisionInput& input, Side side)
{
    return side == Side::Org ? input.org : input.tgt;
}

bool equalNow(const SeenItem& org, const SeenItem& tgt, const TimeRule& rule)
{
    if (org.kind != tgt.kind)
        return false;
    if (org.kind == platform::EntryKind::Folder)
        return true;
    return org.size == tgt.size && compareTimes(org.lastWriteTime, tgt.lastWriteTime, rule) == 0;
}

// The side whose version keeps the name under KeepBoth.
Side newerSide(const SeenItem& org, const SeenItem& tgt, const TimeRule& rule)
{
    if (org.futureDated != tgt.futureDated)
        return org.futureDated ? Side::Tgt : Side::Org;
    if (org.futureDated)
        return Side::Org;
    return compareTimes(org.lastWriteTime, tgt.lastWriteTime, rule) < 0 ? Side::Tgt : Side::Org;
}

} // namespace

RememberedItem rememberedOf(const state::StateEntry& entry)
{
    return {entry.kind, entry.size, entry.orgTime, entry.tgtTime};
}

SeenItem seenOf(const platform::DirEntry& entry, bool futureDated)
{
    return {entry.kind, entry.size, entry.lastWriteTime, futureDated};
}

bool changedSince(const std::optional<RememberedItem>& record, const std::optional<SeenItem>& now, Side side,
                  const TimeRule& rule)
{
    if (!record || !now)
        return record.has_value() != now.has_value();
    if (record->kind != now->kind)
        return true;
    if (now->kind == platform::EntryKind::Folder)
        return false;
    const int64_t recorded = side == Side::Org ? record->orgTime : record->tgtTime;
    return record->size != now->size || compareTimes(now->lastWriteTime, recorded, rule) != 0;
}

SyncDecision decideItem(const DecisionInput& input)
{
    if (!input.pairHasState)
        return {SyncAction::FirstRun};
    const bool orgChanged = changedSince(input.record, input.org, Side::Org, input.timeRule);
    const bool tgtChanged = changedSince(input.record, input.tgt, Side::Tgt, input.timeRule);

    if (!orgChanged && !tgtChanged)
        return {SyncAction::Nothing};
    if (!input.org && !input.tgt)
        return {SyncAction::ForgetRecord};

    if (orgChanged != tgtChanged) {
        const Side changed = orgChanged ? Side::Org : Side::Tgt;
        if (sideOf(input, changed))
            return {copyFrom(changed)};
        // Deleted on `changed`, unchanged on the other side.
        const SeenItem& kept = *sideOf(input, other(changed));
        if (kept.kind == platform::EntryKind::Folder && input.changedBeneath)
            return resolveConflict(ConflictKind::ChangedDeleted, changed, input);
        return {deleteIn(other(changed))};
    }

    // Changed on both sides.
    if (input.org && input.tgt) {
        if (equalNow(*input.org, *input.tgt, input.timeRule))
            return {SyncAction::RecordOnly};
        return resolveConflict(ConflictKind::BothChanged, Side::Org, input);
    }
    return resolveConflict(ConflictKind::ChangedDeleted, input.org ? Side::Tgt : Side::Org, input);
}

SyncDecision resolveConflict(ConflictKind kind, Side deletedOn, const DecisionInput& input)
{
    SyncDecision decision{SyncAction::SkipConflict, kind};
    if (kind == ConflictKind::ChangedDeleted)
        decision.deletedOn = deletedOn;
    const model::ConflictPolicy policy = input.policy;
    const bool knownWinner =
        policy == model::ConflictPolicy::OrgWins || policy == model::ConflictPolicy::TgtWins;
    const Side winner = policy == model::ConflictPolicy::OrgWins ? Side::Org : Side::Tgt;

    if (kind == ConflictKind::BothChanged) {
        if (policy == model::ConflictPolicy::KeepBoth && input.org && input.tgt) {
            decision.action = SyncAction::KeepBoth;
            decision.winner = newerSide(*input.org, *input.tgt, input.timeRule);
        } else if (knownWinner) {
            decision.action = copyFrom(winner);
        }
        return decision;
    }
    if (kind != ConflictKind::ChangedDeleted)
        return decision;

    const Side changed = other(deletedOn);
    if (policy == model::ConflictPolicy::KeepBoth || (knownWinner && winner == changed)) {
        decision.action = copyFrom(changed); // brought back where it was deleted
    } else if (knownWinner) {
        const std::optional<SeenItem>& survivor = sideOf(input, changed);
        // New or changed work below a folder is never deleted for a deletion elsewhere.
        if (!(survivor && survivor->kind == platform::EntryKind::Folder))
            decision.action = deleteIn(changed);
    }
    return decision;
}

std::string conflictLogLine(ConflictKind kind, std::string_view path)
{
    const std::string_view head = kind == ConflictKind::BothChanged
                                      ? "CONFLICT: both changed: "
                                      : "CONFLICT: changed here, deleted there: ";
    std::string line(head);
    line += path;
    return line;
}

} // namespace tavrel::engine
