// SPDX-License-Identifier: GPL-3.0-or-later
// Synchronize that remembers its last run: deletions stay deleted, a change wins over an
// unchanged side whatever the clocks say, both-sided changes are conflicts, and without a
// state nothing is deleted.
#include "engine/run_driver.h"
#include "support/engine_fixture.h"
#include "support/scoped_env.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace tavrel::test {
namespace {

using model::SyncMethod;

class RememberedSyncTest : public EngineTest
{
protected:
    RememberedSyncTest()
    {
        model::FolderPair& pair = addPair(SyncMethod::Synchronize);
        pair.extras.rememberState = true;
        pair.extras.pairId = model::newPairId();
    }

    // One run with a sink of its own; the log.
    std::string again(engine::MassDeletionAnswer answer = engine::MassDeletionAnswer::Delete)
    {
        RecordingSink sink;
        sink.massDeletionAnswer = answer;
        runWith(sink);
        return relative(sink.log());
    }

    ScopedEnv m_data{"XDG_DATA_HOME", m_dir / "data"};
};

// A first run without a state copies both ways and deletes nothing; a second run changes
// nothing; a file deleted on either side is then deleted on the other and stays deleted.
TEST_F(RememberedSyncTest, DeletionsStayDeletedOnBothSides)
{
    buildTree(m_org, {file("a", "a", at(1)), file("sub/b", "b", at(1))});
    buildTree(m_tgt, {file("c", "c", at(1))});
    EXPECT_NE(again().find("WARNING: no state for pair P: first run rules"), std::string::npos);
    EXPECT_EQ(snapshotTree(m_org), snapshotTree(m_tgt));

    again();
    EXPECT_EQ(operations(), Ops{}.snapshot());

    std::filesystem::remove(m_org + "a");
    std::filesystem::remove_all(m_tgt + "sub");
    again();
    EXPECT_EQ(snapshotTree(m_org), describeTree({file("c", "c", at(1))}));
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("c", "c", at(1))}));
    EXPECT_EQ(m_state.tgtFilesDeleted.load(), 1);
    EXPECT_EQ(m_state.orgFoldersDeleted.load(), 1);

    again();
    EXPECT_EQ(operations(), Ops{}.snapshot());
    EXPECT_EQ(snapshotTree(m_org), describeTree({file("c", "c", at(1))}));
}

// An edit wins over the unchanged side even when the other side's clock says later; a file
// changed on both sides is a conflict: both stay, one line, an error of the run.
TEST_F(RememberedSyncTest, ChangesWinByTheRecordAndBothSidedChangesAreConflicts)
{
    buildTree(m_org, {file("edited", "v1", at(5)), file("both", "v1", at(5))});
    buildTree(m_tgt, {file("edited", "v1", at(5)), file("both", "v1", at(5))});
    again();
    ASSERT_EQ(operations(), Ops{}.snapshot());

    buildTree(m_org, {file("edited", "today's edit", at(3)), file("both", "org side", at(7))});
    buildTree(m_tgt, {file("both", "tgt side", at(8))});
    const std::string log = again();
    EXPECT_EQ(readFile(m_tgt + "edited"), "today's edit");
    EXPECT_EQ(readFile(m_org + "both"), "org side");
    EXPECT_EQ(readFile(m_tgt + "both"), "tgt side");
    EXPECT_NE(log.find("CONFLICT: both changed: ~/org/both\r\n"), std::string::npos) << log;
    EXPECT_EQ(m_state.errors.load(), 1);
    EXPECT_EQ(m_state.conflicts.load(), 1);
    // The conflict stays until someone settles it.
    EXPECT_NE(again().find("CONFLICT: both changed: ~/org/both"), std::string::npos);
}

// A lost state means first-run rules: what one side lacks comes back, nothing is deleted.
TEST_F(RememberedSyncTest, WithoutTheStateNothingIsDeleted)
{
    buildTree(m_org, {file("a", "a", at(1))});
    again();
    std::filesystem::remove_all(m_dir / "data/tavrel-sync/state");
    std::filesystem::remove(m_org + "a");
    const std::string log = again();
    EXPECT_NE(log.find("WARNING: no state for pair P"), std::string::npos) << log;
    EXPECT_EQ(readFile(m_org + "a"), "a");
}

// A side emptied since the last run (an unplugged or wiped drive) asks before the other side
// is emptied too; No keeps everything.
TEST_F(RememberedSyncTest, AnEmptiedRootAsksFirst)
{
    buildTree(m_org, {file("a", "a", at(1)), file("b", "b", at(1))});
    again();
    std::filesystem::remove(m_org + "a");
    std::filesystem::remove(m_org + "b");
    const std::string log = again(engine::MassDeletionAnswer::Skip);
    EXPECT_NE(log.find("Deletions skipped: P"), std::string::npos) << log;
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("a", "a", at(1)), file("b", "b", at(1))}));
}

// A preview decides the same but changes nothing, the state included.
TEST_F(RememberedSyncTest, PreviewKeepsNoState)
{
    buildTree(m_org, {file("a", "a", at(1))});
    std::thread worker;
    RecordingSink sink;
    ASSERT_TRUE(engine::StartPreview({m_job, m_state, m_posix, m_report, sink, {}}, worker));
    ASSERT_TRUE(sink.waitForEnd());
    worker.join();
    EXPECT_FALSE(std::filesystem::exists(m_tgt + "a"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "data/tavrel-sync/state"));
}

} // namespace
} // namespace tavrel::test
