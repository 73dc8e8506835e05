// SPDX-License-Identifier: GPL-3.0-or-later
// Temporary files left in a target by a crashed run stay hidden from every scan, so the run
// itself must clear them, without reading any folder it would not read anyway.
#include "support/engine_fixture.h"

#include <chrono>
#include <gtest/gtest.h>

namespace tavrel::test {
namespace {

using model::SyncMethod;

const std::string kLeftover = ".a.0a1b2c3d.tavrel-tmp";

// Every method clears the leftovers of a folder it writes a file into; the methods that look
// at the target list each target folder that has source files anyway, and clear it even when
// nothing in it changes. Light Copy never lists the target.
TEST_F(EngineTest, LeftoversOfACrashAreRemovedWhereTheRunWrites)
{
    struct Case
    {
        SyncMethod method;
        bool quietFolderCleared;
    };
    for (const Case c : {Case{SyncMethod::LightCopy, false}, Case{SyncMethod::UpdateCopy, true},
                         Case{SyncMethod::Copy, true}, Case{SyncMethod::AbsoluteCopy, true},
                         Case{SyncMethod::Synchronize, true}}) {
        SCOPED_TRACE(static_cast<int>(c.method));
        TempDir dir;
        const std::string org = dir / "org/";
        const std::string tgt = dir / "tgt/";
        buildTree(org, {file("a", "new", at(9)), file("quiet/q", "q", at(1))});
        buildTree(tgt,
                  {file(kLeftover, "partial"), file("quiet/q", "q", at(1)), file("quiet/" + kLeftover, "p")});
        m_job.clear();
        addPair(c.method, org, tgt);
        platform::PosixFileSystem hasty(std::chrono::seconds(0));
        RecordingSink sink;
        engine::RunContext context{m_job, m_state, hasty, m_report, sink};
        std::thread worker;
        ASSERT_TRUE(engine::StartSync(context, worker));
        ASSERT_TRUE(sink.waitForEnd());
        worker.join();

        const TreeSnapshot after = snapshotTree(tgt);
        EXPECT_EQ(after.count(kLeftover), 0u);
        EXPECT_EQ(after.count("quiet/" + kLeftover), c.quietFolderCleared ? 0u : 1u);
        EXPECT_EQ(readFile(tgt + "a"), "new");
    }
}

} // namespace
} // namespace tavrel::test
