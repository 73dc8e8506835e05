// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/folder_overlap.h"

#include "model/pair_rules.h"
#include "platform/path_text.h"
#include "text/case_fold.h"

#include <vector>

namespace tavrel::engine {

namespace {

// Appends the components of `tail` to the folder `base`, dropping "." and taking back "..".
std::string appendLexically(std::string base, const std::vector<std::string>& tail)
{
    for (const std::string& part : tail) {
        if (part == ".")
            continue;
        if (part == "..") {
            if (base.size() > 1)
                base = std::string(platform::parentOf(base));
            continue;
        }
        base += part;
        base += '/';
    }
    return base;
}

} // namespace

std::string resolveFolder(platform::FileSystem& fs, const std::string& folder)
{
    std::string current = platform::asFolder(folder);
    std::vector<std::string> tail; // components not found yet, innermost first
    for (;;) {
        std::string real;
        if (fs.realFolder(current, real) == platform::FsError::Ok)
            return appendLexically(platform::asFolder(real), {tail.rbegin(), tail.rend()});
        // Step up one level: "a/b/c/" -> "a/b/" with "c" kept for later; "/" and "./" are the top.
        const platform::PathParts parts = platform::splitPath(current);
        if (parts.name.empty() || (parts.folder.empty() && parts.name == "."))
            break;
        tail.emplace_back(parts.name);
        current = parts.folder.empty() ? std::string("./") : std::string(parts.folder);
    }
    return appendLexically(folder.starts_with('/') ? "/" : "", platform::namesOf(folder));
}

namespace {

// Where one folder's path is, ignoring case, the start of the other's, whether that start and
// the folder are one folder on a volume that ignores case. Only this is asked of the disk,
// and only then; folder identities there may differ by spelling.
bool overlapIgnoringCase(platform::FileSystem& fs, const std::string& a, const std::string& b)
{
    std::vector<std::string> shorter = platform::namesOf(a);
    std::vector<std::string> longer = platform::namesOf(b);
    if (shorter.size() > longer.size())
        std::swap(shorter, longer);
    std::string candidate = "/";
    for (std::size_t i = 0; i < shorter.size(); ++i) {
        if (text::foldName(shorter[i]) != text::foldName(longer[i]))
            return false;
        candidate += longer[i] + "/";
    }
    std::string shorterPath = "/";
    for (const std::string& part : shorter)
        shorterPath += part + "/";
    if (candidate == shorterPath)
        return true; // the same text: one lies inside the other already
    bool same = false;
    return fs.sameFolder(shorterPath, candidate, same) == platform::FsError::Ok && same;
}

} // namespace

bool foldersOverlap(platform::FileSystem& fs, const std::string& org, const std::string& tgt)
{
    const std::string realOrg = resolveFolder(fs, org);
    const std::string realTgt = resolveFolder(fs, tgt);
    if (model::foldersOverlap(realOrg, realTgt, nullptr))
        return true;
    return realOrg.starts_with('/') && realTgt.starts_with('/') && overlapIgnoringCase(fs, realOrg, realTgt);
}

} // namespace tavrel::engine
