// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/compare.h"

#include <array>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace tavrel::engine {

namespace {

// Larger than the 4096-byte minimum: the same answer with far fewer reads.
constexpr std::size_t kBlockSize = 64 * 1024;
// Files from this size on are read on two threads, a block of this size each at a time: a
// thread per block costs some 20 microseconds, a 4 MiB read from the cache some 400.
constexpr uint64_t kOverlapFrom = 8 * 1024 * 1024;
constexpr std::size_t kLargeBlockSize = 4 * 1024 * 1024;

// Fills `buffer` as far as the file allows (readers return less only at the end of the
// file). -1 on a read error.
long readBlock(platform::FileReader& reader, char* buffer, std::size_t size)
{
    std::size_t filled = 0;
    while (filled < size) {
        const std::size_t want = size - filled;
        const long got = reader.read(buffer + filled, want);
        if (got < 0)
            return -1;
        filled += static_cast<std::size_t>(got);
        // A reader fills what it is asked for unless the file ends: no need to ask again.
        if (static_cast<std::size_t>(got) < want)
            break;
    }
    return static_cast<long>(filled);
}

} // namespace

std::optional<TargetStamp> ReadTargetStamp(platform::FileSystem& fs, const std::string& targetPath)
{
    platform::FileStamp stamp;
    if (fs.readStamp(targetPath, stamp) != platform::FsError::Ok)
        return std::nullopt;
    return TargetStamp{stamp.lastWriteTime, stamp.size};
}

int CompareTimes(int64_t source, int64_t target)
{
    if (source > target)
        return 1;
    if (source < target)
        return -1;
    return 0;
}

bool IsContentEqual(platform::FileSystem& fs, const std::string& sourcePath, const std::string& targetPath,
                    uint64_t sizeHint)
{
    platform::FsError error = platform::FsError::Ok;
    std::unique_ptr<platform::FileReader> source = fs.openForReading(sourcePath, error);
    if (!source)
        return false;
    std::unique_ptr<platform::FileReader> target = fs.openForReading(targetPath, error);
    if (!target)
        return false;

    // Large files are read on two threads at once, in large blocks: the two reads overlap,
    // whether they wait for the disk or copy from its cache. Small ones are not worth a thread.
    const bool overlapped = sizeHint >= kOverlapFrom && sizeHint != UINT64_MAX;
    const std::size_t block = overlapped ? kLargeBlockSize : kBlockSize;
    thread_local std::vector<char> sourceBlock;
    thread_local std::vector<char> targetBlock;
    sourceBlock.resize(block);
    targetBlock.resize(block);
    // The buffers are this thread's: the other thread is handed their addresses, never the names.
    char* const sourceData = sourceBlock.data();
    char* const targetData = targetBlock.data();
    for (;;) {
        long sourceCount = 0;
        long targetCount = 0;
        if (overlapped) {
            std::thread other([&target, &targetCount, targetData, block] {
                targetCount = readBlock(*target, targetData, block);
            });
            sourceCount = readBlock(*source, sourceData, block);
            other.join();
        } else {
            sourceCount = readBlock(*source, sourceData, block);
            targetCount = readBlock(*target, targetData, block);
        }
        if (sourceCount < 0 || targetCount < 0 || sourceCount != targetCount)
            return false;
        if (sourceCount == 0)
            return true;
        if (std::memcmp(sourceData, targetData, static_cast<std::size_t>(sourceCount)) != 0)
            return false;
        // A reader fills the block unless its file ended: both did, so there is no more to read.
        if (static_cast<std::size_t>(sourceCount) < block)
            return true;
    }
}

CopyOutcome ApplyContentCheck(platform::FileSystem& fs, model::ContentCheckMode mode, const Entry& entry,
                              const std::string& sourcePath, const std::string& targetPath,
                              const TargetStamp& stamp,
                              const std::function<int(const TargetStamp&)>& timeOrder,
                              const std::function<CopyOutcome()>& overwrite)
{
    const bool timesDiffer = timeOrder(stamp) != 0;
    const bool sizesDiffer = entry.size != stamp.size;
    bool knownEqual = false;
    auto contentEqual = [&] {
        if (entry.isLink) {
            // Read again: after an overwrite the link carries the source's stamp.
            const std::optional<TargetStamp> now = ReadTargetStamp(fs, targetPath);
            return now && timeOrder(*now) == 0 && now->size == entry.size;
        }
        // Asked twice only when the first answer was "equal" and nothing was written since:
        // the same bytes, so the same answer without reading both files again.
        if (!knownEqual)
            knownEqual = IsContentEqual(fs, sourcePath, targetPath, entry.size);
        return knownEqual;
    };

    if (mode == model::ContentCheckMode::Check && !contentEqual()) {
        const CopyOutcome first = overwrite();
        if (first == CopyOutcome::DiskFull || first == CopyOutcome::Stopped)
            return first;
    }
    if (timesDiffer || sizesDiffer) {
        if (mode == model::ContentCheckMode::NotCheck || !contentEqual())
            return overwrite();
    }
    return CopyOutcome::Done;
}

} // namespace tavrel::engine
