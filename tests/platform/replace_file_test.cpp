// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fd_io.h"
#include "platform/replace_file.h"
#include "platform/text_codec.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/stat.h>

using namespace tavrel::platform;
namespace fs = std::filesystem;

namespace {

class ReplaceFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder =
            fs::temp_directory_path() / ("replace_file_test_" + std::to_string(::getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    static std::string contentOf(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void writeText(const fs::path& path, const std::string& text)
    {
        std::ofstream(path, std::ios::binary) << text;
    }
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

    fs::path m_folder;
};

} // namespace

TEST(TemporaryName, FollowsTheRuleAndStaysWithinTheNameLimit)
{
    for (const std::string& name : {std::string("job.tsp"), std::string(".hidden"), std::string(255, 'x'),
                                    std::string(250, 'a') + "\xc3\xa9\xc3\xa9\xc3\xa9"}) {
        SCOPED_TRACE(name.size());
        const std::string temporary = temporaryNameFor(name);
        EXPECT_TRUE(isTemporaryName(temporary));
        EXPECT_LE(temporary.size(), kMaxNameBytes);
        EXPECT_EQ(temporary.front(), '.');
        EXPECT_TRUE(temporary.ends_with(".tavrel-tmp"));
        EXPECT_TRUE(isValidUtf8(temporary)) << "a shortened name must not split a character";
        EXPECT_NE(temporaryNameFor(name), temporary) << "each call gives a fresh name";
    }
    EXPECT_EQ(temporaryNameFor("job.tsp").rfind(".job.tsp.", 0), 0u);
}

TEST(TemporaryName, RecognisesOnlyTheReservedPattern)
{
    EXPECT_TRUE(isTemporaryName(".a.tavrel-tmp"));
    EXPECT_FALSE(isTemporaryName("a.tavrel-tmp"));
    EXPECT_FALSE(isTemporaryName(".a.tavrel-tmp.txt"));
    EXPECT_FALSE(isTemporaryName(".tavrel-tm"));
    EXPECT_FALSE(isTemporaryName(""));

    // Only names made by temporaryNameFor are ever removed as leftovers.
    for (const std::string& name : {std::string("job.tsp"), std::string(255, 'n'), std::string("x")}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(isExactTemporaryName(temporaryNameFor(name)));
    }
    for (const char* name :
         {".a.tavrel-tmp", "..0a1b2c3d.tavrel-tmp", ".a.0a1b2c3.tavrel-tmp", ".a.0a1B2c3d.tavrel-tmp",
          ".a-0a1b2c3d.tavrel-tmp", "a.0a1b2c3d.tavrel-tmp", ".a.0a1b2c3d.tavrel-tmpx"})
        EXPECT_FALSE(isExactTemporaryName(name)) << name;
}

TEST_F(ReplaceFileTest, CreatesAndReplacesWithTheGivenContent)
{
    const fs::path target = m_folder / "out.bin";
    ASSERT_FALSE(replaceFile(target, bytesOf("first")));
    EXPECT_EQ(contentOf(target), "first");
    ASSERT_FALSE(replaceFile(target, bytesOf("second, longer")));
    EXPECT_EQ(contentOf(target), "second, longer");
    EXPECT_TRUE(leftovers("out.bin").empty());
}

TEST_F(ReplaceFileTest, KeepsTheModeOfTheReplacedFileOrTakesTheGivenOne)
{
    const fs::path target = m_folder / "mode.bin";
    writeText(target, "old");
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
    writeText(target, "precious");
    const auto error = replaceFile(target, [](int fd) {
        posix::writeAll(fd, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("partial"), 7));
        return std::make_error_code(std::errc::no_space_on_device);
    });
    EXPECT_EQ(error, std::errc::no_space_on_device);
    EXPECT_EQ(contentOf(target), "precious");
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
    EXPECT_EQ(contentOf(target), "one");
    EXPECT_TRUE(leftovers("once.bin").empty());
}

TEST_F(ReplaceFileTest, ALinkAtTheDestinationIsReplacedNotFollowed)
{
    const fs::path outside = m_folder / "outside.txt";
    writeText(outside, "untouched");
    const fs::path link = m_folder / "link";
    fs::create_symlink(outside, link);
    ASSERT_FALSE(replaceFile(link, bytesOf("new")));
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(contentOf(link), "new");
    EXPECT_EQ(contentOf(outside), "untouched");
}
