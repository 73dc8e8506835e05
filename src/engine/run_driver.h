#pragma once

#include <functional>
#include <string_view>
#include <thread>

#include "engine/run_sink.h"
#include "engine/run_state.h"
#include "model/job.h"
#include "platform/file_system.h"
#include "report/report_file.h"

namespace tavrel::engine {

// Receives the search paths of the counting walk; off (empty) by default.
using DebugLog = std::function<void(std::string_view line)>;

// What one run works on. Every member is owned by the caller and must outlive the worker.
struct RunContext
{
    const model::Job& job;
    RunState& state;
    platform::FileSystem& fileSystem;
    report::ReportFile& report;
    RunSink& sink;
    DebugLog debugLog = {};
};

// Called on the user-interface thread: opens the report and writes its head, zeroes the
// counters, calls RefreshStatistics and starts the worker thread into `worker`. Returns 0 when
// the worker was started, 1 when it could not be. The caller joins `worker` after the worker's
// PostRunEnd has been handled.
int StartSync(const RunContext& context, std::thread& worker);

} // namespace tavrel::engine
