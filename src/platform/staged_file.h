// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/unique_fd.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <system_error>

namespace tavrel::platform {

// A file written front to back under a temporary name beside its destination and put in place
// only by commit(): readers see the old file or the whole new one, never a part. For the
// program's own files (remembered run state), not the user's trees.
class StagedFile final
{
public:
    StagedFile() = default;
    StagedFile(StagedFile&&) noexcept = default;
    StagedFile& operator=(StagedFile&&) noexcept;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    // An uncommitted file is removed.
    ~StagedFile();

    // Creates the temporary beside `destination` (O_EXCL|O_NOFOLLOW, mode 0600); the folder
    // must exist.
    std::error_code open(const std::filesystem::path& destination);
    bool isOpen() const { return m_file.valid(); }
    std::error_code append(std::span<const uint8_t> bytes);
    // fsync, close, rename over the destination, fsync the folder. On failure the temporary is
    // removed and the destination is as it was.
    std::error_code commit();
    // Removes the temporary; the destination stays as it was.
    void abandon();

private:
    posix::UniqueFd m_folder;
    posix::UniqueFd m_file;
    std::string m_temporary;
    std::string m_name;
};

// A regular file read front to back, opened without following a link or blocking on a FIFO.
class SequentialFile final
{
public:
    // NotFound-like errors come as std::errc::no_such_file_or_directory; anything but a
    // regular file is std::errc::invalid_argument.
    std::error_code open(const std::filesystem::path& path);
    // Bytes read (fewer than asked only at the end), or -1 on an error.
    int64_t read(std::span<uint8_t> buffer);
    // Back to the start, for a second pass.
    bool rewind();
    uint64_t size() const { return m_size; }

private:
    posix::UniqueFd m_file;
    uint64_t m_size = 0;
};

// Removes one file (never a folder, never what a link points to). ENOENT comes back as
// std::errc::no_such_file_or_directory.
std::error_code removeFile(const std::filesystem::path& path);

// Removes the temporaries a StagedFile left in `folder` when its program died before commit,
// once they have stayed unchanged for `staleAge` (a live writer keeps its file younger).
void removeStaleStagedFiles(const std::filesystem::path& folder, std::chrono::seconds staleAge);

// Makes `folder` and its missing parents, each new one private to the user (0700).
std::error_code makePrivateFolders(const std::filesystem::path& folder);

} // namespace tavrel::platform
