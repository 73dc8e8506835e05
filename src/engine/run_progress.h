// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run_sink.h"
#include "engine/run_state.h"
#include "engine/task_queue.h"
#include "platform/failure_note.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::engine {

// Kinds of counted operation; the column (ORG or TGT) follows the task's direction.
enum class Operation
{
    FolderCreated,
    FileCreated,
    FileOverwritten,
    FileDeleted, // in the column of the side deleted in (a mirror deletes in TGT only)
    FolderDeleted,
};

// "ORG" or "TGT": the root a side of a task's call lies in.
std::string_view rootName(platform::FailedSide side, Direction direction);
// `reason` led by the side's root name ("TGT: File name too long"); as it is without a side,
// empty without a reason.
std::string sideReason(platform::FailedSide side, Direction direction, std::string_view reason);

// The worker's view of one run's counters: the shared RunState plus the counts only the
// worker keeps (handled and skipped files, the counted total that scales progress).
class RunProgress final
{
public:
    RunProgress(RunState& state, RunSink& sink) : m_state(state), m_sink(sink) {}

    // Position on the 0..1000 bar for `count` processed files, truncated toward zero.
    static int position(int32_t countedTotal, int32_t count);

    void setCountedTotal(int32_t total);
    int32_t countedTotal() const { return m_countedTotal; }

    void addHandled();
    void addSkipped(int32_t count);
    int32_t processedFiles() const { return m_handled + m_skipped; }

    // SetProgress with the position of the current processedFiles.
    void reportProgress();
    // The file loop reports progress once per kFilesPerReport files, not per file: the bar
    // moves as often as the eye can follow and the sink is not flooded. The report falls after
    // the file that leaves processedFiles at 19, 39, 59, ...
    static constexpr int32_t kFilesPerReport = 20;
    bool fileReportDue() const { return processedFiles() % kFilesPerReport == kFilesPerReport - 1; }
    // Whether the user asked to stop: read after a handled file, before each folder task,
    // per folder of the counting walk and between the chunks of a large copy.
    bool stopRequested() const { return m_state.stopRequested.load() != 0; }
    const std::atomic<int32_t>* stopFlag() const { return &m_state.stopRequested; }

    // Appends an "ERROR: " line to the log, counts it as an error of the run and hands the
    // sink the reason (the platform's last failure of this thread when `reason` is empty).
    void logError(std::string_view line, std::string_view reason = {});
    // logError with the platform's last failure of this thread as the reason, led by the side
    // it concerns ("TGT: Read-only file system"); a failure that names no side of its call is
    // put on `asked`, the side the caller asked. No side at all where neither is known.
    void logFailure(std::string_view line, Direction direction, platform::FailedSide asked);
    // logError for a conflict left as it is: an error of the run, also counted as a conflict.
    void logConflict(std::string_view line, std::string_view reason);

    // The errors logged so far, for the report's closing records.
    struct LoggedError
    {
        std::string line;
        std::string reason;
    };
    const std::vector<LoggedError>& errors() const { return m_errors; }

    // Raises the operation's counter and recomputes allOperations.
    void count(Operation operation, Direction direction);
    // A file Synchronize created in TGT will be met again from the TGT side.
    void growTotal() { m_state.totalFiles.fetch_add(1); }

private:
    RunState& m_state;
    RunSink& m_sink;
    int32_t m_countedTotal = 0;
    int32_t m_handled = 0;
    int32_t m_skipped = 0;
    std::vector<LoggedError> m_errors;
};

} // namespace tavrel::engine
