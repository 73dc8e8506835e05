// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>

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

    // Zeroes every counter and progress count (not the stop flag).
    void reset()
    {
        for (std::atomic<int32_t>* field :
             {&orgFilesCreated, &orgFoldersCreated, &orgFilesOverwritten, &orgFilesDeleted,
              &orgFoldersDeleted, &tgtFilesCreated, &tgtFoldersCreated, &tgtFilesOverwritten,
              &tgtFilesDeleted, &tgtFoldersDeleted, &allOperations, &elapsedMs, &totalFiles, &processedFiles,
              &errors})
            field->store(0);
    }

    // Sets allOperations to the sum of the ten operation counters.
    void recomputeAllOperations()
    {
        allOperations.store(orgFilesCreated + orgFoldersCreated + orgFilesOverwritten + orgFilesDeleted +
                            orgFoldersDeleted + tgtFilesCreated + tgtFoldersCreated + tgtFilesOverwritten +
                            tgtFilesDeleted + tgtFoldersDeleted);
    }

    StatisticsSnapshot snapshot() const
    {
        return {orgFilesCreated, orgFoldersCreated, orgFilesOverwritten, orgFilesDeleted, orgFoldersDeleted,
                tgtFilesCreated, tgtFoldersCreated, tgtFilesOverwritten, tgtFilesDeleted, tgtFoldersDeleted,
                allOperations,   elapsedMs,         totalFiles,          processedFiles};
    }
};

} // namespace tavrel::engine
