// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run_state.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>
#include <iterator>
#include <string_view>
#include <utility>

namespace tavrel::test {
namespace {

// Every row of the counters' list is the counter it names, in the shared state and in a
// snapshot; reset, the operations' sum and the snapshot go through the whole list.
TEST(RunState, EachListedCounterIsTheOneItNames)
{
    engine::RunState state;
    const std::pair<std::string_view, std::atomic<int32_t>*> named[] = {
        {"orgFilesCreated", &state.orgFilesCreated},
        {"orgFoldersCreated", &state.orgFoldersCreated},
        {"orgFilesOverwritten", &state.orgFilesOverwritten},
        {"orgFilesDeleted", &state.orgFilesDeleted},
        {"orgFoldersDeleted", &state.orgFoldersDeleted},
        {"tgtFilesCreated", &state.tgtFilesCreated},
        {"tgtFoldersCreated", &state.tgtFoldersCreated},
        {"tgtFilesOverwritten", &state.tgtFilesOverwritten},
        {"tgtFilesDeleted", &state.tgtFilesDeleted},
        {"tgtFoldersDeleted", &state.tgtFoldersDeleted},
        {"allOperations", &state.allOperations},
        {"elapsedMs", &state.elapsedMs},
        {"totalFiles", &state.totalFiles},
        {"processedFiles", &state.processedFiles},
    };
    ASSERT_EQ(std::size(named), engine::kStatisticsFields.size());
    // Distinct values, so a row that joins two different counters shows.
    int32_t value = 0;
    for (const auto& [name, counter] : named)
        counter->store(++value);
    for (std::size_t i = 0; i < std::size(named); ++i) {
        SCOPED_TRACE(named[i].first);
        EXPECT_EQ(engine::kStatisticsFields[i].name, named[i].first);
        EXPECT_EQ(&(state.*engine::kStatisticsFields[i].shared), named[i].second);
    }
    EXPECT_EQ(state.snapshot(), (engine::StatisticsSnapshot{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));

    state.recomputeAllOperations();
    EXPECT_EQ(state.allOperations.load(), 55); // 1 + ... + 10: the operations and nothing else

    state.errors.store(3);
    state.conflicts.store(2);
    state.stopRequested.store(1);
    state.reset();
    EXPECT_EQ(state.snapshot(), engine::StatisticsSnapshot{});
    EXPECT_EQ(state.errors.load(), 0);
    EXPECT_EQ(state.conflicts.load(), 0);
    EXPECT_EQ(state.stopRequested.load(), 1); // the stop flag is not a counter
}

} // namespace
} // namespace tavrel::test
