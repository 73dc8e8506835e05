// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tavrel::model {

// What a Synchronize pair does when both sides changed an item since the last run.
enum class ConflictPolicy : int32_t
{
    Skip = 0,     // leave both sides, log the conflict
    KeepBoth = 1, // the newer keeps its name, the other is kept beside it under a conflict name
    OrgWins = 2,
    TgtWins = 3,
};

// A pair's identity across runs and edits: random, so the state a run remembers follows the
// pair when it is renamed, moved to another slot or its job file is copied. All zero: none yet.
using PairId = std::array<uint8_t, 16>;

// The longest versions folder a pair keeps, in UTF-8 bytes (PATH_MAX less its terminator).
inline constexpr std::size_t kMaxVersionsFolderBytes = 4095;

// Options of a pair that the original project format has no room for. At their defaults the
// pair behaves, and is saved, exactly as one without them.
struct PairExtras
{
    // Synchronize remembers each run's outcome and acts on what changed since, deletions
    // included; off, it copies both ways and never deletes.
    bool rememberState = false;
    ConflictPolicy conflictPolicy = ConflictPolicy::Skip;
    // Where replaced and deleted files go (UTF-8); empty: the recycle switch decides as ever.
    std::string versionsFolder;
    uint32_t keepVersions = 0; // newest versions kept per file; 0: no limit
    uint32_t keepDays = 0;     // versions older than this many days go; 0: no limit
    PairId pairId{};

    // Whether any option differs from its default; the id is not an option.
    bool hasOptions() const;
    // Whether nothing, the id included, needs saving.
    bool isDefault() const { return !hasOptions() && !hasPairId(); }
    bool hasPairId() const { return pairId != PairId{}; }

    bool operator==(const PairExtras&) const = default;
};

// A fresh random id, never all zero.
PairId newPairId();

// Gives `extras` an id once it first has an option; an id once given is kept, also when the
// options go back to their defaults, so the pair's remembered state stays its own.
void settlePairId(PairExtras& extras);

// "0123...": the id as 32 lower-case hex digits.
std::string pairIdText(const PairId& id);

// Words for the policy as the runner takes and shows them: "skip", "keep-both", "org-wins",
// "tgt-wins"; "" for an unknown value.
std::string conflictPolicyWord(ConflictPolicy policy);

} // namespace tavrel::model
