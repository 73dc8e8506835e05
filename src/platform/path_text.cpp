// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/path_text.h"

namespace tavrel::platform {

std::string asFolder(std::string path)
{
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    return path;
}

std::string_view withoutTrailingSlashes(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

PathParts splitPath(std::string_view path)
{
    const std::string_view whole = withoutTrailingSlashes(path);
    if (whole == "/")
        return {whole, {}};
    const std::size_t slash = whole.rfind('/');
    if (slash == std::string_view::npos)
        return {{}, whole};
    return {whole.substr(0, slash + 1), whole.substr(slash + 1)};
}

std::vector<std::string> namesOf(std::string_view path)
{
    std::vector<std::string> names;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        const std::string_view name = path.substr(0, slash);
        if (!name.empty())
            names.emplace_back(name);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    }
    return names;
}

bool isAtOrBelow(std::string_view path, std::string_view folder)
{
    const std::string_view top = withoutTrailingSlashes(folder);
    if (top == "/")
        return path.starts_with('/');
    const std::string_view inner = withoutTrailingSlashes(path);
    return inner.starts_with(top) && (inner.size() == top.size() || inner[top.size()] == '/');
}

bool isBelow(std::string_view path, std::string_view folder)
{
    return isAtOrBelow(path, folder) && withoutTrailingSlashes(path) != withoutTrailingSlashes(folder);
}

} // namespace tavrel::platform
