// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/entry_list.h"
#include "platform/preview_file_system.h"
#include "support/engine_fixture.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tavrel::test {
namespace {

using model::AttributeMode;
using model::SyncMethod;

TEST(EntryListTest, SubtractRemovesTheFirstExactNamePerExclusion)
{
    engine::EntryList list;
    for (const char* name : {"a", "B", "a", "c", "a"})
        list.AppendName(name);
    engine::EntryList exclusions;
    for (const char* name : {"a", "b", "a", "zzz"})
        exclusions.AppendName(name);

    engine::Subtract(list, exclusions);
    EXPECT_EQ(list.names(), (std::vector<std::string>{"B", "c", "a"}));
}

TEST_F(EngineTest, ExcludedFilesAndSubfoldersAreSkippedAndCountedAsProcessed)
{
    buildTree(m_org, {file("a.txt", "a"), file("Thumbs.db", "t"), file("skip/1.txt", "1"),
                      file("skip/2.txt", "2"), file("skip/n/3.txt", "3"), file("keep/k.txt", "k")});
    model::FolderPair& pair = addPair(SyncMethod::Copy);
    pair.excludeFiles.append(u"thumbs.DB"); // case is ignored by the pattern match
    pair.excludeFolders.append(u"skip");

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("a.txt", "a"), file("keep/k.txt", "k")}));
    EXPECT_EQ(m_state.totalFiles.load(), 6);
    // Two handled, Thumbs.db and the three files of the excluded subtree skipped.
    EXPECT_EQ(m_state.processedFiles.load(), 6);
}

TEST_F(EngineTest, IncludeListsChooseFilesAndFoldersAndTwoMatchingPatternsListAFileTwice)
{
    buildTree(m_org, {file("a.txt", "a"), file("b.doc", "b"), file("c.bin", "c"), file("src/x.txt", "x"),
                      file("other/y.txt", "y")});
    model::FolderPair& pair = addPair(SyncMethod::LightCopy);
    setPatterns(pair.includeFiles, {u"*.txt", u"a*", u"*.DOC"});
    setPatterns(pair.includeFolders, {u"s*"});

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt),
              describeTree({file("a.txt", "a"), file("b.doc", "b"), file("src/x.txt", "x")}));
    // a.txt is found by two patterns: counted twice, handled twice, created once. The count
    // walks every folder; only src passes the folder filter.
    EXPECT_EQ(m_state.totalFiles.load(), 5);
    EXPECT_EQ(m_state.processedFiles.load(), 4);
    EXPECT_EQ(m_state.tgtFilesCreated.load(), 3);
}

TEST_F(EngineTest, WithoutSubfoldersOnlyTheRootIsProcessed)
{
    buildTree(m_org, {file("a", "a"), file("sub/b", "b")});
    buildTree(m_tgt, {file("old/c", "c")});
    addPair(SyncMethod::AbsoluteCopy).includeSubfolders = 0;

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("a", "a"), file("old/c", "c")}));
}

TEST_F(EngineTest, AbsoluteCopyKeepsTargetsThatTheFiltersDoNotList)
{
    buildTree(m_org, {file("a.txt", "a")});
    buildTree(m_tgt, {file("a.txt", "a"), file("gone.txt", "g"), file("log.tmp", "t"), file("data.bin", "d"),
                      file("cache/x", "x"), file("old/y", "y"), file("vendor/z", "z")});
    model::FolderPair& pair = addPair(SyncMethod::AbsoluteCopy);
    setPatterns(pair.includeFiles, {u"*.txt", u"*.tmp"});
    pair.excludeFiles.append(u"*.tmp");
    setPatterns(pair.includeFolders, {u"c*", u"o*"});
    pair.excludeFolders.append(u"cache");

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt),
              describeTree({file("a.txt", "a"), file("log.tmp", "t"), file("data.bin", "d"),
                            file("cache/x", "x"), file("vendor/z", "z")}));
    EXPECT_EQ(reportLines(), (std::vector<std::string>{"[D]~/tgt/gone.txt", "[D]~/tgt/old"}));
    EXPECT_EQ(operations(), (Ops{.tgtFilesDeleted = 1, .tgtFoldersDeleted = 1}.snapshot()));
}

// Files go before folders whatever their names; a target file listed by two patterns is
// deleted once, and the second attempt on the gone file counts nothing.
TEST_F(EngineTest, AbsoluteCopyDeletesFilesBeforeFoldersAndEachItemOnce)
{
    buildTree(m_org, {file("keep.txt", "k")});
    buildTree(m_tgt, {file("keep.txt", "k"), file("dup.txt", "d"), file("z.txt", "z"), file("a-dir/x", "x")});
    model::FolderPair& pair = addPair(SyncMethod::AbsoluteCopy);
    setPatterns(pair.includeFiles, {u"*.txt", u"d*"});

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("keep.txt", "k")}));
    EXPECT_EQ(reportLines(),
              (std::vector<std::string>{"[D]~/tgt/dup.txt", "[D]~/tgt/z.txt", "[D]~/tgt/a-dir"}));
    EXPECT_EQ(operations(), (Ops{.tgtFilesDeleted = 2, .tgtFoldersDeleted = 1}.snapshot()));
}

TEST_F(EngineTest, IgnoreModesLeaveFilesOutOnBothSides)
{
    buildTree(m_org, {file("plain", "p"), file("locked", "l", at(0), 0444), file(".hidden", "h"),
                      file("shadow", "s")});
    // Left-out targets are not listed on the TGT side either, so nothing deletes them.
    buildTree(m_tgt, {file(".tgt-hidden", "th"), file("locked", "old", at(5), 0444), file("stale", "x")});
    model::FolderPair& pair = addPair(SyncMethod::AbsoluteCopy);
    pair.readOnlyMode = AttributeMode::Ignore;
    pair.hiddenMode = AttributeMode::Ignore;

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt),
              describeTree({file(".tgt-hidden", "th"), file("locked", "old", at(5), 0444), file("plain", "p"),
                            file("shadow", "s")}));
    EXPECT_EQ(m_state.processedFiles.load(), 4); // two handled, two skipped
}

TEST_F(EngineTest, CopyOnlyNeverChangesOrDeletesATargetWithTheAttribute)
{
    buildTree(m_org, {file("a", "new", at(9)), file("b", "new", at(9)), file(".c", "new", at(9))});
    buildTree(m_tgt, {file("a", "old", at(1), 0444), file("b", "old", at(1)), file(".c", "old", at(1)),
                      file("extra-ro", "x", at(1), 0444), file("extra", "x", at(1)),
                      file("dir/inner-ro", "i", at(1), 0444), file("dir2/inner", "i", at(1))});
    model::FolderPair& pair = addPair(SyncMethod::AbsoluteCopy);
    pair.readOnlyMode = AttributeMode::CopyOnly;
    pair.hiddenMode = AttributeMode::CopyOnly;

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt),
              describeTree({file("a", "old", at(1), 0444), file("b", "new", at(9)), file(".c", "old", at(1)),
                            file("extra-ro", "x", at(1), 0444), file("dir/inner-ro", "i", at(1), 0444)}));
    EXPECT_EQ(operations(),
              (Ops{.tgtFilesOverwritten = 1, .tgtFilesDeleted = 1, .tgtFoldersDeleted = 1}.snapshot()));
}

TEST_F(EngineTest, CopyOnlyStillCreatesMissingFiles)
{
    buildTree(m_org, {file("ro", "r", at(1), 0444), file(".h", "h", at(1))});
    model::FolderPair& pair = addPair(SyncMethod::Copy);
    pair.readOnlyMode = AttributeMode::CopyOnly;
    pair.hiddenMode = AttributeMode::CopyOnly;

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("ro", "r", at(1), 0444), file(".h", "h", at(1))}));
}

// FIFOs, sockets and devices in ORG are never opened nor copied; the user hears of them in one
// warning per pair, at its end, with the pair's whole count (and Synchronize, which copies back
// from TGT, of TGT's as well). A warning is no error: the run succeeds, each time, and a
// preview warns alike.
TEST_F(EngineTest, SpecialFilesGiveOneWarningPerSourceRootAndNoError)
{
    struct Case
    {
        const char* name;
        SyncMethod method;
        bool preview;
        std::vector<std::string> warnings;
    };
    const Case cases[] = {
        {"mirror", SyncMethod::AbsoluteCopy, false, {"WARNING: special files skipped: 3 in ~/org/"}},
        {"preview", SyncMethod::AbsoluteCopy, true, {"WARNING: special files skipped: 3 in ~/org/"}},
        {"both ways",
         SyncMethod::Synchronize,
         false,
         {"WARNING: special files skipped: 3 in ~/org/", "WARNING: special files skipped: 1 in ~/tgt/"}},
    };
    buildTree(m_dir / "plain", {file("c", "c")});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(m_org);
        std::filesystem::remove_all(m_tgt);
        buildTree(m_org, {file("a", "a"), fifo("pipe"), file("sub/b", "b"), fifo("sub/pipe"),
                          unixSocket("sub/sock")});
        buildTree(m_tgt, {fifo("tpipe")});
        m_job.clear();
        addPair(c.method);
        addPair(SyncMethod::LightCopy, m_dir / "plain", m_dir / "copy", "no specials");
        for (int round = 1; round <= 2; ++round) {
            SCOPED_TRACE(round);
            platform::PreviewFileSystem preview(m_posix);
            RecordingSink sink;
            EXPECT_EQ(runWith(sink, c.preview ? &preview : nullptr), engine::RunResult::Succeeded);
            EXPECT_EQ(m_state.errors.load(), 0);
            std::vector<std::string> warnings;
            for (const std::string& line : sink.logLines())
                if (line.starts_with("WARNING: "))
                    warnings.push_back(relative(line));
            EXPECT_EQ(warnings, c.warnings) << sink.log();
            // At the end of its pair: right before the next pair's first line.
            const std::string log = relative(sink.log());
            EXPECT_NE(log.find(c.warnings.back() + "\r\nHandle pair : no specials\r\n"), std::string::npos)
                << log;
        }
        EXPECT_EQ(snapshotTree(m_tgt).count("sub/b"), c.preview ? 0u : 1u);
        EXPECT_EQ(snapshotTree(m_tgt).count("sub/pipe"), 0u);
    }
}

} // namespace
} // namespace tavrel::test
