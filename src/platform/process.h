// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace tavrel::platform {

// Runs `argv` (argv[0] looked up in PATH) with this process's streams and waits for its end.
// True when it ran and exited with 0.
bool runToEnd(const std::vector<std::string>& argv);

// The login name of the user this process runs as ($USER when the account cannot be read);
// empty when neither is known.
std::string loginName();

} // namespace tavrel::platform
