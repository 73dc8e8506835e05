// SPDX-License-Identifier: GPL-3.0-or-later
// Synchronize that remembers its last run: deletions stay deleted, a change wins over an
// unchanged side whatever the clocks say, both-sided changes are conflicts, and without a
// state nothing is deleted.
#include "engine/run_driver.h"
#include "engine/sync_names.h"
#include "engine/time_rule.h"
#include "state/state_store.h"
#include "state/sync_state.h"
#include "support/engine_fixture.h"
#include "support/faulty_file_system.h"
#include "support/hooked_file_system.h"
#include "support/program_runner.h"
#include "support/scoped_env.h"
#include "text/text_codec.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
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

    // One run with a sink of its own (through `fs`, when given); the log.
    std::string again(engine::MassDeletionAnswer answer = engine::MassDeletionAnswer::Delete,
                      platform::FileSystem* fs = nullptr)
    {
        RecordingSink sink;
        sink.massDeletionAnswer = answer;
        runWith(sink, fs);
        return relative(sink.log());
    }

    // A fresh pair (a new id, so no state) over fresh trees.
    model::FolderPair& freshPair()
    {
        std::filesystem::remove_all(m_org);
        std::filesystem::remove_all(m_tgt);
        m_job.clear();
        model::FolderPair& pair = addPair(SyncMethod::Synchronize);
        pair.extras.rememberState = true;
        pair.extras.pairId = model::newPairId();
        return pair;
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

// A run cut short (a stop after k operations, a full disk, a copy or deletion that fails)
// keeps the records of what it did not finish: the next run completes the work, brings back
// nothing that was deleted, and the one after that has nothing left to do.
TEST_F(RememberedSyncTest, AnInterruptedRunIsFinishedByTheNextOneAndResurrectsNothing)
{
    using Op = FaultyFileSystem::Operation;
    const struct
    {
        const char* what;
        int stopAfter; // operations (copies and deletions) before the stop; 0: none
        Op failing;    // with `failAt`: the call that fails
        int failAt;    // 0: none
        platform::FsError error;
    } cases[] = {
        {"stop after 1", 1, Op::List, 0, platform::FsError::Ok},
        {"stop after 3", 3, Op::List, 0, platform::FsError::Ok},
        {"stop after 5", 5, Op::List, 0, platform::FsError::Ok},
        {"stop after 8", 8, Op::List, 0, platform::FsError::Ok},
        {"disk full at the 1st new copy", 0, Op::CopyCreateOnly, 1, platform::FsError::DiskFull},
        {"disk full at the 2nd overwrite", 0, Op::CopyOverwrite, 2, platform::FsError::DiskFull},
        {"the 2nd deletion fails", 0, Op::Delete, 2, platform::FsError::Other},
        {"the 1st deletion finds the disk full", 0, Op::Delete, 1, platform::FsError::DiskFull},
        {"the 2nd new copy fails", 0, Op::CopyCreateOnly, 2, platform::FsError::Other},
        {"a listing fails mid-pair", 0, Op::List, 6, platform::FsError::Other},
    };
    const std::vector<Node> start = {file("a1", "1", at(1)),     file("a2", "2", at(1)),
                                     file("a3", "3", at(1)),     file("a4", "4", at(1)),
                                     file("a5", "5", at(1)),     file("a6", "6", at(1)),
                                     file("sub/s1", "s", at(1)), file("sub/deep/s2", "s", at(1))};
    const TreeSnapshot converged =
        describeTree({file("a4", "org edit", at(5)), file("a5", "tgt edit", at(5)), file("a6", "6", at(1)),
                      file("n1", "n1", at(2)), file("n2", "n2", at(2)), file("n3", "n3", at(2))});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        freshPair();
        buildTree(m_org, start);
        buildTree(m_tgt, start);
        again();
        ASSERT_EQ(operations(), Ops{}.snapshot());
        // Since: deletions on both sides (a folder among them), edits on both, new files on both.
        std::filesystem::remove(m_org + "a1");
        std::filesystem::remove(m_org + "a2");
        std::filesystem::remove(m_tgt + "a3");
        std::filesystem::remove_all(m_org + "sub");
        buildTree(m_org, {file("a4", "org edit", at(5)), file("n1", "n1", at(2)), file("n2", "n2", at(2))});
        buildTree(m_tgt, {file("a5", "tgt edit", at(5)), file("n3", "n3", at(2))});

        HookedFileSystem hooked(m_posix);
        FaultyFileSystem faulty(m_posix);
        int operationsDone = 0;
        auto countOne = [&] {
            if (++operationsDone == c.stopAfter)
                m_state.stopRequested.store(1);
        };
        hooked.beforeCopy = [&](const std::string&, const std::string&) { countOne(); };
        hooked.beforeDelete = [&](const std::string&) { countOne(); };
        if (c.failAt != 0)
            faulty.failNth(c.failing, c.failAt, c.error);
        const std::string cut =
            again(engine::MassDeletionAnswer::Delete,
                  c.stopAfter != 0 ? static_cast<platform::FileSystem*>(&hooked) : &faulty);
        EXPECT_TRUE(snapshotTree(m_org) != converged || snapshotTree(m_tgt) != converged)
            << "the case interrupts nothing: " << cut;

        const std::string log = again();
        EXPECT_EQ(snapshotTree(m_org), converged) << log;
        EXPECT_EQ(snapshotTree(m_tgt), converged) << log;
        EXPECT_EQ(log.find("CONFLICT"), std::string::npos) << log;
        again();
        EXPECT_EQ(operations(), Ops{}.snapshot());
        EXPECT_EQ(snapshotTree(m_org), converged);
    }
}

// The same trees under other root paths are no longer the trees the state was recorded for:
// first-run rules, so a file missing on one side comes back instead of being deleted.
TEST_F(RememberedSyncTest, MovedRootsRunByFirstRunRules)
{
    buildTree(m_org, {file("a", "a", at(1)), file("b", "b", at(1))});
    again();
    ASSERT_EQ(snapshotTree(m_tgt), snapshotTree(m_org));
    std::filesystem::rename(m_org, m_dir / "org moved");
    std::filesystem::rename(m_tgt, m_dir / "tgt moved");
    m_job.pairAt(0)->orgPath = text::fromUtf8(m_dir / "org moved");
    m_job.pairAt(0)->tgtPath = text::fromUtf8(m_dir / "tgt moved");
    std::filesystem::remove(m_dir / "org moved/a");
    const std::string log = again();
    EXPECT_NE(log.find("WARNING: no state for pair P: first run rules"), std::string::npos) << log;
    EXPECT_EQ(readFile(m_dir / "org moved/a"), "a");
    EXPECT_EQ(readFile(m_dir / "tgt moved/a"), "a");
    // Remembered for the new roots from then on: a deletion now stays deleted.
    std::filesystem::remove(m_dir / "org moved/b");
    EXPECT_EQ(again().find("WARNING"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "tgt moved/b"));
}

// A filter narrowed between runs leaves what it now filters out alone on both sides and keeps
// its records; widened again, what did not change meanwhile is neither copied nor deleted,
// and a deletion made while it was filtered out is taken as the deletion it is.
TEST_F(RememberedSyncTest, ANarrowedFilterKeepsItsRecordsUntilWidenedAgain)
{
    buildTree(m_org, {file("a.txt", "a", at(1)), file("b.log", "b", at(1)), file("c.log", "c", at(1)),
                      file("logs/d", "d", at(1))});
    again();
    model::FolderPair& pair = *m_job.pairAt(0);
    setPatterns(pair.excludeFiles, {u"*.log"});
    setPatterns(pair.excludeFolders, {u"logs"});
    std::filesystem::remove(m_org + "b.log");
    std::filesystem::remove_all(m_tgt + "logs");
    again();
    EXPECT_EQ(operations(), Ops{}.snapshot());
    EXPECT_EQ(readFile(m_tgt + "b.log"), "b") << "filtered out: nothing done";
    EXPECT_EQ(readFile(m_org + "logs/d"), "d");

    setPatterns(pair.excludeFiles, {});
    setPatterns(pair.excludeFolders, {});
    const std::string log = again();
    EXPECT_EQ(log.find("CONFLICT"), std::string::npos) << log;
    const TreeSnapshot expected = describeTree({file("a.txt", "a", at(1)), file("c.log", "c", at(1))});
    EXPECT_EQ(snapshotTree(m_org), expected) << "unchanged c.log is neither copied nor deleted";
    EXPECT_EQ(snapshotTree(m_tgt), expected) << "the deletions made meanwhile are not undone";
    EXPECT_EQ(m_state.tgtFilesDeleted.load(), 1);
    EXPECT_EQ(m_state.orgFoldersDeleted.load(), 1);
    EXPECT_EQ(m_state.allOperations.load(), 2);
}

// What "changed" can see: size, and the time at the precision both volumes keep. A rewrite of
// the same size whose time moved by less than that precision (a FAT stick keeps 2 s) is not
// seen, and the other side's copy stays; one that moved further is copied.
TEST_F(RememberedSyncTest, ASameSizeRewriteIsSeenOnlyBeyondTheVolumesTimePrecision)
{
    const struct
    {
        const char* what;
        int64_t precision; // 100 ns ticks
        int64_t shiftNs;
        bool copied;
    } cases[] = {
        {"exact volume, 100 ns later", 1, 100, true},
        {"exact volume, same time", 1, 0, false},
        {"2 s volume, 1 s later", 2 * engine::kTicksPerSecond, 1'000'000'000, false},
        {"2 s volume, 4 s later", 2 * engine::kTicksPerSecond, 4'000'000'000, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        freshPair();
        FaultyFileSystem volume(m_posix);
        platform::VolumeTraits traits;
        traits.probed = true;
        traits.timePrecision = c.precision;
        volume.pretendVolume(traits);
        buildTree(m_org, {file("doc", "version 1", at(10))});
        again(engine::MassDeletionAnswer::Delete, &volume);
        ASSERT_EQ(readFile(m_tgt + "doc"), "version 1");
        buildTree(m_org, {file("doc", "version 2", at(10) + c.shiftNs)});
        again(engine::MassDeletionAnswer::Delete, &volume);
        EXPECT_EQ(readFile(m_tgt + "doc"), c.copied ? "version 2" : "version 1");
        EXPECT_EQ(readFile(m_org + "doc"), "version 2") << "nothing is ever copied back over the rewrite";
    }
}

// A folder deleted on both sides by a run and later put back (restored from a backup, with
// the old files and times) is new again: copied to the other side, never taken for a deletion.
TEST_F(RememberedSyncTest, AFolderPutBackAfterItsDeletionIsNewAgain)
{
    buildTree(m_org, {file("keep", "k", at(1)), file("sub/s", "s", at(1))});
    again();
    std::filesystem::remove_all(m_org + "sub");
    again();
    ASSERT_FALSE(std::filesystem::exists(m_tgt + "sub"));
    buildTree(m_tgt, {file("sub/s", "s", at(1))});
    const std::string log = again();
    EXPECT_EQ(readFile(m_org + "sub/s"), "s") << log;
    EXPECT_EQ(readFile(m_tgt + "sub/s"), "s") << log;
}

// The decision table, a row per rule, each run on real trees after a first run that recorded
// them; the same trees and changes also go through unison -batch (with the -prefer its rule
// needs), and where both tools have the rule the trees must come out alike. keep-both is
// compared to -prefer newer by the file's name only: unison keeps no loser beside it.
TEST_F(RememberedSyncTest, TheDecisionTableAgreesWithUnisonWhereTheRulesMatch)
{
    const std::string unison = "/usr/bin/unison";
    const bool haveUnison = std::filesystem::exists(unison);
    using P = model::ConflictPolicy;
    enum class Peer
    {
        None, // unison has no such rule: ours alone is checked
        Batch,
        PreferOrg,
        PreferTgt,
        PreferNewer,
    };
    const std::vector<Node> record = {file("keep", "k", at(1)), file("f", "v1", at(1)),
                                      file("d/x", "x", at(1))};
    const Node kept = file("keep", "k", at(1));
    const Node dx = file("d/x", "x", at(1));
    const Node orgEdit = file("f", "org edit", at(5));
    const Node tgtEdit = file("f", "tgt edit", at(7));
    const std::string loserName = engine::conflictName("f", engine::civilTimeOf(at(5) / 100));
    const struct
    {
        const char* what;
        std::vector<Node> orgWrite;
        std::vector<std::string> orgRemove;
        std::vector<Node> tgtWrite;
        std::vector<std::string> tgtRemove;
        P policy;
        std::vector<Node> orgAfter;
        std::vector<Node> tgtAfter;
        const char* logged; // a line the run logs, or ""
        Peer peer;
    } rows[] = {
        {"unchanged", {}, {}, {}, {}, P::Skip, record, record, "", Peer::Batch},
        {"ORG edited, dated before the record",
         {file("f", "org", at(0))},
         {},
         {},
         {},
         P::Skip,
         {kept, file("f", "org", at(0)), dx},
         {kept, file("f", "org", at(0)), dx},
         "",
         Peer::Batch},
        {"TGT edited",
         {},
         {},
         {tgtEdit},
         {},
         P::Skip,
         {kept, tgtEdit, dx},
         {kept, tgtEdit, dx},
         "",
         Peer::Batch},
        {"deleted in ORG", {}, {"f"}, {}, {}, P::Skip, {kept, dx}, {kept, dx}, "", Peer::Batch},
        {"deleted in TGT", {}, {}, {}, {"f"}, P::Skip, {kept, dx}, {kept, dx}, "", Peer::Batch},
        {"deleted on both", {}, {"f"}, {}, {"f"}, P::Skip, {kept, dx}, {kept, dx}, "", Peer::Batch},
        {"new in ORG",
         {file("g", "g", at(3))},
         {},
         {},
         {},
         P::Skip,
         {kept, file("f", "v1", at(1)), dx, file("g", "g", at(3))},
         {kept, file("f", "v1", at(1)), dx, file("g", "g", at(3))},
         "",
         Peer::Batch},
        {"both edited alike",
         {orgEdit},
         {},
         {orgEdit},
         {},
         P::Skip,
         {kept, orgEdit, dx},
         {kept, orgEdit, dx},
         "",
         Peer::Batch},
        {"both edited, skip",
         {orgEdit},
         {},
         {tgtEdit},
         {},
         P::Skip,
         {kept, orgEdit, dx},
         {kept, tgtEdit, dx},
         "CONFLICT: both changed: ",
         Peer::Batch},
        {"both edited, ORG wins",
         {orgEdit},
         {},
         {tgtEdit},
         {},
         P::OrgWins,
         {kept, orgEdit, dx},
         {kept, orgEdit, dx},
         "",
         Peer::PreferOrg},
        {"both edited, TGT wins",
         {orgEdit},
         {},
         {tgtEdit},
         {},
         P::TgtWins,
         {kept, tgtEdit, dx},
         {kept, tgtEdit, dx},
         "",
         Peer::PreferTgt},
        {"both edited, keep both",
         {orgEdit},
         {},
         {tgtEdit},
         {},
         P::KeepBoth,
         {kept, tgtEdit, dx, file(loserName, "org edit", at(5))},
         {kept, tgtEdit, dx, file(loserName, "org edit", at(5))},
         "",
         Peer::PreferNewer},
        {"both new and different, skip",
         {file("g", "org g", at(3))},
         {},
         {file("g", "tgt g", at(4))},
         {},
         P::Skip,
         {kept, file("f", "v1", at(1)), dx, file("g", "org g", at(3))},
         {kept, file("f", "v1", at(1)), dx, file("g", "tgt g", at(4))},
         "CONFLICT: both changed: ",
         Peer::Batch},
        {"ORG edited, TGT deleted, skip",
         {orgEdit},
         {},
         {},
         {"f"},
         P::Skip,
         {kept, orgEdit, dx},
         {kept, dx},
         "CONFLICT: changed here, deleted there: ",
         Peer::Batch},
        {"ORG edited, TGT deleted, ORG wins",
         {orgEdit},
         {},
         {},
         {"f"},
         P::OrgWins,
         {kept, orgEdit, dx},
         {kept, orgEdit, dx},
         "",
         Peer::PreferOrg},
        {"ORG edited, TGT deleted, TGT wins",
         {orgEdit},
         {},
         {},
         {"f"},
         P::TgtWins,
         {kept, dx},
         {kept, dx},
         "",
         Peer::PreferTgt},
        {"ORG edited, TGT deleted, keep both",
         {orgEdit},
         {},
         {},
         {"f"},
         P::KeepBoth,
         {kept, orgEdit, dx},
         {kept, orgEdit, dx},
         "",
         Peer::None},
        {"folder deleted in ORG",
         {},
         {"d"},
         {},
         {},
         P::Skip,
         {kept, file("f", "v1", at(1))},
         {kept, file("f", "v1", at(1))},
         "",
         Peer::Batch},
        {"folder deleted in ORG, new beneath in TGT",
         {},
         {"d"},
         {file("d/new", "n", at(3))},
         {},
         P::Skip,
         {kept, file("f", "v1", at(1))},
         {kept, file("f", "v1", at(1)), dx, file("d/new", "n", at(3))},
         "CONFLICT: changed here, deleted there: ",
         Peer::Batch},
    };
    auto change = [](const std::string& root, const std::vector<Node>& writes,
                     const std::vector<std::string>& removes) {
        for (const std::string& gone : removes)
            std::filesystem::remove_all(root + gone);
        buildTree(root, writes);
    };
    const std::string uOrg = m_dir / "u-org/";
    const std::string uTgt = m_dir / "u-tgt/";
    ScopedEnv archives("UNISON", m_dir / "u-archives");
    auto runUnison = [&](const std::vector<std::string>& more) {
        std::vector<std::string> arguments = {
            uOrg, uTgt, "-batch", "-times", "-perms", "0", "-confirmbigdel=false"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        const ProgramOutcome outcome = runProgram(unison, arguments, m_dir.path());
        EXPECT_TRUE(outcome.status == 0 || outcome.status == 1) << outcome.err;
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        freshPair().extras.conflictPolicy = row.policy;
        buildTree(m_org, record);
        buildTree(m_tgt, record);
        again();
        change(m_org, row.orgWrite, row.orgRemove);
        change(m_tgt, row.tgtWrite, row.tgtRemove);
        const std::string log = again();
        EXPECT_EQ(snapshotTree(m_org), describeTree(row.orgAfter)) << log;
        EXPECT_EQ(snapshotTree(m_tgt), describeTree(row.tgtAfter)) << log;
        if (*row.logged != '\0') {
            EXPECT_NE(log.find(row.logged), std::string::npos) << log;
        } else {
            EXPECT_EQ(log.find("CONFLICT"), std::string::npos) << log;
        }
        if (row.peer == Peer::None || !haveUnison)
            continue;
        std::filesystem::remove_all(uOrg);
        std::filesystem::remove_all(uTgt);
        std::filesystem::remove_all(m_dir / "u-archives");
        buildTree(uOrg, record);
        buildTree(uTgt, record);
        runUnison({});
        change(uOrg, row.orgWrite, row.orgRemove);
        change(uTgt, row.tgtWrite, row.tgtRemove);
        runUnison(row.peer == Peer::PreferOrg     ? std::vector<std::string>{"-prefer", uOrg}
                  : row.peer == Peer::PreferTgt   ? std::vector<std::string>{"-prefer", uTgt}
                  : row.peer == Peer::PreferNewer ? std::vector<std::string>{"-prefer", "newer"}
                                                  : std::vector<std::string>{});
        auto withoutLosers = [](TreeSnapshot tree) {
            std::erase_if(
                tree, [](const auto& item) { return item.first.find(".conflict-") != std::string::npos; });
            return tree;
        };
        EXPECT_EQ(snapshotTree(uOrg), withoutLosers(snapshotTree(m_org))) << "unison's ORG";
        EXPECT_EQ(snapshotTree(uTgt), withoutLosers(snapshotTree(m_tgt))) << "unison's TGT";
    }
    if (!haveUnison)
        GTEST_SKIP() << "unison is not installed: our side of the table was checked alone";
}

// Each record keeps both sides' inode numbers and a link's target beside sizes and times.
TEST_F(RememberedSyncTest, TheStateKeepsInodesAndLinkTargets)
{
    buildTree(m_org, {file("a", "a", at(1)), symlink("l", "a", at(2))});
    again();
    const std::string org = std::filesystem::canonical(m_org).string() + "/";
    const std::string tgt = std::filesystem::canonical(m_tgt).string() + "/";
    state::StateReader reader;
    ASSERT_EQ(reader.open(state::stateFileOf(m_job.pairAt(0)->extras.pairId), {org, tgt}),
              state::StateStatus::Ok);
    std::map<std::string, state::StateEntry> entries;
    state::StateFolder folder;
    while (reader.nextFolder(folder))
        for (const state::StateEntry& entry : folder.entries)
            entries[folder.path + entry.name] = entry;
    ASSERT_EQ(reader.status(), state::StateStatus::Ok);
    ASSERT_EQ(entries.size(), 2u);
    for (const char* name : {"a", "l"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(entries[name].orgInode, lstatOf(m_org + name).st_ino);
        EXPECT_EQ(entries[name].tgtInode, lstatOf(m_tgt + name).st_ino);
        EXPECT_NE(entries[name].orgInode, entries[name].tgtInode);
    }
    EXPECT_EQ(entries["l"].linkTarget, "a");
    EXPECT_EQ(entries["a"].linkTarget, "");
}

// A lost state means first-run rules: what one side lacks comes back, nothing is deleted.
TEST_F(RememberedSyncTest, WithoutTheStateNothingIsDeleted)
{
    buildTree(m_org, {file("a", "a", at(1))});
    again();
    std::filesystem::remove_all(m_dir / "data/tavrel-sync/state");
    std::filesystem::remove(m_org + "a");
    const std::string log = again();
    EXPECT_NE(log.find("WARNING: no state for pair P: first run rules"), std::string::npos) << log;
    EXPECT_EQ(readFile(m_org + "a"), "a");
    EXPECT_EQ(readFile(m_tgt + "a"), "a");
}

// A side emptied since the last run (an unplugged or wiped drive) asks before the other side
// is emptied too; No keeps everything.
TEST_F(RememberedSyncTest, AnEmptiedRootAsksFirst)
{
    buildTree(m_org, {file("a", "a", at(1)), file("b", "b", at(1))});
    again();
    std::filesystem::remove(m_org + "a");
    std::filesystem::remove(m_org + "b");
    // A preview asks no one; it shows the deletions and says that a real run asks.
    RecordingSink preview;
    preview.massDeletionAnswer = engine::MassDeletionAnswer::Skip;
    previewWith(preview);
    EXPECT_TRUE(preview.questions().empty());
    EXPECT_NE(relative(preview.log())
                  .find("Preview: Synchronize pair P: ~/org/ is empty, but its last run left 2 items "
                        "there. A real run asks before deleting them.\r\n"),
              std::string::npos)
        << preview.log();
    EXPECT_EQ(m_state.tgtFilesDeleted.load(), 2);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("a", "a", at(1)), file("b", "b", at(1))}));

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
