// SPDX-License-Identifier: GPL-3.0-or-later
// Two runs of one job at once (the window and a scheduled runner, or two runners): a pair whose
// folder another run holds is skipped whole, and the rest of the job goes on.
#include "project/project_file.h"
#include "support/engine_fixture.h"
#include "support/faulty_file_system.h"
#include "support/program_runner.h"
#include "support/scoped_env.h"

#include <array>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavrel::test {
namespace {

using model::SyncMethod;

// What another run holds: an exclusive flock on the folder, taken here without the engine.
class HeldFolder final
{
public:
    explicit HeldFolder(const std::string& folder)
        : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        EXPECT_GE(m_fd, 0) << folder;
        EXPECT_EQ(::flock(m_fd, LOCK_EX | LOCK_NB), 0) << folder;
    }
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    ~HeldFolder() { release(); }
    void release()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

struct LockCase
{
    const char* name;
    SyncMethod method;
    bool holdOrg; // else the TGT root is held
};

class FolderInUse : public EngineTest, public ::testing::WithParamInterface<LockCase>
{
protected:
    void buildTrees()
    {
        buildTree(m_org, {file("a", "new", at(9)), file("sub/b", "b", at(9))});
        buildTree(m_tgt, {file("a", "old", at(1)), file("stale", "s", at(1)), file("only/c", "c", at(1))});
        buildTree(m_other, {});
    }

    const std::string m_other = m_dir / "other/";
};

// The held pair touches nothing and counts nothing; the next pair of the job still runs; once
// the other run is over the same job does its work.
TEST_P(FolderInUse, PairIsSkippedWholeAndTheJobGoesOn)
{
    const LockCase& c = GetParam();
    buildTrees();
    addPair(c.method);
    addPair(SyncMethod::Copy, m_org, m_other, "Q");
    const TreeSnapshot org = snapshotTree(m_org);
    const TreeSnapshot tgt = snapshotTree(m_tgt);
    const std::string held = c.holdOrg ? m_org : m_tgt;
    HeldFolder lock(held);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_NE(m_sink.log().find("ERROR: folder is in use by another run: " + held + "\r\n"),
              std::string::npos)
        << m_sink.log();
    EXPECT_EQ(reportLines().back(), relative("[E]ERROR: folder is in use by another run: " + held + ": " +
                                             (c.holdOrg ? "ORG" : "TGT") + ": another run holds its lock"));
    EXPECT_EQ(snapshotTree(m_org), org);
    EXPECT_EQ(snapshotTree(m_tgt), tgt);
    EXPECT_EQ(operations(), (Ops{.tgtFilesCreated = 2, .tgtFoldersCreated = 1}.snapshot())); // pair Q
    EXPECT_EQ(readFile(m_other + "sub/b"), "b");

    lock.release();
    RecordingSink second;
    EXPECT_EQ(runWith(second), engine::RunResult::Succeeded);
    EXPECT_EQ(second.log().find("in use"), std::string::npos) << second.log();
    EXPECT_EQ(readFile(m_tgt + "a"), "new");
}

INSTANTIATE_TEST_SUITE_P(Hardening, FolderInUse,
                         ::testing::Values(LockCase{"AbsoluteCopyTarget", SyncMethod::AbsoluteCopy, false},
                                           LockCase{"UpdateCopyTarget", SyncMethod::UpdateCopy, false},
                                           LockCase{"SynchronizeTarget", SyncMethod::Synchronize, false},
                                           LockCase{"SynchronizeOrg", SyncMethod::Synchronize, true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct NestedCase
{
    const char* name;
    const char* held; // another run's root, below the test's folder
};

class NestedRoots : public EngineTest, public ::testing::WithParamInterface<NestedCase>
{
};

// Another run works inside this pair's target, or in a folder that holds it: two runs would
// still change one tree at once, so the pair is skipped whole, and runs once the other ends.
TEST_P(NestedRoots, PairIsSkippedWhileTheOtherRunHoldsIt)
{
    buildTree(m_org, {file("a", "new", at(9))});
    buildTree(m_tgt, {file("stale", "s", at(1)), file("sub/c", "c", at(1))});
    addPair(SyncMethod::AbsoluteCopy);
    const TreeSnapshot tgt = snapshotTree(m_tgt);
    platform::FsError error = platform::FsError::Other;
    std::unique_ptr<platform::FolderLock> other = m_posix.lockFolder(m_dir / GetParam().held, error);
    ASSERT_NE(other, nullptr);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_NE(m_sink.log().find("ERROR: folder is in use by another run: " + m_tgt + "\r\n"),
              std::string::npos)
        << m_sink.log();
    EXPECT_EQ(snapshotTree(m_tgt), tgt);
    EXPECT_EQ(m_state.errors.load(), 1);

    other.reset();
    RecordingSink second;
    EXPECT_EQ(runWith(second), engine::RunResult::Succeeded);
    EXPECT_EQ(second.log().find("in use"), std::string::npos) << second.log();
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("a", "new", at(9))}));
}

INSTANTIATE_TEST_SUITE_P(Hardening, NestedRoots,
                         ::testing::Values(NestedCase{"InsideTheTarget", "tgt/sub/"},
                                           NestedCase{"HoldingTheTarget", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

// ORG is only read by the one-way methods: a run holding it does not keep them out.
TEST_F(EngineTest, OneWayMethodsDoNotNeedTheOrgFolder)
{
    buildTree(m_org, {file("a", "new", at(9))});
    addPair(SyncMethod::Copy);
    HeldFolder lock(m_org);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(readFile(m_tgt + "a"), "new");
    EXPECT_EQ(m_sink.log().find("in use"), std::string::npos) << m_sink.log();
}

// A file system without locks must not block every run: the pair runs unlocked.
TEST_F(EngineTest, FolderThatCannotBeLockedRunsUnlocked)
{
    buildTree(m_org, {file("a", "new", at(9))});
    addPair(SyncMethod::Synchronize);
    FaultyFileSystem faulty(m_posix);
    faulty.withoutLocks();
    EXPECT_EQ(run(&faulty), engine::RunResult::Succeeded);
    EXPECT_EQ(faulty.callCount(FaultyFileSystem::Operation::Lock), 2); // ORG and TGT roots
    EXPECT_EQ(readFile(m_tgt + "a"), "new");
}

#ifdef TAVREL_CLI_PATH
// The same across processes: the runner finds the folder this test process holds.
TEST_F(EngineTest, RunnerInAnotherProcessSkipsAHeldFolder)
{
    buildTree(m_org, {file("a", "new", at(9))});
    buildTree(m_tgt, {file("stale", "s", at(1))});
    addPair(SyncMethod::AbsoluteCopy);
    const std::string project = m_dir / "job.tsp";
    ASSERT_TRUE(project::saveProject(m_job, project));
    const ScopedEnv data("XDG_DATA_HOME", m_dir / "data");
    HeldFolder lock(m_tgt);

    const ProgramOutcome outcome =
        runProgram(TAVREL_CLI_PATH,
                   {"run", project, "--report", m_dir / "cli-report.htm", "--no-progress", "--no-history"},
                   m_dir.path());
    const std::string output = outcome.out + outcome.err;
    EXPECT_EQ(outcome.status, 4) << output; // the skipped pair is an error of the run
    EXPECT_NE(output.find("ERROR: folder is in use by another run: " + m_tgt + "\n"), std::string::npos)
        << output;
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("stale", "s", at(1))}));
}
#endif

} // namespace
} // namespace tavrel::test
