// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/fd_io.h"

#include "platform/posix/posix_io.h"

#include <cerrno>
#include <optional>
#include <unistd.h>

namespace tavrel::platform::posix {
namespace {

// The one write loop: at the descriptor's offset, or at `offset` onwards when one is given.
std::error_code writeLoop(int fd, std::span<const uint8_t> bytes, std::optional<off_t> offset)
{
    while (!bytes.empty()) {
        const ssize_t written = retryOnEintr([&] {
            return offset ? ::pwrite(fd, bytes.data(), bytes.size(), *offset)
                          : ::write(fd, bytes.data(), bytes.size());
        });
        if (written < 0)
            return std::error_code(errno, std::generic_category());
        if (written == 0)
            return std::error_code(EIO, std::generic_category());
        bytes = bytes.subspan(static_cast<std::size_t>(written));
        if (offset)
            *offset += written;
    }
    return {};
}

} // namespace

std::error_code writeAll(int fd, std::span<const uint8_t> bytes)
{
    return writeLoop(fd, bytes, std::nullopt);
}

std::error_code writeAllAt(int fd, std::span<const uint8_t> bytes, off_t offset)
{
    return writeLoop(fd, bytes, offset);
}

ssize_t readFull(int fd, std::span<uint8_t> buffer)
{
    std::size_t total = 0;
    while (total < buffer.size()) {
        const ssize_t got =
            retryOnEintr([&] { return ::read(fd, buffer.data() + total, buffer.size() - total); });
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        total += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(total);
}

} // namespace tavrel::platform::posix
