// SPDX-License-Identifier: GPL-3.0-or-later
// The runner's JSON line, written from counters made up here rather than from a run.
#include "cli/json_result.h"

#include <gtest/gtest.h>
#include <string>

using namespace tavrel;
using namespace tavrel::cli;

namespace {

TEST(JsonResult, NamesEveryOutcome)
{
    const struct
    {
        engine::RunOutcome outcome;
        std::string name;
    } cases[] = {
        {engine::RunOutcome::Succeeded, "succeeded"},
        {engine::RunOutcome::CompletedWithErrors, "completed_with_errors"},
        {engine::RunOutcome::DiskFull, "disk_full"},
        {engine::RunOutcome::Stopped, "stopped"},
        {engine::RunOutcome::Unknown, "stopped"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string json = resultJson(c.outcome, 0, 0, {}, false);
        EXPECT_TRUE(json.starts_with("{\"result\":\"" + c.name + "\",\"errors\":0,\"conflicts\":0,")) << json;
    }
}

// Every counter under its own name, in this order, each with its own value; "preview":true
// right after the result, and only for a preview.
TEST(JsonResult, EveryCounterInOrderAndPreviewOnlyForPreviews)
{
    engine::StatisticsSnapshot s;
    s.orgFilesCreated = 1;
    s.orgFoldersCreated = 2;
    s.orgFilesOverwritten = 3;
    s.orgFilesDeleted = 4;
    s.orgFoldersDeleted = 5;
    s.tgtFilesCreated = 6;
    s.tgtFoldersCreated = 7;
    s.tgtFilesOverwritten = 8;
    s.tgtFilesDeleted = 9;
    s.tgtFoldersDeleted = 10;
    s.allOperations = 11;
    s.elapsedMs = 123456;
    s.totalFiles = 13;
    s.processedFiles = 14;
    const std::string counters =
        "\"errors\":7,\"conflicts\":2,\"orgFilesCreated\":1,\"orgFoldersCreated\":2,\"orgFilesOverwritten\":"
        "3,"
        "\"orgFilesDeleted\":4,\"orgFoldersDeleted\":5,\"tgtFilesCreated\":6,\"tgtFoldersCreated\":7,"
        "\"tgtFilesOverwritten\":8,\"tgtFilesDeleted\":9,\"tgtFoldersDeleted\":10,\"allOperations\":11,"
        "\"elapsedMs\":123456,\"totalFiles\":13,\"processedFiles\":14}";
    EXPECT_EQ(resultJson(engine::RunOutcome::CompletedWithErrors, 7, 2, s, false),
              "{\"result\":\"completed_with_errors\"," + counters);
    EXPECT_EQ(resultJson(engine::RunOutcome::CompletedWithErrors, 7, 2, s, true),
              "{\"result\":\"completed_with_errors\",\"preview\":true," + counters);
}

TEST(JsonResult, ErrorsAndConflictsAsCounted)
{
    const struct
    {
        int32_t errors;
        int32_t conflicts;
    } cases[] = {{0, 0}, {1, 0}, {3, 2}, {2147483647, 2147483647}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.errors);
        const std::string json = resultJson(engine::RunOutcome::Stopped, c.errors, c.conflicts, {}, true);
        EXPECT_TRUE(json.starts_with(
            "{\"result\":\"stopped\",\"preview\":true,\"errors\":" + std::to_string(c.errors) +
            ",\"conflicts\":" + std::to_string(c.conflicts) + ",\"orgFilesCreated\":0,"))
            << json;
    }
}

} // namespace
