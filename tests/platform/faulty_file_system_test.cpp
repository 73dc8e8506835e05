// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_file_system.h"
#include "support/faulty_file_system.h"
#include "support/temp_tree.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace tavrel::platform;
using tavrel::test::FaultyFileSystem;
using tavrel::test::readFile;
using tavrel::test::TempDir;
using tavrel::test::writeFile;
using Operation = FaultyFileSystem::Operation;

namespace {

class FaultyFileSystemTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* name : {"a", "b", "c"})
            writeFile(scratch / name, name);
        ASSERT_EQ(fs.createFolder(scratch / "tgt/"), FsError::Ok);
    }

    TempDir scratch;
    PosixFileSystem posix;
    FaultyFileSystem fs{posix};
};

} // namespace

TEST_F(FaultyFileSystemTest, FailsOnlyTheNthCallOfItsKind)
{
    fs.failNth(Operation::CopyCreateOnly, 2, FsError::DiskFull);
    EXPECT_EQ(fs.copy(scratch / "a", scratch / "tgt/a", {CopyMode::CreateOnly}), FsError::Ok);
    EXPECT_EQ(fs.copy(scratch / "a", scratch / "tgt/a", {CopyMode::Overwrite}),
              FsError::Ok); // another kind
    EXPECT_EQ(fs.copy(scratch / "b", scratch / "tgt/b", {CopyMode::CreateOnly}), FsError::DiskFull);
    EXPECT_EQ(fs.copy(scratch / "c", scratch / "tgt/c", {CopyMode::CreateOnly}), FsError::Ok);

    EXPECT_EQ(readFile(scratch / "tgt/a"), "a");
    EXPECT_FALSE(std::filesystem::exists(scratch / "tgt/b")); // the failed call never reached the disk
    EXPECT_EQ(readFile(scratch / "tgt/c"), "c");
    EXPECT_EQ(fs.callCount(Operation::CopyCreateOnly), 3);
    EXPECT_EQ(fs.callCount(Operation::CopyOverwrite), 1);
    EXPECT_EQ(fs.callCount(Operation::CreateFolder), 1);

    fs.reset();
    EXPECT_EQ(fs.callCount(Operation::CopyCreateOnly), 0);
    EXPECT_EQ(fs.copy(scratch / "b", scratch / "tgt/b", {CopyMode::CreateOnly}), FsError::Ok);
}

TEST_F(FaultyFileSystemTest, FailsEveryCallOnMatchingPaths)
{
    fs.failMatching(Operation::ReadStamp, "/b", FsError::AccessDenied);
    fs.failMatching(Operation::List, "tgt", FsError::Other);
    fs.failMatching(Operation::CopyOverwrite, "tgt/c", FsError::DiskFull);

    FileStamp stamp;
    EXPECT_EQ(fs.readStamp(scratch / "a", stamp), FsError::Ok);
    EXPECT_EQ(fs.readStamp(scratch / "b", stamp), FsError::AccessDenied);
    EXPECT_EQ(fs.readStamp(scratch / "b", stamp), FsError::AccessDenied);

    std::vector<DirEntry> entries;
    EXPECT_EQ(fs.listFolder(scratch / "tgt/", entries), FsError::Other);
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(fs.listFolder(scratch.path(), entries), FsError::Ok);
    EXPECT_EQ(entries.size(), 4u);

    EXPECT_EQ(fs.copy(scratch / "c", scratch / "tgt/c", {CopyMode::Overwrite}),
              FsError::DiskFull); // target path
    EXPECT_EQ(fs.copy(scratch / "c", scratch / "tgt/d", {CopyMode::Overwrite}), FsError::Ok);
}

TEST_F(FaultyFileSystemTest, RefusedDeletesRemoveNothing)
{
    fs.refuseDeletes();
    EXPECT_EQ(fs.deleteItem(scratch / "a", false), FsError::AccessDenied);
    EXPECT_EQ(fs.deleteItem(scratch / "tgt", false), FsError::AccessDenied);
    EXPECT_EQ(readFile(scratch / "a"), "a");
    EXPECT_TRUE(std::filesystem::is_directory(scratch / "tgt"));
    EXPECT_EQ(fs.callCount(Operation::Delete), 2);
}

TEST_F(FaultyFileSystemTest, ReadersFailTheChosenRead)
{
    writeFile(scratch / "big", std::string(3 * kCompareBlockSize, 'x'));
    fs.failNth(Operation::Read, 2, FsError::Other);
    FsError error = FsError::Other;
    auto reader = fs.openForReading(scratch / "big", error);
    ASSERT_NE(reader, nullptr);
    std::vector<char> block(kCompareBlockSize);
    EXPECT_EQ(reader->read(block.data(), block.size()), static_cast<long>(block.size()));
    EXPECT_EQ(reader->read(block.data(), block.size()), -1);
    EXPECT_EQ(reader->read(block.data(), block.size()), static_cast<long>(block.size()));
    EXPECT_EQ(fs.callCount(Operation::Read), 3);

    fs.failMatching(Operation::OpenForReading, "big", FsError::AccessDenied);
    EXPECT_EQ(fs.openForReading(scratch / "big", error), nullptr);
    EXPECT_EQ(error, FsError::AccessDenied);
}
