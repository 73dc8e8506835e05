// SPDX-License-Identifier: GPL-3.0-or-later
// The user's stop, seen where a run can spend long: between handled files, before each folder
// task, per folder of the counting walk and between the chunks of a large copy.
#include "support/engine_fixture.h"
#include "support/hooked_file_system.h"

#include <gtest/gtest.h>

namespace tavrel::test {
namespace {

using model::SyncMethod;

std::vector<Node> filesIn(const std::vector<std::string>& folders)
{
    std::vector<Node> nodes;
    for (const std::string& folder : folders)
        for (const char* name : {"x", "y", "z"})
            nodes.push_back(file(folder + name, name, at(1)));
    return nodes;
}

// A stop pressed while a small file is copied lets that copy finish; the run ends right after
// it, before the next file.
TEST_F(EngineTest, StopTakesEffectAtTheNextHandledFile)
{
    buildTree(m_org, filesIn({""}));
    addPair(SyncMethod::LightCopy);
    HookedFileSystem hooked(m_posix);
    hooked.beforeCopy = [this](const std::string& source, const std::string&) {
        if (source == m_org + "y")
            m_state.stopRequested.store(1);
    };

    EXPECT_EQ(run(&hooked), engine::RunResult::Stopped);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("x", "x", at(1)), file("y", "y", at(1))}));
    EXPECT_EQ(m_state.processedFiles.load(), 2);
}

class StopInACopy : public EngineTest, public ::testing::WithParamInterface<SyncMethod>
{
};

// A stop in the middle of a large copy ends the run at the next chunk: the file is not
// published, no temporary file stays, nothing is counted or reported, no error line is
// written. An overwrite leaves the old target as it was.
TEST_P(StopInACopy, CutsALargeCopyShort)
{
    buildTree(m_org, {file("big", std::string(40 << 20, 'b'), at(9))});
    buildTree(m_tgt, {});
    if (GetParam() != SyncMethod::LightCopy)
        buildTree(m_tgt, {file("big", "old", at(1))});
    const TreeSnapshot before = snapshotTree(m_tgt);
    addPair(GetParam());
    HookedFileSystem hooked(m_posix);
    hooked.beforeCopy = [this](const std::string&, const std::string&) { m_state.stopRequested.store(1); };

    EXPECT_EQ(run(&hooked), engine::RunResult::Stopped);
    EXPECT_EQ(snapshotTree(m_tgt), before);
    EXPECT_EQ(temporaryLeftovers(m_tgt), 0);
    EXPECT_EQ(m_sink.log().find("ERROR"), std::string::npos) << m_sink.log();
    EXPECT_EQ(operations(), Ops{}.snapshot());
    EXPECT_TRUE(reportLines().empty());
}

std::string methodName(const ::testing::TestParamInfo<SyncMethod>& info)
{
    static const char* const kNames[] = {"LightCopy", "UpdateCopy", "Copy"};
    return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Stop, StopInACopy,
                         ::testing::Values(SyncMethod::LightCopy, SyncMethod::UpdateCopy, SyncMethod::Copy),
                         methodName);

// A large tree with nothing to handle is no longer walked to its end after a stop: the scan
// ends before the next folder task.
TEST_F(EngineTest, StopEndsAScanOfFoldersWithNothingToHandle)
{
    std::vector<Node> nodes;
    for (int i = 0; i < 30; ++i)
        nodes.push_back(folder(std::string("d").append(std::to_string(100 + i))));
    nodes.push_back(file("zz/last", "l"));
    buildTree(m_org, nodes);
    addPair(SyncMethod::LightCopy);
    HookedFileSystem hooked(m_posix);
    int listings = 0;
    hooked.afterList = [&](const std::string& folder, std::vector<platform::DirEntry>&) {
        // The counting walk lists every folder once; the second listing of d105 is the scan.
        if (folder == m_org + "d105/" && ++listings == 2)
            m_state.stopRequested.store(1);
    };

    EXPECT_EQ(run(&hooked), engine::RunResult::Stopped);
    const TreeSnapshot tgt = snapshotTree(m_tgt);
    EXPECT_EQ(tgt.count("d105"), 1u);
    EXPECT_EQ(tgt.count("d106"), 0u);
    EXPECT_EQ(tgt.count("zz"), 0u);
}

// The counting walk stops at the next folder: the run ends as stopped before any pair, with
// the count line ended but no count given.
TEST_F(EngineTest, StopEndsTheCountingWalk)
{
    std::vector<Node> nodes;
    for (int i = 0; i < 30; ++i)
        nodes.push_back(file(std::string("d").append(std::to_string(100 + i)).append("/f"), "f"));
    buildTree(m_org, nodes);
    addPair(SyncMethod::LightCopy);
    HookedFileSystem hooked(m_posix);
    int listings = 0;
    hooked.afterList = [&](const std::string&, std::vector<platform::DirEntry>&) {
        if (++listings == 3)
            m_state.stopRequested.store(1);
    };

    EXPECT_EQ(run(&hooked), engine::RunResult::Stopped);
    EXPECT_EQ(listings, 3);
    EXPECT_TRUE(snapshotTree(m_tgt).empty());
    EXPECT_NE(m_sink.log().find("Calculate the file amount... \r\n"), std::string::npos) << m_sink.log();
    EXPECT_EQ(m_sink.log().find("Handle pair"), std::string::npos) << m_sink.log();
}

} // namespace
} // namespace tavrel::test
