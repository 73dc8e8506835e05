// SPDX-License-Identifier: GPL-3.0-or-later
// What a run must never do to data: delete for a missing source, lose a target to a failed
// copy, follow links or open FIFOs, write into overlapping folders.
#include "engine/folder_overlap.h"
#include "platform/path_text.h"
#include "support/engine_fixture.h"
#include "support/hooked_file_system.h"
#include "support/scoped_env.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrel::test {
namespace {

using model::SyncMethod;

TEST_F(EngineTest, MissingSourceFolderDeletesNothingAndSaysSo)
{
    buildTree(m_tgt, {file("precious", "p"), file("sub/more", "m")});
    buildTree(m_dir / "other", {file("x", "x")});
    addPair(SyncMethod::AbsoluteCopy, m_dir / "unplugged", m_tgt, "mirror");
    addPair(SyncMethod::LightCopy, m_dir / "other", m_dir / "other-copy", "other");

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("precious", "p"), file("sub/more", "m")}));
    EXPECT_NE(
        relative(m_sink.log()).find("Handle pair : mirror\r\nERROR: cannot read folder: ~/unplugged/\r\n"),
        std::string::npos)
        << m_sink.log();
    EXPECT_EQ(m_state.tgtFilesDeleted.load() + m_state.tgtFoldersDeleted.load(), 0);
}

TEST_F(EngineTest, ExistingEmptySourceFolderStillDeletes)
{
    buildTree(m_org, {folder("empty")});
    buildTree(m_tgt, {file("empty/old", "o"), file("empty/dir/x", "x")});
    buildTree(m_dir / "other", {file("x", "x")});
    addPair(SyncMethod::AbsoluteCopy, m_dir / "org/empty", m_dir / "tgt/empty");
    addPair(SyncMethod::LightCopy, m_dir / "other", m_dir / "other-copy");

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({folder("empty")}));
    EXPECT_EQ(operations(),
              (Ops{.tgtFilesCreated = 1, .tgtFoldersCreated = 1, .tgtFilesDeleted = 1, .tgtFoldersDeleted = 1}
                   .snapshot()));
}

TEST_F(EngineTest, FailedOverwriteKeepsTheOldTargetAndLeavesNoTemporaryFile)
{
    buildTree(m_org, {file("a", "new", at(9))});
    buildTree(m_tgt, {file("a", "old", at(1))});
    addPair(SyncMethod::UpdateCopy);
    HookedFileSystem hooked(m_posix);
    // The source turns into a folder between the scan and the copy.
    hooked.beforeCopy = [](const std::string& source, const std::string&) {
        ::unlink(source.c_str());
        ::mkdir(source.c_str(), 0755);
    };

    EXPECT_EQ(run(&hooked), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("a", "old", at(1))}));
    EXPECT_NE(m_sink.log().find("        ERROR: cannot copy file: " + m_org + "a\r\n"), std::string::npos);
}

TEST_F(EngineTest, LinksAreLeavesAndALinkLoopEnds)
{
    buildTree(m_dir / "outside", {file("secret", "s")});
    buildTree(m_org, {file("a", "a"), symlink("loop", ".", at(3)), symlink("up", "../org", at(4)),
                      symlink("file-link", "a", at(5)), file("sub/b", "b")});
    buildTree(m_tgt, {symlink("stale-link", "../outside", at(1))});
    addPair(SyncMethod::AbsoluteCopy);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt),
              describeTree({file("a", "a"), symlink("loop", ".", at(3)), symlink("up", "../org", at(4)),
                            symlink("file-link", "a", at(5)), file("sub/b", "b")}));
    // The stale link went, not what it pointed to.
    EXPECT_EQ(snapshotTree(m_dir / "outside"), describeTree({file("secret", "s")}));

    // Unchanged links compare equal by their stamps on the next run, even under Check.
    m_job.pairAt(0)->contentCheck = model::ContentCheckMode::Check;
    RecordingSink second;
    ASSERT_EQ(runWith(second), engine::RunResult::Succeeded);
    EXPECT_EQ(operations(), Ops{}.snapshot());
}

TEST_F(EngineTest, FifoInSourceIsNeverOpenedNorListed)
{
    buildTree(m_org, {file("a", "a"), fifo("pipe"), fifo("sub/pipe2")});
    addPair(SyncMethod::Copy).contentCheck = model::ContentCheckMode::Check;

    EXPECT_EQ(run(), engine::RunResult::Succeeded); // run() waits at most 30 s
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("a", "a"), folder("sub")}));
    EXPECT_EQ(m_state.totalFiles.load(), 1);
}

TEST_F(EngineTest, DeletionNeverRemovesWhatTheSameTaskJustCreated)
{
    buildTree(m_org, {file("a", "a")});
    buildTree(m_tgt, {});
    addPair(SyncMethod::AbsoluteCopy);
    HookedFileSystem hooked(m_posix);
    // A second spelling of the same name, as a case-blind file system would show it.
    hooked.afterList = [this](const std::string& folder, std::vector<platform::DirEntry>& entries) {
        if (folder == m_tgt)
            for (std::size_t i = 0, n = entries.size(); i < n; ++i)
                entries.push_back(entries[i]);
    };

    EXPECT_EQ(run(&hooked), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("a", "a")}));
    EXPECT_EQ(m_state.tgtFilesDeleted.load(), 0);
}

struct OverlapCase
{
    const char* name;
    const char* org;
    const char* tgt;
};

class OverlapTest : public EngineTest, public ::testing::WithParamInterface<OverlapCase>
{
};

TEST_P(OverlapTest, RefusesFoldersThatAreTheSameOrNested)
{
    buildTree(m_org, {file("a", "a"), file("inner/b", "b")});
    ASSERT_EQ(::symlink("org", (m_dir / "alias").c_str()), 0) << std::strerror(errno);
    const OverlapCase& c = GetParam();
    addPair(SyncMethod::AbsoluteCopy, m_dir / c.org, m_dir / c.tgt);
    const TreeSnapshot before = snapshotTree(m_org);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_org), before);
    EXPECT_TRUE(snapshotTree(m_dir / "alias/new").empty());
    EXPECT_NE(m_sink.log().find("ERROR: folders overlap: " + std::string(m_dir / c.org) +
                                (std::string(c.org).ends_with('/') ? "" : "/") + " and "),
              std::string::npos)
        << m_sink.log();
}

INSTANTIATE_TEST_SUITE_P(Engine, OverlapTest,
                         ::testing::Values(OverlapCase{"Same", "org", "org/"},
                                           OverlapCase{"TgtInside", "org", "org/inner"},
                                           OverlapCase{"OrgInside", "org/inner", "org"},
                                           OverlapCase{"ThroughALink", "org", "alias/inner"},
                                           OverlapCase{"MissingTgtInside", "org", "alias/new/deeper"},
                                           OverlapCase{"DotDot", "org/inner", "org/inner/../"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineTest, SiblingFoldersWithACommonPrefixDoNotOverlap)
{
    EXPECT_FALSE(engine::foldersOverlap(m_posix, m_dir / "org", m_dir / "org2"));
    EXPECT_TRUE(engine::foldersOverlap(m_posix, m_dir / "org/", m_dir / "org/x/../y"));
}

TEST_F(EngineTest, UnknownMethodIsRefusedWithoutTouchingAnything)
{
    buildTree(m_org, {file("a", "a")});
    buildTree(m_tgt, {file("b", "b")});
    addPair(static_cast<SyncMethod>(9));

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("b", "b")}));
    EXPECT_NE(m_sink.log().find("ERROR: unknown method 9, pair skipped\r\n"), std::string::npos);
}

// Makes a chain of folders whose full path passes `length` bytes, through descriptors since
// the path functions refuse such paths.
std::string makeDeepChain(const std::string& root, std::size_t length)
{
    const std::string name(200, 'd');
    std::string path = root;
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    while (path.size() <= length) {
        ::mkdirat(fd, name.c_str(), 0755);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        path += name + "/";
    }
    const int file = ::openat(fd, "deep.txt", O_WRONLY | O_CREAT, 0644);
    ::close(file);
    ::close(fd);
    return path;
}

TEST_F(EngineTest, PathsBeyondTheLimitAreSkippedWithAnErrorLine)
{
    buildTree(m_org, {file("a", "a")});
    makeDeepChain(m_org, 4300);
    addPair(SyncMethod::Copy);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_NE(m_sink.log().find("ERROR: path too long: " + m_tgt), std::string::npos) << m_sink.log();
    EXPECT_EQ(snapshotTree(m_tgt).count("a"), 1u);
}

// The limit is the system's own, PATH_MAX less its terminating NUL: a file whose path has
// 4,095 bytes is copied, one with 4,096 is refused by name before the system is asked (and never
// met as a copy failure).
TEST_F(EngineTest, ThePathLimitIsTheSystemsToTheByte)
{
    ASSERT_EQ(m_org.size(), m_tgt.size());
    std::string rel;
    while (m_org.size() + rel.size() + 201 < platform::kMaxPathBytes - 200)
        rel += std::string(200, 'd') + "/";
    std::filesystem::create_directories(m_org + rel);
    const std::size_t room = platform::kMaxPathBytes - (m_org.size() + rel.size());
    ASSERT_GE(room, 100u);
    ASSERT_LT(room, 255u);
    const std::string longest(room, 'f');
    const std::string tooLong(room + 1, 'g');
    const int folder = ::open((m_org + rel).c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    for (const std::string& name : {longest, tooLong}) {
        const int file = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(file, 0) << std::strerror(errno);
        ::close(file);
    }
    ::close(folder);
    ASSERT_EQ((m_tgt + rel + longest).size(), platform::kMaxPathBytes);
    addPair(SyncMethod::Copy);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_TRUE(std::filesystem::exists(m_tgt + rel + longest)) << m_sink.log();
    EXPECT_NE(m_sink.log().find("ERROR: path too long: " + m_org + rel + tooLong + "\r\n"), std::string::npos)
        << m_sink.log();
    EXPECT_EQ(m_sink.log().find("cannot copy"), std::string::npos) << m_sink.log();
    const int tgtFolder = ::open((m_tgt + rel).c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(tgtFolder, 0);
    struct stat info
    {
    };
    EXPECT_NE(::fstatat(tgtFolder, tooLong.c_str(), &info, AT_SYMLINK_NOFOLLOW), 0);
    ::close(tgtFolder);
}

TEST_F(EngineTest, RecycleSwitchMovesDeletedItemsToTheTrash)
{
    const std::string data = m_dir / "data";
    const ScopedEnv dataHome("XDG_DATA_HOME", data);
    buildTree(data, {folder("Trash")});
    buildTree(m_org, {file("a", "a")});
    buildTree(m_tgt, {file("a", "a"), file("old", "o")});
    addPair(SyncMethod::AbsoluteCopy).recycleDeleted = 1;

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("a", "a")}));
    EXPECT_EQ(readFile(data + "/Trash/files/old"), "o");
}

} // namespace
} // namespace tavrel::test
