// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavrel::platform {

// The mount points a table in the fstab format names (/etc/fstab, /proc/self/mounts): the
// second field of each line that is not blank or a comment, its octal escapes ("\040" for a
// space) decoded and without a trailing "/" (except "/" itself). Fields that are no absolute
// path ("none", "swap") are left out.
std::vector<std::string> mountPointsIn(std::string_view table);

// Whether `path` (absolute, links resolved, with or without a trailing "/") or one of its
// ancestors below "/" is a mount point that `fstab` names and `mounts` does not: a drive that
// is not connected, whose bare mount-point folder lies on the disk above it.
bool liesOnVacantMountPoint(std::string_view path, std::string_view fstab, std::string_view mounts);

} // namespace tavrel::platform
