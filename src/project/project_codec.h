// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/job.h"
#include "model/pair_extras.h"

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

// The largest file a job of 100 pairs can be saved as; readers refuse anything larger
// without reading it whole. From the layout:
//   header: banner 54 + version 4 + seal 16 + pair count 4                  =      78
//   pair record, fixed fields: enabled 4 + name 20 + method 4
//     + contentCheck, three attribute modes, includeSubfolders, recycleDeleted 6 x 4 =  52
//   two paths, each a length 4 + at most 260 bytes                          =     528
//   a list as the pair dialog makes it: at most 1022 UTF-16 units cut at ';', so k <= 511
//     non-empty items holding at most 1023 - k units, at most 3 UTF-8 bytes a unit:
//     count 4 + k x length 4 + 3 x (1023 - k) = 3073 + k <= 3584; four lists  =  14336
//   record: 52 + 528 + 14336                                                =  14916
//   pairs: 78 + 100 x 14916                                                 = 1491678
//   extension block (below) with every option of every pair set            =  417116
//   file: 78 + 100 x 14916 + 417116                                         = 1908794
inline constexpr std::size_t kMaxListBytes = 4 + 511 * 4 + 3 * (1023 - 511);
inline constexpr std::size_t kMaxPairRecordBytes = 52 + 2 * (4 + kMaxTextBytes) + 4 * kMaxListBytes;

// The extension block: the options of model::PairExtras, after the last pair, where readers
// of the original format stop looking. Written only when some pair has an option or an id,
// so a job without them is saved byte for byte as before. The seal covers it like the rest.
//   magic 8 | length 4 (bytes after this field) | block version 4 |
//   one record per pair, in file order: pair id 16 | fields length 4 | fields
//   field: tag 4 | length 4 | value; a reader skips tags it does not know, so a new field
//   needs no new block version. Integers are little-endian like the rest of the file.
inline constexpr std::string_view kExtensionMagic = "TAVRELPX";
inline constexpr uint32_t kExtensionVersion = 1;
enum class ExtensionTag : uint32_t
{
    RememberState = 1,  // u32, 0 or 1
    ConflictPolicy = 2, // i32, model::ConflictPolicy
    VersionsFolder = 3, // UTF-8, 1 to 4095 bytes
    KeepVersions = 4,   // u32
    KeepDays = 5,       // u32
};
inline constexpr std::size_t kMaxExtensionRecordBytes =
    16 + 4 + 4 * (8 + 4) + (8 + model::kMaxVersionsFolderBytes);
inline constexpr std::size_t kMaxExtensionBytes = 8 + 4 + 4 + 100 * kMaxExtensionRecordBytes;
static_assert(kMaxExtensionBytes == 417'116);

inline constexpr std::size_t kMaxProjectBytes = 78 + 100 * kMaxPairRecordBytes + kMaxExtensionBytes;
static_assert(kMaxProjectBytes == 1'908'794);

// The whole file for `job`, with sixteen zero bytes where the seal goes. Empty when a pair
// holds a text that no reader would accept (empty, or over 260 bytes in UTF-8), or when the
// file would be larger than kMaxProjectBytes (lists longer than the pair dialog makes, read
// from a file written elsewhere): saving it would report success for a file that cannot be
// opened again.
std::optional<std::vector<uint8_t>> encodeProject(const model::Job& job);

// Adds the pairs of a whole project file to `job` through addPair, without looking at the seal.
// Fails for a wrong banner, a version above 100, a count above 100, a text length
// outside 1..260, a field cut short, a full job, or a damaged extension block (a block
// version above ours, a length that does not fit, a record or field cut short, a known field
// of the wrong size); the pairs read before a failure stay. Bytes after the last pair that do
// not begin with the block's magic are ignored, as are bytes after the block.
bool readProjectBytes(model::Job& job, std::span<const uint8_t> fileBytes);

} // namespace tavrel::project
