#pragma once

#include "model/job.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tavrel::project {

// 52 characters with two spaces after FILE, then two more spaces; no terminating zero.
inline constexpr std::string_view kProjectBanner = "DO NOT MODIFY THIS FILE  TAVREL SYNCHRONIZER PROJECT  ";
inline constexpr uint32_t kProjectVersion = 100;
inline constexpr std::size_t kNameFieldSize = 20;
// Stored texts are UTF-8 of 1 to 260 bytes.
inline constexpr int32_t kMaxTextBytes = 260;

// The whole file for `job`, with sixteen zero bytes where the seal goes. Empty when a pair
// holds a text that no reader would accept (empty, or over 260 bytes in UTF-8): saving it
// would report success for a file that cannot be opened again.
std::optional<std::vector<uint8_t>> encodeProject(const model::Job& job);

// Adds the pairs of a whole project file to `job` through addPair, without looking at the seal.
// Returns 1, or 0 for a wrong banner, a version above 100, a count above 100, a text length
// outside 1..260, a field cut short or a full job; the pairs read before a failure stay.
// Bytes after the last pair are ignored.
int readProjectBytes(model::Job& job, std::span<const uint8_t> fileBytes);

} // namespace tavrel::project
