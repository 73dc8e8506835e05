// SPDX-License-Identifier: GPL-3.0-or-later
// The tree watch through the real kernel: a folder that comes is watched with what it holds,
// the program's own temporary files and a volume's trash folder are no changes, a link is a
// leaf, and a root that goes is told.
#include "platform/posix/temporary_name.h"
#include "platform/tree_watch.h"
#include "support/temp_tree.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class TreeWatchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        buildTree(m_root, {folder("a")});
        m_watch = platform::openTreeWatch();
        ASSERT_TRUE(m_watch);
        ASSERT_EQ(m_watch->watchTree(7, m_root), platform::WatchStatus::Ok);
    }

    // Gathers what the watch tells until `seen` holds, or 10 s passed.
    bool gatherUntil(const std::function<bool()>& seen)
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!seen()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            m_watch->wait(50ms, m_events);
        }
        return true;
    }

    bool changed(const std::string& folder, const std::string& name) const
    {
        for (const platform::TreeChange& change : m_events.changes)
            if (change.tree == 7 && change.folder == folder && change.name == name)
                return true;
        return false;
    }

    TempDir m_dir;
    std::string m_root = m_dir / "t";
    std::unique_ptr<platform::TreeWatch> m_watch;
    platform::WatchEvents m_events;
};

TEST_F(TreeWatchTest, NewFoldersAreWatchedAndTheProgramsOwnNamesAreNoChanges)
{
    fs::create_directories(m_root + "/.Trash-0/files");
    writeFile(m_root + "/.Trash-0/files/gone", "x");
    writeFile(m_root + "/a/" + platform::temporaryNameFor("copy"), "x");
    fs::create_directory_symlink(m_dir / "elsewhere", m_root + "/link");
    fs::create_directories(m_dir / "elsewhere");
    fs::create_directory(m_root + "/n");
    ASSERT_TRUE(gatherUntil([&] { return changed("", "n"); }));
    writeFile(m_root + "/n/f", "f");
    writeFile(m_dir / "elsewhere/outside", "o");
    ASSERT_TRUE(gatherUntil([&] { return changed("n", "f"); }));

    EXPECT_TRUE(changed("", "link"));
    for (const platform::TreeChange& change : m_events.changes) {
        EXPECT_EQ(change.name.find(".Trash"), std::string::npos) << change.folder << "/" << change.name;
        EXPECT_FALSE(platform::isTemporaryName(change.name)) << change.folder << "/" << change.name;
        EXPECT_NE(change.name, "outside") << "a change behind a link was seen";
        EXPECT_EQ(change.newFolder, change.folder.empty() && change.name == "n") << change.name;
    }
    // The root, a/ and n/: neither the trash nor the link's folder.
    EXPECT_EQ(m_watch->watchedFolders(), 3u);
    EXPECT_FALSE(m_events.overflowed);
}

// A copy written as an unnamed file and linked once whole is told by its name alone; the
// kernel's "#inode" name of the unnamed file is no change, but a real file of such a name is.
TEST_F(TreeWatchTest, AnUnnamedFileLinkedWholeIsOneChangeOfItsName)
{
    writeFile(m_root + "/a/#12", "old");
    {
        const int fd = ::open((m_root + "/a").c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (fd < 0)
            GTEST_SKIP() << "this volume makes no unnamed files: " << std::strerror(errno);
        ASSERT_EQ(::write(fd, "new", 3), 3);
        ASSERT_EQ(::fchmod(fd, 0644), 0);
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        ASSERT_EQ(::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, (m_root + "/a/copy").c_str(), AT_SYMLINK_FOLLOW),
                  0)
            << std::strerror(errno);
        ::close(fd);
    }
    ASSERT_TRUE(gatherUntil([&] { return changed("a", "copy"); }));
    writeFile(m_root + "/a/#12", "changed");
    ASSERT_TRUE(gatherUntil([&] { return changed("a", "#12"); }));
    for (const platform::TreeChange& change : m_events.changes)
        EXPECT_TRUE(change.name == "copy" || change.name == "#12") << change.folder << "/" << change.name;
}

TEST_F(TreeWatchTest, RootThatGoesIsToldAndItsWatchesDropped)
{
    fs::rename(m_root, m_dir / "moved");
    ASSERT_TRUE(gatherUntil([&] { return !m_events.rootsGone.empty(); }));
    EXPECT_EQ(m_events.rootsGone.front(), 7);
    m_watch->unwatchTree(7);
    EXPECT_EQ(m_watch->watchedFolders(), 0u);
    EXPECT_EQ(m_watch->watchTree(8, m_root), platform::WatchStatus::Missing);
}

} // namespace
} // namespace tavrel::test
