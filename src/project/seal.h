// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tavrel::project {

using Seal = std::array<uint8_t, 16>;

inline constexpr std::size_t kSealOffset = 58;
// The seal covers the file from here to its end.
inline constexpr std::size_t kSealedDataOffset = 74;
inline constexpr std::size_t kSealBlockSize = 1024;

// MD5 over the sealed data cut into 1024-byte blocks: each chunk is copied over the start of
// one work buffer that keeps the bytes of earlier chunks beyond it, the whole buffer is hashed
// per chunk, and once more at the end. Files already in use depend on this exact scheme.
// Empty when the digest cannot be computed.
std::optional<Seal> computeSeal(std::span<const uint8_t> sealedData);

// Whether `fileBytes` (a whole project file) carries the seal of its own data. A file too short
// to hold the seal fails.
bool hasValidSeal(std::span<const uint8_t> fileBytes);

} // namespace tavrel::project
