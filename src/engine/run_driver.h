// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/debug_log.h"
#include "engine/run_scope.h"
#include "engine/run_sink.h"
#include "engine/run_state.h"
#include "model/job.h"
#include "platform/file_system.h"
#include "report/report_file.h"

#include <filesystem>
#include <thread>

namespace tavrel::engine {

// What one run works on. Every member is owned by the caller and must outlive the worker.
struct RunContext
{
    const model::Job& job;
    RunState& state;
    platform::FileSystem& fileSystem;
    report::ReportFile& report;
    RunSink& sink;
    DebugLog debugLog = {};
    // The project file the job was opened from or saved to, empty for a job never saved. Runs
    // of one project file remember which of its roots existed, so that one that goes missing is
    // not made afresh on the disk its drive was mounted on (see RootGuard).
    std::filesystem::path jobFile = {};
    // Null for a run of the whole job; otherwise only the pairs and folders it names are
    // counted and handled (a run started by changes seen in the trees).
    const RunScope* scope = nullptr;
};

// Called on the user-interface thread: opens the report and writes its head, zeroes the
// counters, calls RefreshStatistics and starts the worker thread into `worker`. The worker
// writes the report's tail and closes it just before its PostRunEnd. False when the worker
// could not be started (the report is closed again). The caller joins `worker` after the
// worker's PostRunEnd has been handled.
bool StartSync(const RunContext& context, std::thread& worker);

// StartSync for a run that shows what the real one would do and changes nothing: the worker
// goes through a platform::PreviewFileSystem over `context.fileSystem` (made and dropped by
// the worker), and the report gets the preview head. The sink receives the same log lines,
// progress and counters as the real run would, in the same order; the caller ends it with
// previewOutcomeText. For a preview that removes not even crash leftovers, give it a
// PosixFileSystem made with platform::kKeepEveryTemporary.
bool StartPreview(const RunContext& context, std::thread& worker);

} // namespace tavrel::engine
