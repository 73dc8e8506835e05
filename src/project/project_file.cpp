// SPDX-License-Identifier: GPL-3.0-or-later
#include "project/project_file.h"

#include "platform/own_files.h"
#include "platform/replace_file.h"
#include "project/project_codec.h"
#include "project/seal.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <span>
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

// Notes why `file` could not be opened or read (NotAFile, TooLarge, or by the system's error).
void noteFileError(OpenFailure* failure, std::error_code error)
{
    if (failure == nullptr)
        return;
    if (error == std::errc::invalid_argument)
        *failure = {ProjectRefusal::NotAFile, 0};
    else if (error == std::errc::file_too_large)
        *failure = {ProjectRefusal::TooLarge, 0};
    else
        noteSystemError(failure, error.value());
}

// The whole file, or nothing for one larger than any project can be.
std::optional<std::vector<uint8_t>> readAll(const platform::RegularFile& file, OpenFailure* failure = nullptr)
{
    std::vector<uint8_t> bytes;
    if (const std::error_code error = file.readAll(kMaxProjectBytes, bytes)) {
        noteFileError(failure, error);
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::vector<uint8_t>> readFile(const std::filesystem::path& path,
                                             OpenFailure* failure = nullptr)
{
    platform::RegularFile file;
    if (const std::error_code error = file.open(path, platform::RegularFile::Access::Read)) {
        noteFileError(failure, error);
        return std::nullopt;
    }
    return readAll(file, failure);
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
    platform::RegularFile file;
    if (file.open(path, platform::RegularFile::Access::ReadWrite))
        return false;
    const auto bytes = readAll(file);
    // A file without room for the seal is no project file; writing one would only grow it.
    if (!bytes || bytes->size() < kSealedDataOffset)
        return false;
    const auto seal = computeSeal(std::span<const uint8_t>(*bytes).subspan(kSealedDataOffset));
    if (!seal)
        return false;
    return !file.writeAt(*seal, kSealOffset);
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
