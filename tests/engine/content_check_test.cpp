// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/compare.h"
#include "support/engine_fixture.h"
#include "support/faulty_file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrel::test {
namespace {

using model::ContentCheckMode;
using Op = FaultyFileSystem::Operation;

struct ContentCase
{
    std::string name;
    ContentCheckMode mode;
    Node org;
    Node tgt;
    bool overwritten;
    int opens; // files opened for comparison
};

std::vector<ContentCase> contentCases()
{
    const auto unknownMode = static_cast<ContentCheckMode>(7);
    return {
        // Equal time and size: Auto trusts them and reads nothing, even when bytes differ.
        {"AutoSameStampNotRead", ContentCheckMode::Auto, file("a", "abc", at(5)), file("a", "xyz", at(5)),
         false, 0},
        {"UnknownModeActsAsAuto", unknownMode, file("a", "abc", at(5)), file("a", "xyz", at(5)), false, 0},
        // Different time, same bytes: compared, kept, and the target keeps its own time.
        {"AutoSameBytesKept", ContentCheckMode::Auto, file("a", "same", at(5)), file("a", "same", at(9)),
         false, 2},
        {"AutoDifferentBytes", ContentCheckMode::Auto, file("a", "abc", at(5)), file("a", "xyz", at(9)), true,
         2},
        {"AutoDifferentSize", ContentCheckMode::Auto, file("a", "abcd", at(5)), file("a", "abc", at(5)), true,
         2},
        // Check reads even when the stamps agree.
        {"CheckSameStampDifferentBytes", ContentCheckMode::Check, file("a", "abc", at(5)),
         file("a", "xyz", at(5)), true, 2},
        {"CheckSameStampSameBytes", ContentCheckMode::Check, file("a", "abc", at(5)), file("a", "abc", at(5)),
         false, 2},
        // Differing stamps under Check: compare, overwrite, compare once more (now equal).
        {"CheckDifferentStampDifferentBytes", ContentCheckMode::Check, file("a", "abc", at(5)),
         file("a", "xyz", at(9)), true, 4},
        // Not Check judges by the stamp alone: a newer target with the same bytes is overwritten.
        {"NotCheckOverwritesNewerTarget", ContentCheckMode::NotCheck, file("a", "same", at(5)),
         file("a", "same", at(9)), true, 0},
        {"NotCheckSameStampKept", ContentCheckMode::NotCheck, file("a", "abc", at(5)),
         file("a", "xyz", at(5)), false, 0},
    };
}

class ContentCheckTable : public EngineTest, public ::testing::WithParamInterface<ContentCase>
{
};

TEST_P(ContentCheckTable, DecidesByModeStampAndBytes)
{
    const ContentCase& c = GetParam();
    buildTree(m_org, {c.org});
    buildTree(m_tgt, {c.tgt});
    addPair(model::SyncMethod::Copy).contentCheck = c.mode;
    FaultyFileSystem faulty(m_posix);

    EXPECT_EQ(run(&faulty), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({c.overwritten ? c.org : c.tgt}));
    EXPECT_EQ(m_state.tgtFilesOverwritten.load(), c.overwritten ? 1 : 0);
    EXPECT_EQ(faulty.callCount(Op::OpenForReading), c.opens);
}

INSTANTIATE_TEST_SUITE_P(Engine, ContentCheckTable, ::testing::ValuesIn(contentCases()),
                         [](const auto& info) { return info.param.name; });

TEST_F(EngineTest, CheckRetriesAFailedOverwriteOnceAndLogsEachFailure)
{
    buildTree(m_org, {file("a", "abc", at(5))});
    buildTree(m_tgt, {file("a", "xyz", at(9))});
    addPair(model::SyncMethod::AbsoluteCopy).contentCheck = ContentCheckMode::Check;
    FaultyFileSystem faulty(m_posix);
    faulty.failMatching(Op::CopyOverwrite, "", platform::FsError::Other);

    EXPECT_EQ(run(&faulty), engine::RunResult::Succeeded);
    EXPECT_EQ(faulty.callCount(Op::CopyOverwrite), 2);
    const std::string line = "        ERROR: cannot copy file: " + m_org + "a";
    const std::vector<std::string> lines = m_sink.logLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 2);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("a", "xyz", at(9))}));
    EXPECT_EQ(operations(), Ops{}.snapshot());
}

TEST_F(EngineTest, ReadOnlyTargetIsOverwrittenAndTakesTheSourceMode)
{
    buildTree(m_org, {file("a", "new", at(9), 0644)});
    buildTree(m_tgt, {file("a", "old", at(5), 0444)});
    addPair(model::SyncMethod::UpdateCopy);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("a", "new", at(9), 0644)}));
}

TEST_F(EngineTest, SizesThatDifferByFourGibibytesAreDifferent)
{
    // Only the low 32 bits of the two sizes agree; a sparse source keeps the test quick.
    buildTree(m_org, {file("a", "abc", at(5))});
    buildTree(m_tgt, {file("a", "abc", at(5))});
    const std::string source = m_org + "a";
    ASSERT_EQ(::truncate(source.c_str(), (off_t(1) << 32) + 3), 0);
    const timespec times[2] = {{time_t(at(5) / 1'000'000'000), 0}, {time_t(at(5) / 1'000'000'000), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
    addPair(model::SyncMethod::Copy);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    struct stat target = {};
    ASSERT_EQ(::stat((m_tgt + "a").c_str(), &target), 0);
    EXPECT_EQ(target.st_size, (off_t(1) << 32) + 3);
    EXPECT_EQ(operations(), (Ops{.tgtFilesOverwritten = 1}.snapshot()));
}

class ContentEqualTest : public ::testing::Test
{
protected:
    TempDir m_dir;
    platform::PosixFileSystem m_posix;
};

TEST_F(ContentEqualTest, StreamsWholeFilesAndTreatsFailuresAsDifferent)
{
    const std::string big(std::size_t{300} * 1024 + 17, 'q');
    std::string bigLastDiffers = big;
    bigLastDiffers.back() = 'r';
    buildTree(m_dir.path(),
              {file("big1", big), file("big2", big), file("big3", bigLastDiffers),
               file("short", big.substr(0, std::size_t{64} * 1024)), file("empty1", ""), file("empty2", "")});
    auto equal = [&](const char* a, const char* b) {
        return engine::IsContentEqual(m_posix, m_dir / a, m_dir / b);
    };

    EXPECT_TRUE(equal("big1", "big2"));
    EXPECT_FALSE(equal("big1", "big3"));
    EXPECT_FALSE(equal("big1", "short"));
    EXPECT_FALSE(equal("short", "big1"));
    EXPECT_TRUE(equal("empty1", "empty2"));
    EXPECT_FALSE(equal("big1", "missing"));

    FaultyFileSystem faulty(m_posix);
    faulty.failNth(Op::Read, 3, platform::FsError::Other);
    EXPECT_FALSE(engine::IsContentEqual(faulty, m_dir / "big1", m_dir / "big2"));
}

// Large files are read on two threads at once: the answers stay those of a plain read, a
// difference in the last byte of a later block included.
TEST_F(ContentEqualTest, LargeFilesReadOnTwoThreadsGiveTheSameAnswers)
{
    std::string large(9 * 1024 * 1024 + 5, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i * 7 + i / 4093);
    std::string lastDiffers = large;
    lastDiffers.back() ^= 1;
    std::string firstBlockDiffers = large;
    firstBlockDiffers[12345] ^= 1;
    buildTree(m_dir.path(), {file("a", large), file("b", large), file("c", lastDiffers),
                             file("d", firstBlockDiffers), file("e", large.substr(0, large.size() - 1))});
    const uint64_t size = large.size();
    auto equal = [&](const char* a, const char* b) {
        return engine::IsContentEqual(m_posix, m_dir / a, m_dir / b, size);
    };
    EXPECT_TRUE(equal("a", "b"));
    EXPECT_FALSE(equal("a", "c"));
    EXPECT_FALSE(equal("a", "d"));
    EXPECT_FALSE(equal("a", "e"));
    EXPECT_FALSE(equal("e", "a"));

    FaultyFileSystem faulty(m_posix);
    faulty.failNth(Op::Read, 4, platform::FsError::Other); // the target's second block
    EXPECT_FALSE(engine::IsContentEqual(faulty, m_dir / "a", m_dir / "b", size));
}

} // namespace
} // namespace tavrel::test
