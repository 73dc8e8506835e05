// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/deletion_guard.h"
#include "engine/folder_overlap.h"
#include "engine/method_rules.h"
#include "engine/pair_run.h"
#include "engine/root_guard.h"
#include "engine/run_progress.h"
#include "platform/path_text.h"
#include "text/text_codec.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <system_error>
#include <vector>

namespace tavrel::engine {

namespace {

using platform::FsError;

std::string shown(const std::string& path)
{
    return text::displayName(path);
}

// An hour of slack: a FAT volume keeps local time, so a file written there in a zone ahead
// of this machine's (or across a daylight-saving change) reads up to an hour later than it
// was made, and that is no wrong clock.
int64_t futureLimitFrom(std::chrono::system_clock::time_point runStart)
{
    using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;
    return std::chrono::duration_cast<Ticks>((runStart + std::chrono::hours(1)).time_since_epoch()).count();
}

// "ERROR: what: path" as the log shows it (appended piece by piece: GCC 12 at -O3 warns
// falsely on a chain of operator+).
std::string errorLine(std::string_view what, const std::string& path, std::string_view indent)
{
    std::string line(indent);
    line += "ERROR: ";
    line += what;
    line += ": ";
    line += shown(path);
    line += "\r\n";
    return line;
}

// The reason for a path the engine refuses as too long, with the side whose path it is.
std::string tooLongReason(bool sourceTooLong, Direction direction)
{
    return sideReason(sourceTooLong ? platform::FailedSide::Source : platform::FailedSide::Target, direction,
                      std::make_error_code(std::errc::filename_too_long).message());
}

} // namespace

PairProcessor::PairProcessor(platform::FileSystem& fs, report::ReportFile& report, RunSink& sink,
                             RunProgress& progress, DebugLog debugLog, RootGuard* rootGuard)
    : m_context{.fs = fs,
                .report = report,
                .sink = sink,
                .progress = progress,
                .debugLog = std::move(debugLog),
                .rootGuard = rootGuard,
                .futureLimit = futureLimitFrom(std::chrono::system_clock::now()),
                .volumes = {}}
{}

PairOutcome PairProcessor::ProcessPair(const model::FolderPair& pair, const PairScope* scope)
{
    PairRun run(m_context, pair);
    return run.process(scope);
}

PairRun::PairRun(PairRunContext& context, const model::FolderPair& pair)
    : m_fs(context.fs), m_report(context.report), m_sink(context.sink), m_progress(context.progress),
      m_debugLog(context.debugLog), m_rootGuard(context.rootGuard), m_preview(context.preview),
      m_futureLimit(context.futureLimit), m_volumes(context.volumes), m_pair(&pair),
      m_method(&traitsOf(pair.method)), m_pairFs(&m_fs), m_filters(PairFilters::fromPair(pair))
{}

// An error the engine decided on its own: no reason of an earlier call is its reason.
void PairRun::logErrorLine(const std::string& line, std::string_view reason)
{
    platform::forgetLastFailure();
    m_progress.logError(line, reason);
}

void PairRun::logError(std::string_view what, const std::string& path, std::string_view reason,
                       std::string_view indent)
{
    logErrorLine(errorLine(what, path, indent), reason);
}

void PairRun::logFailure(std::string_view what, const std::string& path, Direction direction,
                         platform::FailedSide asked, std::string_view indent)
{
    m_progress.logFailure(errorLine(what, path, indent), direction, asked);
}

// One line per file and pair: Synchronize meets a file from both sides.
void PairRun::refuseFutureDate(const TaskState& state, const Entry& entry, const std::string& path)
{
    const std::string& root = state.task.direction == Direction::OrgToTgt ? m_sourceRoot : m_targetRoot;
    const std::string relative = state.task.sourceFolder.substr(root.size()) + entry.name;
    if (!m_futureDated.insert(relative).second)
        return;
    logError("file dated in the future", path,
             "its time is more than an hour after the run began (a wrong clock?); neither side was changed");
}

const platform::VolumeTraits& PairRun::writtenVolume(const FolderTask& task) const
{
    return task.direction == Direction::OrgToTgt ? m_targetTraits : m_sourceTraits;
}

// An item of one root met inside the other (a bind mount, a link) ends the pair: one line, and
// nothing more is written or deleted in it.
bool PairRun::noteOverlap(FsError error)
{
    if (error != FsError::Overlap)
        return false;
    if (!m_overlap)
        m_progress.logError("ERROR: folders overlap: " + shown(m_sourceRoot) + " and " + shown(m_targetRoot) +
                                "\r\n",
                            "ORG and TGT are one folder, or one lies inside the other");
    m_overlap = true;
    return true;
}

PairOutcome PairRun::process(const PairScope* scope)
{
    const model::FolderPair& pair = *m_pair;
    if (!m_method->known) {
        logErrorLine("ERROR: unknown method " + std::to_string(static_cast<int32_t>(pair.method)) +
                     ", pair skipped\r\n");
        return PairOutcome::Continue;
    }
    const std::string org = text::toUtf8(pair.orgPath);
    const std::string tgt = text::toUtf8(pair.tgtPath);
    if (org.empty() || tgt.empty()) {
        logErrorLine("ERROR: folder path is empty, pair skipped\r\n");
        return PairOutcome::Continue;
    }
    FolderTask task = MakeRootTask(org, tgt);
    m_sourceRoot = task.sourceFolder;
    m_targetRoot = task.targetFolder;

    if (!setUpVersions(task))
        return PairOutcome::Continue;
    // Every folder below the roots is reached through the view's handles, never through a
    // link; by identity, neither root is entered from the other (nor the versions folder).
    std::vector<std::string> roots{task.sourceFolder, task.targetFolder};
    if (keepsVersions())
        roots.push_back(m_versionsRoot);
    FsError confined = FsError::Ok;
    m_view = m_fs.confineTo(roots, confined);
    m_pairFs = m_view ? m_view.get() : &m_fs;
    if (confined == FsError::Overlap || foldersOverlap(m_fs, task.sourceFolder, task.targetFolder)) {
        noteOverlap(FsError::Overlap);
        return PairOutcome::Continue;
    }
    const PairOutcome outcome = processConfined(std::move(task), scope);
    if (outcome == PairOutcome::Continue && !m_overlap && keepsVersions() && !m_preview)
        pruneVersions();
    return outcome;
}

PairOutcome PairRun::processConfined(FolderTask task, const PairScope* scope)
{
    const model::FolderPair& pair = *m_pair;
    if (m_method->walksBackFromTarget && pair.extras.rememberState) {
        // Both roots are written, so both are locked before anything is made or decided.
        if (!lockRoot(task.sourceFolder) || !createTargetFolder(task) || !lockRoot(task.targetFolder))
            return PairOutcome::Continue;
        learnVolumes();
        return processRemembered(task);
    }

    if (scope != nullptr && !scope->whole)
        return processScoped(task, *scope);

    TaskQueue queue;
    bool firstTask = true;
    for (;;) {
        const PairOutcome outcome = processTask(task, firstTask, queue);
        if (outcome != PairOutcome::Continue || m_overlap) {
            warnOfSpecialItems();
            return outcome;
        }
        firstTask = false;
        std::optional<FolderTask> next = queue.pop();
        if (!next) {
            warnOfSpecialItems();
            return PairOutcome::Continue;
        }
        task = std::move(*next);
    }
}

// False when another run holds `folder`: two runs copying, overwriting and deleting in one
// tree at once would undo each other's steps. A file system without locks runs unlocked.
bool PairRun::lockRoot(const std::string& folder)
{
    FsError error = FsError::Ok;
    std::unique_ptr<platform::FolderLock> lock = fs().lockFolder(folder, error);
    if (error == FsError::Exists) {
        logError("folder is in use by another run", folder,
                 std::string(folder == m_sourceRoot ? "ORG" : "TGT") + ": another run holds its lock");
        return false;
    }
    if (lock)
        m_locks.push_back(std::move(lock));
    return true;
}

bool PairRun::createTargetFolder(const FolderTask& task)
{
    if (platform::pathTooLong(task.sourceFolder) || platform::pathTooLong(task.targetFolder)) {
        logError("path too long", task.targetFolder,
                 tooLongReason(platform::pathTooLong(task.sourceFolder), task.direction));
        return false;
    }
    // A link or file in place of a subfolder would take the copies outside the target tree.
    if (!task.isRoot) {
        platform::FileStamp stamp;
        const std::string bare = task.targetFolder.substr(0, task.targetFolder.size() - 1);
        if (fs().readStamp(bare, stamp) == FsError::Ok) {
            logError("cannot create folder", task.targetFolder,
                     sideReason(platform::FailedSide::Target, task.direction, "a file or link has the name"));
            return false;
        }
    }
    platform::forgetLastFailure();
    // A missing root may be a drive that is away: made only where the guard lets it.
    if (task.isRoot && m_rootGuard != nullptr && !m_rootGuard->mayCreate(task.targetFolder))
        return false;
    const FsError created = fs().createFolder(task.targetFolder, task.sourceFolder);
    if (noteOverlap(created))
        return false;
    if (created == FsError::Ok) {
        m_progress.count(Operation::FolderCreated, task.direction);
        m_report.ReportFolderCreated(task.targetFolder);
        return true;
    }
    if (created == FsError::Exists)
        return true;
    logFailure("cannot create folder", task.targetFolder, task.direction, platform::FailedSide::Target);
    return false;
}

bool PairRun::openPair(const FolderTask& root)
{
    if (m_method->walksBackFromTarget && !lockRoot(root.sourceFolder))
        return false;
    if (!createTargetFolder(root) || !lockRoot(root.targetFolder))
        return false;
    learnVolumes();
    return true;
}

// Whether `folder` (ending with "/") is a folder the pair's view can enter: a file or link
// of that name is not, and a missing one is not.
bool PairRun::folderPresent(const std::string& folder)
{
    platform::FileStamp stamp;
    const FsError found = fs().readStamp(folder.substr(0, folder.size() - 1), stamp);
    return found != FsError::Ok && found != FsError::NotFound;
}

// Whether a walk from the roots reaches the folder `relative`: each folder on the way passes
// the pair's folder patterns.
bool PairRun::admitsPath(std::string_view relative) const
{
    while (!relative.empty()) {
        const std::size_t slash = relative.find('/');
        if (!m_filters.admitsFolder(relative.substr(0, slash)))
            return false;
        relative = slash == std::string_view::npos ? std::string_view() : relative.substr(slash + 1);
    }
    return true;
}

// The tasks of the folders that changed, as a walk from `root` would meet them, shallowest
// first. A folder whose source is gone is its parent's business (the parent's deletion phase
// removes its target); one whose target's parent is missing goes up to the first folder whose
// target parent exists, and that one is walked whole, as a walk from the root would create it.
// A folder that a walk would not reach (folder patterns, a pair without subfolders) is left.
std::vector<FolderTask> PairRun::scopedTasks(const FolderTask& root, const std::vector<ScopedFolder>& folders)
{
    PairScope resolved;
    for (const ScopedFolder& folder : folders) {
        if (!admitsPath(folder.relative))
            continue;
        std::string relative = folder.relative;
        bool recursive = folder.recursive;
        while (!relative.empty()) {
            const std::string parent(platform::withoutTrailingSlashes(platform::parentOf(relative)));
            if (!folderPresent(root.sourceFolder + relative + "/")) {
                relative = parent;
                recursive = false;
            } else if (!parent.empty() && !folderPresent(root.targetFolder + parent + "/")) {
                relative = parent;
                recursive = true;
            } else {
                break;
            }
        }
        resolved.folders.push_back({relative, recursive});
    }
    std::vector<FolderTask> tasks;
    for (const ScopedFolder& folder : resolved.outermost()) {
        FolderTask task = root;
        if (!folder.relative.empty()) {
            task.sourceFolder += folder.relative + "/";
            task.targetFolder += folder.relative + "/";
            task.isRoot = false;
        }
        task.walksSubfolders = folder.recursive;
        tasks.push_back(std::move(task));
    }
    // Parents before their folders, as the breadth-first walk handles them.
    std::stable_sort(tasks.begin(), tasks.end(), [](const FolderTask& a, const FolderTask& b) {
        return std::count(a.sourceFolder.begin(), a.sourceFolder.end(), '/') <
               std::count(b.sourceFolder.begin(), b.sourceFolder.end(), '/');
    });
    return tasks;
}

PairOutcome PairRun::processScoped(const FolderTask& root, const PairScope& scope)
{
    if (m_progress.stopRequested())
        return PairOutcome::Stopped;
    if (!openPair(root))
        return PairOutcome::Continue;
    TaskQueue queue;
    for (FolderTask& task : scopedTasks(root, scope.folders))
        queue.push(std::move(task));
    // Synchronize also walks each changed folder back from TGT.
    if (m_method->walksBackFromTarget)
        for (FolderTask& task :
             scopedTasks({root.targetFolder, root.sourceFolder, Direction::TgtToOrg, true}, scope.folders))
            queue.push(std::move(task));
    while (std::optional<FolderTask> next = queue.pop()) {
        const PairOutcome outcome = processTask(*next, false, queue);
        if (outcome != PairOutcome::Continue || m_overlap) {
            warnOfSpecialItems();
            return outcome;
        }
    }
    warnOfSpecialItems();
    return PairOutcome::Continue;
}

PairOutcome PairRun::processTask(const FolderTask& task, bool firstTask, TaskQueue& queue)
{
    // A large tree with nothing to handle would otherwise run on to its end after a stop.
    if (m_progress.stopRequested())
        return PairOutcome::Stopped;
    // A method that walks back writes in ORG too; its root exists already, so it is locked
    // before the target root is made, and a refused pair has touched nothing. A held TGT root
    // existed before, so making it cannot have happened either. The queue is still empty on a
    // refusal: the pair ends there.
    const bool walksBack = m_method->walksBackFromTarget;
    if (firstTask ? !openPair(task) : !createTargetFolder(task))
        return PairOutcome::Continue;
    TaskState state(task, namesWrittenBy(task));
    if (walksBack && firstTask && task.direction == Direction::OrgToTgt)
        queue.push({task.targetFolder, task.sourceFolder, Direction::TgtToOrg, true});

    ScanLists lists;
    if (!listTask(state, lists))
        return PairOutcome::Continue;
    if (const PairOutcome outcome = handleFiles(state, lists); outcome != PairOutcome::Continue || m_overlap)
        return outcome;
    // An unreadable source must not empty the target: an unplugged drive looks like that.
    if (m_method->deletesUnmatched && lists.readable && !deletionPhase(state, lists))
        return PairOutcome::DiskFull;
    queueSubfolders(state, lists, queue);
    return PairOutcome::Continue;
}

NameMatcher PairRun::namesWrittenBy(const FolderTask& task) const
{
    return NameMatcher(writtenVolume(task).caseInsensitive);
}

bool PairRun::listTask(TaskState& state, ScanLists& lists)
{
    const FolderTask& task = state.task;
    ScanSource(fs(), task, m_filters, m_progress, m_debugLog, lists);
    (task.direction == Direction::OrgToTgt ? m_orgSpecialItems : m_tgtSpecialItems) += lists.specialItems;
    if (noteOverlap(lists.listError))
        return false;
    if (!lists.readable)
        logFailure("cannot read folder", task.sourceFolder, task.direction, platform::FailedSide::Source);
    // Case variants are TGT's matter in both directions: a TGT that ignores case merged ORG's
    // variants of a name, and the way back must not spread them again.
    if (lists.readable && targetRootNames().ignoresCase())
        matchCaseVariants(state, lists);
    if (m_filters.anyCopyOnly() && !lists.files.empty())
        collectProtectedTargets(state);
    // The target folder is listed once, before the files are handled: that listing gives their
    // targets' stamps (one stat per entry, as a walk of both trees makes, instead of a lookup
    // by path per file), and Absolute Copy's deletion phase works on it too: what this task
    // creates or replaces is never deleted by it, so the later state need not be listed again.
    if (m_method->readsTargetStamp() && lists.readable && !lists.files.empty()) {
        ScanTarget(fs(), task, m_filters, state.targetScan, false, &state.targetListing);
        if (noteOverlap(state.targetScan.listError))
            return false;
    }
    return true;
}

PairOutcome PairRun::handleFiles(TaskState& state, const ScanLists& lists)
{
    const FolderTask& task = state.task;
    for (const Entry& entry : lists.files) {
        const std::string sourcePath = task.sourceFolder + entry.name;
        const std::string targetPath = task.targetFolder + state.targetNameOf(entry.name);
        if (platform::pathTooLong(sourcePath) || platform::pathTooLong(targetPath)) {
            logError("path too long", sourcePath,
                     tooLongReason(platform::pathTooLong(sourcePath), task.direction));
        } else {
            const CopyOutcome outcome = handleFile(state, entry, sourcePath, targetPath);
            if (outcome == CopyOutcome::DiskFull)
                return PairOutcome::DiskFull;
            if (outcome == CopyOutcome::Stopped)
                return PairOutcome::Stopped;
            if (m_overlap)
                return PairOutcome::Continue;
        }
        m_progress.addHandled();
        if (m_progress.fileReportDue())
            m_progress.reportProgress();
        if (m_progress.stopRequested())
            return PairOutcome::Stopped;
    }
    m_progress.reportProgress();
    return PairOutcome::Continue;
}

void PairRun::queueSubfolders(const TaskState& state, const ScanLists& lists, TaskQueue& queue) const
{
    const FolderTask& task = state.task;
    if (!m_filters.includeSubfolders || !task.walksSubfolders)
        return;
    for (const Entry& folder : lists.folders) {
        FolderTask sub = MakeSubfolderTask(task, folder.name);
        sub.targetFolder = task.targetFolder + state.targetNameOf(folder.name) + "/";
        queue.push(std::move(sub));
    }
}

// What each root's volume keeps, probed once per volume and run: the pair then compares times
// at the precision and within the span both sides keep, and matches names ignoring case where
// the target does. ORG is probed only where the pair writes into it.
void PairRun::learnVolumes()
{
    auto volumeTraitsOf = [&](const std::string& root) {
        const uint64_t volume = fs().volumeOf(root);
        if (volume != 0)
            if (auto known = m_volumes.find(volume); known != m_volumes.end())
                return fs().probeVolume(root, &known->second);
        const platform::VolumeTraits traits = fs().probeVolume(root);
        if (volume != 0)
            m_volumes.emplace(volume, traits);
        return traits;
    };
    const bool writesOrg = m_method->walksBackFromTarget;
    m_targetTraits = volumeTraitsOf(m_targetRoot);
    m_sourceTraits = writesOrg ? volumeTraitsOf(m_sourceRoot) : platform::VolumeTraits{};
    m_timeRule = combine(timeRuleOf(m_targetTraits), timeRuleOf(m_sourceTraits));
    m_linkTimesKept = m_targetTraits.linkTimesSettable && m_sourceTraits.linkTimesSettable;
    m_refusalsLogged = {};
    // A volume that takes times without keeping them gives every copy the time of the copy;
    // the methods then act on the times they read, which may copy again.
    constexpr std::string_view kTimesNotKept = "the volume does not keep the times it is given";
    if (m_targetTraits.probed && !m_targetTraits.timesSettable)
        warnOnce(m_refusalsLogged.times, "times", m_targetRoot, kTimesNotKept);
    if (m_sourceTraits.probed && !m_sourceTraits.timesSettable)
        warnOnce(m_refusalsLogged.times, "times", m_sourceRoot, kTimesNotKept);
}

// A warning is no error: the run's outcome and error count do not change, and the line itself
// says why.
void PairRun::warnOnce(bool& logged, const char* what, const std::string& root, std::string_view reason)
{
    if (logged)
        return;
    logged = true;
    m_sink.AppendLog(std::string("WARNING: cannot keep ") + what + " on " + shown(root) + ": " +
                     std::string(reason) + "\r\n");
}

// Once per pair, at its end, when the whole count is known: FIFOs, sockets and devices are
// never opened (a FIFO would block the run), so they are not copied, and the user should know.
void PairRun::warnOfSpecialItems()
{
    for (const auto& [count, root] :
         {std::pair{m_orgSpecialItems, &m_sourceRoot}, std::pair{m_tgtSpecialItems, &m_targetRoot}}) {
        if (count > 0)
            m_sink.AppendLog("WARNING: special files skipped: " + std::to_string(count) + " in " +
                             shown(*root) + "\r\n");
    }
}

// Metadata the volume refused on a copy whose content it kept: one line per pair and kind.
void PairRun::noteRefusals(const FolderTask& task)
{
    const platform::MetadataRefusals refused = fs().refusedMetadata();
    const std::string& root = task.direction == Direction::OrgToTgt ? m_targetRoot : m_sourceRoot;
    constexpr std::string_view kRefused = "the volume refused to set them";
    if (refused.permissions)
        warnOnce(m_refusalsLogged.permissions, "permissions", root, kRefused);
    if (refused.times)
        warnOnce(m_refusalsLogged.times, "times", root, kRefused);
}

const std::string& PairRun::TaskState::targetNameOf(const std::string& name) const
{
    const auto mapped = targetNames.find(name);
    return mapped == targetNames.end() ? name : mapped->second;
}

// On a target that ignores case, names the source tells apart by case alone meet one target
// item. Copying into TGT, the first of them wins and each other is an error, never a churn of
// create and delete. Coming back from TGT, an item goes to the ORG name it matches, and where
// ORG holds several such names (TGT merged them) it is left alone: ORG never gets a case
// variant of a name it has.
void PairRun::matchCaseVariants(TaskState& state, ScanLists& lists)
{
    const FolderTask& task = state.task;
    // Takes the entries `drops` picks out of a list: a file counts as handled, the files of a
    // folder as skipped.
    auto dropWhere = [&](EntryList& list, bool isFolder, auto drops) {
        std::vector<char> keep(list.size(), 1);
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (!drops(list[i]))
                continue;
            keep[i] = 0;
            if (isFolder)
                m_progress.addSkipped(CountFiles(fs(), task.sourceFolder + list[i].name + "/", true,
                                                 m_filters.includeFiles, m_debugLog, m_progress.stopFlag()));
            else
                m_progress.addHandled();
        }
        list.KeepWhere(keep);
    };
    const NameMatcher tgtNames = targetRootNames();
    if (task.direction == Direction::OrgToTgt) {
        std::unordered_set<std::string> seen;
        for (const bool isFolder : {false, true}) {
            dropWhere(isFolder ? lists.folders : lists.files, isFolder, [&](const Entry& entry) {
                if (seen.insert(tgtNames.key(entry.name)).second)
                    return false;
                const std::string path = task.sourceFolder + entry.name + (isFolder ? "/" : "");
                logError("cannot copy file", path,
                         sideReason(platform::FailedSide::Target, task.direction,
                                    "the volume ignores case, and a name differing only in case "
                                    "takes it"));
                return true;
            });
        }
        return;
    }
    std::vector<platform::DirEntry> orgEntries;
    if (fs().listFolder(task.targetFolder, orgEntries) != FsError::Ok)
        return;
    std::unordered_map<std::string, std::vector<std::string>> orgNames;
    for (const platform::DirEntry& entry : orgEntries)
        orgNames[tgtNames.key(entry.name)].push_back(entry.name);
    for (const bool isFolder : {false, true}) {
        dropWhere(isFolder ? lists.folders : lists.files, isFolder, [&](const Entry& entry) {
            const auto found = orgNames.find(tgtNames.key(entry.name));
            if (found == orgNames.end())
                return false;
            if (found->second.size() == 1) {
                if (found->second.front() != entry.name)
                    state.targetNames[entry.name] = found->second.front();
                return false;
            }
            return true; // the way out already reported these twins
        });
    }
}

CopyOutcome PairRun::handleFile(TaskState& state, const Entry& entry, const std::string& sourcePath,
                                const std::string& targetPath)
{
    std::optional<platform::FileStamp> stamp;
    FileAction action = FileAction::CreateOnly;
    if (m_method->readsTargetStamp()) {
        stamp = targetStamp(state, entry, targetPath);
        const int order = stamp ? timeOrder(entry, sourcePath, targetPath, *stamp) : 0;
        // A wrong clock (a camera's, another machine's) must not make an old copy win over
        // today's edit: a time that lies ahead decides nothing, and both files stay.
        if (order != 0 && m_method->overwrite == OverwriteRule::WhenNewer &&
            (entry.lastWriteTime > m_futureLimit || stamp->lastWriteTime > m_futureLimit)) {
            refuseFutureDate(state, entry, entry.lastWriteTime > m_futureLimit ? sourcePath : targetPath);
            return CopyOutcome::Done;
        }
        action = decideFileAction(m_pair->method, stamp.has_value(), order);
    }
    if ((action == FileAction::Overwrite || action == FileAction::ContentCheck) &&
        state.protectedNames.count(state.nameKey(state.targetNameOf(entry.name))))
        return CopyOutcome::Done;

    switch (action) {
    case FileAction::Nothing:
        return CopyOutcome::Done;
    case FileAction::CreateOnly:
        return CreateOnlyCopy(state, entry, sourcePath, targetPath);
    case FileAction::Overwrite:
        return OverwriteFile(state, entry, sourcePath, targetPath, *stamp);
    case FileAction::ContentCheck:
        return checkContent(state, entry, sourcePath, targetPath, *stamp);
    }
    return CopyOutcome::Done;
}

// Overwrites as often as the pair's content check asks, until it keeps the target or the run ends.
CopyOutcome PairRun::checkContent(TaskState& state, const Entry& entry, const std::string& sourcePath,
                                  const std::string& targetPath, const platform::FileStamp& stamp)
{
    ContentCheck check(
        fs(), m_pair->contentCheck, entry, sourcePath, targetPath, stamp,
        [&](const platform::FileStamp& now) { return timeOrder(entry, sourcePath, targetPath, now); });
    CopyOutcome outcome = CopyOutcome::Done;
    while (check.next() == ContentDecision::Overwrite) {
        outcome = OverwriteFile(state, entry, sourcePath, targetPath, stamp);
        if (outcome == CopyOutcome::DiskFull || outcome == CopyOutcome::Stopped)
            return outcome;
    }
    return outcome;
}

// The order of the source's and the target's times as both volumes can keep them. A link whose
// time a volume cannot set compares by its text and size alone.
int PairRun::timeOrder(const Entry& entry, const std::string& sourcePath, const std::string& targetPath,
                       const platform::FileStamp& stamp)
{
    if (entry.isLink && !m_linkTimesKept) {
        std::string sourceText;
        std::string targetText;
        const bool same = entry.size == stamp.size && fs().readLink(sourcePath, sourceText) == FsError::Ok &&
                          fs().readLink(targetPath, targetText) == FsError::Ok && sourceText == targetText;
        return same ? 0 : 1;
    }
    return compareTimes(entry.lastWriteTime, stamp.lastWriteTime, m_timeRule);
}

// A copy that happened: this task will not delete the name, and the copy is counted and
// reported.
void PairRun::copyDone(TaskState& state, const Entry& entry, const std::string& sourcePath,
                       const std::string& targetPath, bool overwrote)
{
    state.changed.insert(state.nameKey(state.targetNameOf(entry.name)));
    sweepTarget(state);
    noteRefusals(state.task);
    m_progress.count(overwrote ? Operation::FileOverwritten : Operation::FileCreated, state.task.direction);
    m_report.ReportFileCopied(sourcePath, targetPath, overwrote);
}

// A copy that did not happen: a full disk or a stop ends the run; anything else is logged and
// the task goes on.
CopyOutcome PairRun::copyFailed(FsError result, std::string_view indent, const std::string& sourcePath,
                                Direction direction, uint64_t maxFileSize)
{
    switch (result) {
    case FsError::DiskFull:
        return CopyOutcome::DiskFull;
    case FsError::Stopped:
        return CopyOutcome::Stopped;
    case FsError::Overlap:
        noteOverlap(result);
        return CopyOutcome::Failed;
    case FsError::SourceChanged:
        logError("file changed while copied", sourcePath,
                 sideReason(platform::FailedSide::Source, direction,
                            "written to while it was read; nothing was published, the next run copies it"),
                 indent);
        return CopyOutcome::Failed;
    case FsError::TooLarge:
        logError("file too large for the target volume", sourcePath,
                 sideReason(platform::FailedSide::Target, direction,
                            "the volume holds files of at most " + std::to_string(maxFileSize) + " bytes"),
                 indent);
        return CopyOutcome::Failed;
    default:
        logFailure("cannot copy file", sourcePath, direction, platform::FailedSide::Unknown, indent);
        return CopyOutcome::Failed;
    }
}

CopyOutcome PairRun::CreateOnlyCopy(TaskState& state, const Entry& entry, const std::string& sourcePath,
                                    const std::string& targetPath)
{
    // A file its volume cannot hold is refused before anything is written.
    const uint64_t maxFileSize = writtenVolume(state.task).maxFileSize;
    if (entry.size > maxFileSize)
        return copyFailed(FsError::TooLarge, "", sourcePath, state.task.direction, maxFileSize);
    m_sink.NoteCopyStarted(sourcePath, entry.size);
    platform::forgetLastFailure();
    const FsError result = fs().copy(sourcePath, targetPath,
                                     {platform::CopyMode::CreateOnly, nullptr, false, m_progress.stopFlag()});
    m_sink.NoteCopyEnded(result == FsError::Ok);
    if (result == FsError::Ok) {
        copyDone(state, entry, sourcePath, targetPath, false);
        if (m_method->walksBackFromTarget && state.task.direction == Direction::OrgToTgt)
            m_progress.growTotal();
        return CopyOutcome::Done;
    }
    return result == FsError::Exists ? CopyOutcome::Done
                                     : copyFailed(result, "", sourcePath, state.task.direction, maxFileSize);
}

CopyOutcome PairRun::OverwriteFile(TaskState& state, const Entry& entry, const std::string& sourcePath,
                                   const std::string& targetPath, const platform::FileStamp& stamp)
{
    const uint64_t maxFileSize = writtenVolume(state.task).maxFileSize;
    if (entry.size > maxFileSize)
        return copyFailed(FsError::TooLarge, "        ", sourcePath, state.task.direction, maxFileSize);
    const std::atomic<int32_t>* stop = m_progress.stopFlag();
    // With the recycle bin on, what an overwrite replaces goes there first, as a deletion would.
    const bool keepOld = m_pair->recycleDeleted != 0;
    m_notKeptReason.clear();
    auto overwrite = [&] {
        if (keepsVersions())
            return overwriteKeepingVersion(sourcePath, targetPath, stamp);
        return fs().copy(sourcePath, targetPath, {platform::CopyMode::Overwrite, &stamp, keepOld, stop});
    };
    m_sink.NoteCopyStarted(sourcePath, entry.size);
    platform::forgetLastFailure();
    FsError result = overwrite();
    if (result == FsError::AccessDenied && m_notKeptReason.empty() &&
        fs().makeNormal(targetPath) == FsError::Ok)
        result = overwrite();
    m_sink.NoteCopyEnded(result == FsError::Ok);
    if (result == FsError::Ok) {
        copyDone(state, entry, sourcePath, targetPath, true);
        return CopyOutcome::Done;
    }
    if (!m_notKeptReason.empty() && result != FsError::DiskFull) {
        logError("        ERROR: cannot copy file: " + shown(sourcePath) + "\r\n", m_notKeptReason);
        return CopyOutcome::Failed;
    }
    // An overwrite's error line is indented under the file's decision line.
    return copyFailed(result, "        ", sourcePath, state.task.direction, maxFileSize);
}

// The stamp of a source file's target: from the task's listing of the target folder where
// there is one (the name as it is), else read.
std::optional<platform::FileStamp> PairRun::targetStamp(const TaskState& state, const Entry& entry,
                                                        const std::string& targetPath)
{
    // A file this task has written already (one that two patterns list) is read anew.
    if (!state.targetScan.readable || state.names.ignoresCase() || !state.targetNames.empty() ||
        state.changed.count(entry.name) != 0)
        return ReadTargetStamp(fs(), targetPath);
    const platform::DirEntry* listed = FindListed(state.targetListing, entry.name);
    if (listed == nullptr || listed->kind == platform::EntryKind::Folder)
        return std::nullopt;
    return platform::FileStamp{listed->lastWriteTime, listed->size};
}

bool PairRun::deletionPhase(TaskState& state, const ScanLists& source)
{
    // The listing made before the files were handled serves, where there was one.
    ScanLists& target = state.targetScan;
    if (!target.readable) {
        ScanTarget(fs(), state.task, m_filters, target);
        if (noteOverlap(target.listError) || !target.readable)
            return true;
    }

    const NameKey key = state.names.listKey();
    Subtract(target.files, source.files, key);
    // Files before folders, both before any subfolder of this folder is processed.
    if (!deleteUnmatched(state, target.files, Operation::FileDeleted))
        return false;

    if (!m_filters.includeSubfolders || m_overlap)
        return true;
    Subtract(target.folders, source.folders, key);
    return deleteUnmatched(state, target.folders, Operation::FolderDeleted);
}

// Before the pair's first deletion: a mirror about to take most of its target (an unplugged or
// emptied ORG looks like that) asks first. Nothing is counted until then, so a run without
// deletions pays nothing for the question.
bool PairRun::deletionsAllowed()
{
    if (m_deletions != DeletionGate::Unasked)
        return m_deletions == DeletionGate::Open;
    m_deletions = DeletionGate::Open;
    const DeletionPlan plan =
        PlanDeletions(fs(), m_sourceRoot, m_targetRoot, m_filters, targetRootNames().listKey());
    if (!IsMassDeletion(plan))
        return true;
    const std::string name = text::displayName(text::toUtf8(m_pair->name));
    return askMassDeletion(MassDeletionStatement(name, plan, shown(m_targetRoot)), "Delete them?",
                           "more than half of the target would be deleted; --allow-mass-delete allows it");
}

// The user's answer opens or closes the pair's deletions; a "no" is said in the log, and is an
// error with `reason` where no one could be asked. A preview asks no one: it shows the
// deletions a "yes" would make, and says that a real run asks first.
bool PairRun::askMassDeletion(const std::string& statement, std::string_view question,
                              std::string_view reason)
{
    if (m_preview) {
        std::string line = "Preview: ";
        line += statement;
        line += " A real run asks before deleting them.\r\n";
        m_sink.AppendLog(line);
        return true;
    }
    std::string asked = statement;
    asked += ' ';
    asked += question;
    const MassDeletionAnswer answer = m_sink.ConfirmMassDeletion(asked);
    if (answer == MassDeletionAnswer::Delete)
        return true;
    m_deletions = DeletionGate::Closed;
    const std::string line = "Deletions skipped: " + text::displayName(text::toUtf8(m_pair->name)) + "\r\n";
    if (answer == MassDeletionAnswer::SkipWithError)
        m_progress.logError(line, reason);
    else
        m_sink.AppendLog(line);
    return false;
}

bool PairRun::deleteUnmatched(const TaskState& state, const EntryList& left, Operation counted)
{
    const bool folders = counted == Operation::FolderDeleted;
    for (const Entry& entry : left) {
        if (m_overlap)
            return true;
        const std::string path = state.task.targetFolder + entry.name;
        if (state.changed.count(state.nameKey(entry.name)) || m_filters.protects(entry.attributes) ||
            platform::pathTooLong(path))
            continue;
        // A folder goes with everything in it, so one protected item inside keeps it.
        if (folders && m_filters.anyCopyOnly() && treeHoldsProtected(path + "/"))
            continue;
        if (!deletionsAllowed())
            return true;
        const FsError deleted = removeItem(path, folders);
        if (deleted == FsError::Ok) {
            m_progress.count(counted, state.task.direction);
            m_report.ReportDeleted(path);
            continue;
        }
        // Gone already: what was to go is gone, and nothing else was touched.
        if (noteOverlap(deleted) || deleted == FsError::NotFound)
            continue;
        // What stays where the user expects it gone is as wrong as a copy that did not happen.
        if (!m_notKeptReason.empty())
            logError("cannot delete", folders ? path + "/" : path, m_notKeptReason);
        else
            logFailure("cannot delete", folders ? path + "/" : path, state.task.direction,
                       platform::FailedSide::Target);
        if (deleted == FsError::DiskFull)
            return false;
    }
    return true;
}

// A crash leaves hidden temporary files that no scan shows again. A listing of the target
// removes them on its way; a folder that gets a new file but is never listed (every method but
// one that deletes, whose deletion phase lists it, and Copy Only, which lists it first) is
// swept once per task. Folders without changes cost nothing.
void PairRun::sweepTarget(TaskState& state)
{
    if (state.targetSwept)
        return;
    state.targetSwept = true;
    if (!m_method->deletesUnmatched)
        fs().removeStaleTemporaries(state.task.targetFolder);
}

void PairRun::collectProtectedTargets(TaskState& state)
{
    state.targetSwept = true;
    std::vector<platform::DirEntry> entries;
    if (fs().listFolder(state.task.targetFolder, entries) != FsError::Ok)
        return;
    for (const platform::DirEntry& entry : entries)
        if (m_filters.protects(entry.attributes))
            state.protectedNames.insert(state.nameKey(entry.name));
}

bool PairRun::treeHoldsProtected(const std::string& folder)
{
    std::deque<std::string> queue{folder};
    std::vector<platform::DirEntry> entries;
    while (!queue.empty()) {
        const std::string current = std::move(queue.front());
        queue.pop_front();
        entries.clear();
        // What cannot be seen cannot be shown unprotected: keep the tree.
        if (platform::pathTooLong(current))
            return true;
        const FsError listed = fs().listFolder(current, entries);
        if (listed != FsError::Ok) {
            noteOverlap(listed);
            return true;
        }
        for (const platform::DirEntry& entry : entries) {
            if (m_filters.protects(entry.attributes))
                return true;
            if (entry.kind == platform::EntryKind::Folder)
                queue.push_back(current + entry.name + "/");
        }
    }
    return false;
}

} // namespace tavrel::engine
