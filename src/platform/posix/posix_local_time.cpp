// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/local_time.h"

#include <ctime>

namespace tavrel::platform {

int64_t utcOffsetAt(int64_t unixSeconds)
{
    const auto seconds = static_cast<time_t>(unixSeconds);
    struct tm local = {};
    if (::localtime_r(&seconds, &local) == nullptr)
        return 0;
    return local.tm_gmtoff;
}

} // namespace tavrel::platform
