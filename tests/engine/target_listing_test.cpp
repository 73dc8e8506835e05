// SPDX-License-Identifier: GPL-3.0-or-later
// A task lists its target folder once, before its files, and takes their stamps from there.
// What the task itself writes meanwhile must still be seen as it is now.
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

namespace tavrel::test {
namespace {

using model::SyncMethod;

// A file two include patterns both find is handled twice: the second time it meets the copy
// the first time made, and leaves it alone.
TEST_F(EngineTest, FileFoundByTwoPatternsIsReplacedOnce)
{
    for (SyncMethod method : {SyncMethod::UpdateCopy, SyncMethod::Copy, SyncMethod::AbsoluteCopy}) {
        SCOPED_TRACE(static_cast<int>(method));
        TempDir dir;
        buildTree(dir / "org", {file("a.txt", "new", at(9))});
        buildTree(dir / "tgt", {file("a.txt", "old", at(1))});
        m_job.clear();
        model::FolderPair& pair = addPair(method, dir / "org", dir / "tgt");
        setPatterns(pair.includeFiles, {u"*.txt", u"a*"});
        pair.contentCheck = model::ContentCheckMode::NotCheck;
        RecordingSink sink;
        runWith(sink);
        EXPECT_EQ(operations(), (Ops{.tgtFilesOverwritten = 1}.snapshot())) << sink.log();
        EXPECT_EQ(sink.log().find("ERROR"), std::string::npos) << sink.log();
        EXPECT_EQ(readFile(dir / "tgt/a.txt"), "new");
    }
}

} // namespace
} // namespace tavrel::test
