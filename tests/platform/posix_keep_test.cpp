// SPDX-License-Identifier: GPL-3.0-or-later
// Keeping a replaced or deleted item as a version: moved or linked on one volume, copied,
// read back and only then removed across volumes, and never lost or doubled on a failure.
#include "platform/posix/posix_file_system.h"
#include "support/temp_tree.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tavrel::platform;
using namespace tavrel::test;

namespace {

// A tmpfs of its own: another volume than the scratch folder's.
class OtherVolume final
{
public:
    explicit OtherVolume(const std::string& path) : m_path(path)
    {
        std::filesystem::create_directories(path);
        m_mounted = ::geteuid() == 0 && ::mount("tavrel-test", path.c_str(), "tmpfs", 0, "size=1m") == 0;
    }
    ~OtherVolume()
    {
        if (m_mounted)
            ::umount(m_path.c_str());
    }
    OtherVolume(const OtherVolume&) = delete;
    OtherVolume& operator=(const OtherVolume&) = delete;
    bool mounted() const { return m_mounted; }

private:
    std::string m_path;
    bool m_mounted = false;
};

// Each mode on one volume and across two: the kept item has the original's content (a link
// its text) and time; Move takes the original away, Copy leaves it, and on one volume the
// kept item is the original's own inode (no bytes were copied).
TEST(PosixKeep, KeepsFilesAndLinksByModeOnOneVolumeAndAcross)
{
    TempDir scratch;
    OtherVolume other(scratch / "other");
    const struct
    {
        const char* what;
        KeepMode mode;
        bool acrossVolumes;
    } cases[] = {
        {"move, one volume", KeepMode::Move, false},
        {"copy, one volume", KeepMode::Copy, false},
        {"move, across", KeepMode::Move, true},
        {"copy, across", KeepMode::Copy, true},
    };
    PosixFileSystem fs;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.acrossVolumes && !other.mounted()) {
            GTEST_SKIP() << "mounting a tmpfs needs root";
        }
        const std::string from = scratch / "from/";
        const std::string into = c.acrossVolumes ? scratch / "other/into/" : scratch / "into/";
        std::filesystem::remove_all(from);
        std::filesystem::remove_all(into);
        buildTree(from, {file("doc.txt", "old words", at(7)), symlink("link", "doc.txt", at(8))});
        buildTree(into, {});
        const ino_t inode = lstatOf(from + "doc.txt").st_ino;
        ASSERT_EQ(fs.keepItem(from + "doc.txt", into + "doc 1.txt", c.mode), FsError::Ok);
        ASSERT_EQ(fs.keepItem(from + "link", into + "link 1", c.mode), FsError::Ok);
        EXPECT_EQ(readFile(into + "doc 1.txt"), "old words");
        EXPECT_EQ(std::filesystem::read_symlink(into + "link 1"), "doc.txt");
        EXPECT_EQ(lstatOf(into + "doc 1.txt").st_mtim.tv_sec, at(7) / 1'000'000'000);
        EXPECT_EQ(lstatOf(into + "doc 1.txt").st_ino == inode, !c.acrossVolumes);
        const bool stays = c.mode == KeepMode::Copy;
        EXPECT_EQ(std::filesystem::exists(from + "doc.txt"), stays);
        EXPECT_EQ(std::filesystem::is_symlink(from + "link"), stays);
        if (stays) {
            EXPECT_EQ(readFile(from + "doc.txt"), "old words");
        }
    }
}

// A taken name, a folder, a missing item or folder: refused, and both places as they were.
TEST(PosixKeep, RefusalsLeaveBothPlacesAsTheyWere)
{
    TempDir scratch;
    buildTree(scratch / "from", {file("doc", "mine"), folder("dir"), file("dir/inner", "x")});
    buildTree(scratch / "into", {file("taken", "theirs")});
    PosixFileSystem fs;
    const TreeSnapshot fromBefore = snapshotTree(scratch / "from");
    const TreeSnapshot intoBefore = snapshotTree(scratch / "into");
    for (const KeepMode mode : {KeepMode::Move, KeepMode::Copy}) {
        SCOPED_TRACE(mode == KeepMode::Move ? "move" : "copy");
        EXPECT_EQ(fs.keepItem(scratch / "from/doc", scratch / "into/taken", mode), FsError::Exists);
        EXPECT_EQ(fs.keepItem(scratch / "from/dir", scratch / "into/dir", mode), FsError::Other);
        EXPECT_EQ(fs.keepItem(scratch / "from/gone", scratch / "into/gone", mode), FsError::NotFound);
        EXPECT_EQ(fs.keepItem(scratch / "from/doc", scratch / "into/no/doc", mode), FsError::NotFound);
        EXPECT_EQ(snapshotTree(scratch / "from"), fromBefore);
        EXPECT_EQ(snapshotTree(scratch / "into"), intoBefore);
    }
}

// Only an empty folder goes: one that holds anything stays with what it holds.
TEST(PosixKeep, OnlyEmptyFoldersAreRemoved)
{
    TempDir scratch;
    buildTree(scratch / "t", {folder("empty"), file("full/a", "a")});
    PosixFileSystem fs;
    EXPECT_EQ(fs.removeEmptyFolder(scratch / "t/full/"), FsError::Other);
    EXPECT_EQ(readFile(scratch / "t/full/a"), "a");
    EXPECT_EQ(fs.removeEmptyFolder(scratch / "t/empty/"), FsError::Ok);
    EXPECT_FALSE(std::filesystem::exists(scratch / "t/empty"));
    EXPECT_EQ(fs.removeEmptyFolder(scratch / "t/empty/"), FsError::NotFound);
    EXPECT_EQ(fs.removeEmptyFolder(scratch / "t/full/a"), FsError::Other);
}

// Through a pair's view, between a root and a versions folder that is a root of its own.
TEST(PosixKeep, AViewKeepsBetweenItsRoots)
{
    TempDir scratch;
    buildTree(scratch / "tgt", {file("sub/doc", "old")});
    buildTree(scratch / "versions", {folder("sub")});
    PosixFileSystem disk;
    FsError error = FsError::Ok;
    const auto view = disk.confineTo({scratch / "org/", scratch / "tgt/", scratch / "versions/"}, error);
    ASSERT_EQ(error, FsError::Ok);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->keepItem(scratch / "tgt/sub/doc", scratch / "versions/sub/doc 1", KeepMode::Move),
              FsError::Ok);
    EXPECT_EQ(readFile(scratch / "versions/sub/doc 1"), "old");
    EXPECT_FALSE(std::filesystem::exists(scratch / "tgt/sub/doc"));
    EXPECT_EQ(view->keepItem(scratch / "versions/sub/doc 1", "/tmp/outside", KeepMode::Copy), FsError::Other)
        << "nothing outside the view's roots is reached";
    EXPECT_EQ(view->removeEmptyFolder(scratch / "tgt/sub/"), FsError::Ok);
    EXPECT_EQ(view->removeEmptyFolder(scratch / "tgt/"), FsError::Other) << "a root is never removed";
}

} // namespace
