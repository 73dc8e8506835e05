// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/method_rules.h"

namespace tavrel::engine {

namespace {

// traitsOf finds a row by the method's stored value.
constexpr bool rowsInValueOrder()
{
    for (std::size_t i = 0; i < kMethodTraits.size(); ++i)
        if (static_cast<std::size_t>(kMethodTraits[i].method) != i || !kMethodTraits[i].known)
            return false;
    return true;
}
static_assert(rowsInValueOrder());

} // namespace

FileAction decideFileAction(model::SyncMethod method, bool targetPresent, int timeOrder)
{
    const MethodTraits& traits = traitsOf(method);
    if (!traits.known)
        return FileAction::Nothing;
    if (!targetPresent)
        return FileAction::CreateOnly;
    switch (traits.overwrite) {
    case OverwriteRule::Never:
        // The create-only copy finds the target and leaves it.
        return FileAction::CreateOnly;
    case OverwriteRule::WhenNewer:
        return timeOrder > 0 ? FileAction::Overwrite : FileAction::Nothing;
    case OverwriteRule::WhenDifferent:
        return FileAction::ContentCheck;
    }
    return FileAction::Nothing;
}

} // namespace tavrel::engine
