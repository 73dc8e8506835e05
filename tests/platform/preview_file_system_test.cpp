// SPDX-License-Identifier: GPL-3.0-or-later
// The preview answers each call as the real file system does, and later calls see its writes.
#include "platform/posix/posix_file_system.h"
#include "platform/preview_file_system.h"
#include "support/temp_tree.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace tavrel::test {
namespace {

using platform::FileStamp;
using platform::FileSystem;
using platform::FsError;

const std::vector<Node> kOrg{file("a", "alpha", at(5)), file("ro", "read-only", at(6), 0444),
                             symlink("l", "a", at(7)), file("sub/x", "x", at(8))};
const std::vector<Node> kTgt{file("b", "beta", at(1)), file("d/y", "y", at(2)),
                             file("ro2", "r", at(3), 0444)};

// One call on a view over `base` ("org/" and "tgt/" below it) and its answer.
struct Step
{
    std::string what;
    std::function<FsError(FileSystem&, const std::string& base)> call;
    FsError expected;
};

FsError stampCheckedOverwrite(FileSystem& fs, const std::string& base, int64_t timeShift)
{
    FileStamp stamp;
    if (FsError read = fs.readStamp(base + "tgt/b", stamp); read != FsError::Ok)
        return read;
    stamp.lastWriteTime += timeShift;
    return fs.copy(base + "org/a", base + "tgt/b", {platform::CopyMode::Overwrite, &stamp});
}

std::vector<Step> script()
{
    const auto createOnly = [](const std::string& from, const std::string& to) {
        return [from, to](FileSystem& fs, const std::string& base) {
            return fs.copy(base + from, base + to, {platform::CopyMode::CreateOnly});
        };
    };
    const auto makeFolder = [](const std::string& folder) {
        return [folder](FileSystem& fs, const std::string& base) { return fs.createFolder(base + folder); };
    };
    const auto remove = [](const std::string& path) {
        return [path](FileSystem& fs, const std::string& base) { return fs.deleteItem(base + path, false); };
    };
    const auto stamp = [](const std::string& path) {
        return [path](FileSystem& fs, const std::string& base) {
            FileStamp ignored;
            return fs.readStamp(base + path, ignored);
        };
    };
    const auto list = [](const std::string& folder) {
        return [folder](FileSystem& fs, const std::string& base) {
            std::vector<platform::DirEntry> entries;
            return fs.listFolder(base + folder, entries);
        };
    };
    return {
        {"create-only onto a file", createOnly("org/a", "tgt/b"), FsError::Exists},
        {"create-only onto a folder", createOnly("org/a", "tgt/d"), FsError::Other},
        {"create-only into a missing folder", createOnly("org/a", "tgt/none/a"), FsError::NotFound},
        {"create-only of a missing source", createOnly("org/gone", "tgt/g"), FsError::NotFound},
        {"create-only of a folder", createOnly("org/sub", "tgt/s"), FsError::Other},
        {"make a folder", makeFolder("tgt/n/"), FsError::Ok},
        {"make it again", makeFolder("tgt/n/"), FsError::Exists},
        {"make a folder in a missing one", makeFolder("tgt/none/m/"), FsError::NotFound},
        {"copy into the new folder", createOnly("org/a", "tgt/n/a"), FsError::Ok},
        {"copy it again", createOnly("org/a", "tgt/n/a"), FsError::Exists},
        {"copy a link", createOnly("org/l", "tgt/n/l"), FsError::Ok},
        {"copy a read-only file", createOnly("org/ro", "tgt/n/ro"), FsError::Ok},
        {"copy a copy", createOnly("tgt/n/a", "tgt/n/a2"), FsError::Ok},
        {"make a folder where a copy is", makeFolder("tgt/n/a/"), FsError::Other},
        {"stamp of a made folder", stamp("tgt/n"), FsError::Other},
        {"stamp of a copy", stamp("tgt/n/a"), FsError::Ok},
        {"overwrite a target that changed",
         [](FileSystem& fs, const std::string& base) { return stampCheckedOverwrite(fs, base, 1); },
         FsError::Other},
        {"overwrite as read",
         [](FileSystem& fs, const std::string& base) { return stampCheckedOverwrite(fs, base, 0); },
         FsError::Ok},
        {"overwrite a target gone since it was read",
         [](FileSystem& fs, const std::string& base) {
             const FileStamp stamp{at(1) / 100, 4};
             return fs.copy(base + "org/a", base + "tgt/none", {platform::CopyMode::Overwrite, &stamp});
         },
         FsError::Other},
        {"delete a folder", remove("tgt/d"), FsError::Ok},
        {"stamp below it", stamp("tgt/d/y"), FsError::NotFound},
        {"list it", list("tgt/d/"), FsError::NotFound},
        {"delete it again", remove("tgt/d"), FsError::NotFound},
        {"make it anew", makeFolder("tgt/d/"), FsError::Ok},
        {"list it anew", list("tgt/d/"), FsError::Ok},
        {"make a file writable",
         [](FileSystem& fs, const std::string& base) { return fs.makeNormal(base + "tgt/ro2"); },
         FsError::Ok},
        {"delete a root", remove("tgt/"), FsError::Other},
        {"delete a copy", remove("tgt/n/a2"), FsError::Ok},
    };
}

// Every item below `folder` as `fs` lists it, with the bytes of files and the text of links.
void describe(FileSystem& fs, const std::string& folder, const std::string& shown,
              std::vector<std::string>& out)
{
    std::vector<platform::DirEntry> entries;
    out.push_back(shown + " listed " + std::to_string(static_cast<int>(fs.listFolder(folder, entries))));
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    for (const platform::DirEntry& entry : entries) {
        std::string line = shown + entry.name + " kind " + std::to_string(static_cast<int>(entry.kind)) +
                           " attr " + std::to_string(entry.attributes);
        if (entry.kind == platform::EntryKind::Folder) {
            out.push_back(line);
            describe(fs, folder + entry.name + "/", shown + entry.name + "/", out);
            continue;
        }
        line += " time " + std::to_string(entry.lastWriteTime) + " size " + std::to_string(entry.size);
        if (entry.kind == platform::EntryKind::Symlink) {
            std::string text;
            fs.readLink(folder + entry.name, text);
            line += " -> " + text;
        } else {
            FsError error = FsError::Ok;
            std::unique_ptr<platform::FileReader> reader = fs.openForReading(folder + entry.name, error);
            char buffer[256] = {};
            const long got = reader ? reader->read(buffer, sizeof buffer) : -1;
            line +=
                " bytes " + (got >= 0 ? std::string(buffer, static_cast<std::size_t>(got)) : "unreadable");
        }
        out.push_back(line);
    }
}

std::vector<std::string> playAndDescribe(FileSystem& fs, const std::string& base)
{
    FsError confined = FsError::Ok;
    std::unique_ptr<FileSystem> view = fs.confineTo({base + "org/", base + "tgt/"}, confined);
    EXPECT_EQ(confined, FsError::Ok);
    FileSystem& pair = view ? *view : fs;
    std::vector<std::string> seen;
    for (const Step& step : script()) {
        const FsError result = step.call(pair, base);
        EXPECT_EQ(result, step.expected) << step.what;
        seen.push_back(step.what + ": " + std::to_string(static_cast<int>(result)));
    }
    describe(pair, base + "tgt/", "tgt/", seen);
    return seen;
}

TEST(PreviewFileSystemTest, AnswersAsTheDiskAndSeesItsOwnWritesWithoutMakingThem)
{
    TempDir previewDir;
    TempDir realDir;
    for (const TempDir* dir : {&previewDir, &realDir}) {
        buildTree(dir->path() + "org", kOrg);
        buildTree(dir->path() + "tgt", kTgt);
    }
    const TreeSnapshot before = snapshotTree(previewDir.path());

    platform::PosixFileSystem disk(platform::kKeepEveryTemporary);
    platform::PreviewFileSystem preview(disk);
    const std::vector<std::string> previewed = playAndDescribe(preview, previewDir.path());
    EXPECT_EQ(snapshotTree(previewDir.path()), before);

    platform::PosixFileSystem realDisk;
    const std::vector<std::string> done = playAndDescribe(realDisk, realDir.path());
    EXPECT_EQ(previewed, done);
    EXPECT_NE(snapshotTree(realDir.path()), before) << "the script changes the real tree";
}

// A second pair's view shares what the first one wrote: its copies are there to read.
TEST(PreviewFileSystemTest, ViewsOfOneRunShareTheirWrites)
{
    TempDir dir;
    buildTree(dir / "org", kOrg);
    buildTree(dir / "tgt", {});
    buildTree(dir / "third", {});
    platform::PosixFileSystem disk;
    platform::PreviewFileSystem preview(disk);
    FsError confined = FsError::Ok;
    {
        const std::unique_ptr<FileSystem> first = preview.confineTo({dir / "org/", dir / "tgt/"}, confined);
        ASSERT_TRUE(first);
        ASSERT_EQ(first->copy(dir / "org/a", dir / "tgt/a", {platform::CopyMode::CreateOnly}), FsError::Ok);
        ASSERT_EQ(first->createFolder(dir / "tgt/new/"), FsError::Ok);
    }
    const std::unique_ptr<FileSystem> second = preview.confineTo({dir / "tgt/", dir / "third/"}, confined);
    ASSERT_TRUE(second);
    std::vector<platform::DirEntry> entries;
    ASSERT_EQ(second->listFolder(dir / "tgt/", entries), FsError::Ok);
    ASSERT_EQ(entries.size(), 2u);
    ASSERT_EQ(second->copy(dir / "tgt/a", dir / "third/a", {platform::CopyMode::CreateOnly}), FsError::Ok);
    FsError error = FsError::Ok;
    const std::unique_ptr<platform::FileReader> reader = second->openForReading(dir / "third/a", error);
    ASSERT_TRUE(reader);
    char buffer[16] = {};
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(reader->read(buffer, sizeof buffer))), "alpha");
    EXPECT_EQ(snapshotTree(dir / "tgt"), TreeSnapshot{});
    EXPECT_EQ(snapshotTree(dir / "third"), TreeSnapshot{});
}

} // namespace
} // namespace tavrel::test
