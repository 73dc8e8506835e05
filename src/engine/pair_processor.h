// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/compare.h"
#include "engine/folder_scan.h"
#include "engine/method_rules.h"
#include "engine/run_progress.h"
#include "engine/run_sink.h"
#include "engine/task_queue.h"
#include "engine/time_rule.h"
#include "model/folder_pair.h"
#include "platform/file_system.h"
#include "report/report_file.h"

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tavrel::engine {

enum class PairOutcome
{
    Continue, // the pair is done; go on with the next one
    Stopped,  // the user's stop was seen: after a handled file, before a folder task, in a copy
    DiskFull, // a copy found the disk full; nothing more is done
};

// Processes one folder pair task by task, breadth first: creates each target folder, applies
// the pair's method to every listed file, deletes for Absolute Copy, queues the subfolders.
// Every change is counted and reported; per-file failures become log lines.
class PairProcessor final
{
public:
    PairProcessor(platform::FileSystem& fs, report::ReportFile& report, RunSink& sink, RunProgress& progress,
                  SearchLog searchLog);

    // The caller posts the run's end on Stopped and DiskFull.
    PairOutcome ProcessPair(const model::FolderPair& pair);

private:
    PairOutcome processTask(const FolderTask& task, bool firstTask, TaskQueue& queue);
    bool createTargetFolder(const FolderTask& task);
    bool lockRoot(const std::string& folder);
    CopyOutcome handleFile(const FolderTask& task, const Entry& entry, const std::string& sourcePath,
                           const std::string& targetPath);
    CopyOutcome CreateOnlyCopy(const FolderTask& task, const Entry& entry, const std::string& sourcePath,
                               const std::string& targetPath);
    CopyOutcome OverwriteFile(const FolderTask& task, const Entry& entry, const std::string& sourcePath,
                              const std::string& targetPath, const TargetStamp& stamp);
    void deletionPhase(const FolderTask& task, const ScanLists& source);
    // Deletes what is left of one target list (files or folders), counting each as `counted`.
    void deleteUnmatched(const FolderTask& task, const EntryList& left, Operation counted);
    void collectProtectedTargets(const FolderTask& task);
    void sweepTarget(const FolderTask& task);
    bool treeHoldsProtected(const std::string& folder);
    bool deletionsAllowed();
    std::optional<TargetStamp> targetStamp(const Entry& entry, const std::string& targetPath);
    void learnVolumes();
    void warnOnce(bool& logged, const char* what, const std::string& root);
    void noteRefusals(const FolderTask& task);
    void matchCaseVariants(const FolderTask& task, ScanLists& lists);
    std::string nameKey(std::string_view name) const;
    const std::string& targetNameOf(const std::string& name) const;
    int timeOrder(const Entry& entry, const std::string& sourcePath, const std::string& targetPath,
                  const TargetStamp& stamp);
    void logError(const std::string& text);
    bool noteOverlap(platform::FsError error);
    // The pair's view of the disk (confined to its roots), or the whole file system.
    platform::FileSystem& fs() { return *m_pairFs; }

    platform::FileSystem& m_fs;
    report::ReportFile& m_report;
    RunSink& m_sink;
    RunProgress& m_progress;
    SearchLog m_searchLog;

    // Per pair.
    const model::FolderPair* m_pair = nullptr;
    const MethodTraits* m_method = &kUnknownMethodTraits;
    std::unique_ptr<platform::FileSystem> m_view;
    platform::FileSystem* m_pairFs = &m_fs;
    std::string m_sourceRoot;
    std::string m_targetRoot;
    bool m_overlap = false; // one root was met inside the other: the pair ends
    enum class DeletionGate
    {
        Unasked,
        Open,
        Closed,
    } m_deletions = DeletionGate::Unasked;
    // What the roots' volumes keep (ORG only where the pair writes it), and what follows.
    platform::VolumeTraits m_targetTraits;
    platform::VolumeTraits m_sourceTraits;
    TimeRule m_timeRule;
    bool m_linkTimesKept = true;
    platform::MetadataRefusals m_refusalsLogged; // kinds already warned of in this pair
    // Per run: each volume is probed once.
    std::unordered_map<uint64_t, platform::VolumeTraits> m_volumes;
    // Per task: target names are matched ignoring case; source names that go to another
    // target name (an ORG item of another case).
    bool m_foldTargetNames = false;
    // Per task of Absolute Copy: the target folder as listed before its files are handled.
    bool m_targetListed = false;
    ScanLists m_targetScan;
    std::vector<platform::DirEntry> m_targetListing;
    std::unordered_map<std::string, std::string> m_targetNames;
    PairFilters m_filters;
    // The pair's roots that it writes in, locked against other runs until the pair ends.
    std::vector<std::unique_ptr<platform::FolderLock>> m_locks;
    // Per task: names this task created or overwrote (never deleted by the same task), and
    // target names that a Copy Only mode protects from being overwritten.
    std::unordered_set<std::string> m_changed;
    std::unordered_set<std::string> m_protected;
    bool m_targetSwept = false; // the target folder's crash leftovers were removed
};

} // namespace tavrel::engine
