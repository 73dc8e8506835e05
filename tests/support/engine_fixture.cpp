// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/engine_fixture.h"

#include "text/text_codec.h"

namespace tavrel::test {

EngineTest::EngineTest() : m_org(m_dir / "org/"), m_tgt(m_dir / "tgt/"), m_report(m_dir / "report.htm") {}

model::FolderPair& EngineTest::addPair(model::SyncMethod method, const std::string& org,
                                       const std::string& tgt, const std::string& name)
{
    model::FolderPair* pair = m_job.addPair();
    pair->name = text::fromUtf8(name);
    pair->method = method;
    pair->orgPath = text::fromUtf8(org);
    pair->tgtPath = text::fromUtf8(tgt);
    pair->includeFiles.append(u"*");
    pair->includeFolders.append(u"*");
    pair->includeSubfolders = 1;
    pair->recycleDeleted = 0;
    return *pair;
}

engine::RunResult EngineTest::runWith(RecordingSink& sink, platform::FileSystem* fs)
{
    return runAs(false, sink, fs);
}

engine::RunResult EngineTest::previewWith(RecordingSink& sink, platform::FileSystem* fs)
{
    return runAs(true, sink, fs);
}

engine::RunResult EngineTest::runAs(bool preview, RecordingSink& sink, platform::FileSystem* fs)
{
    engine::RunContext context{m_job, m_state, fs ? *fs : m_posix, m_report, sink, {}, m_jobFile, m_scope};
    std::thread worker;
    const bool started = preview ? engine::StartPreview(context, worker) : engine::StartSync(context, worker);
    EXPECT_TRUE(started);
    const bool ended = sink.waitForEnd(std::chrono::seconds(30));
    EXPECT_TRUE(ended) << "the run did not end in time";
    if (worker.joinable()) {
        if (ended)
            worker.join();
        else
            worker.detach(); // a hung worker must not hang the whole test program
    }
    const std::vector<engine::RunResult> results = sink.results();
    EXPECT_EQ(results.size(), 1u) << "exactly one end per run";
    return results.empty() ? engine::RunResult::Stopped : results.back();
}

engine::StatisticsSnapshot EngineTest::operations() const
{
    engine::StatisticsSnapshot snapshot = m_state.snapshot();
    snapshot.elapsedMs = 0;
    snapshot.totalFiles = 0;
    snapshot.processedFiles = 0;
    return snapshot;
}

std::string EngineTest::relative(std::string text) const
{
    for (std::size_t at = text.find(m_dir.path()); at != std::string::npos; at = text.find(m_dir.path(), at))
        text.replace(at, m_dir.path().size(), "~/");
    return text;
}

std::vector<std::string> EngineTest::reportLines() const
{
    std::vector<std::string> lines = readReportLines(m_report.path().string());
    for (std::string& line : lines)
        line = relative(line);
    return lines;
}

void setPatterns(model::PatternList& list, std::initializer_list<std::u16string_view> patterns)
{
    list.clear();
    for (std::u16string_view pattern : patterns)
        list.append(pattern);
}

engine::StatisticsSnapshot Ops::snapshot() const
{
    engine::StatisticsSnapshot result;
    result.orgFilesCreated = orgFilesCreated;
    result.orgFoldersCreated = orgFoldersCreated;
    result.orgFilesOverwritten = orgFilesOverwritten;
    result.tgtFilesCreated = tgtFilesCreated;
    result.tgtFoldersCreated = tgtFoldersCreated;
    result.tgtFilesOverwritten = tgtFilesOverwritten;
    result.tgtFilesDeleted = tgtFilesDeleted;
    result.tgtFoldersDeleted = tgtFoldersDeleted;
    result.allOperations = orgFilesCreated + orgFoldersCreated + orgFilesOverwritten + tgtFilesCreated +
                           tgtFoldersCreated + tgtFilesOverwritten + tgtFilesDeleted + tgtFoldersDeleted;
    return result;
}

} // namespace tavrel::test

namespace tavrel::engine {
void PrintTo(const StatisticsSnapshot& s, std::ostream* out)
{
    *out << "{org C" << s.orgFilesCreated << " CF" << s.orgFoldersCreated << " O" << s.orgFilesOverwritten
         << " D" << s.orgFilesDeleted << " DF" << s.orgFoldersDeleted << " | tgt C" << s.tgtFilesCreated
         << " CF" << s.tgtFoldersCreated << " O" << s.tgtFilesOverwritten << " D" << s.tgtFilesDeleted
         << " DF" << s.tgtFoldersDeleted << " | all " << s.allOperations << " total " << s.totalFiles
         << " processed " << s.processedFiles << "}";
}
} // namespace tavrel::engine
