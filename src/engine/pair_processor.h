// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/compare.h"
#include "engine/folder_scan.h"
#include "engine/method_rules.h"
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

enum class PairOutcome
{
    Continue, // the pair is done; go on with the next one
    Stopped,  // the user's stop was seen: after a handled file, before a folder task, in a copy
    DiskFull, // a copy found the disk full; nothing more is done
};

// Processes one folder pair task by task, breadth first: creates each target folder, applies
// the pair's method to every listed file, deletes for Absolute Copy, queues the subfolders.
// Every change is counted and reported; per-file failures become log lines.
class RootGuard;

class PairProcessor final
{
public:
    // With `rootGuard`, a missing root is made only where it lets it.
    PairProcessor(platform::FileSystem& fs, report::ReportFile& report, RunSink& sink, RunProgress& progress,
                  DebugLog debugLog, RootGuard* rootGuard = nullptr);

    // A preview changes nothing, the remembered state of a pair included.
    void setPreview(bool preview) { m_preview = preview; }

    // The caller posts the run's end on Stopped and DiskFull. With a `scope` that is not the
    // whole pair, only its folders are handled, by the same rules (a Synchronize pair that
    // remembers its last run is always handled whole: its memory is of the whole tree).
    PairOutcome ProcessPair(const model::FolderPair& pair, const PairScope* scope = nullptr);

private:
    // What one folder task learns and changes. Made afresh for each task and dropped with it,
    // so nothing of one folder carries over into the next.
    struct TaskState
    {
        explicit TaskState(const FolderTask& folderTask) : task(folderTask) {}

        // The key under which a target name is matched: folded where the target ignores case.
        std::string nameKey(std::string_view name) const;
        // The target name a source name goes to (another case of it, on such a target).
        const std::string& targetNameOf(const std::string& name) const;

        const FolderTask& task;
        // Target names are matched ignoring case.
        bool foldTargetNames = false;
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
    void logError(const std::string& text, std::string_view reason = {});
    bool noteOverlap(platform::FsError error);
    // The pair's view of the disk (confined to its roots), or the whole file system.
    platform::FileSystem& fs() { return *m_pairFs; }

    platform::FileSystem& m_fs;
    report::ReportFile& m_report;
    RunSink& m_sink;
    RunProgress& m_progress;
    DebugLog m_debugLog;
    RootGuard* m_rootGuard = nullptr;

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
    // FIFOs, sockets and devices the pair's scans met in ORG and, walking back, in TGT.
    int32_t m_orgSpecialItems = 0;
    int32_t m_tgtSpecialItems = 0;
    PairFilters m_filters;
    // The pair's roots that it writes in, locked against other runs until the pair ends.
    std::vector<std::unique_ptr<platform::FolderLock>> m_locks;
    // Files (relative to their roots) already logged as dated in the future.
    std::unordered_set<std::string> m_futureDated;
    bool m_preview = false;
    // Per run: a file time after this (100 ns units) lies in the future.
    int64_t m_futureLimit = 0;
    // Where the pair keeps what it replaces and deletes (ending with "/"), empty for nowhere;
    // the pair's start on the user's clock (seconds), which names the versions of this run; the
    // folders made there so far; why the last item could not be kept, empty when it could.
    std::string m_versionsRoot;
    int64_t m_versionSeconds = 0;
    std::unordered_set<std::string> m_versionFolders;
    std::string m_notKeptReason;
    // Per run: each volume is probed once.
    std::unordered_map<uint64_t, platform::VolumeTraits> m_volumes;
};

} // namespace tavrel::engine
