// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavrel::test {

// What a finished program left: its exit status (-1 when it did not exit normally) and
// everything it wrote.
struct ProgramOutcome
{
    int status = -1;
    std::string out;
    std::string err;
};

// A program started with stdout in a file and stderr in a pipe that finish() drains, so a
// test can signal it while it runs.
class StartedProgram final
{
public:
    // `scratchFolder` receives the stdout file; `workingFolder` empty keeps the current one.
    StartedProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& scratchFolder, const std::string& workingFolder = {});
    ~StartedProgram();
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    pid_t pid() const { return m_pid; }
    // Drains stderr and waits for the end, killing the program (and failing the test) after
    // `limit`.
    ProgramOutcome finish(std::chrono::seconds limit = std::chrono::seconds(30));

private:
    pid_t m_pid = -1;
    int m_errPipe = -1;
    std::string m_outPath;
};

// Runs a program to its end.
ProgramOutcome runProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& scratchFolder, const std::string& workingFolder = {});

} // namespace tavrel::test
