#include "project/project_file.h"

#include "platform/replace_file.h"
#include "project/project_codec.h"
#include "project/seal.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavrel::project {
namespace {

// Owns one open file and closes it on every way out.
class FileHandle final
{
public:
    // Opens a regular file; O_NONBLOCK keeps a FIFO put in its place from blocking the open.
    FileHandle(const std::filesystem::path& path, int flags)
        : m_fd(::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK))
    {
        struct stat info = {};
        if (m_fd >= 0 && (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode))) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~FileHandle()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

    // The whole file, or nothing for one larger than any project can be: told by its size
    // before a byte is read, and again by reading at most one byte past the bound, so a file
    // that grows meanwhile cannot make this read more.
    std::optional<std::vector<uint8_t>> readAll() const
    {
        struct stat info = {};
        if (::fstat(m_fd, &info) != 0 || info.st_size < 0 ||
            static_cast<uint64_t>(info.st_size) > kMaxProjectBytes)
            return std::nullopt;
        constexpr std::size_t kLimit = kMaxProjectBytes + 1;
        // One byte more than the size tells at once whether the file grew.
        std::vector<uint8_t> data(static_cast<std::size_t>(info.st_size) + 1);
        std::size_t have = 0;
        while (have < kLimit) {
            if (have == data.size())
                data.resize(std::min(kLimit, data.size() * 2));
            const ssize_t got = ::read(m_fd, data.data() + have, data.size() - have);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return std::nullopt;
            if (got == 0)
                break;
            have += static_cast<std::size_t>(got);
        }
        if (have > kMaxProjectBytes)
            return std::nullopt;
        data.resize(have);
        return data;
    }

private:
    int m_fd;
};

std::optional<std::vector<uint8_t>> readFile(const std::filesystem::path& path)
{
    const FileHandle file(path, O_RDONLY);
    if (!file.isOpen())
        return std::nullopt;
    return file.readAll();
}

} // namespace

int openProject(model::Job& job, const std::filesystem::path& path)
{
    const auto bytes = readFile(path);
    if (!bytes || !hasValidSeal(*bytes))
        return 0;
    return readProjectBytes(job, *bytes);
}

int saveProject(const model::Job& job, const std::filesystem::path& path)
{
    auto bytes = encodeProject(job);
    if (!bytes)
        return 0;
    const auto seal = computeSeal(std::span<const uint8_t>(*bytes).subspan(kSealedDataOffset));
    if (!seal)
        return 0;
    std::copy(seal->begin(), seal->end(), bytes->begin() + kSealOffset);
    return platform::replaceFile(path, *bytes) ? 0 : 1;
}

int verifySeal(const std::filesystem::path& path)
{
    const auto bytes = readFile(path);
    return bytes && hasValidSeal(*bytes) ? 1 : 0;
}

int writeSeal(const std::filesystem::path& path)
{
    const FileHandle file(path, O_RDWR);
    if (!file.isOpen())
        return 0;
    const auto bytes = file.readAll();
    // A file without room for the seal is no project file; writing one would only grow it.
    if (!bytes || bytes->size() < kSealedDataOffset)
        return 0;
    const auto seal = computeSeal(std::span<const uint8_t>(*bytes).subspan(kSealedDataOffset));
    if (!seal)
        return 0;
    const ssize_t written = ::pwrite(file.fd(), seal->data(), seal->size(), kSealOffset);
    return written == static_cast<ssize_t>(seal->size()) ? 1 : 0;
}

int readProject(model::Job& job, const std::filesystem::path& path)
{
    const auto bytes = readFile(path);
    return bytes ? readProjectBytes(job, *bytes) : 0;
}

int writeProject(const model::Job& job, const std::filesystem::path& path)
{
    const auto bytes = encodeProject(job);
    return bytes && !platform::replaceFile(path, *bytes) ? 1 : 0;
}

} // namespace tavrel::project
