// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/fd_io.h"
#include "platform/replace_file.h"
#include "support/temp_tree.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

using namespace tavrel::platform;
using tavrel::test::readFile;
using tavrel::test::TempDir;
using tavrel::test::writeFile;
namespace fs = std::filesystem;

namespace {

class ReplaceFileTest : public ::testing::Test
{
protected:
    // Names in the folder other than `except`.
    std::vector<std::string> leftovers(const std::string& except) const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_folder))
            if (entry.path().filename() != except)
                names.push_back(entry.path().filename().string());
        return names;
    }
    static std::span<const uint8_t> bytesOf(const std::string& text)
    {
        return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
    }

    TempDir m_dir;
    fs::path m_folder{m_dir.path()};
};

} // namespace

TEST_F(ReplaceFileTest, CreatesAndReplacesWithTheGivenContent)
{
    const fs::path target = m_folder / "out.bin";
    ASSERT_FALSE(replaceFile(target, bytesOf("first")));
    EXPECT_EQ(readFile(target), "first");
    ASSERT_FALSE(replaceFile(target, bytesOf("second, longer")));
    EXPECT_EQ(readFile(target), "second, longer");
    EXPECT_TRUE(leftovers("out.bin").empty());
}

TEST_F(ReplaceFileTest, KeepsTheModeOfTheReplacedFileOrTakesTheGivenOne)
{
    const fs::path target = m_folder / "mode.bin";
    writeFile(target, "old");
    ::chmod(target.c_str(), 0640);
    ASSERT_FALSE(replaceFile(target, bytesOf("new")));
    struct stat info = {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    ASSERT_FALSE(replaceFile(target, bytesOf("newer"), ReplaceOptions{.mode = 0604}));
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
}

TEST_F(ReplaceFileTest, AFailingWriterLeavesTheOldFileAndNoTemporary)
{
    const fs::path target = m_folder / "keep.bin";
    writeFile(target, "precious");
    const auto error = replaceFile(target, [](int fd) {
        posix::writeAll(fd, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("partial"), 7));
        return std::make_error_code(std::errc::no_space_on_device);
    });
    EXPECT_EQ(error, std::errc::no_space_on_device);
    EXPECT_EQ(readFile(target), "precious");
    EXPECT_TRUE(leftovers("keep.bin").empty());
}

TEST_F(ReplaceFileTest, AFolderInTheWayFailsWithoutLeavingATemporary)
{
    const fs::path target = m_folder / "dir";
    fs::create_directory(target);
    fs::create_directory(target / "inside");
    EXPECT_TRUE(replaceFile(target, bytesOf("x")));
    EXPECT_TRUE(fs::is_directory(target / "inside"));
    EXPECT_TRUE(leftovers("dir").empty());
}

TEST_F(ReplaceFileTest, AMissingFolderFails)
{
    EXPECT_EQ(replaceFile(m_folder / "missing" / "x.bin", bytesOf("x")),
              std::errc::no_such_file_or_directory);
}

TEST_F(ReplaceFileTest, CreateOnlyRefusesAnExistingDestination)
{
    const fs::path target = m_folder / "once.bin";
    ASSERT_FALSE(replaceFile(target, bytesOf("one"), ReplaceOptions{.mode = {}, .replaceExisting = false}));
    EXPECT_EQ(replaceFile(target, bytesOf("two"), ReplaceOptions{.mode = {}, .replaceExisting = false}),
              std::errc::file_exists);
    EXPECT_EQ(readFile(target), "one");
    EXPECT_TRUE(leftovers("once.bin").empty());
}

TEST_F(ReplaceFileTest, ALinkAtTheDestinationIsReplacedNotFollowed)
{
    const fs::path outside = m_folder / "outside.txt";
    writeFile(outside, "untouched");
    const fs::path link = m_folder / "link";
    fs::create_symlink(outside, link);
    ASSERT_FALSE(replaceFile(link, bytesOf("new")));
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(readFile(link), "new");
    EXPECT_EQ(readFile(outside), "untouched");
}
