// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string_view>

namespace tavrel::engine {

// Receives the search paths of the counting walk, one call per path, without a line break.
// Off (empty) by default: a front end turns it on to show where the walk looked.
using DebugLog = std::function<void(std::string_view searchPath)>;

} // namespace tavrel::engine
