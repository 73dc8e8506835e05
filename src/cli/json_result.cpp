// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/json_result.h"

namespace tavrel::cli {

std::string resultJson(engine::RunOutcome outcome, int32_t errors, const engine::StatisticsSnapshot& s,
                       bool preview)
{
    const char* name = outcome == engine::RunOutcome::Succeeded             ? "succeeded"
                       : outcome == engine::RunOutcome::CompletedWithErrors ? "completed_with_errors"
                       : outcome == engine::RunOutcome::DiskFull            ? "disk_full"
                                                                            : "stopped";
    std::string json = std::string("{\"result\":\"") + name + "\"";
    if (preview)
        json += ",\"preview\":true";
    auto field = [&json](const char* key, int32_t value) {
        json += ",\"";
        json += key;
        json += "\":";
        json += std::to_string(value);
    };
    field("errors", errors);
    field("orgFilesCreated", s.orgFilesCreated);
    field("orgFoldersCreated", s.orgFoldersCreated);
    field("orgFilesOverwritten", s.orgFilesOverwritten);
    field("orgFilesDeleted", s.orgFilesDeleted);
    field("orgFoldersDeleted", s.orgFoldersDeleted);
    field("tgtFilesCreated", s.tgtFilesCreated);
    field("tgtFoldersCreated", s.tgtFoldersCreated);
    field("tgtFilesOverwritten", s.tgtFilesOverwritten);
    field("tgtFilesDeleted", s.tgtFilesDeleted);
    field("tgtFoldersDeleted", s.tgtFoldersDeleted);
    field("allOperations", s.allOperations);
    field("elapsedMs", s.elapsedMs);
    field("totalFiles", s.totalFiles);
    field("processedFiles", s.processedFiles);
    json += "}";
    return json;
}

} // namespace tavrel::cli
