// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mount_table.h"

#include "platform/path_text.h"

#include <algorithm>

namespace tavrel::platform {

namespace {

// The tables escape space, tab, newline and backslash as three octal digits.
std::string decodeField(std::string_view field)
{
    std::string text;
    text.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto isOctal = [&](std::size_t at) { return field[at] >= '0' && field[at] <= '7'; };
        const bool octal =
            field[i] == '\\' && i + 3 < field.size() && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3);
        if (octal) {
            text.push_back(static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                             (field[i + 3] - '0')));
            i += 3;
        } else {
            text.push_back(field[i]);
        }
    }
    return text;
}

std::string_view nextField(std::string_view& line)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!line.empty() && isBlank(line.front()))
        line.remove_prefix(1);
    std::size_t end = 0;
    while (end < line.size() && !isBlank(line[end]))
        ++end;
    const std::string_view field = line.substr(0, end);
    line.remove_prefix(end);
    return field;
}

} // namespace

std::vector<std::string> mountPointsIn(std::string_view table)
{
    std::vector<std::string> points;
    while (!table.empty()) {
        const std::size_t end = std::min(table.find('\n'), table.size());
        std::string_view line = table.substr(0, end);
        table.remove_prefix(std::min(end + 1, table.size()));
        const std::string_view device = nextField(line);
        if (device.empty() || device.front() == '#')
            continue;
        std::string point = decodeField(nextField(line));
        if (point.empty() || point.front() != '/')
            continue;
        while (point.size() > 1 && point.back() == '/')
            point.pop_back();
        points.push_back(std::move(point));
    }
    return points;
}

bool liesOnVacantMountPoint(std::string_view path, std::string_view fstab, std::string_view mounts)
{
    const std::vector<std::string> named = mountPointsIn(fstab);
    if (named.empty())
        return false;
    const std::vector<std::string> mounted = mountPointsIn(mounts);
    std::string current(path);
    while (current.size() > 1 && current.back() == '/')
        current.pop_back();
    // "/" is always mounted; every other ancestor could be a drive that is away.
    while (current.size() > 1) {
        const bool isNamed = std::find(named.begin(), named.end(), current) != named.end();
        if (isNamed && std::find(mounted.begin(), mounted.end(), current) == mounted.end())
            return true;
        current = std::string(withoutTrailingSlashes(parentOf(current)));
    }
    return false;
}

} // namespace tavrel::platform
