// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run_driver.h"

#include "engine/folder_scan.h"
#include "engine/method_rules.h"
#include "engine/pair_processor.h"
#include "engine/root_guard.h"
#include "engine/run_progress.h"
#include "platform/path_text.h"
#include "platform/preview_file_system.h"
#include "text/text_codec.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace tavrel::engine {

namespace {

// A pair this run handles: enabled, and in the run's scope where it has one (null: whole).
struct RunPair
{
    int slot = 0;
    const model::FolderPair* pair = nullptr;
    const PairScope* scope = nullptr;
};

std::vector<RunPair> pairsOfRun(const RunContext& context)
{
    std::vector<RunPair> pairs;
    for (int slot = 0; slot < model::kMaxPairs; ++slot) {
        const model::FolderPair* pair = context.job.pairAt(slot);
        if (!pair || pair->enabled == 0)
            continue;
        const PairScope* scope = context.scope != nullptr ? context.scope->find(slot) : nullptr;
        if (context.scope != nullptr && scope == nullptr)
            continue;
        pairs.push_back({slot, pair, scope});
    }
    return pairs;
}

// The counting pass: what the enabled pairs' include patterns find, ORG and for a method that
// walks back also TGT, with no exclusion or attribute rule. Walking a large tree takes long
// enough that a stop is honoured per folder; the count is then incomplete and the caller must
// not use it.
// Roots that could not be listed are added to `unreadRoots`, as the log shows them, with
// the system's reason.
struct UnreadRoot
{
    std::string shown;
    std::string reason;
};
int32_t countJob(const RunContext& context, std::vector<UnreadRoot>& unreadRoots)
{
    const std::atomic<int32_t>* stop = &context.state.stopRequested;
    int32_t total = 0;
    auto countRoot = [&](const std::u16string& path, const PairFilters& filters, std::string_view side,
                         const PairScope* scope) {
        const std::string root = text::toUtf8(path);
        RootCheck check;
        // The walk reads names only, but never those of a folder outside the root: below it,
        // a link where a folder was is not followed here either.
        platform::FsError confined = platform::FsError::Ok;
        const std::unique_ptr<platform::FileSystem> view =
            context.fileSystem.confineTo({platform::asFolder(root)}, confined);
        platform::FileSystem& fs = view ? *view : context.fileSystem;
        if (scope != nullptr && !scope->whole) {
            // A changed folder that is gone again counts nothing; the pair's own walk tells
            // of a root it cannot read.
            for (const ScopedFolder& folder : scope->outermost())
                total += CountFiles(fs, platform::asFolder(root) + folder.relative,
                                    filters.includeSubfolders && folder.recursive, filters.includeFiles,
                                    context.debugLog, stop);
            return;
        }
        total += CountFiles(fs, root, filters.includeSubfolders, filters.includeFiles, context.debugLog, stop,
                            &check);
        if (!check.listed)
            unreadRoots.push_back(
                {text::displayName(platform::asFolder(root)),
                 check.reason.empty() ? std::string() : std::string(side) + ": " + check.reason});
    };
    for (const RunPair& run : pairsOfRun(context)) {
        if (stop->load() != 0)
            break;
        const PairFilters filters = PairFilters::fromPair(*run.pair);
        countRoot(run.pair->orgPath, filters, "ORG", run.scope);
        if (traitsOf(run.pair->method).walksBackFromTarget)
            countRoot(run.pair->tgtPath, filters, "TGT", run.scope);
    }
    return total;
}

RunResult runJob(const RunContext& context, RunProgress& progress, RootGuard& rootGuard)
{
    RunSink& sink = context.sink;
    // Before anything else, so that a drive that goes away during the count or a pair shows as
    // a root whose volume changed.
    rootGuard.noteRunStart(context.job);
    sink.ClearLog();
    sink.AppendLog("Start process.\r\n");
    sink.SetProgress(0);
    sink.StartRunTimer();
    sink.AppendLog("Calculate the file amount... ");

    std::vector<UnreadRoot> unreadRoots;
    const int32_t countedTotal = countJob(context, unreadRoots);
    if (context.state.stopRequested.load() != 0) {
        // The count line ends without a count: there is none. A root the stopped walk never
        // reached is not known to be unreadable, so no root is reported.
        sink.AppendLog("\r\n");
        return RunResult::Stopped;
    }
    char line[32];
    std::snprintf(line, sizeof line, "%d\r\n", countedTotal);
    sink.AppendLog(line);
    // The unreadable roots follow the count line rather than interrupting it, each on a line
    // of its own before any pair's lines. They are errors of the run even when nothing was
    // counted: a missing drive must not end as a success.
    for (const UnreadRoot& root : unreadRoots) {
        platform::forgetLastFailure(); // no reason is better than another call's
        progress.logError("ERROR: cannot read folder: " + root.shown + "\r\n", root.reason);
    }
    sink.SetProgress(50);
    // A changed folder whose files were all deleted counts none, and its deletions are
    // still to be made.
    if (countedTotal == 0 && context.scope == nullptr)
        return RunResult::Succeeded;

    progress.setCountedTotal(countedTotal);
    PairProcessor processor(context.fileSystem, context.report, sink, progress, context.debugLog, &rootGuard);
    processor.setPreview(dynamic_cast<platform::PreviewFileSystem*>(&context.fileSystem) != nullptr);
    for (const auto& [slot, pair, scope] : pairsOfRun(context)) {
        sink.AppendLog("Handle pair : ");
        sink.AppendLog(text::displayName(text::toUtf8(pair->name)));
        sink.AppendLog("\r\n");
        rootGuard.beginPair(slot, *pair);
        const PairOutcome outcome = processor.ProcessPair(*pair, scope);
        rootGuard.endPair();
        switch (outcome) {
        case PairOutcome::Continue:
            break;
        case PairOutcome::Stopped:
            return RunResult::Stopped;
        case PairOutcome::DiskFull:
            return RunResult::DiskFull;
        }
    }
    return RunResult::Succeeded;
}

// The worker: one run, ended by exactly one PostRunEnd whatever happens inside.
void syncWorker(RunContext context, bool preview)
{
    context.state.stopRequested.store(0);
    RunResult result = RunResult::Stopped;
    RunProgress progress(context.state, context.sink);
    try {
        // A preview reads what real runs recorded and records nothing itself.
        RootGuard rootGuard(context.fileSystem, progress, context.sink,
                            context.jobFile.empty() ? nullptr
                                                    : std::make_unique<report::RootRecord>(context.jobFile),
                            !preview);
        result = runJob(context, progress, rootGuard);
        rootGuard.finishRun();
    } catch (const std::exception& error) {
        // Out of memory and the like: say so and end as stopped, never as succeeded.
        try {
            // The line says all that is known; an older failure of this thread is no reason.
            platform::forgetLastFailure();
            progress.logError(std::string("ERROR: ") + error.what() + "\r\n");
        } catch (...) {
        }
    } catch (...) {
    }
    // After every change: a reader of the report finds what went wrong, and why, at its end.
    for (const RunProgress::LoggedError& error : progress.errors())
        context.report.ReportError(error.line, error.reason);
    // Before the end is posted: a front end that opens the report once it hears of the end
    // finds it whole.
    context.report.WriteReportTail();
    context.report.CloseReport();
    context.sink.PostRunEnd(result);
}

bool startRun(const RunContext& context, std::thread& worker, bool preview)
{
    // A front end may have opened the report already, to say before the run that it cannot.
    if (!context.report.isOpen())
        context.report.OpenReport();
    if (preview)
        context.report.WritePreviewReportHead();
    else
        context.report.WriteReportHead();
    context.state.reset();
    context.sink.RefreshStatistics();
    try {
        if (!preview) {
            worker = std::thread(syncWorker, context, false);
            return true;
        }
        // The same run through a file system that only remembers its writes, owned by the worker.
        auto previewFs = std::make_unique<platform::PreviewFileSystem>(context.fileSystem);
        worker = std::thread([context, fs = std::move(previewFs)] {
            syncWorker(RunContext{context.job, context.state, *fs, context.report, context.sink,
                                  context.debugLog, context.jobFile, context.scope},
                       true);
        });
        return true;
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {
    }
    // No worker will end the report.
    context.report.CloseReport();
    return false;
}

} // namespace

bool StartSync(const RunContext& context, std::thread& worker)
{
    return startRun(context, worker, false);
}

bool StartPreview(const RunContext& context, std::thread& worker)
{
    return startRun(context, worker, true);
}

} // namespace tavrel::engine
