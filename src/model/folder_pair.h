// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/pair_extras.h"
#include "model/pattern_list.h"

#include <cstdint>
#include <string>

namespace tavrel::model {

// The enums have a fixed underlying type so that any stored value survives a round trip
// through a project file; code that acts on them treats unknown values conservatively.
enum class SyncMethod : int32_t
{
    LightCopy = 0,
    UpdateCopy = 1,
    Copy = 2,
    AbsoluteCopy = 3,
    Synchronize = 4,
};

enum class ContentCheckMode : int32_t
{
    Auto = 0,
    Check = 1,
    NotCheck = 2,
};

enum class AttributeMode : int32_t
{
    Involve = 0,
    CopyOnly = 1,
    Ignore = 2,
};

// One folder pair of a job. Texts keep the limits of text_rules.h (name 20 code units,
// paths 259); whoever sets them from outside input cuts them with fitText.
struct FolderPair
{
    int32_t enabled = 1;
    std::u16string name;
    SyncMethod method = SyncMethod::LightCopy;
    std::u16string orgPath;
    std::u16string tgtPath;
    PatternList includeFiles;
    PatternList excludeFiles;
    PatternList includeFolders;
    PatternList excludeFolders;
    ContentCheckMode contentCheck = ContentCheckMode::Auto;
    AttributeMode readOnlyMode = AttributeMode::Involve;
    AttributeMode hiddenMode = AttributeMode::Involve;
    AttributeMode systemMode = AttributeMode::Involve;
    int32_t includeSubfolders = 0;
    int32_t recycleDeleted = 0;
    // Saved in the project file's extension block; see pair_extras.h.
    PairExtras extras;

    // The list of `kind`, or nullptr for a kind outside 1..4.
    PatternList* patternList(PatternListKind kind)
    {
        switch (kind) {
        case PatternListKind::FilesInclude:
            return &includeFiles;
        case PatternListKind::FilesExclude:
            return &excludeFiles;
        case PatternListKind::FoldersInclude:
            return &includeFolders;
        case PatternListKind::FoldersExclude:
            return &excludeFolders;
        }
        return nullptr;
    }

    bool operator==(const FolderPair&) const = default;
};

// Texts the window shows for the option values.
std::u16string methodLabel(SyncMethod method);               // "Light Copy", ...; "" for unknown values
std::u16string contentCheckPanelText(ContentCheckMode mode); // "Auto", "CHECK", "NOT CHECK"
std::u16string attributePanelText(AttributeMode mode);       // "INVOLVE", "COPY ONLY", "IGNORE"

} // namespace tavrel::model
