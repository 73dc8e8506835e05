// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_trash.h"
#include "support/scoped_env.h"
#include "support/temp_tree.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <optional>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tavrel::platform;
using tavrel::test::readFile;
using tavrel::test::ScopedEnv;
using tavrel::test::TempDir;
using tavrel::test::writeFile;

namespace {

bool exists(const std::string& path)
{
    struct stat st = {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool setImmutable(const std::string& path, bool on)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return done;
}

class PosixDeleteTest : public ::testing::Test
{
protected:
    TempDir scratch;
    PosixFileSystem fs;
};

} // namespace

TEST_F(PosixDeleteTest, RemovesFilesAndLinksOutright)
{
    writeFile(scratch / "file", "x");
    writeFile(scratch / "pointee", "keep");
    ASSERT_EQ(::symlink("pointee", (scratch / "link").c_str()), 0);

    EXPECT_EQ(fs.deleteItem(scratch / "file", false), FsError::Ok);
    EXPECT_EQ(fs.deleteItem(scratch / "link", false), FsError::Ok);
    EXPECT_FALSE(exists(scratch / "file"));
    EXPECT_FALSE(exists(scratch / "link"));
    EXPECT_EQ(readFile(scratch / "pointee"), "keep");
    EXPECT_EQ(fs.deleteItem(scratch / "file", false), FsError::NotFound);
}

TEST_F(PosixDeleteTest, RemovesTreeWithoutFollowingLinksOut)
{
    const std::string outside = scratch / "outside";
    ASSERT_EQ(::mkdir(outside.c_str(), 0755), 0);
    writeFile(outside + "/precious", "keep");

    const std::string tree = scratch / "tree";
    ASSERT_EQ(::mkdir(tree.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((tree + "/a").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((tree + "/a/b").c_str(), 0755), 0);
    writeFile(tree + "/a/b/deep", "x");
    writeFile(tree + "/.hidden", "x");
    writeFile(tree + "/a/locked", "x");
    ASSERT_EQ(::chmod((tree + "/a/locked").c_str(), 0444), 0);
    ASSERT_EQ(::symlink(outside.c_str(), (tree + "/a/escape").c_str()), 0);
    ASSERT_EQ(::mkfifo((tree + "/pipe").c_str(), 0644), 0);

    EXPECT_EQ(fs.deleteItem(tree + "/", false), FsError::Ok);
    EXPECT_FALSE(exists(tree));
    EXPECT_EQ(readFile(outside + "/precious"), "keep");
}

TEST_F(PosixDeleteTest, LinkToFolderGivenWithSlashIsRemovedAsLink)
{
    ASSERT_EQ(::mkdir((scratch / "folder").c_str(), 0755), 0);
    writeFile(scratch / "folder/inside", "keep");
    ASSERT_EQ(::symlink("folder", (scratch / "alias").c_str()), 0);
    EXPECT_EQ(fs.deleteItem(scratch / "alias/", false), FsError::Ok);
    EXPECT_FALSE(exists(scratch / "alias"));
    EXPECT_EQ(readFile(scratch / "folder/inside"), "keep");
}

// A folder that cannot be emptied (read-only for a user; an immutable file for root, who
// ignores permissions) ends the removal with its error and leaves what was not removed.
TEST_F(PosixDeleteTest, StopsAtFirstFailure)
{
    const std::string tree = scratch / "tree";
    ASSERT_EQ(::mkdir(tree.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((tree + "/shut").c_str(), 0755), 0);
    const std::string file = tree + "/shut/file";
    writeFile(file, "x");
    const bool immutable = ::geteuid() == 0;
    if (immutable && !setImmutable(file, true))
        GTEST_SKIP() << "this file system has no immutable flag";
    if (!immutable) {
        ASSERT_EQ(::chmod((tree + "/shut").c_str(), 0555), 0);
    }

    const FsError result = fs.deleteItem(tree, false);
    const bool kept = exists(file);
    if (immutable)
        setImmutable(file, false);
    EXPECT_EQ(result, FsError::AccessDenied);
    EXPECT_TRUE(kept);
}

// Trash folders stay on the scratch file system: with the real home on another one, the items
// would go to a .Trash-$uid at the top of the file system holding them.
TEST_F(PosixDeleteTest, MovesItemsToTheUsersTrash)
{
    const std::string data = scratch / "data";
    ASSERT_EQ(::mkdir(data.c_str(), 0700), 0);
    ScopedEnv home("HOME", scratch.path());
    ScopedEnv dataHome("XDG_DATA_HOME", data);

    writeFile(scratch / "doomed.txt", "bye");
    ASSERT_EQ(::mkdir((scratch / "folder").c_str(), 0755), 0);
    writeFile(scratch / "folder/inside", "in");
    ASSERT_EQ(::symlink("folder", (scratch / "alias").c_str()), 0);

    EXPECT_EQ(fs.deleteItem(scratch / "doomed.txt", true), FsError::Ok);
    EXPECT_EQ(fs.deleteItem(scratch / "alias", true), FsError::Ok);
    EXPECT_EQ(fs.deleteItem(scratch / "folder/", true), FsError::Ok);

    EXPECT_FALSE(exists(scratch / "doomed.txt"));
    EXPECT_FALSE(exists(scratch / "folder"));
    EXPECT_EQ(readFile(data + "/Trash/files/doomed.txt"), "bye");
    EXPECT_TRUE(exists(data + "/Trash/info/doomed.txt.trashinfo"));
    EXPECT_EQ(readFile(data + "/Trash/files/folder/inside"), "in");
    struct stat st = {};
    ASSERT_EQ(::lstat((data + "/Trash/files/alias").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    EXPECT_EQ(fs.deleteItem(scratch / "doomed.txt", true), FsError::NotFound);
}

TEST_F(PosixDeleteTest, FailedTrashDeletesNothing)
{
    ScopedEnv home("HOME", scratch.path());
    ScopedEnv dataHome("XDG_DATA_HOME", scratch / "data");

    // On a read-only mount nothing can move: the trash fails and the file stays.
    const std::string mount = scratch / "mount";
    ASSERT_EQ(::mkdir(mount.c_str(), 0755), 0);
    if (::geteuid() != 0 || ::mount("tavrel-test", mount.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "mounting a tmpfs needs root";
    writeFile(mount + "/file", "keep");
    const bool readOnly =
        ::mount("tavrel-test", mount.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    const FsError result = fs.deleteItem(mount + "/file", true);
    const std::string kept = readFile(mount + "/file");
    ::umount(mount.c_str());
    ASSERT_TRUE(readOnly);
    EXPECT_EQ(result, FsError::Other);
    EXPECT_EQ(kept, "keep");
}

// The home trash on another volume than the item (the data folder on a tmpfs here; a target
// drive lazily unmounted looks the same) is never used: the item stays, no record is left
// there, and the reason says why.
TEST_F(PosixDeleteTest, TrashOnAnotherVolumeIsNeverUsed)
{
    const std::string data = scratch / "data";
    ASSERT_EQ(::mkdir(data.c_str(), 0700), 0);
    if (::geteuid() != 0 || ::mount("tavrel-test", data.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "mounting a tmpfs needs root";
    ScopedEnv home("HOME", scratch.path());
    ScopedEnv dataHome("XDG_DATA_HOME", data);
    writeFile(scratch / "kept", "keep");
    forgetLastFailure();
    const FsError result = fs.deleteItem(scratch / "kept", true);
    const std::string reason = lastFailureReason();
    const bool recorded = exists(data + "/Trash/info/kept.trashinfo");
    ::umount(data.c_str());
    EXPECT_EQ(result, FsError::Other);
    EXPECT_EQ(reason, "no trash to be had on the item's volume");
    EXPECT_FALSE(recorded);
    EXPECT_EQ(readFile(scratch / "kept"), "keep");
}

// A trash whose volume is full cannot take the record: that is the run's disk-full outcome,
// and the item stays where it was.
TEST_F(PosixDeleteTest, FullVolumeUnderTheTrashIsDiskFull)
{
    const std::string mount = scratch / "mount";
    ASSERT_EQ(::mkdir(mount.c_str(), 0755), 0);
    if (::geteuid() != 0 || ::mount("tavrel-test", mount.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "mounting a tmpfs needs root";
    ScopedEnv home("HOME", mount);
    ScopedEnv dataHome("XDG_DATA_HOME", mount + "/data");
    writeFile(mount + "/kept", "keep");
    ASSERT_EQ(fs.deleteItem(mount + "/kept", true), FsError::Ok); // makes the trash's folders
    writeFile(mount + "/kept", "keep");
    {
        // Fill what is left.
        const int fd = ::open((mount + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
        const std::string block(4096, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        ::close(fd);
    }
    const FsError result = fs.deleteItem(mount + "/kept", true);
    const std::string kept = readFile(mount + "/kept");
    const bool recorded = exists(mount + "/data/Trash/info/kept.2.trashinfo");
    ::umount(mount.c_str());
    EXPECT_EQ(result, FsError::DiskFull);
    EXPECT_EQ(kept, "keep");
    EXPECT_FALSE(recorded);
}

// A home trash that does not exist yet is made, parents included, with private folders.
TEST_F(PosixDeleteTest, MissingHomeTrashIsMade)
{
    const std::string data = scratch / "fresh/share";
    ScopedEnv home("HOME", scratch.path());
    ScopedEnv dataHome("XDG_DATA_HOME", data);
    writeFile(scratch / "doomed", "bye");

    EXPECT_EQ(fs.deleteItem(scratch / "doomed", true), FsError::Ok);
    EXPECT_FALSE(exists(scratch / "doomed"));
    EXPECT_EQ(readFile(data + "/Trash/files/doomed"), "bye");
    EXPECT_EQ(tavrel::test::lstatOf(data + "/Trash").st_mode & 0777, 0700u);
}

// No trash to be had: a data folder under a file, or one given as a relative path (which
// would be taken from the working folder). Nothing moves anywhere.
TEST_F(PosixDeleteTest, TrashThatCannotBeHadMovesNothing)
{
    writeFile(scratch / "blocker", "not a folder");
    ScopedEnv home("HOME", scratch.path());
    const std::filesystem::path savedCwd = std::filesystem::current_path();
    ASSERT_EQ(::mkdir((scratch / "cwd").c_str(), 0755), 0);
    std::filesystem::current_path(scratch / "cwd");
    for (const std::string& dataHome : {scratch / "blocker/share", std::string("relative/share")}) {
        SCOPED_TRACE(dataHome);
        ScopedEnv data("XDG_DATA_HOME", dataHome);
        writeFile(scratch / "kept", "keep");
        EXPECT_EQ(fs.deleteItem(scratch / "kept", true), FsError::Other);
        EXPECT_EQ(readFile(scratch / "kept"), "keep");
    }
    std::filesystem::current_path(savedCwd);
    EXPECT_TRUE(std::filesystem::is_empty(scratch / "cwd"));
}

// The record keeps the original place of any name, line breaks and bytes that are not UTF-8
// included, %-escaped so that a trash viewer can put the item back.
TEST_F(PosixDeleteTest, TrashRecordKeepsAnyName)
{
    ScopedEnv home("HOME", scratch.path());
    ScopedEnv dataHome("XDG_DATA_HOME", scratch / "data");
    const std::string odd = "caf\xe9 #1\n";
    writeFile(scratch / odd, "keep");
    writeFile(scratch / "twin", "first");

    EXPECT_EQ(fs.deleteItem(scratch / odd, true), FsError::Ok);
    EXPECT_EQ(readFile(scratch / ("data/Trash/files/" + odd)), "keep");
    const std::string record = readFile(scratch / ("data/Trash/info/" + odd + ".trashinfo"));
    EXPECT_NE(record.find("[Trash Info]\nPath=" + scratch.path() + "caf%E9%20%231%0A\n"), std::string::npos)
        << record;
    EXPECT_NE(record.find("\nDeletionDate=20"), std::string::npos) << record;

    // A second item of the same name takes another name in the trash; the first stays.
    EXPECT_EQ(fs.deleteItem(scratch / "twin", true), FsError::Ok);
    writeFile(scratch / "twin", "second");
    EXPECT_EQ(fs.deleteItem(scratch / "twin", true), FsError::Ok);
    EXPECT_EQ(readFile(scratch / "data/Trash/files/twin"), "first");
    EXPECT_EQ(readFile(scratch / "data/Trash/files/twin.2"), "second");
    EXPECT_TRUE(exists(scratch / "data/Trash/info/twin.2.trashinfo"));
}

// An item on another file system than the home goes to that file system's own trash, made at
// its top as .Trash-$uid: a move into the home trash would have to copy it across.
TEST_F(PosixDeleteTest, ItemOnAnotherMountGoesToThatMountsTrash)
{
    ScopedEnv home("HOME", scratch.path());
    ScopedEnv dataHome("XDG_DATA_HOME", scratch / "data");
    const std::string mount = scratch / "mount";
    ASSERT_EQ(::mkdir(mount.c_str(), 0755), 0);
    if (::geteuid() != 0 || ::mount("tavrel-test", mount.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "mounting a tmpfs needs root";
    writeFile(mount + "/file", "bye");
    const FsError result = fs.deleteItem(mount + "/file", true);
    const bool gone = !exists(mount + "/file");
    const std::string trashed = readFile(mount + "/.Trash-" + std::to_string(::getuid()) + "/files/file");
    ::umount(mount.c_str());
    EXPECT_EQ(result, FsError::Ok);
    EXPECT_TRUE(gone);
    EXPECT_EQ(trashed, "bye");
    EXPECT_FALSE(exists(scratch / "data/Trash/files/file"));
}

// On a volume other users share, a trash folder someone else made first (or a link made to
// look like one) must never receive what this user deletes: the item stays where it is, or
// goes to the user's own .Trash-$uid when the refused folder was one inside the shared .Trash.
TEST_F(PosixDeleteTest, TrashOfAnotherUserIsNeverUsed)
{
    ScopedEnv home("HOME", scratch.path());
    ScopedEnv dataHome("XDG_DATA_HOME", scratch / "data");
    const std::string uid = std::to_string(::getuid());
    constexpr uid_t kOther = 65534;
    struct Case
    {
        const char* name;
        void (*prepare)(const std::string& top, const std::string& uid);
        const char* trashedTo; // the folder the file must land in; nullptr: it must stay
    };
    const Case cases[] = {
        {"another user's .Trash-$uid",
         [](const std::string& top, const std::string& uid) {
             ASSERT_EQ(::mkdir((top + "/.Trash-" + uid).c_str(), 0777), 0);
             ASSERT_EQ(::chown((top + "/.Trash-" + uid).c_str(), kOther, kOther), 0);
         },
         nullptr},
        {".Trash-$uid a link to another user's folder",
         [](const std::string& top, const std::string& uid) {
             ASSERT_EQ(::mkdir((top + "/theirs").c_str(), 0777), 0);
             ASSERT_EQ(::chown((top + "/theirs").c_str(), kOther, kOther), 0);
             ASSERT_EQ(::symlink("theirs", (top + "/.Trash-" + uid).c_str()), 0);
         },
         nullptr},
        {"another user's folder in the shared .Trash",
         [](const std::string& top, const std::string& uid) {
             ASSERT_EQ(::mkdir((top + "/.Trash").c_str(), 01777), 0);
             ASSERT_EQ(::chmod((top + "/.Trash").c_str(), 01777), 0);
             ASSERT_EQ(::mkdir((top + "/.Trash/" + uid).c_str(), 0777), 0);
             ASSERT_EQ(::chown((top + "/.Trash/" + uid).c_str(), kOther, kOther), 0);
         },
         ".Trash-$uid"},
        {"the user's own folder in the shared .Trash",
         [](const std::string& top, const std::string&) {
             ASSERT_EQ(::mkdir((top + "/.Trash").c_str(), 01777), 0);
             ASSERT_EQ(::chmod((top + "/.Trash").c_str(), 01777), 0);
         },
         ".Trash/$uid"},
    };
    const std::string mount = scratch / "mount";
    ASSERT_EQ(::mkdir(mount.c_str(), 0755), 0);
    const std::string theirs = mount + "/theirs/files/file";
    const std::string inOwnTrash = mount + "/.Trash-" + uid + "/files/file";
    const std::string inSharedTrash = mount + "/.Trash/" + uid + "/files/file";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (::geteuid() != 0 || ::mount("tavrel-test", mount.c_str(), "tmpfs", 0, "size=256k") != 0)
            GTEST_SKIP() << "mounting a tmpfs and giving folders away need root";
        c.prepare(mount, uid);
        writeFile(mount + "/file", "mine");
        const FsError result = fs.deleteItem(mount + "/file", true);
        const bool kept = exists(mount + "/file");
        const bool inTheirs = exists(theirs) || exists(inSharedTrash);
        const bool inOwn = exists(inOwnTrash);
        const bool inShared = exists(inSharedTrash);
        ::umount(mount.c_str());
        if (c.trashedTo == nullptr) {
            EXPECT_NE(result, FsError::Ok);
            EXPECT_TRUE(kept);
            EXPECT_FALSE(inTheirs);
            EXPECT_FALSE(inOwn);
        } else {
            EXPECT_EQ(result, FsError::Ok);
            EXPECT_FALSE(kept);
            EXPECT_EQ(inOwn, std::string(c.trashedTo) == ".Trash-$uid");
            EXPECT_EQ(inShared, std::string(c.trashedTo) == ".Trash/$uid");
        }
    }
}

// The same rule for a plain user, in a child that has given root up: a .Trash-$uid that root
// made for it is not its own and is never used; one it makes itself is.
TEST_F(PosixDeleteTest, APlainUserNeverUsesATrashFolderRootMadeForIt)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a folder the user does not own, on a volume of its own, needs root to make";
    constexpr uid_t kUser = 65534;
    const std::string mount = scratch / "mount";
    const std::string trash = mount + "/.Trash-" + std::to_string(kUser);
    ASSERT_EQ(::chmod(scratch.path().c_str(), 0755), 0); // the child's home, on another volume
    ASSERT_EQ(::mkdir(mount.c_str(), 0755), 0);
    for (const bool rootMadeIt : {true, false}) {
        SCOPED_TRACE(rootMadeIt ? "made by root" : "made by the user");
        if (::mount("tavrel-test", mount.c_str(), "tmpfs", 0, "size=256k,mode=0777") != 0)
            GTEST_SKIP() << "a tmpfs cannot be mounted here";
        struct Unmount
        {
            std::string path;
            ~Unmount() { ::umount(path.c_str()); }
        } unmount{mount};
        if (rootMadeIt) {
            ASSERT_EQ(::mkdir(trash.c_str(), 0777), 0);
            ASSERT_EQ(::chmod(trash.c_str(), 0777), 0);
        }
        writeFile(mount + "/file", "mine");
        ASSERT_EQ(::chown((mount + "/file").c_str(), kUser, kUser), 0);

        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Dumpable again: a process that changed its user cannot read its own /proc/self/fd.
            if (::setgid(kUser) != 0 || ::setuid(kUser) != 0 || ::prctl(PR_SET_DUMPABLE, 1) != 0)
                ::_exit(2);
            ::setenv("HOME", scratch.path().c_str(), 1);
            ::_exit(fs.deleteItem(mount + "/file", true) == FsError::Ok ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 2) << "could not give root up";
        EXPECT_EQ(WEXITSTATUS(status), rootMadeIt ? 1 : 0);
        EXPECT_EQ(exists(mount + "/file"), rootMadeIt);
        EXPECT_EQ(exists(trash + "/files/file"), !rootMadeIt);
    }
}
