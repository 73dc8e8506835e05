// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/staged_file.h"
#include "support/temp_tree.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
#include <vector>

using namespace tavrel;
namespace fs = std::filesystem;

namespace {

std::string contentOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::size_t entriesIn(const fs::path& folder)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

std::span<const uint8_t> bytes(std::string_view text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

} // namespace

// Nothing replaces the destination before commit; an abandoned file leaves no trace.
TEST(StagedFile, TheDestinationChangesOnlyAtCommit)
{
    test::TempDir dir;
    const fs::path destination = dir / "state";
    std::ofstream(destination) << "old";
    {
        platform::StagedFile file;
        ASSERT_FALSE(file.open(destination));
        ASSERT_FALSE(file.append(bytes("new ")));
        ASSERT_FALSE(file.append(bytes("content")));
        EXPECT_EQ(contentOf(destination), "old");
        EXPECT_EQ(entriesIn(dir.path()), 2u);
    }
    EXPECT_EQ(contentOf(destination), "old");
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "the abandoned temporary is gone";

    platform::StagedFile file;
    ASSERT_FALSE(file.open(destination));
    ASSERT_FALSE(file.append(bytes("new content")));
    ASSERT_FALSE(file.commit());
    EXPECT_EQ(contentOf(destination), "new content");
    EXPECT_EQ(entriesIn(dir.path()), 1u);
    struct stat info = {};
    ASSERT_EQ(::stat(destination.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the program's own files stay private";
    EXPECT_TRUE(static_cast<bool>(file.append(bytes("late")))) << "nothing is written after the commit";
    EXPECT_TRUE(static_cast<bool>(file.commit()));

    platform::StagedFile nowhere;
    EXPECT_EQ(nowhere.open(dir / "missing/state"), std::errc::no_such_file_or_directory);
}

TEST(StagedFile, SequentialReadsARegularFileTwiceAndRefusesOthers)
{
    test::TempDir dir;
    std::ofstream(dir / "file") << "abcdef";
    platform::SequentialFile file;
    ASSERT_FALSE(file.open(dir / "file"));
    EXPECT_EQ(file.size(), 6u);
    std::vector<uint8_t> buffer(4);
    EXPECT_EQ(file.read(buffer), 4);
    EXPECT_EQ(file.read(buffer), 2);
    EXPECT_EQ(file.read(buffer), 0);
    ASSERT_TRUE(file.rewind());
    EXPECT_EQ(file.read(buffer), 4);
    EXPECT_EQ(buffer[0], 'a');

    fs::create_symlink(dir / "file", dir / "link");
    fs::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (const char* name : {"link", "folder", "fifo"}) {
        SCOPED_TRACE(name);
        platform::SequentialFile other;
        EXPECT_EQ(other.open(dir / name), std::errc::invalid_argument);
    }
    platform::SequentialFile missing;
    EXPECT_EQ(missing.open(dir / "none"), std::errc::no_such_file_or_directory);
}

TEST(StagedFile, FoldersAreMadePrivateAndLeftoversRemoved)
{
    test::TempDir dir;
    const fs::path folder = fs::path(dir / "a") / "b" / "c";
    ASSERT_FALSE(platform::makePrivateFolders(folder));
    ASSERT_FALSE(platform::makePrivateFolders(folder));
    struct stat info = {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    std::ofstream(dir / "plain") << "x";
    EXPECT_EQ(platform::makePrivateFolders(dir / "plain"), std::errc::not_a_directory);

    // A writer's temporary, as a crash leaves it, and files of other shapes.
    const fs::path leftover = folder / ".x.state.0123abcd.tavrel-tmp";
    for (const fs::path& file : {leftover, folder / "x.state", folder / ".x.state.tavrel-tmp"})
        std::ofstream(file) << "x";
    platform::removeStaleStagedFiles(folder, std::chrono::hours(1));
    EXPECT_TRUE(fs::exists(leftover)) << "young: maybe a live writer's";
    platform::removeStaleStagedFiles(folder, std::chrono::seconds(0));
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_TRUE(fs::exists(folder / "x.state"));
    EXPECT_TRUE(fs::exists(folder / ".x.state.tavrel-tmp"));

    std::ofstream(dir / "gone") << "x";
    EXPECT_FALSE(platform::removeFile(dir / "gone"));
    EXPECT_EQ(platform::removeFile(dir / "gone"), std::errc::no_such_file_or_directory);
}
