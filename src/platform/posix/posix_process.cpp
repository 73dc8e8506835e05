// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/process.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavrel::platform {

bool runToEnd(const std::vector<std::string>& argv)
{
    if (argv.empty())
        return false;
    std::vector<std::string> copies = argv;
    std::vector<char*> pointers;
    pointers.reserve(copies.size() + 1);
    for (std::string& argument : copies)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    // What this process printed so far comes before the program's own lines.
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::execvp(pointers[0], pointers.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string loginName()
{
    if (const passwd* account = ::getpwuid(::getuid()); account && account->pw_name)
        return account->pw_name;
    const char* user = std::getenv("USER");
    return user ? user : "";
}

} // namespace tavrel::platform
