// SPDX-License-Identifier: GPL-3.0-or-later
// A run that logged errors never ends as a plain success, whatever the count found.
#include "engine/run_outcome.h"
#include "support/engine_fixture.h"
#include "support/faulty_file_system.h"

#include <gtest/gtest.h>

namespace tavrel::test {
namespace {

using model::SyncMethod;

std::string methodName(const ::testing::TestParamInfo<SyncMethod>& info)
{
    static const char* const kNames[] = {"LightCopy", "UpdateCopy", "Copy", "AbsoluteCopy", "Synchronize"};
    return kNames[static_cast<int>(info.param)];
}

class MissingRoot : public EngineTest, public ::testing::WithParamInterface<SyncMethod>
{
};

// An unplugged ORG drive counts nothing; the run still says it could not read the folder,
// counts the error and ends as completed with errors, touching nothing. (TGT holds no file,
// so Synchronize counts nothing either.)
TEST_P(MissingRoot, OrgRootIsAnErrorEvenWhenNothingIsCounted)
{
    buildTree(m_tgt, {folder("keep")});
    addPair(GetParam(), m_dir / "unplugged", m_tgt);

    const engine::RunResult result = run();
    EXPECT_EQ(
        relative(m_sink.log()),
        "Start process.\r\nCalculate the file amount... 0\r\nERROR: cannot read folder: ~/unplugged/\r\n");
    EXPECT_EQ(m_state.errors.load(), 1);
    const engine::RunOutcome outcome = engine::outcomeOf(result, m_state.errors.load());
    EXPECT_EQ(outcome, engine::RunOutcome::CompletedWithErrors);
    EXPECT_EQ(engine::outcomeText(outcome, m_state.errors.load()), "Process completed with 1 error.");
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({folder("keep")}));
}

INSTANTIATE_TEST_SUITE_P(Outcome, MissingRoot,
                         ::testing::Values(SyncMethod::LightCopy, SyncMethod::UpdateCopy, SyncMethod::Copy,
                                           SyncMethod::AbsoluteCopy, SyncMethod::Synchronize),
                         methodName);

// Synchronize reads both roots, so a missing TGT root is reported too. The root lines come
// after the whole count line and before the first pair.
TEST_F(EngineTest, SynchronizeReportsAMissingTargetRootAfterTheCountLine)
{
    buildTree(m_org, {file("a", "a")});
    addPair(SyncMethod::Synchronize, m_org, m_dir / "gone", "both");

    const engine::RunResult result = run();
    EXPECT_EQ(engine::outcomeOf(result, m_state.errors.load()), engine::RunOutcome::CompletedWithErrors);
    EXPECT_TRUE(relative(m_sink.log())
                    .starts_with("Start process.\r\nCalculate the file amount... 1\r\n"
                                 "ERROR: cannot read folder: ~/gone/\r\nHandle pair : both\r\n"))
        << m_sink.log();
    EXPECT_GE(m_state.errors.load(), 1);
}

// A target where every copy fails (a read-only mount, as the fault-injecting file system
// plays it) logs an error per file and ends with their count.
TEST_F(EngineTest, EveryCopyFailingEndsAsCompletedWithErrors)
{
    buildTree(m_org, {file("a", "1"), file("b", "2"), file("c", "3")});
    buildTree(m_tgt, {});
    addPair(SyncMethod::Copy);
    FaultyFileSystem faulty(m_posix);
    faulty.failMatching(FaultyFileSystem::Operation::CopyCreateOnly, "", platform::FsError::AccessDenied);

    const engine::RunResult result = run(&faulty);
    EXPECT_EQ(m_state.errors.load(), 3) << m_sink.log();
    const engine::RunOutcome outcome = engine::outcomeOf(result, m_state.errors.load());
    EXPECT_EQ(outcome, engine::RunOutcome::CompletedWithErrors);
    EXPECT_EQ(engine::outcomeText(outcome, m_state.errors.load()), "Process completed with 3 errors.");
    EXPECT_TRUE(snapshotTree(m_tgt).empty());
}

} // namespace
} // namespace tavrel::test
