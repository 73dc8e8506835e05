// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/entry_list.h"
#include "engine/folder_scan.h"
#include "platform/file_system.h"

#include <cstdint>
#include <string>

namespace tavrel::engine {

// What a mirror's deletions would take, counted before the first of them.
struct DeletionPlan
{
    int64_t doomedFiles = 0;    // files (and links) the pair would delete, those in deleted folders included
    int64_t targetFiles = 0;    // files the pair's target holds in all
    bool originalEmpty = false; // the ORG root shows nothing at all
};

// Walks the pair as its deletion phases would, listing only: folders of both sides from the
// roots down, what each target folder holds beyond its source folder, and the files inside
// target folders that would go whole. Costs a listing of both trees, so it is made only when
// a pair is about to delete.
DeletionPlan PlanDeletions(platform::FileSystem& fs, const std::string& orgRoot, const std::string& tgtRoot,
                           const PairFilters& filters, const NameKey& key);

// Deletions that ask first: more than half of the target's files and more than 10, or any at
// all when ORG is empty and the target is not (an unplugged or emptied source).
bool IsMassDeletion(const DeletionPlan& plan);

// What the deletions would take ("Absolute Copy of pair P would delete 12 of 13 files in
// /t/."): the start of the question every front end asks, and a preview's log line.
std::string MassDeletionStatement(const std::string& pairName, const DeletionPlan& plan,
                                  const std::string& tgtRoot);

} // namespace tavrel::engine
