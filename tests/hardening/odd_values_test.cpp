// SPDX-License-Identifier: GPL-3.0-or-later
// Names and stored values the window would never produce: bytes that are not UTF-8, names at
// the length limit, and project files holding methods and modes out of range.
#include "project/project_file.h"
#include "support/engine_fixture.h"
#include "support/faulty_file_system.h"
#include "support/program_runner.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace tavrel::test {
namespace {

using model::SyncMethod;
using Op = FaultyFileSystem::Operation;

// Names are bytes: "caf\xe9" and "caf\xe8" are two files (Latin-1 e-acute and e-grave), never
// merged or confused through a lossy conversion; people see the odd bytes escaped.
TEST_F(EngineTest, NonUtf8NamesAreHandledByTheirBytesAndShownEscaped)
{
    buildTree(m_org,
              {file("\xff", "ff", at(5)), file("caf\xe9", "e9", at(5)), file("caf\xe8", "e8 new", at(5))});
    buildTree(m_tgt, {file("caf\xe8", "e8 old", at(1)), file("caf\xe7", "stale", at(1)),
                      file("\xfe", "stale", at(1))});
    addPair(SyncMethod::AbsoluteCopy);
    FaultyFileSystem faulty(m_posix);
    faulty.failMatching(Op::CopyCreateOnly, "/\xff", platform::FsError::AccessDenied);

    EXPECT_EQ(run(&faulty), engine::RunResult::Succeeded);
    EXPECT_NE(relative(m_sink.log()).find("ERROR: cannot copy file: ~/org/\\xFF\r\n"), std::string::npos)
        << m_sink.log();
    EXPECT_EQ(snapshotTree(m_tgt),
              describeTree({file("caf\xe9", "e9", at(5)), file("caf\xe8", "e8 new", at(5))}));
    const std::vector<std::string> lines = reportLines();
    const std::vector<std::string> expected = {
        "[C]~/org/caf\\xE9 => ~/tgt/caf\\xE9",
        "[O]~/org/caf\\xE8 => ~/tgt/caf\\xE8",
        "[D]~/tgt/\\xFE",
        "[D]~/tgt/caf\\xE7",
        "[E]ERROR: cannot copy file: ~/org/\\xFF", // the failed copy: an error, no change
    };
    for (const std::string& line : expected)
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    EXPECT_EQ(lines.size(), expected.size());

    // Without the fault the last one comes over, and a further run compares them all equal.
    RecordingSink second;
    EXPECT_EQ(runWith(second), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), snapshotTree(m_org));
    m_job.pairAt(0)->contentCheck = model::ContentCheckMode::Check;
    RecordingSink third;
    EXPECT_EQ(runWith(third), engine::RunResult::Succeeded);
    EXPECT_EQ(operations(), Ops{}.snapshot());
}

// A name of 255 bytes, the most a name may have, still gets a temporary name that fits: it is
// copied and overwritten like any other, multibyte characters included.
TEST_F(EngineTest, NamesOfTheLongestLengthAreCopiedAndOverwritten)
{
    std::string wide;
    while (wide.size() + 2 <= 254)
        wide += "\xc3\xa9";
    wide += "x";
    const std::string plain(255, 'n');
    ASSERT_EQ(wide.size(), 255u);
    buildTree(m_org, {file(plain, "new", at(9)), file(wide, "new wide", at(9))});
    buildTree(m_tgt, {file(plain, "old", at(1))});
    addPair(SyncMethod::UpdateCopy);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(m_sink.log().find("ERROR"), std::string::npos) << m_sink.log();
    EXPECT_EQ(snapshotTree(m_tgt), snapshotTree(m_org));
    EXPECT_EQ(operations(), (Ops{.tgtFilesCreated = 1, .tgtFilesOverwritten = 1}.snapshot()));
}

// A project file edited to hold values out of range: it opens, keeps the values, and a run
// never deletes on their account.
class OddProjectValues : public EngineTest
{
protected:
    std::string saveOddJob(SyncMethod method)
    {
        model::FolderPair& pair = addPair(method);
        pair.name = u"odd";
        pair.contentCheck = static_cast<model::ContentCheckMode>(7);
        pair.readOnlyMode = static_cast<model::AttributeMode>(-1);
        pair.hiddenMode = static_cast<model::AttributeMode>(5);
        pair.systemMode = static_cast<model::AttributeMode>(3);
        pair.includeSubfolders = 9;
        pair.recycleDeleted = 0;
        std::string path = m_dir / "odd.tsp";
        EXPECT_TRUE(project::saveProject(m_job, path));
        m_job.clear();
        EXPECT_TRUE(project::openProject(m_job, path));
        EXPECT_EQ(m_job.count(), 1);
        return path;
    }
};

TEST_F(OddProjectValues, OpensAndKeepsTheValues)
{
    saveOddJob(static_cast<SyncMethod>(9));
    const model::FolderPair& pair = *m_job.pairAt(0);
    EXPECT_EQ(static_cast<int>(pair.method), 9);
    EXPECT_EQ(static_cast<int>(pair.contentCheck), 7);
    EXPECT_EQ(static_cast<int>(pair.readOnlyMode), -1);
    EXPECT_EQ(static_cast<int>(pair.hiddenMode), 5);
    EXPECT_EQ(pair.includeSubfolders, 9);
}

#ifdef TAVREL_CLI_PATH
TEST_F(OddProjectValues, ShowPrintsThePairAndSucceeds)
{
    const std::string path = saveOddJob(static_cast<SyncMethod>(9));
    const ProgramOutcome outcome = runProgram(TAVREL_CLI_PATH, {"show", path}, m_dir.path());
    const std::string output = outcome.out + outcome.err;
    EXPECT_EQ(outcome.status, 0) << output;
    EXPECT_NE(output.find("odd"), std::string::npos) << output;
    EXPECT_NE(output.find(m_org), std::string::npos) << output;
}
#endif

TEST_F(OddProjectValues, UnknownMethodTouchesNothing)
{
    saveOddJob(static_cast<SyncMethod>(9));
    buildTree(m_org, {file("a", "a")});
    buildTree(m_tgt, {file("only-tgt", "t")});

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("only-tgt", "t")}));
}

// An unknown content-check value acts as Auto: a target with the same time and size is kept.
TEST_F(OddProjectValues, UnknownContentCheckActsAsAuto)
{
    saveOddJob(SyncMethod::Copy);
    buildTree(m_org, {file("a", "org!", at(3))});
    buildTree(m_tgt, {file("a", "tgt!", at(3)), file("b", "only tgt", at(3))});

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("a", "tgt!", at(3)), file("b", "only tgt", at(3))}));
}

// An attribute mode the program does not know must not let Absolute Copy delete the items
// that have the attribute: the user may have meant Copy Only, and a deletion cannot be undone.
TEST_F(OddProjectValues, UnknownAttributeModesProtectItemsWithTheAttribute)
{
    saveOddJob(SyncMethod::AbsoluteCopy);
    buildTree(m_org, {file("a", "a"), file(".hidden", "org h", at(9)), file(".new", "n")});
    buildTree(m_tgt, {file(".hidden", "h", at(1)), file("read-only", "r", at(0), 0444), file("plain", "p")});

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    const TreeSnapshot tgt = snapshotTree(m_tgt);
    EXPECT_EQ(readFile(m_tgt + ".hidden"), "h"); // neither overwritten
    EXPECT_EQ(tgt.count("read-only"), 1u);       // nor deleted
    EXPECT_EQ(tgt.count("plain"), 0u);           // no attribute: mirrored as usual
    EXPECT_EQ(readFile(m_tgt + ".new"), "n");    // still listed: a missing file is copied
}

} // namespace
} // namespace tavrel::test
