// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/own_files.h"
#include "support/temp_tree.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace tavrel::platform {
namespace {

using test::buildTree;
using test::TempDir;

std::string contentOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// What opening each kind of item gives, by each way the program opens its own files: only a
// regular file opens, a FIFO never blocks the open, and a link is followed only when asked.
TEST(RegularFile, OpensOnlyARegularFile)
{
    TempDir dir;
    buildTree(dir.path(), {test::file("file", "abc"), test::fifo("fifo"), test::folder("folder"),
                           test::symlink("link", "file")});
    struct Case
    {
        const char* name;
        bool followLinks;
        std::error_code expected;
    };
    const std::error_code notRegular = std::make_error_code(std::errc::invalid_argument);
    const Case cases[] = {
        {"file", false, {}},
        {"fifo", true, notRegular},
        {"folder", true, notRegular},
        {"link", true, {}},
        {"link", false, notRegular},
        {"missing", true, std::make_error_code(std::errc::no_such_file_or_directory)},
    };
    for (const Case& c : cases) {
        RegularFile file;
        EXPECT_EQ(file.open(dir / c.name, RegularFile::Access::Read, c.followLinks), c.expected)
            << c.name << (c.followLinks ? " followed" : " not followed");
        EXPECT_EQ(file.isOpen(), !c.expected) << c.name;
    }
}

TEST(RegularFile, ReadsAWholeFileUpToItsBound)
{
    TempDir dir;
    buildTree(dir.path(), {test::file("four", "1234")});
    RegularFile file;
    ASSERT_FALSE(file.open(dir / "four", RegularFile::Access::ReadWrite));
    std::vector<uint8_t> bytes;
    EXPECT_EQ(file.readAll(3, bytes), std::errc::file_too_large);
    EXPECT_TRUE(bytes.empty());
    ASSERT_FALSE(file.writeAt(std::vector<uint8_t>{'X'}, 1));
    ASSERT_FALSE(file.readAll(4, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "1X34");
}

TEST(RegularFile, RewriteEmptiesTheFile)
{
    TempDir dir;
    buildTree(dir.path(), {test::file("report", "an older run")});
    RegularFile file;
    ASSERT_FALSE(file.open(dir / "report", RegularFile::Access::Rewrite));
    ASSERT_FALSE(file.write(std::vector<uint8_t>{'n', 'e', 'w'}));
    file.close();
    EXPECT_EQ(contentOf(dir / "report"), "new");
}

TEST(OwnFolder, RefusesALinkInPlaceOfTheFolder)
{
    TempDir dir;
    buildTree(dir.path(), {test::folder("data/elsewhere"), test::symlink("data/history", "elsewhere")});
    std::string whyNot;
    EXPECT_FALSE(OwnFolder::open(dir / "data/history", true, whyNot).isOpen());
    EXPECT_NE(whyNot.find("symbolic link"), std::string::npos) << whyNot;
}

TEST(OwnFolder, AppendsWholeLinesAfterATornOne)
{
    TempDir dir;
    buildTree(dir.path(), {test::file("data/history/index", "first\nto")});
    std::string whyNot;
    const OwnFolder folder = OwnFolder::open(dir / "data/history", false, whyNot);
    ASSERT_TRUE(folder.isOpen()) << whyNot;
    EXPECT_TRUE(folder.appendLine("index", "second\n"));
    EXPECT_EQ(folder.readOwnFile("index"), "first\nto\nsecond\n");
}

TEST(OwnFolder, ListsOnlyWantedRegularFiles)
{
    TempDir dir;
    buildTree(dir.path(), {test::file("data/history/a.htm", ""), test::file("data/history/b.txt", ""),
                           test::symlink("data/history/c.htm", "a.htm"), test::folder("data/history/d.htm")});
    std::string whyNot;
    const OwnFolder folder = OwnFolder::open(dir / "data/history", false, whyNot);
    ASSERT_TRUE(folder.isOpen()) << whyNot;
    const std::vector<std::string> names =
        folder.ownFileNames([](std::string_view name) { return name.ends_with(".htm"); });
    EXPECT_EQ(names, std::vector<std::string>{"a.htm"});
}

TEST(OwnFolder, CopiesUnderANewNameOnly)
{
    TempDir dir;
    buildTree(dir.path(), {test::file("report", "the run"), test::file("data/history/taken", "kept")});
    std::string whyNot;
    const OwnFolder folder = OwnFolder::open(dir / "data/history", false, whyNot);
    ASSERT_TRUE(folder.isOpen()) << whyNot;
    EXPECT_EQ(folder.createCopy("taken", dir / "report"), EEXIST);
    EXPECT_EQ(contentOf(dir / "data/history/taken"), "kept");
    EXPECT_EQ(folder.createCopy("fresh", dir / "report"), 0);
    EXPECT_EQ(contentOf(dir / "data/history/fresh"), "the run");
    EXPECT_NE(folder.createCopy("lost", dir / "missing"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "data/history/lost")) << "a failed copy leaves nothing";
    EXPECT_TRUE(folder.replaceFile("taken", "anew"));
    EXPECT_EQ(contentOf(dir / "data/history/taken"), "anew");
    EXPECT_TRUE(folder.remove("fresh"));
    EXPECT_FALSE(std::filesystem::exists(dir / "data/history/fresh"));
}

} // namespace
} // namespace tavrel::platform
