// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <limits>

namespace tavrel::platform {

// What a folder's file system keeps of what the program writes, found by trying it there.
// Times are 100 ns units since the Unix epoch.
struct VolumeTraits
{
    bool probed = false;       // false: nothing could be created there; the rest are the defaults
    int error = 0;             // errno of the create that failed when not probed
    int64_t timePrecision = 1; // a stored time is within this of the time set (1: exact)
    int64_t timeMin = std::numeric_limits<int64_t>::min(); // span of times stored as set
    int64_t timeMax = std::numeric_limits<int64_t>::max();
    bool caseInsensitive = false;
    bool timesSettable = true; // false: a file keeps the time the volume gives it
    bool linkTimesSettable = true;
    bool linksCreatable = true;
    bool permissionsSettable = true;
    // The longest file the volume holds; FAT's lengths are 32 bits, and some of its drivers
    // keep a longer file's length modulo 4 GiB instead of refusing it.
    uint64_t maxFileSize = std::numeric_limits<uint64_t>::max();

    friend bool operator==(const VolumeTraits&, const VolumeTraits&) = default;
};

// Probes the folder open as `folderFd` (a directory descriptor) through *at calls relative to
// it: a temporary file and link under the reserved temporary names, given odd times (a
// fraction, a time before 1970, one after 2107) and new permission bits that are read back,
// and the file's name looked up with its letter case swapped. Everything made is removed on
// every path. A folder where no file can be created gives the defaults with probed false.
// A few dozen system calls; more (about 35 each) when a time span end has to be searched.
//
// Limit: a user-space file system may report from memory what it has not stored; exfat-fuse
// shows times before 1980 and after 2107 unchanged until the volume is mounted again, so its
// span is probed as wide. Precision and case are seen as stored.
VolumeTraits probeVolume(int folderFd);

} // namespace tavrel::platform
