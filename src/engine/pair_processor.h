// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/debug_log.h"
#include "engine/run_progress.h"
#include "engine/run_scope.h"
#include "engine/run_sink.h"
#include "model/folder_pair.h"
#include "platform/file_system.h"
#include "report/report_file.h"

#include <cstdint>
#include <unordered_map>

namespace tavrel::engine {

enum class PairOutcome
{
    Continue, // the pair is done; go on with the next one
    Stopped,  // the user's stop was seen: after a handled file, before a folder task, in a copy
    DiskFull, // a copy found the disk full; nothing more is done
};

class RootGuard;

// What every pair of one run shares.
struct PairRunContext
{
    platform::FileSystem& fs;
    report::ReportFile& report;
    RunSink& sink;
    RunProgress& progress;
    DebugLog debugLog;
    RootGuard* rootGuard = nullptr;
    bool preview = false;
    // A file time after this (100 ns units) lies in the future.
    int64_t futureLimit = 0;
    // Each volume is probed once per run.
    std::unordered_map<uint64_t, platform::VolumeTraits> volumes;
};

// Processes one folder pair task by task, breadth first: creates each target folder, applies
// the pair's method to every listed file, deletes for Absolute Copy, queues the subfolders.
// Every change is counted and reported; per-file failures become log lines. Each pair runs as a
// `PairRun` of its own (pair_run.h).
class PairProcessor final
{
public:
    // With `rootGuard`, a missing root is made only where it lets it.
    PairProcessor(platform::FileSystem& fs, report::ReportFile& report, RunSink& sink, RunProgress& progress,
                  DebugLog debugLog, RootGuard* rootGuard = nullptr);

    // A preview changes nothing, the remembered state of a pair included.
    void setPreview(bool preview) { m_context.preview = preview; }

    // The caller posts the run's end on Stopped and DiskFull. With a `scope` that is not the
    // whole pair, only its folders are handled, by the same rules (a Synchronize pair that
    // remembers its last run is always handled whole: its memory is of the whole tree).
    PairOutcome ProcessPair(const model::FolderPair& pair, const PairScope* scope = nullptr);

private:
    PairRunContext m_context;
};

} // namespace tavrel::engine
