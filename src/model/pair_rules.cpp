// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/pair_rules.h"

#include <vector>

namespace tavrel::model {

namespace {

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

struct FolderNames
{
    bool absolute = false;
    std::vector<std::string_view> names;
};

// The names of the folder `path` names, "." and ".." resolved on the text. A relative path keeps
// the ".." it cannot take back, since the folder it leads to is not known.
FolderNames folderNames(std::string_view path)
{
    FolderNames folder;
    folder.absolute = path.starts_with('/');
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string_view name = path.substr(start, slash - start);
        start = slash + 1;
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            if (!folder.names.empty() && folder.names.back() != "..")
                folder.names.pop_back();
            else if (!folder.absolute)
                folder.names.push_back(name);
            continue;
        }
        folder.names.push_back(name);
    }
    return folder;
}

bool sameName(std::string_view a, std::string_view b, NameFolding folding)
{
    return a == b || (folding != nullptr && folding(a) == folding(b));
}

bool isBlank(std::string_view text)
{
    return trimmed(text).empty();
}

} // namespace

bool folderInside(std::string_view inner, std::string_view outer, NameFolding folding)
{
    const FolderNames in = folderNames(inner);
    const FolderNames out = folderNames(outer);
    if (in.absolute != out.absolute || in.names.size() < out.names.size())
        return false;
    for (std::size_t i = 0; i < out.names.size(); ++i) {
        if (!sameName(in.names[i], out.names[i], folding))
            return false;
    }
    return true;
}

bool foldersOverlap(std::string_view a, std::string_view b, NameFolding folding)
{
    return folderInside(a, b, folding) || folderInside(b, a, folding);
}

std::optional<PairProblem> checkPair(const PairDraft& draft, NameFolding folding)
{
    const auto fault = [](PairFault kind, PairRoot root = PairRoot::Org, std::string_view rootPath = {},
                          std::string_view otherPath = {}) {
        PairProblem problem;
        problem.fault = kind;
        problem.root = root;
        problem.rootPath = rootPath;
        problem.otherPath = otherPath;
        return problem;
    };
    if (isBlank(draft.name))
        return fault(PairFault::NameEmpty);
    if (isBlank(draft.orgPath))
        return fault(PairFault::OrgPathEmpty, PairRoot::Org, draft.orgPath);
    if (isBlank(draft.tgtPath))
        return fault(PairFault::TgtPathEmpty, PairRoot::Tgt, draft.tgtPath);
    if (isBlank(draft.includeFiles))
        return fault(PairFault::IncludeFilesEmpty);
    if (isBlank(draft.includeFolders))
        return fault(PairFault::IncludeFoldersEmpty);
    if (foldersOverlap(trimmed(draft.orgPath), trimmed(draft.tgtPath), folding))
        return fault(PairFault::FoldersOverlap, PairRoot::Org, draft.orgPath, draft.tgtPath);
    // Remembering changes what Synchronize does; no other method has a use for it.
    if (draft.rememberState && draft.method != SyncMethod::Synchronize) {
        PairProblem problem = fault(PairFault::RememberNeedsSynchronize);
        problem.method = draft.method;
        return problem;
    }
    // A run would copy its own versions back and forth.
    if (!isBlank(draft.versionsFolder)) {
        for (const auto& [root, path] :
             {std::pair{PairRoot::Org, &draft.orgPath}, std::pair{PairRoot::Tgt, &draft.tgtPath}}) {
            if (folderInside(trimmed(draft.versionsFolder), trimmed(*path), folding))
                return fault(PairFault::VersionsFolderInsideRoot, root, *path, draft.versionsFolder);
        }
    }
    return std::nullopt;
}

} // namespace tavrel::model
