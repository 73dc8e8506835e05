// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/log_printer.h"
#include "cli/progress_line.h"
#include "engine/run_sink.h"
#include "engine/run_state.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string_view>

namespace tavrel::cli {

// The headless front end: what the engine tells goes to a LogPrinter (the log on `out`,
// errors and progress on `err`), the end is handed to the waiting main thread. No one is
// there to answer a question: a mass deletion is skipped with an error unless the command
// line allowed it.
class CliSink final : public engine::RunSink
{
public:
    // Without `progress`, no line is drawn. `clock` and `columns` serve the progress line.
    CliSink(
        std::ostream& out, std::ostream& err, bool progress,
        ProgressLine::Clock clock = [] { return std::chrono::steady_clock::now(); },
        std::function<int()> columns = [] { return 80; });

    void ClearLog() override {}
    void AppendLog(std::string_view text) override;
    void NoteError(std::string_view line, std::string_view reason) override;
    void SetProgress(int position) override { (void)position; }
    void StartRunTimer() override;
    void RefreshStatistics() override {}
    void PostRunEnd(engine::RunResult result) override;

    // The copy notes the progress line shows the current file and bytes from; each forwards
    // to ProgressNotes.
    void NoteCopyStarted(std::string_view source, uint64_t size) override
    {
        m_notes.copyStarted(source, size);
    }
    void NoteCopyEnded(bool published) override { m_notes.copyEnded(published); }

    // Prints the question on stderr with what was done: Delete when allowed, else
    // SkipWithError (the engine logs the skip as an error, so the run ends with errors).
    engine::MassDeletionAnswer ConfirmMassDeletion(std::string_view question) override;
    // `--allow-mass-delete`; set before the run starts.
    void allowMassDeletion(bool allow) { m_allowMassDeletion = allow; }

    // A missing root that existed when its pair last ran is made only with `--create-missing`
    // (the question is then printed on stderr with the answer); without it, the engine's
    // error line names the switch.
    bool ConfirmRootCreation(std::string_view question) override;
    // `--create-missing`; set before the run starts.
    void createMissingRoots(bool create) { m_createMissingRoots = create; }

    // One operation as the report records it, for -v; any thread.
    void printOperation(std::string_view line)
    {
        std::lock_guard lock(m_outputMutex);
        m_printer.operation(line);
    }

    // -q and whether stdout and stderr are one file (LogPrinter::setOutput); before the run.
    void setOutput(bool quiet, bool errorsShareTheLog) { m_printer.setOutput(quiet, errorsShareTheLog); }

    // Waits up to `timeout` for the end; true with `result` set once it came.
    bool waitForEnd(std::chrono::milliseconds timeout, engine::RunResult& result);

    // One tick of the run timer: elapsedMs, and the progress line when shown.
    void tick(engine::RunState& state);

    // Takes the progress line away before the closing lines.
    void finish();

    // For the end-of-run notice: the conflicts logged ("CONFLICT: " errors) and the pairs whose
    // mass deletion was skipped. Read after the end.
    int32_t conflicts() const { return m_conflicts.load(); }
    int32_t skippedMassDeletions() const { return m_skippedMassDeletions.load(); }

private:
    ProgressLine::Clock m_clock;
    bool m_allowMassDeletion = false;
    bool m_createMissingRoots = false;
    ProgressNotes m_notes;
    std::mutex m_outputMutex;
    LogPrinter m_printer; // guarded by m_outputMutex
    std::mutex m_endMutex;
    std::condition_variable m_endSignal;
    bool m_ended = false;
    engine::RunResult m_result = engine::RunResult::Stopped;
    bool m_timerStarted = false;
    std::atomic<int32_t> m_conflicts{0};
    std::atomic<int32_t> m_skippedMassDeletions{0};
    std::chrono::steady_clock::time_point m_start;
};

} // namespace tavrel::cli
