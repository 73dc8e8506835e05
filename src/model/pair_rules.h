// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/folder_pair.h"

#include <optional>
#include <string>
#include <string_view>

namespace tavrel::model {

// How the caller's volume compares names: nullptr where letter case matters, else the folding a
// volume that ignores case applies to a name (the platform's foldName). The rules below fold
// only through it, so they stay plain text.
using NameFolding = std::string (*)(std::string_view name);

// Whether `inner` is the folder `outer` or lies inside it, judged on the text alone after
// resolving it: empty names and "." dropped, ".." taking back the name before it ("/.." is "/"),
// names compared through `folding` when it is given. Nothing is asked of the disk, so a link or
// a second name of a folder is not seen through. An absolute path never lies inside a relative
// one, nor the other way round.
bool folderInside(std::string_view inner, std::string_view outer, NameFolding folding);

// Whether the two folders are one, or one lies inside the other, as folderInside decides.
bool foldersOverlap(std::string_view a, std::string_view b, NameFolding folding);

// What keeps a pair from being stored, in the order the checks are made.
enum class PairFault
{
    NameEmpty,
    OrgPathEmpty,
    TgtPathEmpty,
    IncludeFilesEmpty,
    IncludeFoldersEmpty,
    FoldersOverlap,           // ORG and TGT are one folder or one lies inside the other
    RememberNeedsSynchronize, // remembering the last run is set on another method
    VersionsFolderInsideRoot, // the versions folder lies inside ORG or TGT
};

enum class PairRoot
{
    Org,
    Tgt,
};

// A pair as a front end is about to store it, every text in UTF-8 as the user gave it.
struct PairDraft
{
    std::string name;
    std::string orgPath;
    std::string tgtPath;
    std::string includeFiles; // the ';'-separated pattern texts
    std::string includeFolders;
    SyncMethod method = SyncMethod::LightCopy;
    bool rememberState = false;
    std::string versionsFolder; // empty: none
};

// The first fault checkPair found and the values it concerns, for the front end to word.
struct PairProblem
{
    PairFault fault = PairFault::NameEmpty;
    // The root it concerns: the empty one, ORG for an overlap, the one that holds the versions folder.
    PairRoot root = PairRoot::Org;
    // That root's path as given; empty for the name and pattern faults.
    std::string rootPath;
    // The other value involved: TGT's path for an overlap, the versions folder for one inside a root.
    std::string otherPath;
    // The pair's method, for RememberNeedsSynchronize.
    SyncMethod method = SyncMethod::LightCopy;
};

// Checks a pair before it is stored, in this order: a name, ORG, TGT and both include texts
// that are not blank (spaces only), ORG and TGT apart, remembering only on Synchronize, and a
// versions folder outside ORG, then TGT. Texts are trimmed of spaces before they are compared;
// `folding` is how names compare (see NameFolding). Nothing when the pair may be stored.
std::optional<PairProblem> checkPair(const PairDraft& draft, NameFolding folding);

} // namespace tavrel::model
