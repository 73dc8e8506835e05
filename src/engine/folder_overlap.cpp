#include "engine/folder_overlap.h"

#include "engine/engine_paths.h"

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

bool foldersOverlap(platform::FileSystem& fs, const std::string& org, const std::string& tgt)
{
    const std::string realOrg = resolveFolder(fs, org);
    const std::string realTgt = resolveFolder(fs, tgt);
    return realOrg.starts_with(realTgt) || realTgt.starts_with(realOrg);
}

} // namespace tavrel::engine
