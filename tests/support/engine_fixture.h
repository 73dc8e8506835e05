// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run_driver.h"
#include "engine/run_state.h"
#include "model/job.h"
#include "model/pattern_list.h"
#include "platform/posix/posix_file_system.h"
#include "report/report_file.h"
#include "support/recording_sink.h"
#include "support/temp_tree.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tavrel::test {

// One job run on real trees: ORG and TGT folders in a fresh temporary folder, a report beside
// them and a recording sink. Tests add pairs, build trees, run, then compare trees, counters,
// log and report.
class EngineTest : public ::testing::Test
{
protected:
    EngineTest();

    // A pair named `name` (UTF-8) over `org` and `tgt`, with every file and folder included.
    model::FolderPair& addPair(model::SyncMethod method, const std::string& org, const std::string& tgt,
                               const std::string& name = "P");
    model::FolderPair& addPair(model::SyncMethod method) { return addPair(method, m_org, m_tgt); }

    // Runs the job through `fs` (the real file system when null) and waits for its end.
    engine::RunResult run(platform::FileSystem* fs = nullptr) { return runWith(m_sink, fs); }
    // The same with a sink of its own, for a second run of one test (each sink expects one end).
    engine::RunResult runWith(RecordingSink& sink, platform::FileSystem* fs = nullptr);
    // The same as a preview (StartPreview).
    engine::RunResult previewWith(RecordingSink& sink, platform::FileSystem* fs = nullptr);

    // The counters with the times and progress counts left out, for comparing whole.
    engine::StatisticsSnapshot operations() const;
    // Report lines of the last run with the temporary folder's path cut to "~/".
    std::vector<std::string> reportLines() const;
    // `text` with the temporary folder's path cut to "~/".
    std::string relative(std::string text) const;

    TempDir m_dir;
    std::string m_org;
    std::string m_tgt;
    platform::PosixFileSystem m_posix;
    model::Job m_job;
    engine::RunState m_state;
    RecordingSink m_sink;
    report::ReportFile m_report;
    // The project file the runs are of; empty (the default) keeps no record of their roots.
    std::filesystem::path m_jobFile;
    // The folders the runs handle; null (the default) runs the whole job.
    const engine::RunScope* m_scope = nullptr;

private:
    engine::RunResult runAs(bool preview, RecordingSink& sink, platform::FileSystem* fs);
};

// Makes `list` hold exactly `patterns`, in order: addPair's include lists start as "*".
void setPatterns(model::PatternList& list, std::initializer_list<std::u16string_view> patterns);

// Counters with only the given operations set, allOperations their sum.
struct Ops
{
    int orgFilesCreated = 0, orgFoldersCreated = 0, orgFilesOverwritten = 0;
    int tgtFilesCreated = 0, tgtFoldersCreated = 0, tgtFilesOverwritten = 0, tgtFilesDeleted = 0,
        tgtFoldersDeleted = 0;

    engine::StatisticsSnapshot snapshot() const;
};

} // namespace tavrel::test

namespace tavrel::engine {
void PrintTo(const StatisticsSnapshot& snapshot, std::ostream* out);
} // namespace tavrel::engine
