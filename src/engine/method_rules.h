// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/folder_pair.h"

namespace tavrel::engine {

// What the file loop does with one listed source file.
enum class FileAction
{
    Nothing,
    CreateOnly,   // copy unless the target exists (an existing one is refused silently)
    Overwrite,    // copy over the existing target
    ContentCheck, // let the pair's content check decide
};

// Whether `method` is one of the five the engine knows. Any other value is refused whole,
// since guessing could delete what the user meant to keep.
bool isKnownMethod(model::SyncMethod method);

// Whether the method looks at the target before copying. Light Copy does not: it relies on
// the create-only copy refusing an existing target.
bool readsTarget(model::SyncMethod method);

// The method's decision for one source file. `targetPresent` tells whether the target's
// stamp could be read; `timeOrder` is CompareTimes(source, target) when it could.
FileAction decideFileAction(model::SyncMethod method, bool targetPresent, int timeOrder);

} // namespace tavrel::engine
