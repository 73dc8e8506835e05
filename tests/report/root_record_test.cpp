// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/root_record.h"
#include "support/temp_tree.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrel::report {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// What one run notes, the next run of the same project reads back, byte for byte, whatever
// the paths hold; another project, slot, side or path knows nothing of it.
TEST(RootRecord, KeepsTheRootsOfOneProject)
{
    TempDir dir;
    const std::string folder = dir / "data/roots";
    const std::string odd = "/mnt/usb 100%/line\nbreak\r/%41/";
    {
        RootRecord record(dir / "job.TSP", folder);
        record.load();
        EXPECT_FALSE(record.existed(0, RootSide::Tgt, "/mnt/usb/"));
        record.noteExisting(0, RootSide::Tgt, "/mnt/usb/old/");
        record.noteExisting(0, RootSide::Tgt, odd); // replaces what was known of that side
        record.noteExisting(99, RootSide::Org, "/home/u/docs/");
        ASSERT_TRUE(record.save());
    }
    RootRecord again(dir / "sub/../job.TSP", folder);
    again.load();
    EXPECT_TRUE(again.existed(0, RootSide::Tgt, odd));
    EXPECT_TRUE(again.existed(99, RootSide::Org, "/home/u/docs/"));
    EXPECT_FALSE(again.existed(0, RootSide::Tgt, "/mnt/usb/old/"));
    EXPECT_FALSE(again.existed(0, RootSide::Org, odd));
    EXPECT_FALSE(again.existed(1, RootSide::Tgt, odd));

    RootRecord other(dir / "other.TSP", folder);
    other.load();
    EXPECT_FALSE(other.existed(0, RootSide::Tgt, odd));
    EXPECT_NE(other.file(), again.file());
}

// A run that ends with the roots its record already holds leaves the file alone (each write
// is synced to the disk, a cost on every run); any change of a root writes it anew.
TEST(RootRecord, IsWrittenOnlyWhenARootChanged)
{
    struct Case
    {
        const char* name;
        int slot;
        RootSide side;
        const char* root;
        bool written;
    };
    const Case cases[] = {
        {"the same root", 0, RootSide::Tgt, "/mnt/usb/", false},
        {"another root", 0, RootSide::Tgt, "/mnt/other/", true},
        {"another side", 0, RootSide::Org, "/mnt/usb/", true},
        {"another slot", 1, RootSide::Tgt, "/mnt/usb/", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string folder = dir / "roots";
        {
            RootRecord first(dir / "job.TSP", folder);
            first.load();
            first.noteExisting(0, RootSide::Tgt, "/mnt/usb/");
            ASSERT_TRUE(first.save());
        }
        RootRecord record(dir / "job.TSP", folder);
        record.load();
        struct stat was = {};
        ASSERT_EQ(::stat(record.file().c_str(), &was), 0);
        record.noteExisting(c.slot, c.side, c.root);
        ASSERT_TRUE(record.save());
        struct stat now = {};
        ASSERT_EQ(::stat(record.file().c_str(), &now), 0);
        EXPECT_EQ(now.st_ino != was.st_ino, c.written);
        RootRecord again(dir / "job.TSP", folder);
        again.load();
        EXPECT_TRUE(again.existed(c.slot, c.side, c.root));
    }
}

// The record is never reached through a link: a link in the file's place is not read and is
// replaced, not written through; a folder that is a link is neither read nor written.
TEST(RootRecord, NeverFollowsALink)
{
    TempDir dir;
    const std::string folder = dir / "roots";
    RootRecord record(dir / "job.TSP", folder);
    record.noteExisting(0, RootSide::Tgt, "/mnt/usb/");
    ASSERT_TRUE(record.save());

    writeFile(dir / "elsewhere", "not ours");
    // The link leads to a good record of this project: only following it would find the root.
    std::filesystem::rename(record.file(), dir / "copy");
    ASSERT_EQ(::symlink("../copy", record.file().c_str()), 0);
    RootRecord linked(dir / "job.TSP", folder);
    linked.load();
    EXPECT_FALSE(linked.existed(0, RootSide::Tgt, "/mnt/usb/"));
    ASSERT_EQ(::unlink(record.file().c_str()), 0);
    ASSERT_EQ(::symlink("../elsewhere", record.file().c_str()), 0);
    linked.noteExisting(1, RootSide::Tgt, "/x/");
    ASSERT_TRUE(linked.save());
    EXPECT_EQ(readFile(dir / "elsewhere"), "not ours");
    EXPECT_FALSE(std::filesystem::is_symlink(record.file()));

    std::filesystem::rename(folder, dir / "real");
    ASSERT_EQ(::symlink("real", folder.c_str()), 0);
    RootRecord throughLink(dir / "job.TSP", folder);
    throughLink.load();
    EXPECT_FALSE(throughLink.existed(1, RootSide::Tgt, "/x/"));
    throughLink.noteExisting(2, RootSide::Tgt, "/y/");
    EXPECT_FALSE(throughLink.save());
}

} // namespace
} // namespace tavrel::report
