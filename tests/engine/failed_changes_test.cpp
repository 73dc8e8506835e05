// SPDX-License-Identifier: GPL-3.0-or-later
// A change that did not happen, or that would lose data, is told: a refused deletion, a file
// the target's volume cannot hold, a file dated ahead of the run. Each is an error line of its
// own, and nothing is left half done.
#include "support/engine_fixture.h"
#include "support/faulty_file_system.h"
#include "support/scoped_env.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>

namespace tavrel::test {
namespace {

using model::SyncMethod;
using platform::FsError;
using Op = FaultyFileSystem::Operation;

// A deletion the file system refuses, for a file and for a folder of a mirror.
struct RefusedDeletion
{
    const char* name;
    FsError error;
    engine::RunResult result;
};

class RefusedDeletionTest : public EngineTest, public ::testing::WithParamInterface<RefusedDeletion>
{
};

TEST_P(RefusedDeletionTest, IsAnErrorLineAndLeavesTheItem)
{
    buildTree(m_org, {file("keep", "k")});
    buildTree(m_tgt, {file("keep", "k"), file("gone", "g"), file("old/inside", "i")});
    addPair(SyncMethod::AbsoluteCopy);
    FaultyFileSystem volume(m_posix);
    volume.failMatching(Op::Delete, "/tgt/", GetParam().error);

    EXPECT_EQ(run(&volume), GetParam().result);
    const std::string log = relative(m_sink.log());
    EXPECT_NE(log.find("ERROR: cannot delete: ~/tgt/gone\r\n"), std::string::npos) << log;
    // The disk-full outcome ends the run at the first one.
    if (GetParam().result != engine::RunResult::DiskFull) {
        EXPECT_NE(log.find("ERROR: cannot delete: ~/tgt/old/\r\n"), std::string::npos) << log;
        EXPECT_EQ(m_state.errors.load(), 2);
    }
    EXPECT_EQ(snapshotTree(m_tgt),
              describeTree({file("keep", "k"), file("gone", "g"), file("old/inside", "i")}));
    EXPECT_EQ(m_state.tgtFilesDeleted.load() + m_state.tgtFoldersDeleted.load(), 0);
    for (const std::string& line : reportLines())
        EXPECT_FALSE(line.starts_with("[D]")) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Engine, RefusedDeletionTest,
    ::testing::Values(RefusedDeletion{"Refused", FsError::AccessDenied, engine::RunResult::Succeeded},
                      RefusedDeletion{"NoTrash", FsError::Other, engine::RunResult::Succeeded},
                      RefusedDeletion{"TrashFull", FsError::DiskFull, engine::RunResult::DiskFull}),
    [](const auto& info) { return std::string(info.param.name); });

// A deletion whose item went away meanwhile took nothing the user wanted kept: no error.
TEST_F(EngineTest, DeletionOfAnItemAlreadyGoneIsNoError)
{
    buildTree(m_org, {file("keep", "k")});
    buildTree(m_tgt, {file("keep", "k"), file("gone", "g")});
    addPair(SyncMethod::AbsoluteCopy);
    FaultyFileSystem volume(m_posix);
    volume.failMatching(Op::Delete, "/tgt/gone", FsError::NotFound);

    EXPECT_EQ(run(&volume), engine::RunResult::Succeeded);
    EXPECT_EQ(m_state.errors.load(), 0) << m_sink.log();
}

// With the recycle switch on and no trash on the item's volume (a data folder on another
// volume, or none to be had), the mirror deletes nothing, says why, and Synchronize's way back
// keeps the ORG file it would have replaced.
TEST_F(EngineTest, WithoutATrashNothingIsDeletedOrReplaced)
{
    writeFile(m_dir / "blocker", "not a folder");
    const ScopedEnv dataHome("XDG_DATA_HOME", m_dir / "blocker/share");
    buildTree(m_org, {file("a", "a"), file("edited", "old", at(1))});
    buildTree(m_tgt, {file("a", "a"), file("extra", "x")});
    buildTree(m_dir / "two/org", {file("edited", "old", at(1))});
    buildTree(m_dir / "two/tgt", {file("edited", "new", at(9))});
    addPair(SyncMethod::AbsoluteCopy).recycleDeleted = 1;
    addPair(SyncMethod::Synchronize, m_dir / "two/org", m_dir / "two/tgt", "two").recycleDeleted = 1;

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    const std::string log = relative(m_sink.log());
    EXPECT_NE(log.find("ERROR: cannot delete: ~/tgt/extra\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("ERROR: cannot copy file: ~/two/tgt/edited\r\n"), std::string::npos) << log;
    EXPECT_EQ(m_state.errors.load(), 2);
    EXPECT_EQ(readFile(m_tgt + "extra"), "x");
    EXPECT_EQ(readFile(m_dir / "two/org/edited"), "old");
    // The way back writes into ORG: its trash is ORG's side.
    EXPECT_EQ(m_sink.errorReasons(),
              (std::vector<std::string>{"TGT: no trash to be had on the item's volume",
                                        "ORG: no trash to be had on the item's volume"}));
}

// A file longer than the target's volume holds is refused before anything is written, on the
// way out and, for Synchronize, on the way back; shorter ones are copied as usual.
TEST_F(EngineTest, FileTooLargeForTheVolumeIsRefusedBeforeAnythingIsWritten)
{
    buildTree(m_org, {file("big", std::string(200, 'b')), file("small", "s"),
                      file("newer", std::string(150, 'n'), at(9))});
    buildTree(m_tgt, {file("newer", "old", at(1)), file("back", std::string(300, 'k'))});
    addPair(SyncMethod::Synchronize);
    FaultyFileSystem volume(m_posix);
    platform::VolumeTraits small;
    small.probed = true;
    small.maxFileSize = 100;
    volume.pretendVolume(small);

    EXPECT_EQ(run(&volume), engine::RunResult::Succeeded);
    const std::string log = relative(m_sink.log());
    for (const char* line : {"ERROR: file too large for the target volume: ~/org/big\r\n",
                             "        ERROR: file too large for the target volume: ~/org/newer\r\n",
                             "ERROR: file too large for the target volume: ~/tgt/back\r\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << log;
    EXPECT_EQ(m_state.errors.load(), 3);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("small", "s"), file("newer", "old", at(1)),
                                                 file("back", std::string(300, 'k'))}));
    EXPECT_EQ(volume.callCount(Op::CopyCreateOnly) + volume.callCount(Op::CopyOverwrite), 1);
    EXPECT_EQ(m_sink.errorReasons().front(), "TGT: the volume holds files of at most 100 bytes");
}

// A time far ahead (a camera's clock, another machine's) wins no newer-wins decision: today's
// edit is not overwritten by an old copy dated 2030, and the old copy is not replaced either
// while its date stays ahead. One line per file, on each run; both sides stay.
TEST_F(EngineTest, FileDatedInTheFutureNeverWinsAndIsToldOncePerFile)
{
    const int64_t y2030 = int64_t{1'893'456'000} * 1'000'000'000;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const int64_t today = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    for (const SyncMethod method : {SyncMethod::Synchronize, SyncMethod::UpdateCopy}) {
        SCOPED_TRACE(static_cast<int>(method));
        m_job.clear();
        TempDir dir;
        const std::string org = dir / "org/";
        const std::string tgt = dir / "tgt/";
        buildTree(org, {file("photo", "edited today", today), file("ahead", "ahead", y2030),
                        file("fresh", "new file", y2030)});
        buildTree(tgt, {file("photo", "old copy", y2030), file("ahead", "behind", at(1))});
        addPair(method, org, tgt);

        for (int round = 0; round < 2; ++round) {
            RecordingSink sink;
            m_state.errors = 0;
            runWith(sink);
            std::string log = sink.log();
            EXPECT_EQ(m_state.errors.load(), 2) << log;
            for (const std::string& line : {"ERROR: file dated in the future: " + tgt + "photo\r\n",
                                            "ERROR: file dated in the future: " + org + "ahead\r\n"}) {
                const std::size_t first = log.find(line);
                EXPECT_NE(first, std::string::npos) << line << log;
                EXPECT_EQ(log.find(line, first + 1), std::string::npos) << line << log;
            }
        }
        EXPECT_EQ(readFile(org + "photo"), "edited today");
        EXPECT_EQ(readFile(tgt + "photo"), "old copy");
        EXPECT_EQ(readFile(tgt + "ahead"), "behind");
        // A file with no counterpart is no decision between two: it is copied.
        EXPECT_EQ(readFile(tgt + "fresh"), "new file");
    }
}

} // namespace
} // namespace tavrel::test
