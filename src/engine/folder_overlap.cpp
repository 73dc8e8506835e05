// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/folder_overlap.h"

#include "engine/engine_paths.h"
#include "text/case_fold.h"

#include <vector>

namespace tavrel::engine {

namespace {

// Appends the components of `tail` to the folder `base`, dropping "." and taking back "..".
std::string appendLexically(std::string base, const std::vector<std::string>& tail)
{
    for (const std::string& part : tail) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (base.size() > 1) {
                base.pop_back();
                base.erase(base.rfind('/') + 1);
            }
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
    std::string current = asFolderPath(folder);
    std::vector<std::string> tail; // components not found yet, innermost first
    for (;;) {
        std::string real;
        if (fs.realFolder(current, real) == platform::FsError::Ok)
            return appendLexically(asFolderPath(real), {tail.rbegin(), tail.rend()});
        // Step up one level: "a/b/c/" -> "a/b/" with "c" kept for later.
        std::string trimmed = current.substr(0, current.size() - 1);
        const std::size_t slash = trimmed.rfind('/');
        if (trimmed.empty() || trimmed == "." || (slash == std::string::npos && current == "./"))
            break;
        if (slash == std::string::npos) {
            tail.push_back(trimmed);
            current = "./";
        } else {
            tail.push_back(trimmed.substr(slash + 1));
            current = trimmed.substr(0, slash + 1);
        }
    }
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t slash; (slash = folder.find('/', start)) != std::string::npos; start = slash + 1)
        parts.push_back(folder.substr(start, slash - start));
    parts.push_back(folder.substr(start));
    return appendLexically(folder.starts_with('/') ? "/" : "", parts);
}

namespace {

std::vector<std::string> componentsOf(const std::string& folder)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t slash; (slash = folder.find('/', start)) != std::string::npos; start = slash + 1)
        if (slash > start)
            parts.push_back(folder.substr(start, slash - start));
    if (start < folder.size())
        parts.push_back(folder.substr(start));
    return parts;
}

// Where one folder's path is, ignoring case, the start of the other's, whether that start and
// the folder are one folder on a volume that ignores case. Only this is asked of the disk,
// and only then; folder identities there may differ by spelling.
bool overlapIgnoringCase(platform::FileSystem& fs, const std::string& a, const std::string& b)
{
    std::vector<std::string> shorter = componentsOf(a);
    std::vector<std::string> longer = componentsOf(b);
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
    if (realOrg.starts_with(realTgt) || realTgt.starts_with(realOrg))
        return true;
    return realOrg.starts_with('/') && realTgt.starts_with('/') && overlapIgnoringCase(fs, realOrg, realTgt);
}

} // namespace tavrel::engine
