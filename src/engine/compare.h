// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/entry_list.h"
#include "model/folder_pair.h"
#include "platform/file_system.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tavrel::engine {

// What the engine learns of an existing target file.
struct TargetStamp
{
    int64_t lastWriteTime = 0;
    uint64_t size = 0;
};

// The outcome of one copy or overwrite, as far as the run cares.
enum class CopyOutcome
{
    Done,     // copied, or nothing was needed
    Failed,   // a per-file failure: logged, the run goes on
    DiskFull, // ends the run at once
    Stopped,  // the user's stop cut a large copy short: ends the run at once, logged nowhere
};

// The stamp of `targetPath`, or nothing when it cannot be read (the target then counts as
// absent and a create-only copy is tried).
std::optional<TargetStamp> ReadTargetStamp(platform::FileSystem& fs, const std::string& targetPath);

// 1 when `source` is later, 0 when equal, -1 when earlier; exact, no tolerance.
int CompareTimes(int64_t source, int64_t target);

// Whether both files open and hold the same bytes, streamed in bounded blocks. Any failure to
// open or read counts as not equal.
// `sizeHint` (the listed size) lets large files be read on two threads at once.
bool IsContentEqual(platform::FileSystem& fs, const std::string& sourcePath, const std::string& targetPath,
                    uint64_t sizeHint = 0);

// Runs the content-check procedure of Copy and Absolute Copy on an existing target, calling
// `overwrite` zero, one or two times; stops at once when it reports DiskFull or Stopped. Unknown modes
// act as Auto. A link's contents are its link text, which cannot be opened for reading, so a
// link compares by its stamp: equal time and size mean equal.
// `timeOrder` compares the source's time with a target stamp as the pair's volumes keep times.
CopyOutcome ApplyContentCheck(platform::FileSystem& fs, model::ContentCheckMode mode, const Entry& entry,
                              const std::string& sourcePath, const std::string& targetPath,
                              const TargetStamp& stamp,
                              const std::function<int(const TargetStamp&)>& timeOrder,
                              const std::function<CopyOutcome()>& overwrite);

} // namespace tavrel::engine
