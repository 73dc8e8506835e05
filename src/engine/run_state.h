// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>

namespace tavrel::engine {

// Outcome of a run, as carried by the end-of-run message.
enum class RunResult : int32_t
{
    Stopped = 0,
    Succeeded = 1,
    DiskFull = 2,
};

// A plain copy of the run's counters, for painting, printing and comparing in tests.
struct StatisticsSnapshot
{
    int32_t orgFilesCreated = 0;
    int32_t orgFoldersCreated = 0;
    int32_t orgFilesOverwritten = 0;
    int32_t orgFilesDeleted = 0;
    int32_t orgFoldersDeleted = 0;
    int32_t tgtFilesCreated = 0;
    int32_t tgtFoldersCreated = 0;
    int32_t tgtFilesOverwritten = 0;
    int32_t tgtFilesDeleted = 0;
    int32_t tgtFoldersDeleted = 0;
    int32_t allOperations = 0;
    int32_t elapsedMs = 0;
    int32_t totalFiles = 0;
    int32_t processedFiles = 0;

    bool operator==(const StatisticsSnapshot&) const = default;
};

// The counters and the stop flag shared by the worker and the user-interface thread. The
// worker writes the counters, the UI thread writes elapsedMs and stopRequested; each field
// is read and written whole, so a reader sees at worst a value one update behind.
struct RunState
{
    std::atomic<int32_t> orgFilesCreated{0};
    std::atomic<int32_t> orgFoldersCreated{0};
    std::atomic<int32_t> orgFilesOverwritten{0};
    std::atomic<int32_t> orgFilesDeleted{0};
    std::atomic<int32_t> orgFoldersDeleted{0};
    std::atomic<int32_t> tgtFilesCreated{0};
    std::atomic<int32_t> tgtFoldersCreated{0};
    std::atomic<int32_t> tgtFilesOverwritten{0};
    std::atomic<int32_t> tgtFilesDeleted{0};
    std::atomic<int32_t> tgtFoldersDeleted{0};
    std::atomic<int32_t> allOperations{0};
    std::atomic<int32_t> elapsedMs{0};
    std::atomic<int32_t> totalFiles{0};
    std::atomic<int32_t> processedFiles{0};
    std::atomic<int32_t> stopRequested{0};
    // "ERROR: " lines logged by this run; not a counter of the panel, but it decides the outcome.
    std::atomic<int32_t> errors{0};
    // Of those, the conflicts a remembering Synchronize left for the user to settle.
    std::atomic<int32_t> conflicts{0};

    // Zeroes every counter and progress count (not the stop flag).
    void reset();
    // Sets allOperations to the sum of the ten operation counters.
    void recomputeAllOperations();
    StatisticsSnapshot snapshot() const;
};

// What a counter counts: an operation in one of the two columns, or something of the run.
enum class CounterKind
{
    OrgOperation,
    TgtOperation,
    Run,
};

// One counter of the run: its name (the runner's JSON key) and where it lives in the shared
// state and in a snapshot.
struct StatisticsField
{
    std::string_view name;
    CounterKind kind;
    std::atomic<int32_t> RunState::*shared;
    int32_t StatisticsSnapshot::*value;
};

// Every counter once, in the order the runner prints them and the window paints each column.
inline constexpr std::array<StatisticsField, 14> kStatisticsFields{{
    {"orgFilesCreated", CounterKind::OrgOperation, &RunState::orgFilesCreated,
     &StatisticsSnapshot::orgFilesCreated},
    {"orgFoldersCreated", CounterKind::OrgOperation, &RunState::orgFoldersCreated,
     &StatisticsSnapshot::orgFoldersCreated},
    {"orgFilesOverwritten", CounterKind::OrgOperation, &RunState::orgFilesOverwritten,
     &StatisticsSnapshot::orgFilesOverwritten},
    {"orgFilesDeleted", CounterKind::OrgOperation, &RunState::orgFilesDeleted,
     &StatisticsSnapshot::orgFilesDeleted},
    {"orgFoldersDeleted", CounterKind::OrgOperation, &RunState::orgFoldersDeleted,
     &StatisticsSnapshot::orgFoldersDeleted},
    {"tgtFilesCreated", CounterKind::TgtOperation, &RunState::tgtFilesCreated,
     &StatisticsSnapshot::tgtFilesCreated},
    {"tgtFoldersCreated", CounterKind::TgtOperation, &RunState::tgtFoldersCreated,
     &StatisticsSnapshot::tgtFoldersCreated},
    {"tgtFilesOverwritten", CounterKind::TgtOperation, &RunState::tgtFilesOverwritten,
     &StatisticsSnapshot::tgtFilesOverwritten},
    {"tgtFilesDeleted", CounterKind::TgtOperation, &RunState::tgtFilesDeleted,
     &StatisticsSnapshot::tgtFilesDeleted},
    {"tgtFoldersDeleted", CounterKind::TgtOperation, &RunState::tgtFoldersDeleted,
     &StatisticsSnapshot::tgtFoldersDeleted},
    {"allOperations", CounterKind::Run, &RunState::allOperations, &StatisticsSnapshot::allOperations},
    {"elapsedMs", CounterKind::Run, &RunState::elapsedMs, &StatisticsSnapshot::elapsedMs},
    {"totalFiles", CounterKind::Run, &RunState::totalFiles, &StatisticsSnapshot::totalFiles},
    {"processedFiles", CounterKind::Run, &RunState::processedFiles, &StatisticsSnapshot::processedFiles},
}};

inline void RunState::reset()
{
    for (const StatisticsField& field : kStatisticsFields)
        (this->*field.shared).store(0);
    errors.store(0);
    conflicts.store(0);
}

inline void RunState::recomputeAllOperations()
{
    int32_t sum = 0;
    for (const StatisticsField& field : kStatisticsFields)
        if (field.kind != CounterKind::Run)
            sum += (this->*field.shared).load();
    allOperations.store(sum);
}

inline StatisticsSnapshot RunState::snapshot() const
{
    StatisticsSnapshot snapshot;
    for (const StatisticsField& field : kStatisticsFields)
        snapshot.*field.value = (this->*field.shared).load();
    return snapshot;
}

} // namespace tavrel::engine
