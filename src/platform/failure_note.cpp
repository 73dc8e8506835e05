// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/failure_note.h"

#include <utility>

namespace tavrel::platform {

namespace {

// Like errno: per thread, and only a reason for the log.
thread_local FailureNote t_lastFailure;

} // namespace

std::string FailureNote::reason() const
{
    if (!error)
        return cause != nullptr ? cause : std::string();
    if (makingName && (error == std::errc::invalid_argument || error == std::errc::illegal_byte_sequence ||
                       error == std::errc::no_such_file_or_directory))
        return "name not allowed on this volume";
    return error.message();
}

void noteFailure(const FailureNote& note)
{
    t_lastFailure = note;
}

FailureNote takeLastFailure()
{
    return std::exchange(t_lastFailure, FailureNote{});
}

std::string lastFailureReason()
{
    return takeLastFailure().reason();
}

void forgetLastFailure()
{
    t_lastFailure = FailureNote{};
}

} // namespace tavrel::platform
