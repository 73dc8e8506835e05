// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <system_error>

namespace tavrel::platform {

// Every temporary file the program writes beside a final name carries this suffix and a
// leading ".", so scans can recognise and skip them (and clean them up after a crash).
inline constexpr std::string_view kTemporarySuffix = ".tavrel-tmp";
inline constexpr std::size_t kMaxNameBytes = 255;

// A fresh temporary name for a file about to become `name`: "." + name (shortened when needed,
// at a UTF-8 character boundary) + "." + random tag + kTemporarySuffix, at most 255 bytes.
// Each call gives a new tag.
std::string temporaryNameFor(std::string_view name);

// Whether `name` (a single path component) follows the temporary naming rule.
bool isTemporaryName(std::string_view name);

// Whether `name` has exactly the shape temporaryNameFor gives: "." + a name + "." + an
// eight-character tag of digits and lower-case letters + kTemporarySuffix. Only such names are
// ever removed as leftovers.
bool isExactTemporaryName(std::string_view name);

struct ReplaceOptions
{
    // Permission bits of the finished file. Unset: those of the file being replaced, or
    // 0666 minus the umask for a new file.
    std::optional<mode_t> mode;
    // False: the rename fails with EEXIST when the destination already exists.
    bool replaceExisting = true;
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
