// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/app_paths.h"

#include <cstdlib>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace tavrel::platform {

std::filesystem::path programFolder()
{
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    return exe.parent_path();
}

std::filesystem::path userDataFolder()
{
    if (const char* dataHome = std::getenv("XDG_DATA_HOME"); dataHome != nullptr && dataHome[0] == '/')
        return std::filesystem::path(dataHome) / "tavrel-sync";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* entry = getpwuid(getuid());
        home = entry != nullptr ? entry->pw_dir : "/tmp";
    }
    return std::filesystem::path(home) / ".local" / "share" / "tavrel-sync";
}

bool isFolderWritable(const std::filesystem::path& folder)
{
    return !folder.empty() && access(folder.c_str(), W_OK | X_OK) == 0;
}

} // namespace tavrel::platform
