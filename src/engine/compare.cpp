#include "engine/compare.h"

#include <array>
#include <cstring>
#include <memory>

namespace tavrel::engine {

namespace {

// Larger than the 4096-byte minimum: the same answer with far fewer reads.
constexpr std::size_t kBlockSize = 64 * 1024;

// Fills `buffer` as far as the file allows, so that a short read from the kernel is not
// mistaken for the end of the file. -1 on a read error.
long readBlock(platform::FileReader& reader, char* buffer, std::size_t size)
{
    std::size_t filled = 0;
    while (filled < size) {
        const long got = reader.read(buffer + filled, size - filled);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
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

bool IsContentEqual(platform::FileSystem& fs, const std::string& sourcePath, const std::string& targetPath)
{
    platform::FsError error = platform::FsError::Ok;
    std::unique_ptr<platform::FileReader> source = fs.openForReading(sourcePath, error);
    if (!source)
        return false;
    std::unique_ptr<platform::FileReader> target = fs.openForReading(targetPath, error);
    if (!target)
        return false;

    auto sourceBlock = std::make_unique<char[]>(kBlockSize);
    auto targetBlock = std::make_unique<char[]>(kBlockSize);
    for (;;) {
        const long sourceCount = readBlock(*source, sourceBlock.get(), kBlockSize);
        const long targetCount = readBlock(*target, targetBlock.get(), kBlockSize);
        if (sourceCount < 0 || targetCount < 0 || sourceCount != targetCount)
            return false;
        if (sourceCount == 0)
            return true;
        if (std::memcmp(sourceBlock.get(), targetBlock.get(), static_cast<std::size_t>(sourceCount)) != 0)
            return false;
    }
}

CopyOutcome ApplyContentCheck(platform::FileSystem& fs, model::ContentCheckMode mode, const Entry& entry,
                              const std::string& sourcePath, const std::string& targetPath,
                              const TargetStamp& stamp, const std::function<int(const TargetStamp&)>& timeOrder,
                              const std::function<CopyOutcome()>& overwrite)
{
    const bool timesDiffer = timeOrder(stamp) != 0;
    const bool sizesDiffer = entry.size != stamp.size;
    auto contentEqual = [&] {
        if (entry.isLink) {
            // Read again: after an overwrite the link carries the source's stamp.
            const std::optional<TargetStamp> now = ReadTargetStamp(fs, targetPath);
            return now && timeOrder(*now) == 0 && now->size == entry.size;
        }
        return IsContentEqual(fs, sourcePath, targetPath);
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
