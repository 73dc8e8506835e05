// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <utility>

namespace tavrel::platform::posix {

// Owns one file descriptor and closes it once.
class UniqueFd final
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void reset(int fd = -1);
    // Hands the descriptor to a new owner (fdopendir) without closing it.
    int release() { return std::exchange(m_fd, -1); }
    // Closes now and reports the close error (0 or an errno): a late write error shows up here
    // on network file systems.
    int close();

private:
    int m_fd = -1;
};

} // namespace tavrel::platform::posix
