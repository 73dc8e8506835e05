// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/own_files.h"

#include "platform/posix/fd_io.h"
#include "platform/posix/posix_io.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrel::platform {

namespace {

std::error_code systemError(int error)
{
    return std::error_code(error != 0 ? error : EIO, std::generic_category());
}

std::string systemWords(int error)
{
    return std::generic_category().message(error);
}

uid_t user()
{
    static const uid_t id = ::geteuid();
    return id;
}

} // namespace

std::error_code RegularFile::open(const std::filesystem::path& path, Access access, bool followLinks)
{
    int flags = access == Access::Read        ? O_RDONLY
                : access == Access::ReadWrite ? O_RDWR
                                              : O_WRONLY | O_CREAT | O_TRUNC;
    if (!followLinks)
        flags |= O_NOFOLLOW;
    struct stat info = {};
    int error = 0;
    m_fd = posix::openRegular(AT_FDCWD, path.c_str(), flags, info, error, 0644);
    if (m_fd.valid()) {
        m_size = static_cast<uint64_t>(info.st_size);
        return {};
    }
    if (error == 0 || (error == ELOOP && !followLinks))
        return std::make_error_code(std::errc::invalid_argument);
    return systemError(error);
}

std::error_code RegularFile::readAll(uint64_t maxBytes, std::vector<uint8_t>& bytes) const
{
    bytes.clear();
    if (m_size > maxBytes)
        return std::make_error_code(std::errc::file_too_large);
    const uint64_t limit = maxBytes + 1;
    // One byte more than the size tells at once whether the file grew.
    std::vector<uint8_t> data(static_cast<std::size_t>(m_size) + 1);
    std::size_t have = 0;
    while (have < limit) {
        if (have == data.size())
            data.resize(static_cast<std::size_t>(std::min<uint64_t>(limit, data.size() * 2)));
        const std::span<uint8_t> rest = std::span(data).subspan(have);
        const ssize_t got = posix::readFull(m_fd.get(), rest);
        if (got < 0)
            return systemError(errno);
        have += static_cast<std::size_t>(got);
        if (static_cast<std::size_t>(got) < rest.size())
            break; // the end of the file
    }
    if (have > maxBytes)
        return std::make_error_code(std::errc::file_too_large);
    data.resize(have);
    bytes = std::move(data);
    return {};
}

std::error_code RegularFile::write(std::span<const uint8_t> bytes) const
{
    return posix::writeAll(m_fd.get(), bytes);
}

std::error_code RegularFile::writeAt(std::span<const uint8_t> bytes, uint64_t offset) const
{
    return posix::writeAllAt(m_fd.get(), bytes, static_cast<off_t>(offset));
}

OwnFolder OwnFolder::open(std::filesystem::path folder, bool create, std::string& whyNot)
{
    using posix::UniqueFd;
    OwnFolder opened;
    if (folder.filename().empty())
        folder = folder.parent_path(); // written with a final "/"
    const std::filesystem::path parent = folder.parent_path();
    std::filesystem::path top = parent.parent_path();
    if (top.empty())
        top = ".";
    std::error_code error;
    if (create)
        std::filesystem::create_directories(top, error);
    UniqueFd fd(::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) {
        whyNot = systemWords(errno);
        return opened;
    }
    for (const std::filesystem::path& name : {parent.filename(), folder.filename()}) {
        auto openBelow = [&] {
            return UniqueFd(
                ::openat(fd.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        };
        UniqueFd next = openBelow();
        if (!next.valid() && errno == ENOENT && create &&
            (::mkdirat(fd.get(), name.c_str(), 0700) == 0 || errno == EEXIST))
            next = openBelow();
        if (!next.valid()) {
            const int failure = errno;
            struct stat st = {};
            const bool link =
                ::fstatat(fd.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
            whyNot = link ? (name == folder.filename() ? "it is" : parent.native() + " is") +
                                std::string(" a symbolic link, which the history never follows")
                          : systemWords(failure);
            return opened;
        }
        fd = std::move(next);
    }
    opened.m_fd = std::move(fd);
    return opened;
}

std::vector<std::string> OwnFolder::ownFileNames(const std::function<bool(std::string_view)>& wanted) const
{
    std::vector<std::string> names;
    const posix::DirStream dir =
        posix::streamOver(posix::UniqueFd(::openat(m_fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
    if (dir == nullptr)
        return names;
    while (const dirent* item = ::readdir(dir.get())) {
        struct stat st = {};
        if (wanted(item->d_name) && ::fstatat(m_fd.get(), item->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == user())
            names.emplace_back(item->d_name);
    }
    return names;
}

std::string OwnFolder::readOwnFile(const std::string& name) const
{
    std::string text;
    struct stat st = {};
    int error = 0;
    const posix::UniqueFd fd = posix::openRegular(m_fd.get(), name.c_str(), O_RDONLY | O_NOFOLLOW, st, error);
    if (!fd.valid() || st.st_uid != user())
        return text;
    std::array<char, 16384> buffer;
    for (ssize_t got; (got = ::read(fd.get(), buffer.data(), buffer.size())) > 0;)
        text.append(buffer.data(), static_cast<std::size_t>(got));
    return text;
}

bool OwnFolder::appendLine(const std::string& name, std::string line) const
{
    struct stat st = {};
    int error = 0;
    const posix::UniqueFd fd = posix::openRegular(m_fd.get(), name.c_str(),
                                                  O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW, st, error, 0644);
    if (!fd.valid())
        return false;
    // A line torn by a crash is ended first, so it costs only itself.
    char last = '\n';
    if (st.st_size > 0 && ::pread(fd.get(), &last, 1, st.st_size - 1) == 1 && last != '\n')
        line.insert(line.begin(), '\n');
    return !posix::writeAll(fd.get(), {reinterpret_cast<const uint8_t*>(line.data()), line.size()});
}

bool OwnFolder::replaceFile(const std::string& name, std::string_view text) const
{
    const std::string temporary = name + ".new";
    const posix::UniqueFd fd(
        ::openat(m_fd.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd.valid())
        return false;
    if (posix::writeAll(fd.get(), {reinterpret_cast<const uint8_t*>(text.data()), text.size()}) ||
        ::renameat(m_fd.get(), temporary.c_str(), m_fd.get(), name.c_str()) != 0) {
        ::unlinkat(m_fd.get(), temporary.c_str(), 0);
        return false;
    }
    return true;
}

int OwnFolder::createCopy(const std::string& name, const std::filesystem::path& from) const
{
    posix::UniqueFd out(
        ::openat(m_fd.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!out.valid())
        return errno;
    bool copied = false;
    if (const posix::UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
        in.valid()) {
        std::array<uint8_t, std::size_t{64} * 1024> buffer;
        for (;;) {
            const ssize_t got = posix::readFull(in.get(), buffer);
            if (got < 0)
                break;
            const auto chunk = std::span(buffer).first(static_cast<std::size_t>(got));
            if (posix::writeAll(out.get(), chunk))
                break;
            if (chunk.size() < buffer.size()) {
                copied = true; // the end of the file
                break;
            }
        }
    }
    if (out.close() != 0 || !copied) {
        const int failure = errno != 0 ? errno : EIO;
        ::unlinkat(m_fd.get(), name.c_str(), 0);
        return failure;
    }
    return 0;
}

bool OwnFolder::remove(const std::string& name) const
{
    return ::unlinkat(m_fd.get(), name.c_str(), 0) == 0;
}

} // namespace tavrel::platform
