// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace tavrel::report {

// How many kept reports a history folder holds; the oldest go first.
inline constexpr std::size_t kKeptReports = 100;

// The history of runs: the user's data folder's "reports" folder. Not created here.
std::filesystem::path defaultHistoryFolder();

// Keeps a copy of the finished report `report` in `folder` (created if missing) under the local
// time `startedAt` (the run's start) as "YYYY-MM-DD_HH-MM-SS.htm"; when that name is taken (two
// runs in one second, by this process or another), as "YYYY-MM-DD_HH-MM-SS_2.htm", "_3" and so
// on: a kept report is never overwritten. Then removes the oldest kept reports beyond `keep`.
// `folder` and its parent (the data folder, made here too) are never reached through a link.
// Returns the copy's path, or an empty path when nothing could be kept (no report file, a
// folder that cannot be written or is a link), with the reason in `whyNot` when given. Call
// it after ReportFile::CloseReport.
std::filesystem::path keepReport(const std::filesystem::path& report, const std::filesystem::path& folder,
                                 std::chrono::system_clock::time_point startedAt,
                                 std::size_t keep = kKeptReports, std::string* whyNot = nullptr);

// The kept reports in `folder`, oldest first: by the time in the name, then by the number
// after it. Only regular files of the kept shape that this user owns are kept reports: others,
// links named like one included, are never counted nor touched. Empty when `folder` or its
// parent is a link.
std::vector<std::filesystem::path> keptReports(const std::filesystem::path& folder);

// The newest kept report in `folder` (what View Report opens), or an empty path when none is.
std::filesystem::path newestReport(const std::filesystem::path& folder);

} // namespace tavrel::report
