// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/temporary_name.h"

#include "platform/posix/posix_io.h"

#include <algorithm>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace tavrel::platform {
namespace {

constexpr std::size_t kTagLength = 8;

std::string randomTag()
{
    thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), static_cast<unsigned>(getpid())};
        return std::mt19937_64(seed);
    }();
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::uniform_int_distribution<int> pick(0, 35);
    std::string tag(kTagLength, '0');
    for (char& c : tag)
        c = kDigits[pick(generator)];
    return tag;
}

} // namespace

std::string temporaryNameFor(std::string_view name)
{
    const std::size_t room = kMaxNameBytes - 1 - 1 - kTagLength - kTemporarySuffix.size();
    std::size_t keep = std::min(name.size(), room);
    // Never split a UTF-8 sequence: back off over continuation bytes.
    while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
        --keep;
    std::string result = ".";
    result.append(name.substr(0, keep));
    result += '.';
    result += randomTag();
    result.append(kTemporarySuffix);
    return result;
}

bool isTemporaryName(std::string_view name)
{
    return name.size() >= 1 + kTemporarySuffix.size() && name.front() == '.' &&
           name.ends_with(kTemporarySuffix);
}

bool isExactTemporaryName(std::string_view name)
{
    if (!isTemporaryName(name) || name.size() < 1 + 1 + 1 + kTagLength + kTemporarySuffix.size())
        return false;
    const std::string_view rest = name.substr(0, name.size() - kTemporarySuffix.size());
    const std::string_view tag = rest.substr(rest.size() - kTagLength);
    const auto tagChar = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); };
    return rest[rest.size() - kTagLength - 1] == '.' && std::all_of(tag.begin(), tag.end(), tagChar);
}

posix::UniqueFd createExclusiveTemporary(int folderFd, std::string_view forName, std::string& madeName,
                                         mode_t mode)
{
    posix::UniqueFd fd;
    const int error = createUnderFreshName(forName, madeName, [&](const std::string& candidate) {
        fd.reset(posix::retryOnEintr([&] {
            return ::openat(folderFd, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            mode);
        }));
        return fd.get();
    });
    errno = error;
    return fd;
}

} // namespace tavrel::platform
