// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mount_table.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tavrel::platform {
namespace {

// The second field of each line, as the tables write it: escapes decoded, comments, blank lines
// and fields that are no path left out, trailing slashes taken off.
TEST(MountTable, MountPointsOfAnFstab)
{
    const std::string fstab = "# /etc/fstab\n"
                              "UUID=ab12 /               ext4    errors=remount-ro 0 1\n"
                              "\n"
                              "  \t# /dev/sdc1 /mnt/old vfat noauto 0 0\n"
                              "UUID=cd34 none            swap    sw                0 0\n"
                              "/dev/sdb1\t/media/usb\\040stick/  vfat  noauto,user  0 0\n"
                              "LABEL=back /mnt/back\\134up ext4 noauto 0 2\n"
                              "/dev/sdd1 /mnt/last ext4 noauto"; // no final line break
    EXPECT_EQ(mountPointsIn(fstab),
              (std::vector<std::string>{"/", "/media/usb stick", "/mnt/back\\up", "/mnt/last"}));
}

struct VacancyCase
{
    const char* path;
    bool vacant;
};

// A path lies on a vacant mount point when it or a folder above it is named by fstab and not
// mounted; a mounted one, a name that only begins like one, and "/" never are.
TEST(MountTable, PathBelowAnUnmountedMountPoint)
{
    const std::string fstab = "UUID=1 / ext4 defaults 0 1\n"
                              "/dev/sdb1 /mnt/usb vfat noauto 0 0\n"
                              "/dev/sdc1 /mnt/disk ext4 noauto 0 0\n"
                              "/dev/sdd1 /media/my\\040drive ntfs noauto 0 0\n";
    const std::string mounts = "/dev/sda1 / ext4 rw 0 0\n/dev/sdc1 /mnt/disk ext4 rw 0 0\n";
    const VacancyCase cases[] = {
        {"/mnt/usb", true},
        {"/mnt/usb/", true},
        {"/mnt/usb/backup/night/", true},
        {"/media/my drive/x", true},
        {"/mnt/disk/backup", false},
        {"/mnt/usbstick/backup", false},
        {"/mnt", false},
        {"/home/user/backup", false},
        {"/", false},
    };
    for (const VacancyCase& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(liesOnVacantMountPoint(c.path, fstab, mounts), c.vacant);
    }
    EXPECT_FALSE(liesOnVacantMountPoint("/mnt/usb/backup", "", mounts));
    EXPECT_TRUE(liesOnVacantMountPoint("/mnt/usb/backup", fstab, ""));
}

} // namespace
} // namespace tavrel::platform
