// SPDX-License-Identifier: GPL-3.0-or-later
// `state forget`: removes one pair's remembered state and nothing else.
#include "model/job.h"
#include "project/project_file.h"
#include "state/state_store.h"
#include "support/program_runner.h"
#include "support/scoped_env.h"
#include "support/temp_tree.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace tavrel;
namespace fs = std::filesystem;

TEST(StateCommand, ForgetRemovesOnlyThatPairsState)
{
    test::TempDir dir;
    const test::ScopedEnv dataHome("XDG_DATA_HOME", dir / "data");
    const auto run = [&dir](const std::vector<std::string>& arguments) {
        return test::runProgram(TAVREL_CLI_PATH, arguments, dir.path(), dir.path());
    };
    ASSERT_EQ(run({"new", "job.TSP", "--pair", "Docs", "sync", "/d", "/e", "--remember", "--pair", "Music",
                   "sync", "/m", "/n", "--remember", "--pair", "Plain", "sync", "/p", "/q"})
                  .status,
              0);
    model::Job job;
    ASSERT_TRUE(project::openProject(job, dir / "job.TSP"));
    const fs::path docsState = state::stateFileOf(job.pairAt(0)->extras.pairId);
    const fs::path musicState = state::stateFileOf(job.pairAt(1)->extras.pairId);
    ASSERT_FALSE(state::prepareStateFolder());
    std::ofstream(docsState) << "state";
    std::ofstream(musicState) << "state";

    const auto forgot = run({"state", "forget", "job.TSP", "Docs"});
    EXPECT_EQ(forgot.status, 0) << forgot.err;
    EXPECT_EQ(forgot.out, "Forgot the remembered state of pair 0 (Docs); its next run is a first run.\n");
    EXPECT_FALSE(fs::exists(docsState));
    EXPECT_TRUE(fs::exists(musicState));

    const struct
    {
        const char* pair;
        const char* out;
    } nothing[] = {
        {"0", "No remembered state for pair 0 (Docs).\n"},
        {"Plain", "No remembered state for pair 2 (Plain).\n"}, // never had an option, so no id
    };
    for (const auto& c : nothing) {
        SCOPED_TRACE(c.pair);
        const auto again = run({"state", "forget", "job.TSP", c.pair});
        EXPECT_EQ(again.status, 0);
        EXPECT_EQ(again.out, c.out);
    }

    // A folder where the state file goes is refused with the system's reason.
    fs::remove(musicState);
    fs::create_directory(musicState);
    const auto failed = run({"state", "forget", "job.TSP", "1"});
    EXPECT_EQ(failed.status, 73);
    EXPECT_NE(failed.err.find("state: cannot remove " + musicState.string() + ": "), std::string::npos)
        << failed.err;
    EXPECT_TRUE(fs::is_directory(musicState));

    const auto refused = run({"state", "forget", "missing.TSP", "0"});
    EXPECT_EQ(refused.status, 3);
    EXPECT_EQ(refused.err,
              "tavrel-sync-cli: Failed to open TSP file.\ntavrel-sync-cli: missing.TSP: no such file\n");
}
