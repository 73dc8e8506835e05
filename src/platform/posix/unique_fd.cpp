// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/unique_fd.h"

#include <cerrno>
#include <unistd.h>

namespace tavrel::platform::posix {

void UniqueFd::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd); // Linux frees the descriptor even when close fails: never retry
    m_fd = fd;
}

int UniqueFd::close()
{
    if (m_fd < 0)
        return 0;
    const int result = ::close(std::exchange(m_fd, -1));
    return result == 0 || errno == EINTR ? 0 : errno;
}

} // namespace tavrel::platform::posix
