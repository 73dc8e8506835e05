// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

namespace tavrel::platform {

struct ReplaceOptions
{
    // Permission bits of the finished file. Unset: those of the file being replaced, or
    // 0666 minus the umask for a new file.
    std::optional<uint32_t> mode;
    // False: the rename fails with EEXIST when the destination already exists.
    bool replaceExisting = true;
    // True: an existing destination its owner made read-only (no write bit, or none for this
    // user) is not replaced (EACCES), though the folder would allow the rename; a user's own
    // document is protected so, as an editor protects it.
    bool keepReadOnly = false;
};

// Writes the content of the file through `fd`; returns a non-zero error to abandon the file.
using ContentWriter = std::function<std::error_code(int fd)>;

// Creates a temporary file beside `destination` (O_EXCL|O_NOFOLLOW, mode 0600), lets `write`
// fill it, sets the final mode, fsyncs it and renames it over `destination`. On every failure
// the temporary file is removed and whatever was at `destination` stays untouched.
std::error_code replaceFile(const std::filesystem::path& destination, const ContentWriter& write,
                            const ReplaceOptions& options = {});

// The same with a ready buffer.
std::error_code replaceFile(const std::filesystem::path& destination, std::span<const uint8_t> content,
                            const ReplaceOptions& options = {});

} // namespace tavrel::platform
