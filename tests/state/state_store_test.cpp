// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/state_store.h"
#include "state/sync_state.h"
#include "support/scoped_env.h"
#include "support/temp_tree.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tavrel;
using namespace tavrel::state;
namespace fs = std::filesystem;

// Preparing the folder twice is fine and leaves a young temporary (a live writer's) alone.
TEST(StateStore, PreparingKeepsALiveWritersTemporary)
{
    test::TempDir dir;
    const test::ScopedEnv dataHome("XDG_DATA_HOME", dir / "data");
    ASSERT_FALSE(prepareStateFolder());
    const fs::path young = stateFolder() / ".cd.state.0123abce.tavrel-tmp";
    std::ofstream(young) << "x";
    ASSERT_FALSE(prepareStateFolder());
    EXPECT_TRUE(fs::exists(young));
}

TEST(StateStore, OneFilePerPairIdUnderTheDataFolderAndForgetRemovesIt)
{
    test::TempDir dir;
    const test::ScopedEnv dataHome("XDG_DATA_HOME", dir / "data");
    const model::PairId id{0xab, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};
    EXPECT_EQ(stateFileOf(id),
              fs::path(dir / "data") / "tavrel-sync/state/ab000000000000000000000000000001.state");

    ASSERT_FALSE(prepareStateFolder());
    struct stat info = {};
    ASSERT_EQ(::stat(stateFolder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "remembered paths are the user's business";
    EXPECT_FALSE(prepareStateFolder()) << "an existing folder is fine";

    StateWriter writer;
    StateHeader header;
    header.pairId = id;
    ASSERT_FALSE(writer.open(stateFileOf(id), header));
    ASSERT_FALSE(writer.commit());
    model::PairId other = id;
    other[1] = 1;
    StateWriter otherWriter;
    ASSERT_FALSE(otherWriter.open(stateFileOf(other), header));
    ASSERT_FALSE(otherWriter.commit());

    std::error_code error;
    EXPECT_EQ(forgetState(id, error), ForgetOutcome::Removed);
    EXPECT_FALSE(error);
    EXPECT_FALSE(fs::exists(stateFileOf(id)));
    EXPECT_TRUE(fs::exists(stateFileOf(other))) << "only the pair's own state goes";
    EXPECT_EQ(forgetState(id, error), ForgetOutcome::NothingToForget);
    EXPECT_FALSE(error);

    fs::remove(stateFileOf(other));
    fs::create_directory(stateFileOf(other));
    EXPECT_EQ(forgetState(other, error), ForgetOutcome::Failed) << "a folder in its place is not removed";
    EXPECT_TRUE(static_cast<bool>(error));
    EXPECT_TRUE(fs::is_directory(stateFileOf(other)));
}
