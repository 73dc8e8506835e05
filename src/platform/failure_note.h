// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <system_error>

namespace tavrel::platform {

// Which of a call's paths a failure concerns: a copy reads its source and writes its target.
// A call on one path leaves it Unknown; its caller knows which side it asked.
enum class FailedSide
{
    Unknown,
    Source,
    Target,
};

// Why the last failed call of this thread failed: a reason for people, never a decision.
struct FailureNote
{
    FailedSide side = FailedSide::Unknown;
    std::error_code error; // the system's error; none when the failure had no system cause
    // The call was giving an item a new name in its folder (a create, a rename to it). A
    // file system notes ENOENT so only when the folder is still there.
    bool makingName = false;
    // Words for a failure that no system error stands for ("changed since it was compared");
    // static text.
    const char* cause = nullptr;

    bool known() const { return static_cast<bool>(error) || cause != nullptr; }
    // "name not allowed on this volume" for a new name the volume refused (EINVAL, EILSEQ or
    // ENOENT while making it: exFAT and FAT refuse ':' and '?', NTFS bytes that are no UTF-8);
    // else the system's words ("Read-only file system"), or `cause`; empty when no cause is
    // known.
    std::string reason() const;
};

// Keeps `note` as the last failure of this thread; file systems call it where they turn a
// system error into an FsError.
void noteFailure(const FailureNote& note);
// The last failure of this thread, then forgotten; empty when none was noted since.
FailureNote takeLastFailure();
// takeLastFailure's reason, without the side.
std::string lastFailureReason();
// Forgets the last failure, so that a later failure without a system cause gives no reason.
void forgetLastFailure();

} // namespace tavrel::platform
