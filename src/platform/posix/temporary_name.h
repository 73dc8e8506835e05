// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/unique_fd.h"

#include <cerrno>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tavrel::platform {

// Every temporary file the program writes beside a final name carries this suffix and a
// leading ".", so scans can recognise and skip them (and clean them up after a crash).
inline constexpr std::string_view kTemporarySuffix = ".tavrel-tmp";
inline constexpr std::size_t kMaxNameBytes = 255;
// Fresh names tried before a create gives up with EEXIST: with 36^8 tags, a second try
// already means someone else makes names of our shape.
inline constexpr int kTemporaryNameAttempts = 8;

// A fresh temporary name for a file about to become `name`: "." + name (shortened when needed,
// at a UTF-8 character boundary) + "." + random tag + kTemporarySuffix, at most 255 bytes.
// Each call gives a new tag.
std::string temporaryNameFor(std::string_view name);

// Whether `name` (a single path component) follows the temporary naming rule.
bool isTemporaryName(std::string_view name);

// Whether `name` has exactly the shape temporaryNameFor gives: "." + a name + "." + an
// eight-character tag of digits and lower-case letters + kTemporarySuffix. Only such names are
// ever removed as leftovers.
bool isExactTemporaryName(std::string_view name);

// Makes an item under a fresh temporary name for `forName` with `create(name)` (-1 with errno
// on failure, as the *at calls answer), trying another name while the one tried is taken. The
// name used goes to `madeName`. 0 or an errno (EEXIST when every name tried was taken).
template <typename Create>
int createUnderFreshName(std::string_view forName, std::string& madeName, Create create)
{
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        madeName = temporaryNameFor(forName);
        if (create(madeName) >= 0)
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

// A new empty file with `mode` under a fresh temporary name for `forName`, in the folder open
// as `folderFd`, open for writing. O_EXCL|O_NOFOLLOW: never a file or link that was there
// already. Not valid, with errno set, on failure.
posix::UniqueFd createExclusiveTemporary(int folderFd, std::string_view forName, std::string& madeName,
                                         mode_t mode = 0600);

} // namespace tavrel::platform
