// SPDX-License-Identifier: GPL-3.0-or-later
// Prints what probeVolume finds in a folder, one "key value" line each, for the file-system
// matrix to check against what each volume is known to keep.
//   tavrel-probe-volume FOLDER
#include "platform/volume_probe.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: tavrel-probe-volume FOLDER\n", stderr);
        return 64;
    }
    const int folder = ::open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        std::fprintf(stderr, "tavrel-probe-volume: %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    const tavrel::platform::VolumeTraits t = tavrel::platform::probeVolume(folder);
    ::close(folder);
    std::printf("probed %d\nerror %d\ntimePrecision %lld\ntimeMin %lld\ntimeMax %lld\n"
                "caseInsensitive %d\ntimesSettable %d\nlinkTimesSettable %d\nlinksCreatable %d\n"
                "permissionsSettable %d\nmaxFileSize %llu\n",
                t.probed, t.error, static_cast<long long>(t.timePrecision), static_cast<long long>(t.timeMin),
                static_cast<long long>(t.timeMax), t.caseInsensitive, t.timesSettable, t.linkTimesSettable,
                t.linksCreatable, t.permissionsSettable, static_cast<unsigned long long>(t.maxFileSize));
    return 0;
}
