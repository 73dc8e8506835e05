// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>

namespace tavrel::cli {

// SIGINT, SIGTERM and SIGHUP mean Stop. The first one sets the stop flag bound below (at once,
// from the handler: a large copy looks at it between chunks) and is remembered; it puts every
// stop signal back to its default, so a second one, of whatever kind, ends the process.
void installStopSignals();

// Whether a stop signal came since installStopSignals.
bool stopSignalled();

// For its lifetime, a stop signal sets `flag` too.
class StopFlagBinding
{
public:
    explicit StopFlagBinding(std::atomic<int32_t>& flag);
    ~StopFlagBinding();
    StopFlagBinding(const StopFlagBinding&) = delete;
    StopFlagBinding& operator=(const StopFlagBinding&) = delete;
};

} // namespace tavrel::cli
