// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_copy.h"
#include "platform/posix/posix_file_system.h"
#include "support/temp_tree.h"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace tavrel::platform;
using tavrel::test::lstatOf;
using tavrel::test::readFile;
using tavrel::test::setTimes;
using tavrel::test::TempDir;
using tavrel::test::temporaryLeftovers;
using tavrel::test::writeFile;

namespace {

std::string linkText(const std::string& path)
{
    char buffer[4096];
    const ssize_t length = ::readlink(path.c_str(), buffer, sizeof(buffer));
    return length < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(length));
}

class PosixCopyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        writeFile(scratch / "source.txt", "new content");
        ASSERT_EQ(::chmod((scratch / "source.txt").c_str(), 0640), 0);
        setTimes(scratch / "source.txt", 1'650'000'000, 987'654'321);
        ASSERT_EQ(::mkdir((scratch / "tgt").c_str(), 0755), 0);
    }

    TempDir scratch;
    PosixFileSystem fs;
};

} // namespace

TEST_F(PosixCopyTest, CreateOnlyCarriesContentModeAndNanosecondTime)
{
    ASSERT_EQ(fs.copy(scratch / "source.txt", scratch / "tgt/copy.txt", {CopyMode::CreateOnly}), FsError::Ok);
    EXPECT_EQ(readFile(scratch / "tgt/copy.txt"), "new content");
    const struct stat st = lstatOf(scratch / "tgt/copy.txt");
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1'650'000'000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 987'654'321);
    EXPECT_EQ(temporaryLeftovers(scratch / "tgt"), 0);
}

TEST_F(PosixCopyTest, CreateOnlyNeverReplaces)
{
    writeFile(scratch / "tgt/copy.txt", "old");
    EXPECT_EQ(fs.copy(scratch / "source.txt", scratch / "tgt/copy.txt", {CopyMode::CreateOnly}),
              FsError::Exists);
    EXPECT_EQ(readFile(scratch / "tgt/copy.txt"), "old");

    ASSERT_EQ(::symlink("nowhere", (scratch / "tgt/dangling").c_str()), 0);
    EXPECT_EQ(fs.copy(scratch / "source.txt", scratch / "tgt/dangling", {CopyMode::CreateOnly}),
              FsError::Exists);
    EXPECT_EQ(linkText(scratch / "tgt/dangling"), "nowhere");
    EXPECT_EQ(temporaryLeftovers(scratch / "tgt"), 0);
}

// A folder or a FIFO holding the name is no copy of the file: the create-only copy fails
// (Other, not Exists) and leaves the item alone, never opening the FIFO.
TEST_F(PosixCopyTest, CreateOnlyOntoAnotherKindFails)
{
    ASSERT_EQ(::mkdir((scratch / "tgt/folder").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo((scratch / "tgt/pipe").c_str(), 0644), 0);
    EXPECT_EQ(fs.copy(scratch / "source.txt", scratch / "tgt/folder", {CopyMode::CreateOnly}),
              FsError::Other);
    EXPECT_EQ(fs.copy(scratch / "source.txt", scratch / "tgt/pipe", {CopyMode::CreateOnly}), FsError::Other);
    EXPECT_TRUE(S_ISDIR(lstatOf(scratch / "tgt/folder").st_mode));
    EXPECT_TRUE(S_ISFIFO(lstatOf(scratch / "tgt/pipe").st_mode));
    EXPECT_EQ(temporaryLeftovers(scratch / "tgt"), 0);
}

// The stop flag is seen between chunks: a large copy gives up (Stopped) and leaves nothing, an
// overwrite leaves the old target; a file of one chunk is finished whatever the flag says.
TEST_F(PosixCopyTest, StopFlagCutsLargeCopiesBetweenChunks)
{
    writeFile(scratch / "large", std::string(40 << 20, 'L'));
    writeFile(scratch / "tgt/old", "old");
    const std::atomic<int32_t> stop{1};
    EXPECT_EQ(
        fs.copy(scratch / "large", scratch / "tgt/large", {CopyMode::CreateOnly, nullptr, false, &stop}),
        FsError::Stopped);
    EXPECT_EQ(fs.copy(scratch / "large", scratch / "tgt/old", {CopyMode::Overwrite, nullptr, false, &stop}),
              FsError::Stopped);
    EXPECT_FALSE(std::filesystem::exists(scratch / "tgt/large"));
    EXPECT_EQ(readFile(scratch / "tgt/old"), "old");
    EXPECT_EQ(temporaryLeftovers(scratch / "tgt"), 0);

    EXPECT_EQ(
        fs.copy(scratch / "source.txt", scratch / "tgt/small", {CopyMode::CreateOnly, nullptr, false, &stop}),
        FsError::Ok);
    const std::atomic<int32_t> go{0};
    EXPECT_EQ(fs.copy(scratch / "large", scratch / "tgt/large", {CopyMode::CreateOnly, nullptr, false, &go}),
              FsError::Ok);
    EXPECT_EQ(lstatOf(scratch / "tgt/large").st_size, 40 << 20);
}

namespace {

// The changes of names in the folder watched by `watch` (an inotify descriptor opened with
// IN_NONBLOCK), as "create NAME", "from NAME", "to NAME" or "delete NAME", in order.
std::vector<std::string> nameChanges(int watch)
{
    std::vector<std::string> changes;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(watch, buffer, sizeof buffer);
        if (got <= 0)
            return changes;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            const char* kind = (event->mask & IN_CREATE) != 0       ? "create "
                               : (event->mask & IN_MOVED_FROM) != 0 ? "from "
                               : (event->mask & IN_MOVED_TO) != 0   ? "to "
                                                                    : "delete ";
            changes.push_back(kind + std::string(event->len > 0 ? event->name : ""));
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

struct PublishCase
{
    const char* name;
    bool unnamedFile; // the copy may write an unnamed file (CopyOptions::tryUnnamedFile)
    bool stopped;     // the stop flag is set before the second chunk
    int changes;      // name changes the folder sees
};

class NewFilePublish : public PosixCopyTest, public ::testing::WithParamInterface<PublishCase>
{
};

} // namespace

// A new file shows in its folder under its final name only once it is whole. Written as an
// unnamed file, that takes one change of the folder's names, the link, and a stopped copy
// none; without unnamed files (as on FUSE volumes) a temporary name is made and renamed.
TEST_P(NewFilePublish, TheFolderSeesOnlyTheWholeFile)
{
    const PublishCase& c = GetParam();
    const std::string tgt = scratch / "tgt";
    const int probe = ::open(tgt.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (probe < 0)
        GTEST_SKIP() << "the scratch folder's volume makes no unnamed files";
    ::close(probe);
    const std::string large(20 << 20, 'L');
    writeFile(scratch / "large", large);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, tgt.c_str(), IN_CREATE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE),
              0);

    posix::CopyOptions options;
    options.tryUnnamedFile = c.unnamedFile;
    const std::atomic<int32_t> stop{c.stopped ? 1 : 0};
    const FsError result = posix::copyItem(scratch / "large", tgt + "/large", posix::CopyMode::CreateOnly,
                                           nullptr, &stop, options);
    const std::vector<std::string> changes = nameChanges(watch);
    ::close(watch);

    EXPECT_EQ(result, c.stopped ? FsError::Stopped : FsError::Ok);
    EXPECT_EQ(static_cast<int>(changes.size()), c.changes) << ::testing::PrintToString(changes);
    if (c.stopped) {
        EXPECT_FALSE(std::filesystem::exists(tgt + "/large"));
    } else {
        EXPECT_EQ(changes.back(), c.unnamedFile ? "create large" : "to large");
        EXPECT_EQ(readFile(tgt + "/large"), large);
        EXPECT_EQ(lstatOf(tgt + "/large").st_mode & 0777, lstatOf(scratch / "large").st_mode & 0777);
    }
    EXPECT_EQ(temporaryLeftovers(tgt), 0);
}

INSTANTIATE_TEST_SUITE_P(Posix, NewFilePublish,
                         ::testing::Values(PublishCase{"Unnamed", true, false, 1},
                                           PublishCase{"UnnamedStopped", true, true, 0},
                                           PublishCase{"ThroughATemporary", false, false, 3},
                                           PublishCase{"ThroughATemporaryStopped", false, true, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PosixCopyTest, LinkIsCopiedAsLinkWithItsOwnTime)
{
    ASSERT_EQ(::mkdir((scratch / "folder").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("../folder", (scratch / "link").c_str()), 0);
    setTimes(scratch / "link", 1'500'000'000, 42);

    ASSERT_EQ(fs.copy(scratch / "link", scratch / "tgt/link", {CopyMode::CreateOnly}), FsError::Ok);
    const struct stat st = lstatOf(scratch / "tgt/link");
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(linkText(scratch / "tgt/link"), "../folder");
    EXPECT_EQ(st.st_mtim.tv_sec, 1'500'000'000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 42);

    // Overwriting a file with a link replaces the file, not what a link would point to.
    writeFile(scratch / "tgt/file", "old");
    ASSERT_EQ(fs.copy(scratch / "link", scratch / "tgt/file", {CopyMode::Overwrite}), FsError::Ok);
    EXPECT_EQ(linkText(scratch / "tgt/file"), "../folder");
    EXPECT_EQ(temporaryLeftovers(scratch / "tgt"), 0);
}

TEST_F(PosixCopyTest, SpecialSourcesFailFastAndCreateNothing)
{
    ASSERT_EQ(::mkfifo((scratch / "pipe").c_str(), 0644), 0);
    ASSERT_EQ(::mkdir((scratch / "folder").c_str(), 0755), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(fs.copy(scratch / "pipe", scratch / "tgt/pipe", {CopyMode::CreateOnly}), FsError::Other);
    EXPECT_EQ(fs.copy(scratch / "pipe", scratch / "tgt/pipe", {CopyMode::Overwrite}), FsError::Other);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(fs.copy(scratch / "folder", scratch / "tgt/folder", {CopyMode::CreateOnly}), FsError::Other);
    EXPECT_EQ(fs.copy(scratch / "missing", scratch / "tgt/missing", {CopyMode::CreateOnly}),
              FsError::NotFound);
    EXPECT_EQ(fs.copy(scratch / "source.txt", scratch / "no-such-folder/x", {CopyMode::CreateOnly}),
              FsError::NotFound);
    EXPECT_TRUE(std::filesystem::is_empty(scratch / "tgt"));
}

TEST_F(PosixCopyTest, OverwriteReplacesEvenReadOnlyTargets)
{
    writeFile(scratch / "tgt/file", "old, longer content");
    ASSERT_EQ(::chmod((scratch / "tgt/file").c_str(), 0444), 0);
    ASSERT_EQ(fs.copy(scratch / "source.txt", scratch / "tgt/file", {CopyMode::Overwrite}), FsError::Ok);
    EXPECT_EQ(readFile(scratch / "tgt/file"), "new content");
    EXPECT_EQ(lstatOf(scratch / "tgt/file").st_mode & 07777, 0640u);
    EXPECT_EQ(lstatOf(scratch / "tgt/file").st_mtim.tv_nsec, 987'654'321);
    EXPECT_EQ(temporaryLeftovers(scratch / "tgt"), 0);
}

TEST_F(PosixCopyTest, OverwriteRefusesChangedTargetsAndFolders)
{
    writeFile(scratch / "tgt/file", "old");
    setTimes(scratch / "tgt/file", 1'000, 0);
    FileStamp stamp;
    ASSERT_EQ(fs.readStamp(scratch / "tgt/file", stamp), FsError::Ok);

    FileStamp stale = stamp;
    stale.lastWriteTime -= 1;
    EXPECT_EQ(fs.copy(scratch / "source.txt", scratch / "tgt/file", {CopyMode::Overwrite, &stale}),
              FsError::Other);
    stale = stamp;
    stale.size += 1;
    EXPECT_EQ(fs.copy(scratch / "source.txt", scratch / "tgt/file", {CopyMode::Overwrite, &stale}),
              FsError::Other);
    EXPECT_EQ(readFile(scratch / "tgt/file"), "old");
    EXPECT_EQ(fs.copy(scratch / "source.txt", scratch / "tgt/gone", {CopyMode::Overwrite, &stamp}),
              FsError::Other);
    EXPECT_FALSE(std::filesystem::exists(scratch / "tgt/gone"));

    EXPECT_EQ(fs.copy(scratch / "source.txt", scratch / "tgt/file", {CopyMode::Overwrite, &stamp}),
              FsError::Ok);
    EXPECT_EQ(readFile(scratch / "tgt/file"), "new content");

    ASSERT_EQ(::mkdir((scratch / "tgt/folder").c_str(), 0755), 0);
    writeFile(scratch / "tgt/folder/inside", "keep");
    EXPECT_EQ(fs.copy(scratch / "source.txt", scratch / "tgt/folder", {CopyMode::Overwrite}), FsError::Other);
    EXPECT_EQ(readFile(scratch / "tgt/folder/inside"), "keep");
    EXPECT_EQ(temporaryLeftovers(scratch / "tgt"), 0);
}

// copy_file_range refuses to cross file systems (EXDEV): the read/write path must do the work.
TEST_F(PosixCopyTest, CopiesAcrossFileSystems)
{
    struct stat shm = {};
    if (::stat("/dev/shm", &shm) != 0 || shm.st_dev == lstatOf(scratch.path()).st_dev)
        GTEST_SKIP() << "no /dev/shm on another file system";
    char pattern[] = "/dev/shm/tavrel-fs-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string other = std::string(pattern) + "/";

    std::string content(3 * 1024 * 1024 + 17, 'q');
    content[12345] = 'Z';
    writeFile(scratch / "big", content);
    setTimes(scratch / "big", 1'234'567'890, 100);
    const FsError there = fs.copy(scratch / "big", other + "big", {CopyMode::CreateOnly});
    const std::string copied = readFile(other + "big");
    const struct stat st = lstatOf(other + "big");
    const FsError back = fs.copy(other + "big", scratch / "big", {CopyMode::Overwrite});
    std::filesystem::remove_all(other);

    EXPECT_EQ(there, FsError::Ok);
    EXPECT_TRUE(copied == content);
    EXPECT_EQ(st.st_mtim.tv_sec, 1'234'567'890);
    EXPECT_EQ(st.st_mtim.tv_nsec, 100);
    EXPECT_EQ(back, FsError::Ok);
}

// Kernel files report size 0 and splice nothing: the copy must read on until the real end.
TEST_F(PosixCopyTest, CopiesFilesThatReportNoSize)
{
    if (lstatOf("/proc/self/status").st_size != 0)
        GTEST_SKIP() << "/proc/self/status reports a size here";
    ASSERT_EQ(fs.copy("/proc/self/status", scratch / "tgt/status", {CopyMode::CreateOnly}), FsError::Ok);
    EXPECT_NE(readFile(scratch / "tgt/status").find("Name:"), std::string::npos);
}

// Holes stay holes and a 5 GiB file is copied whole (its size and last bytes), without
// writing gigabytes of zeros.
TEST_F(PosixCopyTest, SparseFileOverFourGiBIsCopiedWhole)
{
    const std::string source = scratch / "sparse";
    const off_t size = off_t{5} << 30;
    {
        const int fd = ::open(source.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "head", 4, 0), 4);
        ASSERT_EQ(::pwrite(fd, "tail", 4, size - 4), 4);
        ::close(fd);
    }
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(fs.copy(source, scratch / "tgt/sparse", {CopyMode::CreateOnly}), FsError::Ok);
    const auto elapsed = std::chrono::steady_clock::now() - start;

    const struct stat st = lstatOf(scratch / "tgt/sparse");
    EXPECT_EQ(st.st_size, size);
    EXPECT_LT(st.st_blocks * 512, off_t{64} << 20) << "holes were filled";
    const int fd = ::open((scratch / "tgt/sparse").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    char bytes[5] = {};
    EXPECT_EQ(::pread(fd, bytes, 4, size - 4), 4);
    EXPECT_STREQ(bytes, "tail");
    EXPECT_EQ(::pread(fd, bytes, 4, 0), 4);
    EXPECT_STREQ(bytes, "head");
    ::close(fd);
    EXPECT_LT(elapsed, std::chrono::seconds(10));
}

// A full disk must read as DiskFull, and the failed copy must leave nothing behind.
TEST_F(PosixCopyTest, FullDiskIsReportedAndCleanedUp)
{
    const std::string small = scratch / "small";
    ASSERT_EQ(::mkdir(small.c_str(), 0755), 0);
    if (::geteuid() != 0 || ::mount("tavrel-test", small.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    writeFile(scratch / "large", std::string(1 << 20, 'x'));
    writeFile(small + "/keep", "old");

    const FsError created = fs.copy(scratch / "large", small + "/large", {CopyMode::CreateOnly});
    const FsError overwritten = fs.copy(scratch / "large", small + "/keep", {CopyMode::Overwrite});
    const bool createdAbsent = !std::filesystem::exists(small + "/large");
    const std::string kept = readFile(small + "/keep");
    const int leftovers = temporaryLeftovers(small);
    ::umount(small.c_str());

    EXPECT_EQ(created, FsError::DiskFull);
    EXPECT_EQ(overwritten, FsError::DiskFull);
    EXPECT_TRUE(createdAbsent);
    EXPECT_EQ(kept, "old");
    EXPECT_EQ(leftovers, 0);
}
