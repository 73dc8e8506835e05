// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run_scope.h"

namespace tavrel::engine {

std::vector<ScopedFolder> PairScope::outermost() const
{
    std::map<std::string, bool> merged;
    for (const ScopedFolder& folder : folders) {
        bool& recursive = merged.emplace(folder.relative, folder.recursive).first->second;
        recursive = recursive || folder.recursive;
    }
    std::vector<ScopedFolder> kept;
    for (const auto& [relative, recursive] : merged) {
        bool covered = false;
        for (std::size_t end = relative.size(); !covered && end > 0;) {
            end = relative.rfind('/', end - 1);
            end = end == std::string::npos ? 0 : end;
            const auto above = merged.find(relative.substr(0, end));
            covered = above != merged.end() && above->second;
        }
        if (!covered)
            kept.push_back({relative, recursive});
    }
    return kept;
}

} // namespace tavrel::engine
