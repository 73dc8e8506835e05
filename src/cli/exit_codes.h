// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tavrel::cli {

// The process exit status, decided in one place for every command.
enum class ExitCode : int
{
    Succeeded = 0,
    Stopped = 1,
    DiskFull = 2,
    ProjectRefused = 3,
    CompletedWithErrors = 4,
    Usage = 64,
    // `new` and `edit`: the project file could not be written (sysexits' "cannot create");
    // `state forget`: the state file could not be removed; `run`: the report named by --report
    // cannot be written (nothing was run).
    CannotSave = 73,
};

inline int toStatus(ExitCode code)
{
    return static_cast<int>(code);
}

} // namespace tavrel::cli
