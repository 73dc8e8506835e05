// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run_state.h"

#include <cstdint>
#include <string_view>

namespace tavrel::engine {

// What to do when a mirror is about to delete most of its target.
enum class MassDeletionAnswer
{
    Delete,
    Skip,          // the user said no: the pair's deletions are skipped
    SkipWithError, // no one could be asked: skipped, and the run ends with errors
};

// Everything the engine needs of a user interface. The worker calls all but
// RefreshStatistics. A front end may show what it is given later (the window gathers log text
// and progress and shows them at most every 50 ms) but keeps their order, and shows all of it
// before the end of the run; ConfirmMassDeletion and ConfirmRootCreation alone wait for the
// user. The window, the headless runner and the tests' recorder implement it.
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
    // The worker is about to copy `source` (raw path bytes), `size` bytes as listed; then the
    // copy begun last has ended (`published` when it is in place). For a progress display.
    virtual void NoteCopyStarted(std::string_view source, uint64_t size)
    {
        (void)source;
        (void)size;
    }
    virtual void NoteCopyEnded(bool published) { (void)published; }
    // Absolute Copy is about to delete more than half of its target's files (or any, with an
    // empty ORG); `question` says so in full. Called on the worker, which waits for the
    // answer. Without an override, the deletions go ahead as they always did.
    virtual MassDeletionAnswer ConfirmMassDeletion(std::string_view question)
    {
        (void)question;
        return MassDeletionAnswer::Delete;
    }
    // A root the pair is about to make existed when the pair last ended, and is missing now:
    // its drive may be away, or the user removed it on purpose. `question` says so in full.
    // Called on the worker, which waits for the answer; true makes the folder. Without an
    // override nothing is made and the run ends with an error.
    virtual bool ConfirmRootCreation(std::string_view question)
    {
        (void)question;
        return false;
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
