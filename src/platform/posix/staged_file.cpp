// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/staged_file.h"

#include "platform/posix/fd_io.h"
#include "platform/posix/posix_folder_ops.h"
#include "platform/posix/posix_io.h"
#include "platform/posix/temporary_name.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tavrel::platform {
namespace {

std::error_code lastError()
{
    return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

} // namespace

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept
{
    if (this != &other) {
        abandon();
        m_folder = std::move(other.m_folder);
        m_file = std::move(other.m_file);
        m_temporary = std::move(other.m_temporary);
        m_name = std::move(other.m_name);
    }
    return *this;
}

StagedFile::~StagedFile()
{
    abandon();
}

std::error_code StagedFile::open(const std::filesystem::path& destination)
{
    abandon();
    m_name = destination.filename().string();
    if (m_name.empty() || m_name == "." || m_name == "..")
        return std::make_error_code(std::errc::invalid_argument);
    std::filesystem::path folder = destination.parent_path();
    if (folder.empty())
        folder = ".";
    m_folder.reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!m_folder.valid())
        return lastError();
    m_file = createExclusiveTemporary(m_folder.get(), m_name, m_temporary);
    if (!m_file.valid()) {
        const std::error_code error = lastError();
        m_folder.reset();
        return error;
    }
    return {};
}

std::error_code StagedFile::append(std::span<const uint8_t> bytes)
{
    if (!m_file.valid())
        return std::make_error_code(std::errc::bad_file_descriptor);
    return posix::writeAll(m_file.get(), bytes);
}

std::error_code StagedFile::commit()
{
    if (!m_file.valid())
        return std::make_error_code(std::errc::bad_file_descriptor);
    auto fail = [this](std::error_code error) {
        abandon();
        return error;
    };
    if (::fsync(m_file.get()) != 0)
        return fail(lastError());
    // Closed before the rename so that a late write error (network file systems) is seen.
    if (const int error = m_file.close())
        return fail(std::error_code(error, std::generic_category()));
    if (::renameat(m_folder.get(), m_temporary.c_str(), m_folder.get(), m_name.c_str()) != 0)
        return fail(lastError());
    m_temporary.clear();
    // Makes the rename durable; the file is in place either way.
    ::fsync(m_folder.get());
    m_folder.reset();
    return {};
}

void StagedFile::abandon()
{
    m_file.reset();
    if (m_folder.valid() && !m_temporary.empty())
        ::unlinkat(m_folder.get(), m_temporary.c_str(), 0);
    m_temporary.clear();
    m_folder.reset();
}

std::error_code SequentialFile::open(const std::filesystem::path& path)
{
    struct stat info = {};
    int error = 0;
    m_file = posix::openRegular(AT_FDCWD, path.c_str(), O_RDONLY | O_NOFOLLOW, info, error);
    if (!m_file.valid())
        return error == ELOOP || error == 0 ? std::make_error_code(std::errc::invalid_argument)
                                            : std::error_code(error, std::generic_category());
    m_size = static_cast<uint64_t>(info.st_size);
    return {};
}

int64_t SequentialFile::read(std::span<uint8_t> buffer)
{
    return posix::readFull(m_file.get(), buffer);
}

bool SequentialFile::rewind()
{
    return ::lseek(m_file.get(), 0, SEEK_SET) == 0;
}

std::error_code removeFile(const std::filesystem::path& path)
{
    if (::unlink(path.c_str()) != 0)
        return lastError();
    return {};
}

void removeStaleStagedFiles(const std::filesystem::path& folder, std::chrono::seconds staleAge)
{
    const posix::UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    if (dir.valid())
        posix::removeStaleTemporariesAt(dir.get(), staleAge);
}

std::error_code makePrivateFolders(const std::filesystem::path& folder)
{
    std::filesystem::path made;
    for (const std::filesystem::path& part : folder) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST)
            return lastError();
    }
    struct stat info = {};
    if (::stat(folder.c_str(), &info) != 0)
        return lastError();
    return S_ISDIR(info.st_mode) ? std::error_code() : std::make_error_code(std::errc::not_a_directory);
}

} // namespace tavrel::platform
