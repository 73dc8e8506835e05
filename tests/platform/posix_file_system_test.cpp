// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_file_system.h"
#include "support/temp_tree.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace tavrel::platform;
using tavrel::test::lstatOf;
using tavrel::test::readFile;
using tavrel::test::setTimes;
using tavrel::test::TempDir;
using tavrel::test::writeFile;

namespace {

const DirEntry* findEntry(const std::vector<DirEntry>& entries, const std::string& name)
{
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [&](const DirEntry& entry) { return entry.name == name; });
    return found == entries.end() ? nullptr : &*found;
}

void makeSocket(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof(address.sun_path));
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0) << path;
    ::close(fd);
}

class PosixFileSystemTest : public ::testing::Test
{
protected:
    TempDir scratch;
    PosixFileSystem fs;
};

} // namespace

TEST_F(PosixFileSystemTest, ListsFilesFoldersAndLinksWithTheirAttributes)
{
    writeFile(scratch / "plain.txt", "12345");
    setTimes(scratch / "plain.txt", 1'700'000'000, 123'456'789);
    writeFile(scratch / ".hidden", "");
    writeFile(scratch / "locked", "x");
    ::chmod((scratch / "locked").c_str(), 0444);
    ASSERT_EQ(::mkdir((scratch / "sub").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((scratch / "outside").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("outside", (scratch / "to-folder").c_str()), 0);
    ASSERT_EQ(::symlink("missing-target", (scratch / "dangling").c_str()), 0);
    setTimes(scratch / "to-folder", 1'600'000'000, 5'000);
    ASSERT_EQ(::mkfifo((scratch / "pipe").c_str(), 0644), 0);
    makeSocket(scratch / "sock");
    writeFile(scratch / ".plain.txt.0123abcd.tavrel-tmp", "partial");

    std::vector<DirEntry> entries;
    ASSERT_EQ(fs.listFolder(scratch.path(), entries), FsError::Ok);

    std::vector<std::string> names;
    for (const DirEntry& entry : entries)
        names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".hidden", "dangling", "locked", "outside", "plain.txt", "sub",
                                               "to-folder"}));

    const DirEntry* plain = findEntry(entries, "plain.txt");
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->kind, EntryKind::File);
    EXPECT_EQ(plain->attributes, 0u);
    EXPECT_EQ(plain->size, 5u);
    EXPECT_EQ(plain->lastWriteTime, 17'000'000'000'000'000 + 1'234'567); // 100 ns units, truncated

    EXPECT_EQ(findEntry(entries, ".hidden")->attributes, kAttrHidden);
    EXPECT_EQ(findEntry(entries, "locked")->attributes, kAttrReadOnly);
    EXPECT_EQ(findEntry(entries, "sub")->kind, EntryKind::Folder);

    const DirEntry* link = findEntry(entries, "to-folder");
    EXPECT_EQ(link->kind, EntryKind::Symlink);
    EXPECT_EQ(link->size, std::string("outside").size()); // the link's own size, not the folder's
    EXPECT_EQ(link->lastWriteTime, 16'000'000'000'000'000 + 50);
    EXPECT_EQ(findEntry(entries, "dangling")->kind, EntryKind::Symlink);
}

TEST_F(PosixFileSystemTest, ListingReportsMissingAndNonFolders)
{
    std::vector<DirEntry> entries;
    EXPECT_EQ(fs.listFolder(scratch / "missing/", entries), FsError::NotFound);
    writeFile(scratch / "file", "x");
    EXPECT_EQ(fs.listFolder(scratch / "file/", entries), FsError::NotFound);
    EXPECT_TRUE(entries.empty());
}

TEST_F(PosixFileSystemTest, CreatesOneFolderLevel)
{
    EXPECT_EQ(fs.createFolder(scratch / "new/"), FsError::Ok);
    EXPECT_TRUE(S_ISDIR(lstatOf(scratch / "new").st_mode));
    EXPECT_EQ(fs.createFolder(scratch / "new/"), FsError::Exists);
    EXPECT_EQ(fs.createFolder(scratch / "a/b/"), FsError::NotFound);

    ASSERT_EQ(::symlink("new", (scratch / "link-to-folder").c_str()), 0);
    EXPECT_EQ(fs.createFolder(scratch / "link-to-folder/"), FsError::Exists);
    writeFile(scratch / "file", "x");
    EXPECT_EQ(fs.createFolder(scratch / "file/"), FsError::Other); // a file is not the folder
}

TEST_F(PosixFileSystemTest, ReadsStampsOfFilesAndLinksOnly)
{
    writeFile(scratch / "file", "abc");
    setTimes(scratch / "file", 1'000, 999);
    ASSERT_EQ(::symlink("file", (scratch / "link").c_str()), 0);
    setTimes(scratch / "link", 2'000, 0);

    FileStamp stamp;
    ASSERT_EQ(fs.readStamp(scratch / "file", stamp), FsError::Ok);
    EXPECT_EQ(stamp.lastWriteTime, 10'000'000'009);
    EXPECT_EQ(stamp.size, 3u);
    ASSERT_EQ(fs.readStamp(scratch / "link", stamp), FsError::Ok);
    EXPECT_EQ(stamp.lastWriteTime, 20'000'000'000);
    EXPECT_EQ(stamp.size, 4u);

    EXPECT_EQ(fs.readStamp(scratch / "missing", stamp), FsError::NotFound);
    ASSERT_EQ(::mkdir((scratch / "folder").c_str(), 0755), 0);
    EXPECT_EQ(fs.readStamp(scratch / "folder", stamp), FsError::Other);
    ASSERT_EQ(::mkfifo((scratch / "pipe").c_str(), 0644), 0);
    EXPECT_EQ(fs.readStamp(scratch / "pipe", stamp), FsError::Other);
}

TEST_F(PosixFileSystemTest, ReaderFillsWholeBlocks)
{
    std::string content(200'000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7);
    writeFile(scratch / "data", content);

    FsError error = FsError::Other;
    auto reader = fs.openForReading(scratch / "data", error);
    ASSERT_EQ(error, FsError::Ok);
    ASSERT_NE(reader, nullptr);
    std::string read;
    std::vector<char> block(kCompareBlockSize);
    long got = 0;
    while ((got = reader->read(block.data(), block.size())) > 0) {
        read.append(block.data(), static_cast<std::size_t>(got));
        if (read.size() < content.size()) {
            EXPECT_EQ(static_cast<std::size_t>(got), block.size());
        }
    }
    EXPECT_EQ(got, 0);
    EXPECT_EQ(read, content);
}

// A reader ends where the file ended when it was opened: what is appended meanwhile is not
// read (the next run sees the change by its stamp). A file that shows no size, as those of
// /proc do, is read to its real end all the same.
TEST_F(PosixFileSystemTest, ReaderEndsAtTheSizeItOpenedWith)
{
    struct Case
    {
        const char* name;
        std::string path;
        std::size_t appended; // bytes added after the open
    };
    writeFile(scratch / "grows", "first part");
    writeFile(scratch / "same", "first part");
    const Case cases[] = {{"appended after the open", scratch / "grows", 5},
                          {"left alone", scratch / "same", 0},
                          {"no size shown", "/proc/self/status", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = readFile(c.path);
        ASSERT_FALSE(before.empty());
        FsError error = FsError::Other;
        auto reader = fs.openForReading(c.path, error);
        ASSERT_NE(reader, nullptr);
        if (c.appended > 0)
            writeFile(c.path, before + std::string(c.appended, '+'));
        std::string read;
        std::vector<char> block(kCompareBlockSize);
        long got = 0;
        while ((got = reader->read(block.data(), block.size())) > 0)
            read.append(block.data(), static_cast<std::size_t>(got));
        EXPECT_EQ(got, 0);
        if (c.path.starts_with("/proc/"))
            EXPECT_TRUE(read.starts_with("Name:")) << read; // its content changes from read to read
        else
            EXPECT_EQ(read, before);
    }
}

TEST_F(PosixFileSystemTest, ReaderRefusesLinksFifosAndMissingFiles)
{
    writeFile(scratch / "file", "x");
    ASSERT_EQ(::symlink("file", (scratch / "link").c_str()), 0);
    ASSERT_EQ(::mkfifo((scratch / "pipe").c_str(), 0644), 0);
    ASSERT_EQ(::mkdir((scratch / "folder").c_str(), 0755), 0);

    FsError error = FsError::Ok;
    EXPECT_EQ(fs.openForReading(scratch / "link", error), nullptr);
    EXPECT_EQ(error, FsError::Other);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(fs.openForReading(scratch / "pipe", error), nullptr); // would block without O_NONBLOCK
    EXPECT_EQ(error, FsError::Other);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(fs.openForReading(scratch / "folder", error), nullptr);
    EXPECT_EQ(error, FsError::Other);
    EXPECT_EQ(fs.openForReading(scratch / "missing", error), nullptr);
    EXPECT_EQ(error, FsError::NotFound);
}

TEST_F(PosixFileSystemTest, MakeNormalAddsOwnerWriteAndLeavesLinksAlone)
{
    writeFile(scratch / "file", "x");
    ASSERT_EQ(::chmod((scratch / "file").c_str(), 0444), 0);
    EXPECT_EQ(fs.makeNormal(scratch / "file"), FsError::Ok);
    EXPECT_EQ(lstatOf(scratch / "file").st_mode & 0777, 0644u);

    writeFile(scratch / "pointee", "y");
    ASSERT_EQ(::chmod((scratch / "pointee").c_str(), 0444), 0);
    ASSERT_EQ(::symlink("pointee", (scratch / "link").c_str()), 0);
    EXPECT_EQ(fs.makeNormal(scratch / "link"), FsError::Ok);
    EXPECT_EQ(lstatOf(scratch / "pointee").st_mode & 0777, 0444u); // not followed
    EXPECT_EQ(fs.makeNormal(scratch / "missing"), FsError::NotFound);
}

TEST_F(PosixFileSystemTest, RealFolderResolvesLinksAndEndsWithSlash)
{
    ASSERT_EQ(::mkdir((scratch / "real").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("real", (scratch / "alias").c_str()), 0);
    std::string resolved;
    ASSERT_EQ(fs.realFolder(scratch / "alias/", resolved), FsError::Ok);
    std::string expected;
    ASSERT_EQ(fs.realFolder(scratch.path(), expected), FsError::Ok);
    EXPECT_EQ(resolved, expected + "real/");
    EXPECT_EQ(fs.realFolder(scratch / "missing/", resolved), FsError::NotFound);
    writeFile(scratch / "file", "x");
    EXPECT_EQ(fs.realFolder(scratch / "file", resolved), FsError::Other);
}

TEST_F(PosixFileSystemTest, OverlongPathsAreRefusedNotTruncated)
{
    writeFile(scratch / "file", "x");
    std::string deep = scratch.path();
    while (deep.size() <= 4096)
        deep += "d/";
    const std::string longName = scratch / std::string(256, 'n');
    const std::string withNul = scratch / std::string("file\0tail", 9);

    std::vector<DirEntry> entries;
    FileStamp stamp;
    FsError error = FsError::Ok;
    for (const std::string& path : {deep, longName, withNul}) {
        SCOPED_TRACE(path.size());
        EXPECT_EQ(fs.listFolder(path, entries), FsError::Other);
        EXPECT_EQ(fs.createFolder(path), FsError::Other);
        EXPECT_EQ(fs.readStamp(path, stamp), FsError::Other);
        EXPECT_EQ(fs.copy(scratch / "file", path, {CopyMode::CreateOnly}), FsError::Other);
        EXPECT_EQ(fs.copy(path, scratch / "copy", {CopyMode::Overwrite}), FsError::Other);
        EXPECT_EQ(fs.makeNormal(path), FsError::Other);
        EXPECT_EQ(fs.openForReading(path, error), nullptr);
        EXPECT_EQ(error, FsError::Other);
        EXPECT_EQ(fs.deleteItem(path, false), FsError::Other);
    }
    EXPECT_EQ(lstatOf(scratch / "file").st_size, 1); // the NUL-cut path named this file
}

// One lock per folder at a time, also through a link to it; a folder that cannot be opened
// gives no lock and no error, so the run goes on unlocked.
TEST_F(PosixFileSystemTest, FolderLockIsHeldUntilReleased)
{
    ASSERT_EQ(::mkdir((scratch / "root").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("root", (scratch / "alias").c_str()), 0);
    FsError error = FsError::Other;
    std::unique_ptr<FolderLock> held = fs.lockFolder(scratch / "root/", error);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(error, FsError::Ok);

    for (const std::string& folder : {scratch / "root/", scratch / "alias/"}) {
        SCOPED_TRACE(folder);
        EXPECT_EQ(fs.lockFolder(folder, error), nullptr);
        EXPECT_EQ(error, FsError::Exists);
    }
    held.reset();
    EXPECT_NE(fs.lockFolder(scratch / "alias/", error), nullptr);
    EXPECT_EQ(error, FsError::Ok);

    EXPECT_EQ(fs.lockFolder(scratch / "missing/", error), nullptr);
    EXPECT_EQ(error, FsError::Ok);
}

// A folder held by one run holds off a run in any folder inside it or above it (also through
// a link), never one beside it; released, it holds off nothing.
TEST_F(PosixFileSystemTest, FolderLockHoldsOffNestedFolders)
{
    for (const char* folder : {"root/a/b/c", "root/side"})
        std::filesystem::create_directories(scratch / folder);
    ASSERT_EQ(::symlink("root/a/b", (scratch / "inner").c_str()), 0);
    struct Attempt
    {
        const char* folder;
        FsError whileHeld;
    };
    const Attempt attempts[] = {
        {"root/", FsError::Exists},  {"root/a/", FsError::Exists}, {"root/a/b/c/", FsError::Exists},
        {"inner/", FsError::Exists}, {"root/side/", FsError::Ok},  {"", FsError::Exists},
    };
    FsError error = FsError::Other;
    std::unique_ptr<FolderLock> held = fs.lockFolder(scratch / "root/a/b/", error);
    ASSERT_NE(held, nullptr);
    for (const bool holding : {true, false}) {
        for (const Attempt& attempt : attempts) {
            SCOPED_TRACE(std::string(attempt.folder) + (holding ? " while held" : " after release"));
            const std::unique_ptr<FolderLock> lock = fs.lockFolder(scratch / attempt.folder, error);
            const FsError expected = holding ? attempt.whileHeld : FsError::Ok;
            EXPECT_EQ(error, expected);
            EXPECT_EQ(lock != nullptr, expected == FsError::Ok);
        }
        held.reset();
    }
}

// A run that crashed holds nothing: the kernel drops its locks with the process.
TEST_F(PosixFileSystemTest, FolderLockOfACrashedRunHoldsNothing)
{
    std::filesystem::create_directories(scratch / "root/a");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FsError error = FsError::Other;
        std::unique_ptr<FolderLock> lock = fs.lockFolder(scratch / "root/a/", error);
        const char held = lock ? 'y' : 'n';
        // The parent waits for this byte; without it, it fails on the closed pipe.
        if (::write(ready[1], &held, 1) != 1)
            ::_exit(1);
        for (;;)
            ::pause(); // killed while holding it
    }
    ::close(ready[1]);
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ::close(ready[0]);
    FsError error = FsError::Other;
    EXPECT_EQ(fs.lockFolder(scratch / "root/", error), nullptr);
    EXPECT_EQ(error, FsError::Exists);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(held, 'y');
    for (const char* folder : {"root/", "root/a/"}) {
        SCOPED_TRACE(folder);
        EXPECT_NE(fs.lockFolder(scratch / folder, error), nullptr);
        EXPECT_EQ(error, FsError::Ok);
    }
}

// Temporary files left from a crash are removed by a listing of their folder, or by a sweep:
// only regular files of the exact reserved shape that have stayed unchanged long enough.
// Links, folders, look-alike names and fresh temporaries stay; all of them stay hidden.
TEST_F(PosixFileSystemTest, StaleTemporaryFilesAreRemovedOnTheWay)
{
    const std::string stale = ".a.txt.0a1b2c3d.tavrel-tmp";
    const std::vector<std::string> kept = {".a.txt.0A1B2C3D.tavrel-tmp", ".short.tavrel-tmp",
                                           ".link.0a1b2c3d.tavrel-tmp", ".dir.0a1b2c3d.tavrel-tmp"};
    const auto build = [&] {
        writeFile(scratch / stale, "partial");
        writeFile(scratch / kept[0], "upper-case tag: not ours");
        writeFile(scratch / kept[1], "no tag: not ours");
        ASSERT_EQ(::symlink("a.txt", (scratch / kept[2]).c_str()), 0) << std::strerror(errno);
        ::mkdir((scratch / kept[3]).c_str(), 0755);
        writeFile(scratch / "a.txt", "a");
    };
    const auto present = [&](const std::string& name) {
        return ::access((scratch / name).c_str(), F_OK) == 0;
    };
    build();

    PosixFileSystem patient; // an hour: nothing here is that old
    std::vector<DirEntry> entries;
    ASSERT_EQ(patient.listFolder(scratch.path(), entries), FsError::Ok);
    patient.removeStaleTemporaries(scratch.path());
    EXPECT_TRUE(present(stale));

    PosixFileSystem hasty(std::chrono::seconds(0));
    ASSERT_EQ(hasty.listFolder(scratch.path(), entries), FsError::Ok);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "a.txt");
    EXPECT_FALSE(present(stale));
    for (const std::string& name : kept)
        EXPECT_TRUE(present(name)) << name;

    writeFile(scratch / stale, "partial");
    hasty.removeStaleTemporaries(scratch.path());
    EXPECT_FALSE(present(stale));
    for (const std::string& name : kept)
        EXPECT_TRUE(present(name)) << name;
}

// One root inside the other, or both one folder, is found by identity whichever is named first:
// each root is walked up, not only the first or the last.
TEST_F(PosixFileSystemTest, ConfinedViewFindsOverlapInEitherOrderOfTheRoots)
{
    ASSERT_EQ(::mkdir((scratch / "outer").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((scratch / "outer/inner").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((scratch / "apart").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("outer", (scratch / "alias").c_str()), 0);
    const struct
    {
        const char* name;
        const char* first;
        const char* second;
        FsError expected;
    } cases[] = {
        {"nested", "outer/", "outer/inner/", FsError::Overlap},
        {"nested through a link", "alias/", "outer/inner/", FsError::Overlap},
        {"the same folder under two names", "outer/", "alias/", FsError::Overlap},
        {"a root still to be made inside the other", "alias/new/deeper/", "outer/", FsError::Overlap},
        {"side by side", "outer/inner/", "apart/", FsError::Ok},
    };
    for (const auto& c : cases) {
        for (const bool swapped : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (swapped ? ", second root first" : ""));
            const std::string a = scratch / c.first;
            const std::string b = scratch / c.second;
            FsError error = FsError::Other;
            const std::unique_ptr<FileSystem> view = fs.confineTo(
                swapped ? std::vector<std::string>{b, a} : std::vector<std::string>{a, b}, error);
            EXPECT_NE(view, nullptr);
            EXPECT_EQ(error, c.expected);
        }
    }
}
