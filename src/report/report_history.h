// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tavrel::report {

// How many kept reports a history folder holds; the oldest go first.
inline constexpr std::size_t kKeptReports = 100;

// The history of runs: the user's data folder's "reports" folder. Not created here.
std::filesystem::path defaultHistoryFolder();

// What a kept run was, beside its report (which holds only the changes): kept in the history
// folder's index ("runs.tsv", a line per kept report), so a list of runs needs no report read.
struct RunSummary
{
    std::string job;     // the project file's absolute path
    std::string outcome; // "succeeded", "completed_with_errors", "disk_full", "stopped"
    int32_t errors = 0;
    int32_t changes = 0; // every operation the counters count
    bool preview = false;

    bool operator==(const RunSummary&) const = default;
};

// A kept report, with its summary when the index has one (reports kept by an older version,
// or whose line was lost, have none).
struct KeptRun
{
    std::filesystem::path report;
    std::string startedAt; // "YYYY-MM-DD HH:MM:SS", local time, from the report's name
    std::optional<RunSummary> summary;
};

// Keeps a copy of the finished report `report` in `folder` (created if missing) under the local
// time `startedAt` (the run's start) as "YYYY-MM-DD_HH-MM-SS.htm"; when that name is taken (two
// runs in one second, by this process or another), as "YYYY-MM-DD_HH-MM-SS_2.htm", "_3" and so
// on: a kept report is never overwritten. Then removes the oldest kept reports beyond `keep`.
// `folder` and its parent (the data folder, made here too) are never reached through a link.
// Returns the copy's path, or an empty path when nothing could be kept (no report file, a
// folder that cannot be written or is a link), with the reason in `whyNot` when given. Call
// it after ReportFile::CloseReport.
// With `summary`, its line is added to the folder's index (once the index holds many lines
// of reports gone, it is written anew with the lines of those kept); a failure there costs
// the list its summary, never the report.
std::filesystem::path keepReport(const std::filesystem::path& report, const std::filesystem::path& folder,
                                 std::chrono::system_clock::time_point startedAt,
                                 std::size_t keep = kKeptReports, std::string* whyNot = nullptr,
                                 const RunSummary* summary = nullptr);

// The kept reports in `folder`, oldest first: by the time in the name, then by the number
// after it. Only regular files of the kept shape that this user owns are kept reports: others,
// links named like one included, are never counted nor touched. Empty when `folder` or its
// parent is a link.
std::vector<std::filesystem::path> keptReports(const std::filesystem::path& folder);

// The kept runs in `folder`, oldest first (as keptReports), each with its summary.
std::vector<KeptRun> keptRuns(const std::filesystem::path& folder);

// The newest kept report in `folder` (what View Report opens), or an empty path when none is.
std::filesystem::path newestReport(const std::filesystem::path& folder);

} // namespace tavrel::report
