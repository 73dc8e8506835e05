// SPDX-License-Identifier: GPL-3.0-or-later
// Before a mirror deletes most of its target, it asks; with the recycle bin on, what a run
// replaces is kept there like what it deletes.
#include "support/engine_fixture.h"
#include "support/scoped_env.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

namespace tavrel::test {
namespace {

using engine::MassDeletionAnswer;
using model::SyncMethod;

std::vector<Node> numberedFiles(const std::string& prefix, int count)
{
    std::vector<Node> nodes;
    for (int i = 0; i < count; ++i)
        nodes.push_back(file(prefix + std::to_string(i), "x"));
    return nodes;
}

struct GuardCase
{
    const char* name;
    int kept;      // files both sides have
    int doomed;    // files only the target has, half of them in a folder of their own
    bool orgEmpty; // ORG holds nothing at all
    bool asks;
};

class MassDeletion : public EngineTest, public ::testing::WithParamInterface<GuardCase>
{
};

TEST_P(MassDeletion, AsksBeforeTheFirstDeletionAndNoKeepsTheTargetButAPreviewAsksNoOne)
{
    const GuardCase c = GetParam();
    std::vector<Node> org = c.orgEmpty ? std::vector<Node>{folder("")} : numberedFiles("k", c.kept);
    std::vector<Node> tgt = numberedFiles("k", c.kept);
    for (const Node& node : numberedFiles("gone", c.doomed / 2))
        tgt.push_back(node);
    for (const Node& node : numberedFiles("old/gone", c.doomed - c.doomed / 2))
        tgt.push_back(node);
    buildTree(m_org, org);
    buildTree(m_tgt, tgt);
    addPair(SyncMethod::AbsoluteCopy, m_org, m_tgt, "mirror");
    // A run that counts no file at all ends before any pair: another pair gives it one.
    buildTree(m_dir / "more", {file("x", "x")});
    addPair(SyncMethod::LightCopy, m_dir / "more", m_dir / "more-copy", "more");
    const TreeSnapshot before = snapshotTree(m_tgt);
    const int targetFiles = c.orgEmpty ? c.doomed : c.kept + c.doomed;
    const std::string statement = "Absolute Copy of pair mirror would delete " + std::to_string(c.doomed) +
                                  " of " + std::to_string(targetFiles) + " files in ~/tgt/.";

    // A preview asks no one, whatever the answer would be: it shows the deletions a yes would
    // make and says that a real run asks.
    {
        RecordingSink sink;
        sink.massDeletionAnswer = MassDeletionAnswer::SkipWithError;
        previewWith(sink);
        const std::string log = relative(sink.log());
        EXPECT_TRUE(sink.questions().empty());
        EXPECT_EQ(log.find("Preview: " + statement + " A real run asks before deleting them.\r\n") !=
                      std::string::npos,
                  c.asks)
            << log;
        EXPECT_EQ(log.find("Deletions skipped"), std::string::npos) << log;
        EXPECT_EQ(m_state.errors.load(), 0);
        EXPECT_EQ(m_state.tgtFilesDeleted.load(), c.doomed / 2);
        EXPECT_EQ(snapshotTree(m_tgt), before);
    }

    for (MassDeletionAnswer answer :
         {MassDeletionAnswer::Skip, MassDeletionAnswer::SkipWithError, MassDeletionAnswer::Delete}) {
        SCOPED_TRACE(static_cast<int>(answer));
        RecordingSink sink;
        sink.massDeletionAnswer = answer;
        runWith(sink);
        if (!c.asks) {
            EXPECT_TRUE(sink.questions().empty());
            EXPECT_EQ(snapshotTree(m_tgt).count("old"), 0u);
            return; // deleted the first time: nothing more to ask about
        }
        ASSERT_EQ(sink.questions().size(), 1u);
        EXPECT_EQ(relative(sink.questions()[0]), statement + " Delete them?");
        if (answer == MassDeletionAnswer::Delete) {
            EXPECT_EQ(snapshotTree(m_tgt).count("old"), 0u);
            EXPECT_EQ(m_state.tgtFilesDeleted.load(), c.doomed / 2);
        } else {
            EXPECT_EQ(snapshotTree(m_tgt), before);
            EXPECT_NE(sink.log().find("Deletions skipped: mirror\r\n"), std::string::npos) << sink.log();
            EXPECT_EQ(m_state.errors.load(), answer == MassDeletionAnswer::SkipWithError ? 1 : 0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, MassDeletion,
                         ::testing::Values(GuardCase{"over half and over ten", 8, 12, false, true},
                                           GuardCase{"empty original", 0, 4, true, true},
                                           GuardCase{"under half", 20, 12, false, false},
                                           GuardCase{"exactly half", 12, 12, false, false},
                                           GuardCase{"half plus one", 11, 13, false, true},
                                           GuardCase{"ten or fewer", 2, 10, false, false}),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (ch == ' ')
                                     ch = '_';
                             return name;
                         });

// An overwrite with the recycle bin on leaves the old content there, with its record; the log
// and the report read as for any overwrite.
TEST_F(EngineTest, OverwrittenFilesGoToTheTrashFirst)
{
    ScopedEnv home("HOME", m_dir.path());
    ScopedEnv data("XDG_DATA_HOME", m_dir / "data");
    buildTree(m_org, {file("doc", "new", at(9))});
    buildTree(m_tgt, {file("doc", "old", at(1))});
    addPair(SyncMethod::UpdateCopy).recycleDeleted = 1;

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(readFile(m_tgt + "doc"), "new");
    EXPECT_EQ(readFile(m_dir / "data/Trash/files/doc"), "old");
    EXPECT_NE(readFile(m_dir / "data/Trash/info/doc.trashinfo").find("Path=" + m_tgt + "doc\n"),
              std::string::npos);
    EXPECT_EQ(reportLines(), (std::vector<std::string>{"[O]~/org/doc => ~/tgt/doc"}));
    EXPECT_EQ(m_state.errors.load(), 0);
}

// No trash to be had (the data folder lies under a file): the overwrite fails with its error
// line and the old file stays as it was.
TEST_F(EngineTest, OverwriteWithoutATrashKeepsTheOldFile)
{
    ScopedEnv home("HOME", m_dir.path());
    buildTree(m_dir.path(), {file("blocker", "not a folder")});
    ScopedEnv data("XDG_DATA_HOME", m_dir / "blocker/share");
    buildTree(m_org, {file("doc", "new", at(9))});
    buildTree(m_tgt, {file("doc", "old", at(1))});
    addPair(SyncMethod::UpdateCopy).recycleDeleted = 1;

    run();
    EXPECT_EQ(readFile(m_tgt + "doc"), "old");
    EXPECT_NE(relative(m_sink.log()).find("ERROR: cannot copy file: ~/org/doc\r\n"), std::string::npos)
        << m_sink.log();
    EXPECT_EQ(m_state.errors.load(), 1);
}

} // namespace
} // namespace tavrel::test
