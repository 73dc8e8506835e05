#pragma once

#include <string_view>

#include "engine/run_state.h"

namespace tavrel::engine {

// Everything the engine needs of a user interface. The worker calls all but
// RefreshStatistics; every call except PostRunEnd has finished on the user-interface side
// before it returns. The window, the headless runner and the tests' recorder implement it.
class RunSink
{
public:
    virtual ~RunSink() = default;

    // The log is empty.
    virtual void ClearLog() = 0;
    // `text` (UTF-8, undecodable name bytes already escaped) is added at the end of the log
    // exactly as passed; the engine supplies its own "\r\n" line breaks.
    virtual void AppendLog(std::string_view text) = 0;
    // An "ERROR: " line was just appended; `reason` is the system's words for the cause
    // ("Read-only file system"), empty when none is known. The log keeps its exact texts; a
    // front end may show the reason elsewhere (the runner prints both on stderr).
    virtual void NoteError(std::string_view line, std::string_view reason)
    {
        (void)line;
        (void)reason;
    }
    // The progress bar shows `position` (0..1000; above 1000 shows full).
    virtual void SetProgress(int position) = 0;
    // The run timer starts: elapsedMs is updated once a second from now on.
    virtual void StartRunTimer() = 0;
    // The counters are shown again (called on the user-interface thread by StartSync).
    virtual void RefreshStatistics() = 0;
    // The run has ended; the worker does not wait for this to be handled. Exactly one per run,
    // and the worker's last act on shared state.
    virtual void PostRunEnd(RunResult result) = 0;
};

} // namespace tavrel::engine
