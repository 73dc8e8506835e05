// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/sync_state.h"
#include "support/temp_tree.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <limits>

using namespace tavrel;
using namespace tavrel::state;
namespace fs = std::filesystem;

namespace {

StateHeader sampleHeader()
{
    StateHeader header;
    header.pairId = model::PairId{0xde, 0xad, 0xbe, 0xef, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    header.roots = {"/home/u/org", "/media/stick/tgt"};
    header.orgTraits.probed = true;
    header.tgtTraits.probed = true;
    header.tgtTraits.caseInsensitive = true;
    header.tgtTraits.linksCreatable = false;
    header.tgtTraits.permissionsSettable = false;
    header.tgtTraits.timePrecision = 20'000'000;
    header.tgtTraits.timeMin = 315'532'800LL * 10'000'000;
    header.tgtTraits.timeMax = 4'354'819'200LL * 10'000'000 - 1;
    header.tgtTraits.error = -3;
    return header;
}

StateEntry entry(std::string name, platform::EntryKind kind, uint64_t size, int64_t orgTime, int64_t tgtTime,
                 uint64_t orgInode, uint64_t tgtInode, std::string link = {})
{
    return {std::move(name), kind, size, orgTime, tgtTime, orgInode, tgtInode, std::move(link)};
}

// Folders as the breadth-first walk meets them, with every odd value a field can hold.
std::vector<StateFolder> sampleFolders()
{
    constexpr int64_t kT = 17'000'000'000'000'000;
    using K = platform::EntryKind;
    return {
        {"",
         {entry("a.txt", K::File, 10, kT, kT, 11, 91), entry("docs", K::Folder, 0, kT, kT + 5, 12, 92),
          entry("link", K::Symlink, 6, kT, kT - 20'000'000, 13, 93, "a.txt"),
          entry("big", K::File, std::numeric_limits<uint64_t>::max(), std::numeric_limits<int64_t>::min(),
                std::numeric_limits<int64_t>::max(), std::numeric_limits<uint64_t>::max(), 0)}},
        {"docs/",
         {entry("\xc3\xa9t\xc3\xa9 \n odd", K::File, 0, -1, 1, 0, 0), entry("e", K::Folder, 0, 0, 0, 1, 1)}},
        {"docs/e/", {}},
    };
}

fs::path writeSample(const test::TempDir& dir, const std::vector<StateFolder>& folders)
{
    fs::path file = dir / "pair.state";
    StateWriter writer;
    EXPECT_FALSE(writer.open(file, sampleHeader()));
    for (const StateFolder& folder : folders) {
        EXPECT_FALSE(writer.beginFolder(folder.path));
        for (const StateEntry& e : folder.entries)
            EXPECT_FALSE(writer.add(e));
    }
    EXPECT_FALSE(writer.commit());
    return file;
}

std::vector<uint8_t> bytesOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void putBytes(const fs::path& file, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

TEST(SyncState, WhatIsWrittenIsReadBackFolderByFolder)
{
    test::TempDir dir;
    const auto folders = sampleFolders();
    const fs::path file = writeSample(dir, folders);

    StateReader reader;
    ASSERT_EQ(reader.open(file, sampleHeader().roots), StateStatus::Ok);
    EXPECT_EQ(reader.header().pairId, sampleHeader().pairId);
    EXPECT_EQ(reader.header().roots, sampleHeader().roots);
    EXPECT_EQ(reader.header().orgTraits, sampleHeader().orgTraits);
    EXPECT_EQ(reader.header().tgtTraits, sampleHeader().tgtTraits);
    StateFolder folder;
    for (const StateFolder& expected : folders) {
        SCOPED_TRACE(expected.path);
        ASSERT_TRUE(reader.nextFolder(folder));
        EXPECT_EQ(folder.path, expected.path);
        EXPECT_EQ(folder.entries, expected.entries);
    }
    EXPECT_FALSE(reader.nextFolder(folder));
    EXPECT_EQ(reader.status(), StateStatus::Ok) << "the end is no damage";
    EXPECT_TRUE(folder.entries.empty());
    // Only the finished file is left: no temporary beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(SyncState, ReaderTellsMissingOtherRootsNewerAndDamaged)
{
    test::TempDir dir;
    const fs::path file = writeSample(dir, sampleFolders());
    const std::vector<uint8_t> good = bytesOf(file);
    StateReader reader;
    EXPECT_EQ(reader.open(dir / "none.state", sampleHeader().roots), StateStatus::Missing);
    EXPECT_EQ(reader.open(file, {"/home/u/org", "/media/other/tgt"}), StateStatus::OtherRoots);
    EXPECT_EQ(reader.open(file, {"/home/u/org2", "/media/stick/tgt"}), StateStatus::OtherRoots);
    fs::create_directory(dir / "folder.state");
    EXPECT_EQ(reader.open(dir / "folder.state", sampleHeader().roots), StateStatus::Damaged);
    fs::create_symlink(file, dir / "link.state");
    EXPECT_EQ(reader.open(dir / "link.state", sampleHeader().roots), StateStatus::Damaged)
        << "a link is never followed";

    // Every single changed byte and every cut is caught before an entry is handed out.
    for (std::size_t offset = 0; offset < good.size(); ++offset) {
        SCOPED_TRACE(offset);
        std::vector<uint8_t> changed = good;
        changed[offset] ^= 0x10;
        putBytes(file, changed);
        EXPECT_NE(reader.open(file, sampleHeader().roots), StateStatus::Ok);
        putBytes(file,
                 std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(offset)));
        EXPECT_EQ(reader.open(file, sampleHeader().roots), StateStatus::Damaged);
    }
    putBytes(file, good);
    EXPECT_EQ(reader.open(file, sampleHeader().roots), StateStatus::Ok);
}

TEST(SyncState, ALaterFormatIsNewerNotDamaged)
{
    test::TempDir dir;
    const fs::path file = dir / "later.state";
    StateWriter writer;
    ASSERT_FALSE(writer.open(file, sampleHeader()));
    ASSERT_FALSE(writer.commit());
    std::vector<uint8_t> bytes = bytesOf(file);
    bytes[8] = 2; // the version, the checksum made again
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (std::size_t i = 0; i + 8 < bytes.size(); ++i)
        hash = (hash ^ bytes[i]) * 0x100000001b3ULL;
    for (int i = 0; i < 8; ++i)
        bytes[bytes.size() - 8 + static_cast<std::size_t>(i)] = static_cast<uint8_t>(hash >> (8 * i));
    putBytes(file, bytes);
    StateReader reader;
    EXPECT_EQ(reader.open(file, sampleHeader().roots), StateStatus::NewerFormat);
}

// The previous state stays until the new one is committed; an abandoned writer leaves nothing.
TEST(SyncState, AnUnfinishedWriteKeepsThePreviousState)
{
    test::TempDir dir;
    const fs::path file = writeSample(dir, sampleFolders());
    const std::vector<uint8_t> before = bytesOf(file);
    {
        StateWriter writer;
        ASSERT_FALSE(writer.open(file, sampleHeader()));
        ASSERT_FALSE(writer.beginFolder(""));
        for (int i = 0; i < 20000; ++i) // beyond one buffer, so part of it reached the disk
            ASSERT_FALSE(writer.add(
                entry(std::string("f").append(std::to_string(i)), platform::EntryKind::File, 1, 2, 2, 3, 4)));
    }
    EXPECT_EQ(bytesOf(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    StateWriter orphan;
    EXPECT_TRUE(static_cast<bool>(orphan.open(dir / "missing-folder/x.state", sampleHeader())));
    StateWriter early;
    ASSERT_FALSE(early.open(dir / "early.state", sampleHeader()));
    EXPECT_TRUE(static_cast<bool>(early.add(entry("x", platform::EntryKind::File, 0, 0, 0, 0, 0))))
        << "an entry before any folder is refused";
}

TEST(SyncState, ManyFoldersStreamWithBoundedEntries)
{
    test::TempDir dir;
    const fs::path file = dir / "many.state";
    StateWriter writer;
    ASSERT_FALSE(writer.open(file, sampleHeader()));
    for (int f = 0; f < 300; ++f) {
        ASSERT_FALSE(writer.beginFolder(f == 0 ? std::string()
                                               : std::string("d").append(std::to_string(f)).append("/")));
        for (int i = 0; i < 100; ++i)
            ASSERT_FALSE(writer.add(entry("file-" + std::to_string(i), platform::EntryKind::File,
                                          static_cast<uint64_t>(i * 37), 17'000'000'000'000'000 + i,
                                          17'000'000'000'000'000 + i, static_cast<uint64_t>(f * 100 + i),
                                          static_cast<uint64_t>(f * 100 + i + 1'000'000))));
    }
    ASSERT_FALSE(writer.commit());
    EXPECT_EQ(writer.entryCount(), 30000u);

    StateReader reader;
    ASSERT_EQ(reader.open(file, sampleHeader().roots), StateStatus::Ok);
    StateFolder folder;
    int folders = 0;
    while (reader.nextFolder(folder)) {
        ASSERT_EQ(folder.entries.size(), 100u);
        EXPECT_EQ(folder.entries[99].orgInode, static_cast<uint64_t>(folders * 100 + 99));
        ++folders;
    }
    EXPECT_EQ(folders, 300);
    EXPECT_EQ(reader.status(), StateStatus::Ok);
}
