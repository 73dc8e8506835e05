// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/program_runner.h"

#include "support/temp_tree.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tavrel::test {

StartedProgram::StartedProgram(const std::string& program, const std::vector<std::string>& arguments,
                               const std::string& scratchFolder, const std::string& workingFolder)
    : m_outPath(scratchFolder + "/program-stdout")
{
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int fds[2];
    if (::pipe(fds) != 0) {
        ADD_FAILURE() << "pipe failed";
        return;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        const int out = ::open(m_outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(fds[1], 2);
        ::close(fds[0]);
        if (!workingFolder.empty() && ::chdir(workingFolder.c_str()) != 0)
            ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    m_errPipe = fds[0];
    if (m_pid < 0)
        ADD_FAILURE() << "fork failed";
}

StartedProgram::~StartedProgram()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_errPipe >= 0)
        ::close(m_errPipe);
}

ProgramOutcome StartedProgram::finish(std::chrono::seconds limit)
{
    ProgramOutcome outcome;
    if (m_pid <= 0)
        return outcome;
    ::fcntl(m_errPipe, F_SETFL, O_NONBLOCK);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        char buffer[4096];
        const ssize_t got = ::read(m_errPipe, buffer, sizeof buffer);
        if (got > 0) {
            outcome.err.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            ADD_FAILURE() << "the program did not end in time";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // Whatever the child wrote last is still in the pipe.
    for (char buffer[4096];;) {
        const ssize_t got = ::read(m_errPipe, buffer, sizeof buffer);
        if (got <= 0)
            break;
        outcome.err.append(buffer, static_cast<std::size_t>(got));
    }
    m_pid = -1;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = readFile(m_outPath);
    return outcome;
}

ProgramOutcome runProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& scratchFolder, const std::string& workingFolder)
{
    return StartedProgram(program, arguments, scratchFolder, workingFolder).finish();
}

} // namespace tavrel::test
