// SPDX-License-Identifier: GPL-3.0-or-later
// A preview shows what the real run does, call for call, and leaves the disk as it found it.
#include "engine/run_driver.h"
#include "engine/run_outcome.h"
#include "platform/posix/posix_file_system.h"
#include "report/report_file.h"
#include "support/engine_fixture.h"
#include "support/recording_sink.h"
#include "support/scoped_env.h"
#include "support/temp_tree.h"
#include "text/text_codec.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

namespace tavrel::test {
namespace {

using model::AttributeMode;
using model::ContentCheckMode;
using model::SyncMethod;

// A leftover of a crashed copy: a run holding the target's lock removes it at once.
const std::string kLeftover = ".a.0a1b2c3d.tavrel-tmp";

std::vector<Node> orgTree()
{
    return {
        file("keep.txt", "k", at(1)),
        file("a.txt", "org only", at(10)),
        file("newer.txt", "org newer", at(20)),
        file("older.txt", "org older", at(10)),
        file("same.txt", "aaa", at(5)),   // same stamp as TGT's, other bytes: only Check copies
        file("bytes.txt", "same", at(5)), // same bytes as TGT's, other time: Auto reads and keeps
        file("ro.txt", "read-only", at(10), 0444),
        file("locked.txt", "org", at(20)),
        file(".hidden", "h", at(10)),
        symlink("ln", "keep.txt", at(10)),
        symlink("ln2", "a.txt", at(20)),
        file("skip.tmp", "excluded", at(10)),
        file("sub/x.txt", "x", at(10)),
        file("sub/deep/y.txt", "y", at(10)),
        file("both/b.txt", "org b", at(20)),
        file(".hdir/h.txt", "hh", at(10)),
        file("cache/c.txt", "excluded folder", at(10)),
    };
}

std::vector<Node> tgtTree()
{
    return {
        file("keep.txt", "k", at(1)),
        file("newer.txt", "tgt", at(10)),
        file("older.txt", "tgt newer", at(20)),
        file("same.txt", "bbb", at(5)),
        file("bytes.txt", "same", at(9)),
        file("locked.txt", "tgt", at(10), 0444),
        symlink("ln2", "b", at(10)),
        symlink("tln", "nowhere", at(10)),
        file("gone.txt", "tgt only", at(10)),
        file("gone-ro.txt", "tgt only", at(10), 0444),
        file(".thidden", "th", at(10)),
        file("skip.tmp", "tgt excluded", at(30)),
        file("both/b.txt", "tgt b", at(10)),
        file("both/tb.txt", "tgt only in both", at(10)),
        file("old/y.txt", "y", at(10)),
        file("old/deeper/z.txt", "z", at(10)),
        file("cache/t.txt", "t", at(10)),
        file(kLeftover, "partial", at(10), 0600),
    };
}

// A third folder for a pair that reads what the first pair wrote: a.txt has the stamp and size
// of ORG's, other bytes.
std::vector<Node> thirdTree()
{
    return {file("a.txt", "zzzzzzzz", at(10)), file("extra.txt", "e", at(10))};
}

struct PreviewCase
{
    std::string name;
    SyncMethod method;
    std::function<void(model::FolderPair&)> adjust = {};
    bool targetMissing = false;
    bool secondPair = false; // TGT to a third folder, Copy with Check, after the first pair
    bool sparseOrg = false;  // ORG holds one file: a mirror would take most of TGT and asks first
};

std::vector<PreviewCase> previewCases()
{
    const auto check = [](ContentCheckMode mode) {
        return [mode](model::FolderPair& pair) { pair.contentCheck = mode; };
    };
    return {
        {"LightCopy", SyncMethod::LightCopy},
        {"UpdateCopy", SyncMethod::UpdateCopy},
        {"CopyAuto", SyncMethod::Copy, check(ContentCheckMode::Auto)},
        {"CopyCheck", SyncMethod::Copy, check(ContentCheckMode::Check)},
        {"CopyNotCheck", SyncMethod::Copy, check(ContentCheckMode::NotCheck)},
        {"AbsoluteCopy", SyncMethod::AbsoluteCopy},
        {"AbsoluteCopyIncludeLists", SyncMethod::AbsoluteCopy,
         [](model::FolderPair& pair) {
             setPatterns(pair.includeFiles, {u"*.txt", u"l*"});
             setPatterns(pair.includeFolders, {u"s*", u"o*"});
         }},
        {"AbsoluteCopyCopyOnly", SyncMethod::AbsoluteCopy,
         [](model::FolderPair& pair) {
             pair.readOnlyMode = AttributeMode::CopyOnly;
             pair.hiddenMode = AttributeMode::CopyOnly;
         }},
        {"AbsoluteCopyIntoMissingTarget", SyncMethod::AbsoluteCopy, {}, true},
        {"Synchronize", SyncMethod::Synchronize},
        {"SynchronizeIgnoringReadOnlyAndHidden", SyncMethod::Synchronize,
         [](model::FolderPair& pair) {
             pair.readOnlyMode = AttributeMode::Ignore;
             pair.hiddenMode = AttributeMode::Ignore;
         }},
        {"CopyCheckThenASecondPairReadsItsCopies", SyncMethod::Copy, check(ContentCheckMode::Check), false,
         true},
        // Deleted and overwritten files go to the trash (in the run's own data folder).
        {"AbsoluteCopyToTheTrash", SyncMethod::AbsoluteCopy,
         [](model::FolderPair& pair) { pair.recycleDeleted = 1; }},
        {"AbsoluteCopyAsksBeforeTakingMostOfTheTarget", SyncMethod::AbsoluteCopy, {}, false, false, true},
    };
}

// Folders' times and modes, which the tree snapshot leaves out, the roots' own included.
std::map<std::string, std::pair<int64_t, mode_t>> folderStates(const std::string& root)
{
    std::map<std::string, std::pair<int64_t, mode_t>> states;
    std::error_code error;
    auto note = [&](const std::filesystem::path& path) {
        struct stat info = {};
        if (::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            states[path.string()] = {int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
                                     info.st_mode & 07777};
    };
    if (!std::filesystem::is_directory(root, error))
        return states;
    note(root);
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        note(it->path());
    return states;
}

// One run of a case's job over trees under `base`, with its calls, counters and report records
// written relative to `base` ("~/").
struct RunRecord
{
    engine::RunResult result = engine::RunResult::Stopped;
    std::vector<std::string> calls;
    std::vector<std::string> questions;
    bool recycled = false; // the first pair takes what it deletes or replaces to the trash
    engine::StatisticsSnapshot counters;
    std::vector<std::string> records;
    std::string report;
};

std::string relativeTo(std::string text, const std::string& base)
{
    for (std::size_t at = text.find(base); at != std::string::npos; at = text.find(base, at))
        text.replace(at, base.size(), "~/");
    return text;
}

void buildTrees(const PreviewCase& c, const std::string& base)
{
    buildTree(base + "org", c.sparseOrg ? std::vector<Node>{file("keep.txt", "k", at(1))} : orgTree());
    if (!c.targetMissing)
        buildTree(base + "tgt", tgtTree());
    if (c.secondPair)
        buildTree(base + "third", thirdTree());
}

RunRecord runCase(const PreviewCase& c, const std::string& base, bool preview)
{
    model::Job job;
    auto add = [&](SyncMethod method, const std::string& org, const std::string& tgt, const char16_t* name) {
        model::FolderPair& pair = *job.addPair();
        pair.name = name;
        pair.method = method;
        pair.orgPath = text::fromUtf8(base + org);
        pair.tgtPath = text::fromUtf8(base + tgt);
        pair.includeFiles.append(u"*");
        pair.includeFolders.append(u"*");
        pair.excludeFiles.append(u"*.tmp");
        pair.excludeFolders.append(u"cache");
        pair.includeSubfolders = 1;
        pair.recycleDeleted = 0;
        return &pair;
    };
    model::FolderPair* first = add(c.method, "org/", "tgt/", u"First");
    if (c.adjust)
        c.adjust(*first);
    if (c.secondPair)
        add(SyncMethod::Copy, "tgt/", "third/", u"Second")->contentCheck = ContentCheckMode::Check;

    // The trash of the run is the user's: here, one beside the trees.
    const ScopedEnv dataHome("XDG_DATA_HOME", base + "data");
    platform::PosixFileSystem disk;
    engine::RunState state;
    RecordingSink sink;
    report::ReportFile report(base + "report.htm");
    const engine::RunContext context{job, state, disk, report, sink};
    std::thread worker;
    EXPECT_TRUE(preview ? engine::StartPreview(context, worker) : engine::StartSync(context, worker));
    EXPECT_TRUE(sink.waitForEnd(std::chrono::seconds(30)));
    worker.join();

    RunRecord record;
    const std::vector<engine::RunResult> results = sink.results();
    EXPECT_EQ(results.size(), 1u);
    if (!results.empty())
        record.result = results.back();
    for (const RecordingSink::Call& call : sink.calls())
        record.calls.push_back(std::to_string(static_cast<int>(call.kind)) + " " +
                               std::to_string(call.value) + " " + relativeTo(call.text, base));
    for (const std::string& question : sink.questions())
        record.questions.push_back(relativeTo(question, base));
    record.recycled = first->recycleDeleted != 0;
    record.counters = state.snapshot();
    record.counters.elapsedMs = 0;
    for (const std::string& line : readReportLines(base + "report.htm"))
        record.records.push_back(relativeTo(line, base));
    record.report = readFile(base + "report.htm");
    return record;
}

class PreviewTable : public ::testing::TestWithParam<PreviewCase>
{
};

TEST_P(PreviewTable, ShowsWhatTheRunDoesAndChangesNothing)
{
    const PreviewCase& c = GetParam();
    TempDir previewDir;
    TempDir realDir;
    const std::string& base = previewDir.path();
    buildTrees(c, base);
    buildTrees(c, realDir.path());
    const std::vector<std::string> roots{base + "org", base + "tgt", base + "third", base + "data"};
    std::vector<TreeSnapshot> trees;
    std::vector<std::map<std::string, std::pair<int64_t, mode_t>>> folders;
    for (const std::string& root : roots) {
        trees.push_back(snapshotTree(root));
        folders.push_back(folderStates(root));
    }

    const RunRecord preview = runCase(c, base, true);
    for (std::size_t i = 0; i < roots.size(); ++i) {
        EXPECT_EQ(snapshotTree(roots[i]), trees[i]) << roots[i];
        EXPECT_EQ(folderStates(roots[i]), folders[i]) << roots[i];
    }

    const RunRecord real = runCase(c, realDir.path(), false);
    EXPECT_EQ(preview.result, real.result);
    // A preview asks no one: where the real run asks (and hears yes), it says that a real run
    // asks, and goes on as the yes does.
    std::vector<std::string> previewCalls = preview.calls;
    EXPECT_TRUE(preview.questions.empty());
    ASSERT_EQ(real.questions.size(), c.sparseOrg ? 1u : 0u);
    if (c.sparseOrg) {
        const std::string& asked = real.questions[0];
        const std::string note = "1 0 Preview: " + asked.substr(0, asked.rfind(" Delete them?")) +
                                 " A real run asks before deleting them.\r\n";
        EXPECT_EQ(std::count(previewCalls.begin(), previewCalls.end(), note), 1) << note;
        previewCalls.erase(std::remove(previewCalls.begin(), previewCalls.end(), note), previewCalls.end());
    }
    EXPECT_EQ(previewCalls, real.calls);
    EXPECT_EQ(preview.counters, real.counters);
    EXPECT_EQ(preview.records, real.records);
    EXPECT_NE(preview.report.find("<title>Tavrel Synchronizer Report - Preview</title>"), std::string::npos);
    EXPECT_EQ(real.report.find("Preview"), std::string::npos);
    // The real run did change the trees: the comparison above is about something.
    EXPECT_GT(real.counters.allOperations, 0);
    EXPECT_NE(snapshotTree(realDir / "tgt"), trees[1]);
    EXPECT_EQ(snapshotTree(realDir / "data/Trash/files").empty(), !real.recycled);
    // Holding TGT's lock, the real run removed the leftover at once; the preview took the lock
    // too and left it (checked with the trees above).
    EXPECT_EQ(snapshotTree(realDir / "tgt").count(kLeftover), 0u);
}

INSTANTIATE_TEST_SUITE_P(Engine, PreviewTable, ::testing::ValuesIn(previewCases()),
                         [](const auto& info) { return info.param.name; });

TEST(PreviewOutcome, TheEndLineSaysPreviewBeforeTheOutcome)
{
    using engine::RunOutcome;
    const std::vector<std::pair<RunOutcome, std::string>> cases{
        {RunOutcome::Succeeded, "Preview: process succeeded."},
        {RunOutcome::CompletedWithErrors, "Preview: process completed with 2 errors."},
        {RunOutcome::Stopped, "Preview: process was stoped by user."},
        {RunOutcome::DiskFull, "Preview: not enough disk space to perform this operation."},
        {RunOutcome::Unknown, "Preview: unknown error occured."},
    };
    for (const auto& [outcome, text] : cases)
        EXPECT_EQ(engine::previewOutcomeText(outcome, 2), text);
}

} // namespace
} // namespace tavrel::test
