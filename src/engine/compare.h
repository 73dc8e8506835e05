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
std::optional<platform::FileStamp> ReadTargetStamp(platform::FileSystem& fs, const std::string& targetPath);

// 1 when `source` is later, 0 when equal, -1 when earlier; exact, no tolerance.
int CompareTimes(int64_t source, int64_t target);

// Whether both files open and hold the same bytes, streamed in bounded blocks. Any failure to
// open or read counts as not equal.
// `sizeHint` (the listed size) lets large files be read on two threads at once.
bool IsContentEqual(platform::FileSystem& fs, const std::string& sourcePath, const std::string& targetPath,
                    uint64_t sizeHint = 0);

// What a content check asks of its caller.
enum class ContentDecision
{
    Keep,      // leave the target as it is
    Overwrite, // overwrite it, then ask again
};

// The content check of Copy and Absolute Copy on an existing target, one decision at a time:
// the caller overwrites while next() says Overwrite and asks again after each overwrite,
// unless that overwrite ended the run. Check compares once more after its overwrite, so a
// failed one is tried a second time; no mode asks more than twice. Unknown modes act as Auto.
// A link's contents are its link text, which cannot be opened for reading, so a link compares
// by its stamp: equal time and size mean equal.
// `timeOrder` compares the source's time with a target stamp as the pair's volumes keep times.
// The entry and the paths are held by reference: they must outlive the check.
class ContentCheck final
{
public:
    ContentCheck(platform::FileSystem& fs, model::ContentCheckMode mode, const Entry& entry,
                 const std::string& sourcePath, const std::string& targetPath,
                 const platform::FileStamp& stamp, std::function<int(const platform::FileStamp&)> timeOrder);

    ContentDecision next();

private:
    bool contentEqual();

    platform::FileSystem& m_fs;
    model::ContentCheckMode m_mode;
    const Entry& m_entry;
    const std::string& m_sourcePath;
    const std::string& m_targetPath;
    platform::FileStamp m_stamp;
    std::function<int(const platform::FileStamp&)> m_timeOrder;
    enum class Step
    {
        First,  // before any overwrite: Check compares whatever the stamps say
        Second, // where the stamps differ: Not Check overwrites, the others compare (again)
        Done,
    } m_step = Step::First;
    bool m_stampsDiffer = false;
    bool m_knownEqual = false;
};

} // namespace tavrel::engine
