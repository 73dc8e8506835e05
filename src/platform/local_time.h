// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tavrel::platform {

// How far the user's clock is ahead of UTC at `unixSeconds`, in seconds (daylight saving
// included); 0 where the zone cannot be told.
int64_t utcOffsetAt(int64_t unixSeconds);

} // namespace tavrel::platform
