// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume_probe.h"

#include "platform/posix/temporary_name.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <iterator>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tavrel::platform {
namespace {

constexpr int64_t kSecond = 10'000'000;

// Odd times: a whole number of seconds that is odd, plus fractions no coarser unit divides.
// 2021-03-04 05:06:07.123456789 and 2021-03-04 05:06:09.876543211 (one truncates, the other
// rounds up at every unit, so a rounding volume shows its unit too).
constexpr int64_t kFineTimes[] = {int64_t{1'614'834'367} * kSecond + 1'234'567,
                                  int64_t{1'614'834'369} * kSecond + 8'765'432};
// Before 1970 and 1980 (1969-07-20 20:17:41) and after 2107 (2110-01-01 00:00:01).
constexpr int64_t kEarlyTime = int64_t{-14'182'939} * kSecond;
constexpr int64_t kLateTime = int64_t{4'417'977'601} * kSecond;
// Units a volume may keep times in, finest first: 100 ns up to the 2 s of FAT.
constexpr int64_t kUnits[] = {1, 10, 100, 1'000, 10'000, 100'000, 1'000'000, kSecond, 2 * kSecond};

timespec toTimespec(int64_t ticks)
{
    int64_t seconds = ticks / kSecond;
    int64_t rest = ticks % kSecond;
    if (rest < 0) {
        rest += kSecond;
        --seconds;
    }
    return timespec{static_cast<time_t>(seconds), static_cast<long>(rest * 100)};
}

int64_t toTicks(const timespec& t)
{
    return static_cast<int64_t>(t.tv_sec) * kSecond + t.tv_nsec / 100;
}

int64_t distance(int64_t a, int64_t b)
{
    return a < b ? b - a : a - b;
}

// The coarsest unit that `ticks` is a whole multiple of.
int64_t unitOf(int64_t ticks)
{
    int64_t unit = 1;
    for (int64_t candidate : kUnits) {
        if (ticks % candidate == 0)
            unit = candidate;
    }
    return unit;
}

int64_t floorToSecond(int64_t ticks)
{
    const int64_t rest = ticks % kSecond;
    return ticks - (rest < 0 ? rest + kSecond : rest);
}

std::string swapCase(const std::string& name)
{
    std::string swapped = name;
    for (char& c : swapped) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return swapped;
}

// Removes the names it holds from the folder whichever way the probe ends.
class ProbeNames final
{
public:
    explicit ProbeNames(int folderFd) : m_folderFd(folderFd) {}
    ~ProbeNames()
    {
        for (const std::string& name : m_names)
            ::unlinkat(m_folderFd, name.c_str(), 0);
    }
    ProbeNames(const ProbeNames&) = delete;
    ProbeNames& operator=(const ProbeNames&) = delete;
    void add(std::string name) { m_names.push_back(std::move(name)); }

private:
    int m_folderFd;
    std::vector<std::string> m_names;
};

// One entry of the folder whose time the probe sets and reads back by name.
class TimeProbe final
{
public:
    TimeProbe(int folderFd, std::string name) : m_folderFd(folderFd), m_name(std::move(name)) {}

    // The time stored when `ticks` is set, read afresh by name; nothing when setting fails.
    std::optional<int64_t> roundTrip(int64_t ticks) const
    {
        const timespec times[2] = {toTimespec(ticks), toTimespec(ticks)};
        if (::utimensat(m_folderFd, m_name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
            return std::nullopt;
        struct stat st = {};
        if (::fstatat(m_folderFd, m_name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return std::nullopt;
        return toTicks(st.st_mtim);
    }

    bool keeps(int64_t ticks, int64_t precision) const
    {
        const std::optional<int64_t> stored = roundTrip(ticks);
        return stored && distance(*stored, ticks) < precision;
    }

private:
    int m_folderFd;
    std::string m_name;
};

// The end of the span of kept times between `good` (kept) and `bad` (not kept): the time the
// volume stored when it clamped, or else whole seconds searched by halves. The result errs
// towards `good` by less than a second or the precision.
int64_t spanEnd(const TimeProbe& probe, int64_t good, int64_t bad, std::optional<int64_t> storedForBad,
                int64_t precision)
{
    const bool between = storedForBad && (good < bad ? *storedForBad >= good && *storedForBad < bad
                                                     : *storedForBad <= good && *storedForBad > bad);
    if (between && probe.keeps(*storedForBad, precision))
        return *storedForBad;
    const int64_t step = std::max(precision, kSecond);
    while (distance(good, bad) > step) {
        const int64_t middle = floorToSecond(good + (bad - good) / 2);
        if (middle == good || middle == bad)
            break;
        (probe.keeps(middle, precision) ? good : bad) = middle;
    }
    return good;
}

void probeTimes(const TimeProbe& probe, VolumeTraits& traits)
{
    std::optional<int64_t> stored[std::size(kFineTimes)];
    int64_t precision = kUnits[std::size(kUnits) - 1];
    for (std::size_t i = 0; i < std::size(kFineTimes); ++i) {
        stored[i] = probe.roundTrip(kFineTimes[i]);
        if (!stored[i]) {
            traits.timesSettable = false;
            return;
        }
        precision = std::min(precision, unitOf(*stored[i]));
    }
    traits.timePrecision = precision;
    for (std::size_t i = 0; i < std::size(kFineTimes); ++i) {
        if (distance(*stored[i], kFineTimes[i]) >= precision) {
            traits.timesSettable = false; // the volume keeps times of its own
            return;
        }
    }

    const int64_t good = kFineTimes[0];
    const std::optional<int64_t> early = probe.roundTrip(kEarlyTime);
    if (!early || distance(*early, kEarlyTime) >= precision)
        traits.timeMin = spanEnd(probe, good, kEarlyTime, early, precision);
    const std::optional<int64_t> late = probe.roundTrip(kLateTime);
    if (!late || distance(*late, kLateTime) >= precision)
        traits.timeMax = spanEnd(probe, good, kLateTime, late, precision);
}

// FAT keeps a file's length in 32 bits. The kernel's driver says so by its type; one in user
// space is known by the 2-second times that only FAT keeps. Nothing is written to find out: a
// 4 GiB probe file would be written out whole on a volume without sparse files.
constexpr uint64_t kFatMaxFileSize = (uint64_t{1} << 32) - 1;
constexpr long kFatSuperMagic = 0x4d44;

uint64_t maxFileSizeOf(int folderFd, const VolumeTraits& traits)
{
    struct statfs fs = {};
    if (::fstatfs(folderFd, &fs) == 0 && fs.f_type == kFatSuperMagic)
        return kFatMaxFileSize;
    if (traits.timesSettable && traits.timePrecision == 2 * kSecond)
        return kFatMaxFileSize;
    return std::numeric_limits<uint64_t>::max();
}

} // namespace

VolumeTraits probeVolume(int folderFd)
{
    VolumeTraits traits;
    ProbeNames made(folderFd);

    std::string name;
    posix::UniqueFd fd = createExclusiveTemporary(folderFd, "probe", name);
    if (!fd.valid()) {
        traits.error = errno;
        return traits;
    }
    made.add(name);
    traits.probed = true;

    constexpr mode_t kProbeMode = 0640;
    const bool chmodDone = ::fchmod(fd.get(), kProbeMode) == 0;
    fd.reset();

    // Read back by name after the close: some volumes answer from the open file.
    struct stat st = {};
    traits.permissionsSettable = chmodDone &&
                                 ::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                                 (st.st_mode & 07777) == kProbeMode;

    // The swapped name was never made, so finding it means the volume ignores case.
    traits.caseInsensitive = ::fstatat(folderFd, swapCase(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;

    probeTimes(TimeProbe(folderFd, name), traits);
    traits.maxFileSize = maxFileSizeOf(folderFd, traits);

    const std::string linkName = temporaryNameFor("probe-link");
    if (::symlinkat(name.c_str(), folderFd, linkName.c_str()) == 0) {
        made.add(linkName);
        const TimeProbe link(folderFd, linkName);
        traits.linkTimesSettable = traits.timesSettable && link.keeps(kFineTimes[0], traits.timePrecision) &&
                                   link.keeps(kFineTimes[1], traits.timePrecision);
    } else {
        traits.linksCreatable = false;
        traits.linkTimesSettable = false;
    }
    return traits;
}

} // namespace tavrel::platform
