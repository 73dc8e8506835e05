// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/unique_fd.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace tavrel::platform {

// One regular file of the program's own (a job file, a report), never anything else put in its
// place: the open does not block on a FIFO, and what it opened is checked to be a regular file.
class RegularFile final
{
public:
    enum class Access
    {
        Read,
        ReadWrite,
        Rewrite, // write only, created (0644 less the umask) or emptied
    };

    // Errors are the system's; anything but a regular file (with `followLinks` false, a link
    // too) is std::errc::invalid_argument.
    std::error_code open(const std::filesystem::path& path, Access access, bool followLinks = true);
    bool isOpen() const { return m_fd.valid(); }

    // The whole file, read once after open, at most `maxBytes`: std::errc::file_too_large for
    // a longer one, told by its size when it was opened and again by reading one byte past the
    // bound, so a file that grows meanwhile cannot make this read more.
    std::error_code readAll(uint64_t maxBytes, std::vector<uint8_t>& bytes) const;
    // All of `bytes` at the current offset, or at `offset`.
    std::error_code write(std::span<const uint8_t> bytes) const;
    std::error_code writeAt(std::span<const uint8_t> bytes, uint64_t offset) const;
    void close() { m_fd.reset(); }

private:
    posix::UniqueFd m_fd;
    uint64_t m_size = 0; // when it was opened
};

// A folder of the program's own that holds files of its own only (the run history): opened
// once, then used by name, so a link put in place of the folder later cannot move what follows.
class OwnFolder final
{
public:
    // `folder` and its parent are opened without following links (a link in place of either
    // would take what is written and removed there elsewhere); what lies above them is the
    // user's, links and all. With `create`, the missing ones are made (private to the user).
    // Not open, with `whyNot` set, when the folder cannot be had.
    static OwnFolder open(std::filesystem::path folder, bool create, std::string& whyNot);
    bool isOpen() const { return m_fd.valid(); }

    // The names `wanted` takes of the regular files in it that this user owns (never a link),
    // as listed; only those names are looked at.
    std::vector<std::string> ownFileNames(const std::function<bool(std::string_view)>& wanted) const;
    // The content of the regular file `name` this user owns; empty when it is not one.
    std::string readOwnFile(const std::string& name) const;
    // Appends `line` with one write (O_APPEND: lines written together do not mix), ending first
    // a line that a crash left without its line break. False when it could not be written.
    bool appendLine(const std::string& name, std::string line) const;
    // `name` written anew with `text` under a second name, then renamed over it.
    bool replaceFile(const std::string& name, std::string_view text) const;
    // Makes the new file `name` (never replacing one) as a copy of the regular file `from`.
    // 0, EEXIST when the name is taken, or the errno of what failed (the part written is removed).
    int createCopy(const std::string& name, const std::filesystem::path& from) const;
    bool remove(const std::string& name) const;

private:
    posix::UniqueFd m_fd;
};

} // namespace tavrel::platform
