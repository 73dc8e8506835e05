#pragma once

#include "engine_fixture.h"

#include <thread>

namespace tavrel::test {

// One more run of the fixture's job with a sink of its own, for tests that run a job twice
// (the fixture's sink expects one end per test).
inline engine::RunResult rerun(model::Job& job, engine::RunState& state, platform::FileSystem& fs,
                               report::ReportFile& report, RecordingSink& sink)
{
    engine::RunContext context{job, state, fs, report, sink};
    std::thread worker;
    if (engine::StartSync(context, worker) != 0)
        return engine::RunResult::Stopped;
    const bool ended = sink.waitForEnd();
    if (worker.joinable())
        worker.join();
    report.WriteReportTail();
    report.CloseReport();
    return ended && sink.results().size() == 1 ? sink.results().back() : engine::RunResult::Stopped;
}

} // namespace tavrel::test
