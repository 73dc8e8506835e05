// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/replace_file.h"

#include "platform/posix/fd_io.h"
#include "platform/posix/temporary_name.h"
#include "platform/unique_fd.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrel::platform {
namespace {

std::error_code lastError()
{
    return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

// The process umask, read without changing it (umask() would race with other threads).
mode_t currentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    }
    return 022;
}

mode_t finalModeFor(int dirFd, const std::string& name, const ReplaceOptions& options)
{
    if (options.mode)
        return *options.mode & 07777;
    struct stat existing = {};
    if (fstatat(dirFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(existing.st_mode))
        return existing.st_mode & 07777;
    return 0666 & ~currentUmask();
}

} // namespace

std::error_code replaceFile(const std::filesystem::path& destination, const ContentWriter& write,
                            const ReplaceOptions& options)
{
    const std::string name = destination.filename().string();
    if (name.empty() || name == "." || name == "..")
        return std::make_error_code(std::errc::invalid_argument);
    std::filesystem::path folder = destination.parent_path();
    if (folder.empty())
        folder = ".";

    // Every later step works relative to this one folder, so a renamed parent cannot split them.
    const posix::UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid())
        return lastError();

    if (options.keepReadOnly) {
        struct stat existing = {};
        // Root passes every access check, so the mode bits decide for it.
        if (::fstatat(dir.get(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(existing.st_mode) &&
            ((existing.st_mode & 0222) == 0 || ::faccessat(dir.get(), name.c_str(), W_OK, AT_EACCESS) != 0))
            return std::make_error_code(std::errc::permission_denied);
    }

    std::string temporary;
    posix::UniqueFd file = createExclusiveTemporary(dir.get(), name, temporary);
    if (!file.valid())
        return lastError();
    auto fail = [&](std::error_code error) {
        file.reset();
        ::unlinkat(dir.get(), temporary.c_str(), 0);
        return error;
    };

    if (std::error_code error = write(file.get()))
        return fail(error);
    if (::fchmod(file.get(), finalModeFor(dir.get(), name, options)) != 0)
        return fail(lastError());
    if (::fsync(file.get()) != 0)
        return fail(lastError());
    // Closed before the rename so that a late write error (network file systems) is seen.
    if (const int error = file.close())
        return fail(std::error_code(error, std::generic_category()));

    const unsigned flags = options.replaceExisting ? 0 : RENAME_NOREPLACE;
    if (::renameat2(dir.get(), temporary.c_str(), dir.get(), name.c_str(), flags) != 0)
        return fail(lastError());
    // Makes the rename itself durable; the file is in place either way, so a failure here is not one.
    ::fsync(dir.get());
    return {};
}

std::error_code replaceFile(const std::filesystem::path& destination, std::span<const uint8_t> content,
                            const ReplaceOptions& options)
{
    return replaceFile(
        destination, [content](int fd) { return posix::writeAll(fd, content); }, options);
}

} // namespace tavrel::platform
