// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/folder_pair.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace tavrel::engine {

// What the file loop does with one listed source file.
enum class FileAction
{
    Nothing,
    CreateOnly,   // copy unless the target exists (an existing one is refused silently)
    Overwrite,    // copy over the existing target
    ContentCheck, // let the pair's content check decide
};

// When a method replaces a target that exists.
enum class OverwriteRule
{
    Never,         // a create-only copy, which an existing target refuses: the target is not read
    WhenNewer,     // when the source's time is later
    WhenDifferent, // when the pair's content check finds the two differ
};

// Everything about one method that the engine and the pair dialog act on. Every site asks
// this row instead of comparing methods, so a method's behaviour is read in one place.
struct MethodTraits
{
    model::SyncMethod method = model::SyncMethod::LightCopy;
    // False only for the row of stored values outside the five: such a pair is refused whole,
    // since guessing could delete what the user meant to keep.
    bool known = false;
    OverwriteRule overwrite = OverwriteRule::Never;
    // Target items the source lacks are deleted: the target becomes a mirror.
    bool deletesUnmatched = false;
    // A second pass copies what TGT has newer or alone into ORG: ORG is written (so locked and
    // probed like a target), and TGT's files are counted for the progress too.
    bool walksBackFromTarget = false;

    // Whether the method looks at the target before copying.
    constexpr bool readsTargetStamp() const { return overwrite != OverwriteRule::Never; }
    constexpr bool appliesContentCheck() const { return overwrite == OverwriteRule::WhenDifferent; }
    // The recycle bin takes what a deletion removes; only a method that deletes offers it.
    constexpr bool offersRecycleBin() const { return deletesUnmatched; }
};

// One row per method, in the order of the method's stored value.
inline constexpr std::array<MethodTraits, 5> kMethodTraits{{
    {.method = model::SyncMethod::LightCopy, .known = true, .overwrite = OverwriteRule::Never},
    {.method = model::SyncMethod::UpdateCopy, .known = true, .overwrite = OverwriteRule::WhenNewer},
    {.method = model::SyncMethod::Copy, .known = true, .overwrite = OverwriteRule::WhenDifferent},
    {.method = model::SyncMethod::AbsoluteCopy,
     .known = true,
     .overwrite = OverwriteRule::WhenDifferent,
     .deletesUnmatched = true},
    {.method = model::SyncMethod::Synchronize,
     .known = true,
     .overwrite = OverwriteRule::WhenNewer,
     .walksBackFromTarget = true},
}};

// The row of every other stored value: it does nothing (its method is never read).
inline constexpr MethodTraits kUnknownMethodTraits{};

// The row of `method`; kUnknownMethodTraits for any stored value outside the five.
constexpr const MethodTraits& traitsOf(model::SyncMethod method)
{
    const auto index = static_cast<std::size_t>(static_cast<uint32_t>(method));
    return index < kMethodTraits.size() ? kMethodTraits[index] : kUnknownMethodTraits;
}

// The method's decision for one source file, from its row. `targetPresent` tells whether the
// target's stamp could be read; `timeOrder` is CompareTimes(source, target) when it could.
FileAction decideFileAction(model::SyncMethod method, bool targetPresent, int timeOrder);

} // namespace tavrel::engine
