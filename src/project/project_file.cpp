// SPDX-License-Identifier: GPL-3.0-or-later
#include "project/project_file.h"

#include "platform/fd_io.h"
#include "platform/replace_file.h"
#include "platform/unique_fd.h"
#include "project/project_codec.h"
#include "project/seal.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <span>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavrel::project {
namespace {

void noteSystemError(OpenFailure* failure, int error)
{
    if (failure == nullptr)
        return;
    const ProjectRefusal refusal = error == ENOENT || error == ENOTDIR ? ProjectRefusal::NotFound
                                   : error == EACCES || error == EPERM ? ProjectRefusal::PermissionDenied
                                                                       : ProjectRefusal::ReadFailed;
    *failure = {refusal, error};
}

// One open regular file.
class FileHandle final
{
public:
    // Opens a regular file; O_NONBLOCK keeps a FIFO put in its place from blocking the open.
    FileHandle(const std::filesystem::path& path, int flags, OpenFailure* failure = nullptr)
        : m_fd(::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK))
    {
        if (!m_fd.valid()) {
            noteSystemError(failure, errno);
            return;
        }
        struct stat info = {};
        const bool statFailed = ::fstat(m_fd.get(), &info) != 0;
        const int statError = errno;
        if (statFailed || !S_ISREG(info.st_mode)) {
            if (failure != nullptr)
                *failure = statFailed ? OpenFailure{ProjectRefusal::ReadFailed, statError}
                                      : OpenFailure{ProjectRefusal::NotAFile, 0};
            m_fd.reset();
        }
    }

    bool isOpen() const { return m_fd.valid(); }
    int fd() const { return m_fd.get(); }

    // The whole file, or nothing for one larger than any project can be: told by its size
    // before a byte is read, and again by reading at most one byte past the bound, so a file
    // that grows meanwhile cannot make this read more.
    std::optional<std::vector<uint8_t>> readAll(OpenFailure* failure = nullptr) const
    {
        struct stat info = {};
        if (::fstat(m_fd.get(), &info) != 0) {
            noteSystemError(failure, errno);
            return std::nullopt;
        }
        if (info.st_size < 0 || static_cast<uint64_t>(info.st_size) > kMaxProjectBytes) {
            if (failure != nullptr)
                *failure = {ProjectRefusal::TooLarge, 0};
            return std::nullopt;
        }
        constexpr std::size_t kLimit = kMaxProjectBytes + 1;
        // One byte more than the size tells at once whether the file grew.
        std::vector<uint8_t> data(static_cast<std::size_t>(info.st_size) + 1);
        std::size_t have = 0;
        while (have < kLimit) {
            if (have == data.size())
                data.resize(std::min(kLimit, data.size() * 2));
            const std::span<uint8_t> rest = std::span(data).subspan(have);
            const ssize_t got = platform::posix::readFull(m_fd.get(), rest);
            if (got < 0) {
                noteSystemError(failure, errno);
                return std::nullopt;
            }
            have += static_cast<std::size_t>(got);
            if (static_cast<std::size_t>(got) < rest.size())
                break; // the end of the file
        }
        if (have > kMaxProjectBytes) {
            if (failure != nullptr)
                *failure = {ProjectRefusal::TooLarge, 0};
            return std::nullopt;
        }
        data.resize(have);
        return data;
    }

private:
    platform::posix::UniqueFd m_fd;
};

std::optional<std::vector<uint8_t>> readFile(const std::filesystem::path& path,
                                             OpenFailure* failure = nullptr)
{
    const FileHandle file(path, O_RDONLY, failure);
    if (!file.isOpen())
        return std::nullopt;
    return file.readAll(failure);
}

// Why bytes that passed the size bound were refused. Asked only after a refusal, so it
// never decides what opens; the version comes before the seal, as a newer format may seal
// differently.
ProjectRefusal classifyRefusedBytes(std::span<const uint8_t> bytes)
{
    if (bytes.size() < kProjectBanner.size() ||
        !std::equal(kProjectBanner.begin(), kProjectBanner.end(), bytes.begin(),
                    [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }))
        return ProjectRefusal::NotAProjectFile;
    // Only a whole header with a version a later release could write says "newer": text
    // after a banner (a file cut short or overwritten) reads as a huge number.
    constexpr uint32_t kLargestVersion = 0xFFFF;
    if (bytes.size() >= kSealedDataOffset + 4) {
        uint32_t version = 0;
        for (std::size_t i = 0; i < 4; ++i)
            version |= static_cast<uint32_t>(bytes[kProjectBanner.size() + i]) << (8 * i);
        if (version > kProjectVersion && version <= kLargestVersion)
            return ProjectRefusal::NewerVersion;
    }
    return hasValidSeal(bytes) ? ProjectRefusal::DamagedContents : ProjectRefusal::DamagedSeal;
}

} // namespace

bool openProject(model::Job& job, const std::filesystem::path& path)
{
    OpenFailure failure;
    return openProject(job, path, failure);
}

bool openProject(model::Job& job, const std::filesystem::path& path, OpenFailure& failure)
{
    failure = {};
    const auto bytes = readFile(path, &failure);
    if (!bytes) {
        if (failure.refusal == ProjectRefusal::None)
            failure = {ProjectRefusal::ReadFailed, 0};
        return false;
    }
    if (hasValidSeal(*bytes) && readProjectBytes(job, *bytes))
        return true;
    failure = {classifyRefusedBytes(*bytes), 0};
    return false;
}

std::string refusalText(const OpenFailure& failure)
{
    switch (failure.refusal) {
    case ProjectRefusal::None:
        return "opened";
    case ProjectRefusal::NotFound:
        return "no such file";
    case ProjectRefusal::PermissionDenied:
        return "permission denied";
    case ProjectRefusal::NotAFile:
        return "not a file";
    case ProjectRefusal::TooLarge:
        return "too large for a project file (over " + std::to_string(kMaxProjectBytes) + " bytes)";
    case ProjectRefusal::NotAProjectFile:
        return "not a project file";
    case ProjectRefusal::NewerVersion:
        return "made by a newer version of the program";
    case ProjectRefusal::DamagedSeal:
        return "damaged: its seal does not match its contents";
    case ProjectRefusal::DamagedContents:
        return "damaged: its pairs cannot be read";
    case ProjectRefusal::ReadFailed:
        break;
    }
    return failure.systemError != 0 ? std::generic_category().message(failure.systemError)
                                    : std::string("cannot be read");
}

bool saveProject(const model::Job& job, const std::filesystem::path& path)
{
    std::error_code error;
    return saveProject(job, path, error);
}

bool saveProject(const model::Job& job, const std::filesystem::path& path, std::error_code& error)
{
    error.clear();
    auto bytes = encodeProject(job);
    if (!bytes)
        return false;
    const auto seal = computeSeal(std::span<const uint8_t>(*bytes).subspan(kSealedDataOffset));
    if (!seal)
        return false;
    std::copy(seal->begin(), seal->end(), bytes->begin() + kSealOffset);
    // A job file made read-only is not written over, by the window or the runner.
    platform::ReplaceOptions options;
    options.keepReadOnly = true;
    error = platform::replaceFile(path, *bytes, options);
    return !error;
}

bool verifySeal(const std::filesystem::path& path)
{
    const auto bytes = readFile(path);
    return bytes && hasValidSeal(*bytes);
}

bool writeSeal(const std::filesystem::path& path)
{
    const FileHandle file(path, O_RDWR);
    if (!file.isOpen())
        return false;
    const auto bytes = file.readAll();
    // A file without room for the seal is no project file; writing one would only grow it.
    if (!bytes || bytes->size() < kSealedDataOffset)
        return false;
    const auto seal = computeSeal(std::span<const uint8_t>(*bytes).subspan(kSealedDataOffset));
    if (!seal)
        return false;
    return !platform::posix::writeAllAt(file.fd(), *seal, kSealOffset);
}

bool readProject(model::Job& job, const std::filesystem::path& path)
{
    const auto bytes = readFile(path);
    return bytes && readProjectBytes(job, *bytes);
}

bool writeProject(const model::Job& job, const std::filesystem::path& path)
{
    const auto bytes = encodeProject(job);
    return bytes && !platform::replaceFile(path, *bytes);
}

} // namespace tavrel::project
