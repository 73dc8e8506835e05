#include "engine/run_driver.h"

#include "engine/folder_scan.h"
#include "engine/pair_processor.h"
#include "engine/run_progress.h"
#include "platform/text_codec.h"

#include <cstdio>
#include <exception>
#include <string>
#include <system_error>

namespace tavrel::engine {

namespace {

// The counting pass: what the enabled pairs' include patterns find, ORG and for Synchronize
// also TGT, with no exclusion or attribute rule. Walking a large tree takes long enough that
// a stop is honoured per folder; the count is then incomplete and the caller must not use it.
int32_t countJob(const RunContext& context)
{
    const std::atomic<int32_t>* stop = &context.state.stopRequested;
    int32_t total = 0;
    for (int slot = 0; slot < model::kMaxPairs && stop->load() == 0; ++slot) {
        const model::FolderPair* pair = context.job.pairAt(slot);
        if (!pair || pair->enabled == 0)
            continue;
        const PairFilters filters = PairFilters::fromPair(*pair);
        total += CountFiles(context.fileSystem, platform::toUtf8(pair->orgPath), filters.includeSubfolders,
                            filters.includeFiles, context.debugLog, stop);
        if (pair->method == model::SyncMethod::Synchronize)
            total += CountFiles(context.fileSystem, platform::toUtf8(pair->tgtPath),
                                filters.includeSubfolders, filters.includeFiles, context.debugLog, stop);
    }
    return total;
}

RunResult runJob(const RunContext& context)
{
    RunSink& sink = context.sink;
    sink.ClearLog();
    sink.AppendLog("Start process.\r\n");
    sink.SetProgress(0);
    sink.StartRunTimer();
    sink.AppendLog("Calculate the file amount... ");

    const int32_t countedTotal = countJob(context);
    if (context.state.stopRequested.load() != 0) {
        sink.AppendLog("\r\n"); // the count line ends without a count: there is none
        return RunResult::Stopped;
    }
    char line[32];
    std::snprintf(line, sizeof line, "%d\r\n", countedTotal);
    sink.AppendLog(line);
    sink.SetProgress(50);
    if (countedTotal == 0)
        return RunResult::Succeeded;

    RunProgress progress(context.state, sink);
    progress.setCountedTotal(countedTotal);
    PairProcessor processor(context.fileSystem, context.report, sink, progress, context.debugLog);
    for (int slot = 0; slot < model::kMaxPairs; ++slot) {
        const model::FolderPair* pair = context.job.pairAt(slot);
        if (!pair || pair->enabled == 0)
            continue;
        sink.AppendLog("Handle pair : ");
        sink.AppendLog(platform::displayName(platform::toUtf8(pair->name)));
        sink.AppendLog("\r\n");
        switch (processor.ProcessPair(*pair)) {
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
void syncWorker(RunContext context)
{
    context.state.stopRequested.store(0);
    RunResult result = RunResult::Stopped;
    try {
        result = runJob(context);
    } catch (const std::exception& error) {
        // Out of memory and the like: say so and end as stopped, never as succeeded.
        try {
            context.sink.AppendLog(std::string("ERROR: ") + error.what() + "\r\n");
        } catch (...) {
        }
    } catch (...) {
    }
    context.sink.PostRunEnd(result);
}

} // namespace

int StartSync(const RunContext& context, std::thread& worker)
{
    context.report.OpenReport();
    context.report.WriteReportHead();
    context.state.reset();
    context.sink.RefreshStatistics();
    try {
        worker = std::thread(syncWorker, context);
    } catch (const std::system_error&) {
        return 1;
    }
    return 0;
}

} // namespace tavrel::engine
