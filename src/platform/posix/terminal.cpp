// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrel::platform {

bool isTerminal(StandardStream stream)
{
    const int fd = stream == StandardStream::Input    ? STDIN_FILENO
                   : stream == StandardStream::Output ? STDOUT_FILENO
                                                      : STDERR_FILENO;
    return ::isatty(fd) == 1;
}

int errorTerminalColumns()
{
    struct winsize size = {};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

bool outputsShareAFile()
{
    struct stat out = {};
    struct stat err = {};
    return ::fstat(STDOUT_FILENO, &out) == 0 && ::fstat(STDERR_FILENO, &err) == 0 &&
           out.st_dev == err.st_dev && out.st_ino == err.st_ino;
}

} // namespace tavrel::platform
