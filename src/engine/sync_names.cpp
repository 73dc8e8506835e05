// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/sync_names.h"

#include "engine/time_rule.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <numeric>

namespace tavrel::engine {
namespace {

constexpr std::size_t kMaxNameBytes = 255;

// Days since 1970-01-01 of a civil date, and back (H. Hinnant's algorithms).
int64_t daysFromCivil(int64_t y, int m, int d)
{
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int64_t floorDiv(int64_t a, int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// Splits `name` before its extension; a dot at the start or the end does not begin one.
std::size_t extensionStart(std::string_view name, bool isFolder)
{
    if (isFolder)
        return name.size();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size())
        return name.size();
    return dot;
}

// stem + suffix + extension within 255 bytes: the stem gives way first, at a character
// boundary, then the extension.
std::string joined(std::string_view stem, std::string_view suffix, std::string_view extension)
{
    std::string ext(extension);
    if (suffix.size() + ext.size() > kMaxNameBytes)
        ext.clear();
    std::size_t keep = std::min(stem.size(), kMaxNameBytes - suffix.size() - ext.size());
    while (keep > 0 && keep < stem.size() && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80)
        --keep;
    return std::string(stem.substr(0, keep)) + std::string(suffix) + ext;
}

std::string format(const char* pattern, const CivilTime& t)
{
    char text[48];
    std::snprintf(text, sizeof text, pattern, t.year, t.month, t.day, t.hour, t.minute, t.second);
    return text;
}

bool digitsAt(std::string_view text, std::size_t at, std::size_t count, int& value)
{
    if (at + count > text.size())
        return false;
    const char* first = text.data() + at;
    if (!std::all_of(first, first + count, [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    std::from_chars(first, first + count, value);
    return true;
}

} // namespace

CivilTime civilTimeOf(int64_t ticks, int64_t utcOffsetSeconds)
{
    const int64_t seconds = floorDiv(ticks, kTicksPerSecond) + utcOffsetSeconds;
    const int64_t days = floorDiv(seconds, 86400);
    const int64_t ofDay = seconds - days * 86400;
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    CivilTime t;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
    t.hour = static_cast<int>(ofDay / 3600);
    t.minute = static_cast<int>(ofDay / 60 % 60);
    t.second = static_cast<int>(ofDay % 60);
    return t;
}

int64_t secondsOf(const CivilTime& when)
{
    return daysFromCivil(when.year, when.month, when.day) * 86400 + int64_t{when.hour} * 3600 +
           int64_t{when.minute} * 60 + when.second;
}

std::string conflictName(std::string_view name, const CivilTime& when, bool isFolder)
{
    const std::size_t split = extensionStart(name, isFolder);
    return joined(name.substr(0, split), format(".conflict-%04d%02d%02d-%02d%02d%02d", when),
                  name.substr(split));
}

std::string versionName(std::string_view name, const CivilTime& when)
{
    const std::size_t split = extensionStart(name, false);
    return joined(name.substr(0, split), format(" %04d-%02d-%02d %02d%02d%02d", when), name.substr(split));
}

std::optional<CivilTime> versionTimeOf(std::string_view candidate, std::string_view name)
{
    // Made by the same function from each plausible time, the name must come back exactly:
    // the shortening of a long stem is then matched as well.
    constexpr std::size_t kSuffix = 18; // " YYYY-MM-DD HHMMSS"
    const std::size_t split = extensionStart(name, false);
    const std::string_view extension = name.substr(split);
    for (const std::string_view ext : {extension, std::string_view()}) {
        if (candidate.size() < kSuffix + ext.size() || !candidate.ends_with(ext))
            continue;
        const std::size_t at = candidate.size() - ext.size() - kSuffix;
        CivilTime t;
        if (candidate[at] != ' ' || candidate[at + 5] != '-' || candidate[at + 8] != '-' ||
            candidate[at + 11] != ' ' || !digitsAt(candidate, at + 1, 4, t.year) ||
            !digitsAt(candidate, at + 6, 2, t.month) || !digitsAt(candidate, at + 9, 2, t.day) ||
            !digitsAt(candidate, at + 12, 2, t.hour) || !digitsAt(candidate, at + 14, 2, t.minute) ||
            !digitsAt(candidate, at + 16, 2, t.second))
            continue;
        if (versionName(name, t) == candidate)
            return t;
    }
    return std::nullopt;
}

std::optional<VersionOf> versionOf(std::string_view candidate)
{
    constexpr std::size_t kSuffix = 18; // " YYYY-MM-DD HHMMSS"
    const std::size_t dot = candidate.rfind('.');
    const std::string_view withExtension =
        dot == std::string_view::npos ? std::string_view() : candidate.substr(dot);
    for (const std::string_view ext : {withExtension, std::string_view()}) {
        if (candidate.size() <= kSuffix + ext.size())
            continue;
        const std::size_t at = candidate.size() - ext.size() - kSuffix;
        std::string name(candidate.substr(0, at));
        name += ext;
        if (const std::optional<CivilTime> when = versionTimeOf(candidate, name))
            return VersionOf{std::move(name), *when};
        if (ext.empty())
            break;
    }
    return std::nullopt;
}

std::vector<bool> versionsToPrune(const std::vector<int64_t>& times, uint32_t keepVersions, uint32_t keepDays,
                                  int64_t now)
{
    std::vector<std::size_t> newestFirst(times.size());
    std::iota(newestFirst.begin(), newestFirst.end(), std::size_t{0});
    std::stable_sort(newestFirst.begin(), newestFirst.end(),
                     [&times](std::size_t a, std::size_t b) { return times[a] > times[b]; });
    std::vector<bool> drop(times.size(), false);
    const int64_t oldestKept = now - int64_t{keepDays} * 86400;
    for (std::size_t rank = 0; rank < newestFirst.size(); ++rank) {
        const std::size_t index = newestFirst[rank];
        drop[index] =
            (keepVersions != 0 && rank >= keepVersions) || (keepDays != 0 && times[index] < oldestKept);
    }
    return drop;
}

} // namespace tavrel::engine
