// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <sys/types.h>
#include <system_error>

namespace tavrel::platform::posix {

// Writes all of `bytes` to `fd`, going on after short writes and EINTR. A write that takes
// nothing (a full device may answer so) is EIO rather than a loop without end.
std::error_code writeAll(int fd, std::span<const uint8_t> bytes);

// The same with pwrite at `offset`, leaving the descriptor's own offset alone.
std::error_code writeAllAt(int fd, std::span<const uint8_t> bytes, off_t offset);

// Reads until `buffer` is full or the file ends, going on after short reads and EINTR. The
// count read, short of buffer.size() only at the end of the file; -1 with errno set on an
// error, whatever was read before it.
ssize_t readFull(int fd, std::span<uint8_t> buffer);

} // namespace tavrel::platform::posix
