// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/sync_decision.h"

#include <gtest/gtest.h>
#include <ostream>

using namespace tavrel::engine;
using tavrel::model::ConflictPolicy;
using tavrel::platform::EntryKind;

namespace {

constexpr int64_t kS = kTicksPerSecond;
constexpr int64_t kT0 = int64_t{1'700'000'000} * kS; // the record's time
constexpr int64_t kT1 = kT0 + 60 * kS;               // a later edit
constexpr int64_t kT2 = kT0 + 120 * kS;
constexpr TimeRule kExact{};
constexpr TimeRule kFat{2 * kS, kFatTimeMin, kFatTimeMax};

SeenItem file(uint64_t size, int64_t time, bool future = false)
{
    return {EntryKind::File, size, time, future};
}
SeenItem folder()
{
    return {EntryKind::Folder, 0, kT2, false};
}
SeenItem link(uint64_t size, int64_t time)
{
    return {EntryKind::Symlink, size, time, false};
}
RememberedItem recordOf(EntryKind kind, uint64_t size, int64_t orgTime, int64_t tgtTime)
{
    return {kind, size, orgTime, tgtTime};
}
const RememberedItem kFileRecord = recordOf(EntryKind::File, 10, kT0, kT0);
const RememberedItem kFolderRecord = recordOf(EntryKind::Folder, 0, kT0, kT0);

SyncDecision act(SyncAction action)
{
    return {action};
}
SyncDecision conflict(SyncAction action, ConflictKind kind, Side deletedOn = Side::Org,
                      Side winner = Side::Org)
{
    return {action, kind, deletedOn, winner};
}

struct DecisionCase
{
    const char* what;
    DecisionInput input;
    SyncDecision expected;
};

DecisionInput in(std::optional<RememberedItem> record, std::optional<SeenItem> org,
                 std::optional<SeenItem> tgt, ConflictPolicy policy = ConflictPolicy::Skip,
                 TimeRule rule = kExact)
{
    DecisionInput input;
    input.record = record;
    input.org = org;
    input.tgt = tgt;
    input.policy = policy;
    input.timeRule = rule;
    return input;
}

DecisionInput firstRun(DecisionInput input)
{
    input.pairHasState = false;
    return input;
}

DecisionInput beneath(DecisionInput input)
{
    input.changedBeneath = true;
    return input;
}

const char* actionName(SyncAction action)
{
    switch (action) {
    case SyncAction::Nothing:
        return "Nothing";
    case SyncAction::CopyToTgt:
        return "CopyToTgt";
    case SyncAction::CopyToOrg:
        return "CopyToOrg";
    case SyncAction::DeleteInTgt:
        return "DeleteInTgt";
    case SyncAction::DeleteInOrg:
        return "DeleteInOrg";
    case SyncAction::ForgetRecord:
        return "ForgetRecord";
    case SyncAction::RecordOnly:
        return "RecordOnly";
    case SyncAction::FirstRun:
        return "FirstRun";
    case SyncAction::SkipConflict:
        return "SkipConflict";
    case SyncAction::KeepBoth:
        return "KeepBoth";
    }
    return "?";
}

} // namespace

namespace tavrel::engine {
void PrintTo(const SyncDecision& d, std::ostream* out)
{
    *out << actionName(d.action) << " conflict=" << static_cast<int>(d.conflict)
         << " deletedOn=" << (d.deletedOn == Side::Org ? "ORG" : "TGT")
         << " winner=" << (d.winner == Side::Org ? "ORG" : "TGT");
}
} // namespace tavrel::engine

TEST(SyncDecision, EachCaseGivesItsAction)
{
    using P = ConflictPolicy;
    using A = SyncAction;
    using K = ConflictKind;
    const auto f10 = file(10, kT0);
    const DecisionCase cases[] = {
        // No state for the pair: the rules without memory, whatever the sides hold.
        {"first run, one side", firstRun(in(std::nullopt, f10, std::nullopt)), act(A::FirstRun)},
        {"first run, record ignored", firstRun(in(kFileRecord, std::nullopt, f10)), act(A::FirstRun)},
        // Nothing changed.
        {"unchanged", in(kFileRecord, f10, f10), act(A::Nothing)},
        {"absent everywhere", in(std::nullopt, std::nullopt, std::nullopt), act(A::Nothing)},
        {"TGT time differs from ORG's but matches its own record",
         in(recordOf(EntryKind::File, 10, kT0, kT1), f10, file(10, kT1)), act(A::Nothing)},
        {"FAT rounding is no change", in(kFileRecord, f10, file(10, kT0 + kS), P::Skip, kFat),
         act(A::Nothing)},
        {"a folder's own time is no change", in(kFolderRecord, folder(), folder()), act(A::Nothing)},
        // One side changed.
        {"ORG edited", in(kFileRecord, file(10, kT1), f10), act(A::CopyToTgt)},
        {"TGT grew", in(kFileRecord, f10, file(11, kT0)), act(A::CopyToOrg)},
        {"exact: one tick is a change", in(kFileRecord, file(10, kT0 + 1), f10), act(A::CopyToTgt)},
        {"ORG became a folder", in(kFileRecord, folder(), f10), act(A::CopyToTgt)},
        {"TGT became a link", in(kFileRecord, f10, link(10, kT0)), act(A::CopyToOrg)},
        {"new in ORG", in(std::nullopt, f10, std::nullopt), act(A::CopyToTgt)},
        {"new in TGT", in(std::nullopt, std::nullopt, f10), act(A::CopyToOrg)},
        {"future-dated edit is still a change", in(kFileRecord, file(10, kT2, true), f10), act(A::CopyToTgt)},
        // Deletions.
        {"deleted in ORG", in(kFileRecord, std::nullopt, f10), act(A::DeleteInTgt)},
        {"deleted in TGT", in(kFileRecord, f10, std::nullopt), act(A::DeleteInOrg)},
        {"deleted on both", in(kFileRecord, std::nullopt, std::nullopt), act(A::ForgetRecord)},
        {"folder deleted in ORG, nothing new beneath", in(kFolderRecord, std::nullopt, folder()),
         act(A::DeleteInTgt)},
        // Changed on both.
        {"both to the same", in(kFileRecord, file(12, kT1), file(12, kT1)), act(A::RecordOnly)},
        {"both new and the same", in(std::nullopt, file(12, kT1), file(12, kT1)), act(A::RecordOnly)},
        {"both new folders", in(std::nullopt, folder(), folder()), act(A::RecordOnly)},
        {"same within FAT precision", in(kFileRecord, file(12, kT1), file(12, kT1 + kS), P::Skip, kFat),
         act(A::RecordOnly)},
        {"both changed, skip", in(kFileRecord, file(12, kT1), file(13, kT2)),
         conflict(A::SkipConflict, K::BothChanged)},
        {"both new and different", in(std::nullopt, file(12, kT1), file(13, kT1)),
         conflict(A::SkipConflict, K::BothChanged)},
        {"both changed, kinds differ", in(kFileRecord, folder(), link(3, kT1)),
         conflict(A::SkipConflict, K::BothChanged)},
        {"both changed, keep both, TGT newer", in(kFileRecord, file(12, kT1), file(13, kT2), P::KeepBoth),
         conflict(A::KeepBoth, K::BothChanged, Side::Org, Side::Tgt)},
        {"both changed, keep both, ORG newer", in(kFileRecord, file(12, kT2), file(13, kT1), P::KeepBoth),
         conflict(A::KeepBoth, K::BothChanged, Side::Org, Side::Org)},
        {"keep both: a future-dated side is never the newer",
         in(kFileRecord, file(12, kT2 + 3600 * kS, true), file(13, kT1), P::KeepBoth),
         conflict(A::KeepBoth, K::BothChanged, Side::Org, Side::Tgt)},
        {"keep both: equal times keep ORG's name", in(kFileRecord, file(12, kT1), file(13, kT1), P::KeepBoth),
         conflict(A::KeepBoth, K::BothChanged, Side::Org, Side::Org)},
        {"both changed, ORG wins", in(kFileRecord, file(12, kT1), file(13, kT2), P::OrgWins),
         conflict(A::CopyToTgt, K::BothChanged)},
        {"both changed, TGT wins", in(kFileRecord, file(12, kT2), file(13, kT1), P::TgtWins),
         conflict(A::CopyToOrg, K::BothChanged)},
        {"unknown policy skips", in(kFileRecord, file(12, kT1), file(13, kT2), static_cast<P>(7)),
         conflict(A::SkipConflict, K::BothChanged)},
        // Changed on one side, deleted on the other.
        {"ORG changed, TGT deleted, skip", in(kFileRecord, file(12, kT1), std::nullopt),
         conflict(A::SkipConflict, K::ChangedDeleted, Side::Tgt)},
        {"ORG deleted, TGT changed, skip", in(kFileRecord, std::nullopt, file(12, kT1)),
         conflict(A::SkipConflict, K::ChangedDeleted, Side::Org)},
        {"keep both restores the changed file", in(kFileRecord, std::nullopt, file(12, kT1), P::KeepBoth),
         conflict(A::CopyToOrg, K::ChangedDeleted, Side::Org)},
        {"ORG wins its deletion", in(kFileRecord, std::nullopt, file(12, kT1), P::OrgWins),
         conflict(A::DeleteInTgt, K::ChangedDeleted, Side::Org)},
        {"TGT wins its change", in(kFileRecord, std::nullopt, file(12, kT1), P::TgtWins),
         conflict(A::CopyToOrg, K::ChangedDeleted, Side::Org)},
        {"ORG wins its change", in(kFileRecord, file(12, kT1), std::nullopt, P::OrgWins),
         conflict(A::CopyToTgt, K::ChangedDeleted, Side::Tgt)},
        {"TGT wins its deletion", in(kFileRecord, file(12, kT1), std::nullopt, P::TgtWins),
         conflict(A::DeleteInOrg, K::ChangedDeleted, Side::Tgt)},
        // A deleted folder with new or changed work beneath it on the other side.
        {"folder deleted in ORG, changes beneath in TGT", beneath(in(kFolderRecord, std::nullopt, folder())),
         conflict(A::SkipConflict, K::ChangedDeleted, Side::Org)},
        {"folder deleted in TGT, changes beneath in ORG, ORG wins",
         beneath(in(kFolderRecord, folder(), std::nullopt, P::OrgWins)),
         conflict(A::CopyToTgt, K::ChangedDeleted, Side::Tgt)},
        {"folder conflict: the deleting side winning deletes nothing",
         beneath(in(kFolderRecord, std::nullopt, folder(), P::OrgWins)),
         conflict(A::SkipConflict, K::ChangedDeleted, Side::Org)},
        {"folder conflict, keep both restores it",
         beneath(in(kFolderRecord, std::nullopt, folder(), P::KeepBoth)),
         conflict(A::CopyToOrg, K::ChangedDeleted, Side::Org)},
        {"file became a folder in TGT, deleted in ORG, ORG wins",
         in(kFileRecord, std::nullopt, folder(), P::OrgWins),
         conflict(A::SkipConflict, K::ChangedDeleted, Side::Org)},
    };
    for (const DecisionCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(decideItem(c.input), c.expected);
    }
}

TEST(SyncDecision, ChangedSinceLooksAtEachSidesOwnRecordedTime)
{
    const RememberedItem record = recordOf(EntryKind::File, 10, kT0, kT1);
    EXPECT_FALSE(changedSince(record, file(10, kT0), Side::Org, kExact));
    EXPECT_TRUE(changedSince(record, file(10, kT0), Side::Tgt, kExact));
    EXPECT_FALSE(changedSince(record, file(10, kT1), Side::Tgt, kExact));
    EXPECT_TRUE(changedSince(record, std::nullopt, Side::Org, kExact));
    EXPECT_TRUE(changedSince(std::nullopt, file(1, kT0), Side::Org, kExact));
    EXPECT_FALSE(changedSince(std::nullopt, std::nullopt, Side::Org, kExact));
    EXPECT_TRUE(changedSince(kFolderRecord, file(0, kT0), Side::Org, kExact));
    EXPECT_TRUE(changedSince(recordOf(EntryKind::Symlink, 4, kT0, kT0), link(5, kT0), Side::Org, kExact));
}

TEST(SyncDecision, FolderChangeScanSeesAnyNewChangedOrMissingItem)
{
    const struct
    {
        const char* what;
        std::optional<RememberedItem> record;
        SeenItem now;
        bool missing;
        bool changed;
    } cases[] = {
        {"all as recorded", kFileRecord, file(10, kT0), false, false},
        {"a new file", std::nullopt, file(1, kT1), false, true},
        {"an edited file", kFileRecord, file(10, kT1), false, true},
        {"a file gone", kFileRecord, file(10, kT0), true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FolderChangeScan scan(Side::Tgt, kExact);
        scan.add(kFileRecord, file(10, kT0));
        scan.add(kFolderRecord, folder());
        scan.add(c.record, c.now);
        if (c.missing)
            scan.addMissing();
        scan.add(kFileRecord, file(10, kT0));
        EXPECT_EQ(scan.changed(), c.changed);
    }
}

// What the state file and a scan hold reaches the decision field by field.
TEST(SyncDecision, StateEntriesAndScannedItemsConvert)
{
    const tavrel::state::StateEntry stored{"a", EntryKind::Symlink, 7, kT0, kT1, 11, 12, "target"};
    const RememberedItem record = rememberedOf(stored);
    EXPECT_EQ(record.kind, EntryKind::Symlink);
    EXPECT_EQ(record.size, 7u);
    EXPECT_EQ(record.orgTime, kT0);
    EXPECT_EQ(record.tgtTime, kT1);
    tavrel::platform::DirEntry scanned;
    scanned.kind = EntryKind::Folder;
    scanned.size = 3;
    scanned.lastWriteTime = kT2;
    const SeenItem seen = seenOf(scanned, true);
    EXPECT_EQ(seen.kind, EntryKind::Folder);
    EXPECT_EQ(seen.size, 3u);
    EXPECT_EQ(seen.lastWriteTime, kT2);
    EXPECT_TRUE(seen.futureDated);
}

TEST(SyncDecision, ConflictLinesNameTheKind)
{
    EXPECT_EQ(conflictLogLine(ConflictKind::BothChanged, "/org/a b.txt"),
              "CONFLICT: both changed: /org/a b.txt");
    EXPECT_EQ(conflictLogLine(ConflictKind::ChangedDeleted, "/org/d/"),
              "CONFLICT: changed here, deleted there: /org/d/");
}
