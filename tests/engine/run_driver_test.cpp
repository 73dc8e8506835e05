// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/folder_scan.h"
#include "engine/run_progress.h"
#include "support/engine_fixture.h"
#include "support/faulty_file_system.h"

#include <gtest/gtest.h>

namespace tavrel::test {
namespace {

using Kind = RecordingSink::Kind;
using model::SyncMethod;
using Op = FaultyFileSystem::Operation;

std::vector<Node> numberedFiles(int count, const std::string& folder = "")
{
    std::vector<Node> nodes;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%02d.txt", i);
        nodes.push_back(file(folder + name, name, at(i)));
    }
    return nodes;
}

TEST_F(EngineTest, WritesTheStartLinesAndEndsOnceInCallOrder)
{
    buildTree(m_org, numberedFiles(2));
    addPair(SyncMethod::LightCopy, m_org, m_tgt, "Pair One");

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    const std::vector<RecordingSink::Call> calls = m_sink.calls();
    ASSERT_GE(calls.size(), 12u);
    EXPECT_EQ(calls[0].kind, Kind::RefreshStatistics);
    EXPECT_EQ(calls[1].kind, Kind::ClearLog);
    EXPECT_EQ(calls[2].text, "Start process.\r\n");
    EXPECT_EQ(calls[3].kind, Kind::SetProgress);
    EXPECT_EQ(calls[3].value, 0);
    EXPECT_EQ(calls[4].kind, Kind::StartRunTimer);
    EXPECT_EQ(calls[5].text, "Calculate the file amount... ");
    EXPECT_EQ(calls[6].text, "2\r\n");
    EXPECT_EQ(calls[7].value, 50);
    EXPECT_EQ(calls[8].text, "Handle pair : ");
    EXPECT_EQ(calls[9].text, "Pair One");
    EXPECT_EQ(calls[10].text, "\r\n");
    EXPECT_EQ(calls.back().kind, Kind::PostRunEnd);
    EXPECT_EQ(m_sink.log(), "Start process.\r\nCalculate the file amount... 2\r\nHandle pair : Pair One\r\n");
    EXPECT_EQ(m_state.totalFiles.load(), 2);
    EXPECT_EQ(m_state.processedFiles.load(), 2);
}

TEST_F(EngineTest, NothingToCountEndsAtOnceWithoutTouchingAnything)
{
    buildTree(m_org, {});
    buildTree(m_tgt, {file("old.txt", "x")});
    addPair(SyncMethod::AbsoluteCopy, m_org, m_dir / "tgt/new/");
    addPair(SyncMethod::AbsoluteCopy, m_org, m_tgt);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(m_sink.log(), "Start process.\r\nCalculate the file amount... 0\r\n");
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("old.txt", "x")}));
    EXPECT_EQ(m_sink.progress(), (std::vector<int>{0, 50}));
}

TEST_F(EngineTest, PairsRunInSlotOrderAndDisabledOrEmptySlotsArePassedOver)
{
    buildTree(m_org, numberedFiles(1));
    addPair(SyncMethod::LightCopy, m_org, m_dir / "t1", "first");
    addPair(SyncMethod::LightCopy, m_org, m_dir / "t2", "gone");
    addPair(SyncMethod::LightCopy, m_org, m_dir / "t3", "off").enabled = 0;
    addPair(SyncMethod::LightCopy, m_org, m_dir / "t4", "last");
    m_job.removePair(1);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(m_sink.log(), "Start process.\r\nCalculate the file amount... 2\r\nHandle pair : first\r\n"
                            "Handle pair : last\r\n");
    EXPECT_TRUE(snapshotTree(m_dir / "t3").empty());
}

TEST_F(EngineTest, ReportShowsTheTreeBreadthFirst)
{
    buildTree(m_org,
              {file("a.txt", "a"), file("d1/b.txt", "b"), file("d1/e/f.txt", "f"), file("d2/c.txt", "c")});
    addPair(SyncMethod::Copy);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(reportLines(), (std::vector<std::string>{
                                 "[A]~/tgt/",
                                 "[C]~/org/a.txt => ~/tgt/a.txt",
                                 "[A]~/tgt/d1/",
                                 "[C]~/org/d1/b.txt => ~/tgt/d1/b.txt",
                                 "[A]~/tgt/d2/",
                                 "[C]~/org/d2/c.txt => ~/tgt/d2/c.txt",
                                 "[A]~/tgt/d1/e/",
                                 "[C]~/org/d1/e/f.txt => ~/tgt/d1/e/f.txt",
                             }));
    EXPECT_EQ(operations(), (Ops{.tgtFilesCreated = 4, .tgtFoldersCreated = 4}.snapshot()));
}

// A front end may open the report as soon as it hears of the end: by then the report holds
// the run's error records and its tail, and is closed.
TEST_F(EngineTest, ReportIsWholeAndClosedWhenTheEndIsPosted)
{
    addPair(SyncMethod::LightCopy, m_dir / "unplugged", m_tgt, "gone");
    bool openAtEnd = true;
    std::string textAtEnd;
    std::vector<std::string> linesAtEnd;
    m_sink.onCall = [&](const RecordingSink::Call& call) {
        if (call.kind != Kind::PostRunEnd)
            return;
        openAtEnd = m_report.isOpen();
        textAtEnd = readFile(m_report.path().string());
        linesAtEnd = reportLines();
    };

    run();
    EXPECT_FALSE(openAtEnd);
    EXPECT_EQ(linesAtEnd, (std::vector<std::string>{
                              "[E]ERROR: cannot read folder: ~/unplugged/: ORG: No such file or directory"}));
    EXPECT_TRUE(textAtEnd.ends_with("</body>\n</html>\n")) << textAtEnd;
}

TEST_F(EngineTest, ProgressFollowsTheScaleAtItsFourPoints)
{
    EXPECT_EQ(engine::RunProgress::position(40, 19), 501);
    buildTree(m_org, numberedFiles(40));
    addPair(SyncMethod::LightCopy);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    // 0 and 50 around the count, 50 after the include pattern, every 20th file, after the loop.
    EXPECT_EQ(m_sink.progress(), (std::vector<int>{0, 50, 50, 501, 976, 1000}));
}

// A scan reports after each file pattern that finds anything at all (a folder will do, the
// files an Ignore mode leaves out too), after each excluded subfolder, and after every loop.
TEST_F(EngineTest, ProgressStepsFollowWhatEachSearchFinds)
{
    buildTree(m_org, {file("a.txt", "a"), file("Thumbs.db", "t"), file("skip/1.txt", "1"),
                      file("skip/2.txt", "2"), file("keep/b.txt", "b")});
    model::FolderPair& pair = addPair(SyncMethod::Copy);
    setPatterns(pair.includeFiles, {u"*.txt", u"*.none", u"k*"});
    setPatterns(pair.excludeFiles, {u"*.db", u"*.zzz"});
    pair.excludeFolders.append(u"skip");

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    // Counted 4: 237.5 units a file. Root: "*.txt", "k*" (the folder keep), "*.db" (1 skipped),
    // skip (2 more skipped), the loop; keep: "*.txt", the loop.
    EXPECT_EQ(m_sink.progress(), (std::vector<int>{0, 50, 50, 50, 287, 762, 1000, 1000, 1237}));
    EXPECT_EQ(m_state.processedFiles.load(), 5);
}

// A stop pressed as a pair begins ends the run before its first folder: nothing of the pair
// is done, not even its target root, and the next pair never starts.
TEST_F(EngineTest, StopTakesEffectBeforeTheNextFolder)
{
    buildTree(m_org, numberedFiles(5));
    addPair(SyncMethod::LightCopy, m_org, m_tgt, "one");
    addPair(SyncMethod::LightCopy, m_org, m_dir / "tgt2/", "two");
    m_sink.onCall = [this](const RecordingSink::Call& call) {
        if (call.text == "one")
            m_state.stopRequested.store(1);
    };

    EXPECT_EQ(run(), engine::RunResult::Stopped);
    EXPECT_TRUE(snapshotTree(m_tgt).empty());
    EXPECT_EQ(m_state.processedFiles.load(), 0);
    EXPECT_EQ(m_sink.log().find("two"), std::string::npos);
    EXPECT_EQ(m_sink.log().find("ERROR"), std::string::npos) << m_sink.log();
}

TEST_F(EngineTest, StopBeforeTheWorkerStartsIsLost)
{
    buildTree(m_org, numberedFiles(3));
    addPair(SyncMethod::LightCopy);
    m_state.stopRequested.store(1);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt).size(), 3u);
}

TEST_F(EngineTest, DiskFullEndsTheRunAtOnceWithoutAnErrorLine)
{
    buildTree(m_org, numberedFiles(4));
    addPair(SyncMethod::LightCopy, m_org, m_tgt, "one");
    addPair(SyncMethod::LightCopy, m_org, m_dir / "tgt2/", "two");
    FaultyFileSystem faulty(m_posix);
    faulty.failNth(Op::CopyCreateOnly, 2, platform::FsError::DiskFull);

    EXPECT_EQ(run(&faulty), engine::RunResult::DiskFull);
    EXPECT_EQ(m_sink.log(), "Start process.\r\nCalculate the file amount... 8\r\nHandle pair : one\r\n");
    EXPECT_EQ(faulty.callCount(Op::CopyCreateOnly), 2);
    // Only the first copy is there: no partial file of the second, no temporary left behind.
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({numberedFiles(1)}));
    EXPECT_EQ(operations(), (Ops{.tgtFilesCreated = 1, .tgtFoldersCreated = 1}.snapshot()));
}

TEST_F(EngineTest, DiskFullOnAnOverwriteEndsTheRunToo)
{
    buildTree(m_org, {file("a", "new", at(9)), file("b", "new", at(9))});
    buildTree(m_tgt, {file("a", "old", at(1)), file("b", "old", at(1))});
    addPair(SyncMethod::UpdateCopy);
    FaultyFileSystem faulty(m_posix);
    faulty.failNth(Op::CopyOverwrite, 1, platform::FsError::DiskFull);

    EXPECT_EQ(run(&faulty), engine::RunResult::DiskFull);
    EXPECT_EQ(m_sink.log().find("ERROR"), std::string::npos);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("a", "old", at(1)), file("b", "old", at(1))}));
}

TEST_F(EngineTest, CopyErrorsAreLoggedAndTheRunGoesOn)
{
    buildTree(m_org, {file("a", "1"), file("b", "2"), file("sub/c", "3")});
    addPair(SyncMethod::LightCopy);
    FaultyFileSystem faulty(m_posix);
    faulty.failMatching(Op::CopyCreateOnly, "/a", platform::FsError::AccessDenied);
    faulty.failMatching(Op::CreateFolder, "tgt/sub/", platform::FsError::AccessDenied);

    EXPECT_EQ(run(&faulty), engine::RunResult::Succeeded);
    EXPECT_EQ(relative(m_sink.log()),
              "Start process.\r\nCalculate the file amount... 3\r\nHandle pair : P\r\n"
              "ERROR: cannot copy file: ~/org/a\r\n"
              "ERROR: cannot create folder: ~/tgt/sub/\r\n");
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("b", "2")}));
}

TEST_F(EngineTest, SynchronizeReachesRootsGivenThroughLinks)
{
    // People often name a folder through a link (~/Documents -> /data/docs); only links met
    // inside the trees are leaves.
    buildTree(m_org, {file("o.txt", "o", at(1))});
    buildTree(m_tgt, {file("t.txt", "t", at(1))});
    buildTree(m_dir / "links", {symlink("org", m_org), symlink("tgt", m_tgt)});
    addPair(SyncMethod::Synchronize, m_dir / "links/org", m_dir / "links/tgt");

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(m_sink.log().find("ERROR"), std::string::npos) << m_sink.log();
    const std::vector<Node> merged{file("o.txt", "o", at(1)), file("t.txt", "t", at(1))};
    EXPECT_EQ(snapshotTree(m_org), describeTree(merged));
    EXPECT_EQ(snapshotTree(m_tgt), describeTree(merged));
}

TEST_F(EngineTest, SynchronizeWorksBothWaysAndASecondRunChangesNothing)
{
    buildTree(m_org, {file("both.txt", "org-new", at(20)), file("org-only.txt", "o", at(1)),
                      file("older.txt", "org-old", at(1)), file("osub/x", "x", at(1))});
    buildTree(m_tgt, {file("both.txt", "tgt-old", at(10)), file("tgt-only.txt", "t", at(1)),
                      file("older.txt", "tgt-new", at(30)), file("tsub/y", "y", at(1))});
    addPair(SyncMethod::Synchronize);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    const std::vector<Node> merged{file("both.txt", "org-new", at(20)),  file("org-only.txt", "o", at(1)),
                                   file("older.txt", "tgt-new", at(30)), file("tgt-only.txt", "t", at(1)),
                                   file("osub/x", "x", at(1)),           file("tsub/y", "y", at(1))};
    EXPECT_EQ(snapshotTree(m_org), describeTree(merged));
    EXPECT_EQ(snapshotTree(m_tgt), describeTree(merged));
    EXPECT_EQ(operations(), (Ops{.orgFilesCreated = 2,
                                 .orgFoldersCreated = 1,
                                 .orgFilesOverwritten = 1,
                                 .tgtFilesCreated = 2,
                                 .tgtFoldersCreated = 1,
                                 .tgtFilesOverwritten = 1}
                                 .snapshot()));
    // Counted 4 + 4; the two files created in TGT are met again from the TGT side.
    EXPECT_EQ(m_state.totalFiles.load(), 10);

    RecordingSink second;
    ASSERT_EQ(runWith(second), engine::RunResult::Succeeded);
    EXPECT_EQ(operations(), Ops{}.snapshot());
    EXPECT_EQ(snapshotTree(m_org), describeTree(merged));
    EXPECT_EQ(m_state.totalFiles.load(), 12);
}

// The way back starts right after the pair's root, before the root's subfolders: a subfolder
// the root task makes in TGT is not met again from the TGT side.
TEST_F(EngineTest, SynchronizeTakesTheWayBackRightAfterTheRoot)
{
    buildTree(m_org, {file("a", "a", at(1)), file("d/b", "b", at(1))});
    buildTree(m_tgt, {file("t/y", "y", at(1))});
    addPair(SyncMethod::Synchronize);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(reportLines(), (std::vector<std::string>{
                                 "[C]~/org/a => ~/tgt/a",
                                 "[A]~/tgt/d/",
                                 "[C]~/org/d/b => ~/tgt/d/b",
                                 "[A]~/org/t/",
                                 "[C]~/tgt/t/y => ~/org/t/y",
                             }));
    // a twice (once from each side), b and y once; counted 2 + 1, and two files made in TGT.
    EXPECT_EQ(m_state.processedFiles.load(), 4);
    EXPECT_EQ(m_state.totalFiles.load(), 5);
}

TEST_F(EngineTest, CountingWalkLogsItsSearchPathsBreadthFirst)
{
    buildTree(m_org, {file("a.txt", "a"), file("b.doc", "b"), file("s/c.txt", "c"), file("s/t/d.txt", "d"),
                      file("u/e.txt", "e")});
    std::vector<std::string> paths;
    const int32_t counted =
        engine::CountFiles(m_posix, m_dir / "org", true, {"*.txt", "*.doc"},
                           [&](std::string_view path) { paths.push_back(relative(std::string(path))); });
    EXPECT_EQ(counted, 5);
    EXPECT_EQ(paths, (std::vector<std::string>{
                         "~/org/*", "~/org/*.txt", "~/org/s/*", "~/org/s/*.txt", "~/org/u/*", "~/org/u/*.txt",
                         "~/org/s/t/*", "~/org/s/t/*.txt", "~/org/*", "~/org/*.doc", "~/org/s/*",
                         "~/org/s/*.doc", "~/org/u/*", "~/org/u/*.doc", "~/org/s/t/*", "~/org/s/t/*.doc"}));
    EXPECT_EQ(engine::CountFiles(m_posix, m_dir / "org", false, {"*"}, {}), 2);
    EXPECT_EQ(engine::CountFiles(m_posix, m_dir / "missing", true, {"*"}, {}), 0);
}

} // namespace
} // namespace tavrel::test
