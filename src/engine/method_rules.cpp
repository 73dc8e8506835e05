// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/method_rules.h"

namespace tavrel::engine {

namespace {

using model::SyncMethod;

// Light Copy copies only what the target lacks.
FileAction lightCopy(bool, int)
{
    return FileAction::CreateOnly;
}

// Update Copy (and Synchronize, one direction at a time) replace only an older target.
FileAction updateCopy(bool targetPresent, int timeOrder)
{
    if (!targetPresent)
        return FileAction::CreateOnly;
    return timeOrder > 0 ? FileAction::Overwrite : FileAction::Nothing;
}

// Copy and Absolute Copy replace a target that differs, whatever its age.
FileAction copy(bool targetPresent, int)
{
    return targetPresent ? FileAction::ContentCheck : FileAction::CreateOnly;
}

} // namespace

bool isKnownMethod(SyncMethod method)
{
    switch (method) {
    case SyncMethod::LightCopy:
    case SyncMethod::UpdateCopy:
    case SyncMethod::Copy:
    case SyncMethod::AbsoluteCopy:
    case SyncMethod::Synchronize:
        return true;
    }
    return false;
}

bool readsTarget(SyncMethod method)
{
    return isKnownMethod(method) && method != SyncMethod::LightCopy;
}

FileAction decideFileAction(SyncMethod method, bool targetPresent, int timeOrder)
{
    switch (method) {
    case SyncMethod::LightCopy:
        return lightCopy(targetPresent, timeOrder);
    case SyncMethod::UpdateCopy:
    case SyncMethod::Synchronize:
        return updateCopy(targetPresent, timeOrder);
    case SyncMethod::Copy:
    case SyncMethod::AbsoluteCopy:
        return copy(targetPresent, timeOrder);
    }
    return FileAction::Nothing;
}

} // namespace tavrel::engine
