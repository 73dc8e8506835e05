// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/compare.h"
#include "engine/folder_scan.h"
#include "engine/method_rules.h"
#include "engine/name_matcher.h"
#include "engine/pair_processor.h"
#include "engine/run_progress.h"
#include "engine/run_scope.h"
#include "engine/run_sink.h"
#include "engine/sync_decision.h"
#include "engine/task_queue.h"
#include "engine/time_rule.h"
#include "model/folder_pair.h"
#include "platform/file_system.h"
#include "report/report_file.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tavrel::engine {

class RootGuard;

// One pair's run: built when the pair starts and dropped when it ends, so nothing of one pair
// (its view, locks, volumes' traits, counts of special items, dates already refused, the
// deletion question's answer) carries over into the next.
class PairRun final
{
public:
    PairRun(PairRunContext& context, const model::FolderPair& pair);
    PairRun(const PairRun&) = delete;
    PairRun& operator=(const PairRun&) = delete;

    PairOutcome process(const PairScope* scope);

private:
    // What one folder task learns and changes. Made afresh for each task and dropped with it,
    // so nothing of one folder carries over into the next.
    struct TaskState
    {
        TaskState(const FolderTask& folderTask, NameMatcher written) : task(folderTask), names(written) {}

        // The key under which a target name is matched: folded where the target ignores case.
        std::string nameKey(std::string_view name) const { return names.key(name); }
        // The target name a source name goes to (another case of it, on such a target).
        const std::string& targetNameOf(const std::string& name) const;

        const FolderTask& task;
        // How names match on the side the task writes.
        NameMatcher names;
        // The target folder as listed before the files are handled (readable when it could be
        // listed), and that listing's entries, whose stamps the files' targets take.
        ScanLists targetScan;
        std::vector<platform::DirEntry> targetListing;
        // Source names that go to another target name (an ORG item of another case).
        std::unordered_map<std::string, std::string> targetNames;
        // Names this task created or overwrote (never deleted by the same task), and target
        // names that a Copy Only mode protects from being overwritten.
        std::unordered_set<std::string> changed;
        std::unordered_set<std::string> protectedNames;
        bool targetSwept = false; // the target folder's crash leftovers were removed
    };

    PairOutcome processTask(const FolderTask& task, bool firstTask, TaskQueue& queue);
    // Lists the task's source folder and what its files need of the target: false when the
    // pair ends there.
    bool listTask(TaskState& state, ScanLists& lists);
    PairOutcome handleFiles(TaskState& state, const ScanLists& lists);
    void queueSubfolders(const TaskState& state, const ScanLists& lists, TaskQueue& queue) const;
    // How names match on the side `task` writes, and in TGT.
    NameMatcher namesWrittenBy(const FolderTask& task) const;
    NameMatcher targetRootNames() const { return NameMatcher(m_targetTraits.caseInsensitive); }
    // Locks the roots the pair writes, makes a missing target root where allowed, probes the
    // volumes: false when the pair ends there.
    bool openPair(const FolderTask& root);
    bool folderPresent(const std::string& folder);
    bool admitsPath(std::string_view relative) const;
    std::vector<FolderTask> scopedTasks(const FolderTask& root, const std::vector<ScopedFolder>& folders);
    PairOutcome processScoped(const FolderTask& root, const PairScope& scope);

    // A Synchronize pair that remembers its last run (remembered_sync.cpp).
    struct RememberedState;
    PairOutcome processRemembered(const FolderTask& root);
    PairOutcome rememberedFolder(RememberedState& memory, const FolderTask& root, const std::string& rel,
                                 std::deque<std::string>& queue);
    SyncDecision firstRunDecision(const DecisionInput& input);
    bool changedBelow(const RememberedState& memory, const std::string& sideRoot, const std::string& rel,
                      Side side);
    bool rememberedDeletionsAllowed(const std::string& emptiedRoot, std::size_t recorded);
    PairOutcome actOn(RememberedState& memory, const FolderTask& root, const std::string& rel,
                      const std::string& itemName, const DecisionInput& input, const SyncDecision& decision,
                      const state::StateEntry* record, std::deque<std::string>& queue);
    PairOutcome processConfined(FolderTask task, const PairScope* scope);
    // The pair's versions folder (pair_versions.cpp): checked and set up when the pair starts
    // (false: the pair is skipped), where replaced and deleted items go, pruned at the end.
    bool setUpVersions(const FolderTask& root);
    bool keepsVersions() const { return !m_versionsRoot.empty(); }
    platform::FsError keepVersion(const std::string& path, platform::KeepMode mode, std::string& kept);
    // Deletes `path` as the pair says: into the versions folder, else to the trash or outright.
    // A failure to keep it leaves it where it is and sets m_notKeptReason.
    platform::FsError removeItem(const std::string& path, bool folder);
    platform::FsError moveTreeToVersions(const std::string& folder);
    // Copies over `target` keeping what it replaces as a version first; the version goes again
    // when the copy fails.
    platform::FsError overwriteKeepingVersion(const std::string& source, const std::string& target,
                                              const platform::FileStamp& stamp);
    void pruneVersions();
    bool createTargetFolder(const FolderTask& task);
    bool lockRoot(const std::string& folder);
    CopyOutcome handleFile(TaskState& state, const Entry& entry, const std::string& sourcePath,
                           const std::string& targetPath);
    CopyOutcome CreateOnlyCopy(TaskState& state, const Entry& entry, const std::string& sourcePath,
                               const std::string& targetPath);
    CopyOutcome OverwriteFile(TaskState& state, const Entry& entry, const std::string& sourcePath,
                              const std::string& targetPath, const platform::FileStamp& stamp);
    void copyDone(TaskState& state, const Entry& entry, const std::string& sourcePath,
                  const std::string& targetPath, bool overwrote);
    CopyOutcome copyFailed(platform::FsError result, std::string_view indent, const std::string& sourcePath,
                           Direction direction, uint64_t maxFileSize);
    // What the volume this task writes to keeps.
    const platform::VolumeTraits& writtenVolume(const FolderTask& task) const;
    // Logs that `path`, a file of the entry's pair, is dated too far ahead to win over the other side.
    void refuseFutureDate(const TaskState& state, const Entry& entry, const std::string& path);
    CopyOutcome checkContent(TaskState& state, const Entry& entry, const std::string& sourcePath,
                             const std::string& targetPath, const platform::FileStamp& stamp);
    // Both false when a deletion found the disk full (the run ends), true otherwise.
    bool deletionPhase(TaskState& state, const ScanLists& source);
    // Deletes what is left of one target list (files or folders), counting each as `counted`;
    // a deletion that fails is an error line with the system's reason.
    bool deleteUnmatched(const TaskState& state, const EntryList& left, Operation counted);
    void collectProtectedTargets(TaskState& state);
    void sweepTarget(TaskState& state);
    bool treeHoldsProtected(const std::string& folder);
    bool deletionsAllowed();
    // `statement` says what would go, `question` asks the user about it.
    bool askMassDeletion(const std::string& statement, std::string_view question, std::string_view reason);
    std::optional<platform::FileStamp> targetStamp(const TaskState& state, const Entry& entry,
                                                   const std::string& targetPath);
    void learnVolumes();
    void warnOnce(bool& logged, const char* what, const std::string& root, std::string_view reason);
    void warnOfSpecialItems();
    void noteRefusals(const FolderTask& task);
    void matchCaseVariants(TaskState& state, ScanLists& lists);
    int timeOrder(const Entry& entry, const std::string& sourcePath, const std::string& targetPath,
                  const platform::FileStamp& stamp);
    // Logs "ERROR: what: path" (the path as the log shows it) with `reason`; an empty reason is
    // none, never the reason of an earlier call.
    void logError(std::string_view what, const std::string& path, std::string_view reason = {},
                  std::string_view indent = {});
    // The same with the reason of the call that just failed, led by the side it concerns.
    void logFailure(std::string_view what, const std::string& path, Direction direction,
                    platform::FailedSide asked, std::string_view indent = {});
    // A whole line, for the errors that name no path.
    void logErrorLine(const std::string& line, std::string_view reason = {});
    bool noteOverlap(platform::FsError error);
    // The pair's view of the disk (confined to its roots), or the whole file system.
    platform::FileSystem& fs() { return *m_pairFs; }

    // What every pair of the run shares.
    platform::FileSystem& m_fs;
    report::ReportFile& m_report;
    RunSink& m_sink;
    RunProgress& m_progress;
    const DebugLog& m_debugLog;
    RootGuard* m_rootGuard;
    const bool m_preview;
    // A file time after this (100 ns units) lies in the future.
    const int64_t m_futureLimit;
    // Each volume is probed once per run.
    std::unordered_map<uint64_t, platform::VolumeTraits>& m_volumes;

    const model::FolderPair* m_pair;
    const MethodTraits* m_method;
    // The view is declared before the locks, so the locks go first when the pair ends.
    std::unique_ptr<platform::FileSystem> m_view;
    platform::FileSystem* m_pairFs;
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
    // FIFOs, sockets and devices the pair's scans met in ORG and, walking back, in TGT.
    int32_t m_orgSpecialItems = 0;
    int32_t m_tgtSpecialItems = 0;
    PairFilters m_filters;
    // The pair's roots that it writes in, locked against other runs until the pair ends.
    std::vector<std::unique_ptr<platform::FolderLock>> m_locks;
    // Files (relative to their roots) already logged as dated in the future.
    std::unordered_set<std::string> m_futureDated;
    // Where the pair keeps what it replaces and deletes (ending with "/"), empty for nowhere;
    // the pair's start on the user's clock (seconds), which names the versions of this run; the
    // folders made there so far; why the last item could not be kept, empty when it could.
    std::string m_versionsRoot;
    int64_t m_versionSeconds = 0;
    std::unordered_set<std::string> m_versionFolders;
    std::string m_notKeptReason;
};

} // namespace tavrel::engine
