// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run_outcome.h"
#include "platform/desktop_notice.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace tavrel::cli {

// `--notify`: which ends of a run are told on the desktop.
enum class NotifyMode
{
    Always,
    Errors, // errors (conflicts and skipped mass deletions among them), a stop, a full disk
    Never,
};

// "always", "errors" or "never".
std::optional<NotifyMode> parseNotifyMode(std::string_view text);

// Without `--notify`: Never when a person started the run from a terminal (stdin or stderr
// is one) and reads its end there; Errors when nobody watches (a timer's service, `watch`, cron,
// a script with its streams redirected).
NotifyMode defaultNotifyMode(bool fromTerminal);

// Whether stdin or stderr is a terminal: what every command that runs a job gives
// defaultNotifyMode, so `run` and `watch` decide alike.
bool startedFromTerminal();

// How long the notice's process waits for its action to be chosen.
inline constexpr std::chrono::seconds kNoticeListenTime{3600};

// What the desktop is told of a finished run.
struct NoticeFacts
{
    std::string_view projectFile;
    engine::RunOutcome outcome = engine::RunOutcome::Succeeded;
    int32_t errors = 0;
    int32_t conflicts = 0;            // "CONFLICT: " errors
    int32_t skippedMassDeletions = 0; // pairs whose deletions were skipped as too many
    bool preview = false;
    std::filesystem::path report; // opened by the notice's action; none when empty
};

// Whether `mode` tells a run that ended so.
bool worthNotice(NotifyMode mode, engine::RunOutcome outcome);

// The notice: "JOB: OUTCOME" (JOB the project file's name without its extension), the
// outcome line the log ends with, the conflicts and skipped deletions, and the report's path,
// with "Open report" as its action.
platform::DesktopNotice runNotice(const NoticeFacts& end);

// Where every run of the runner ends (`run`, each run of `watch`): shows the notice when
// `mode` asks for it. Never fails the run: a desktop without a session bus or a notification
// server gets nothing.
void noticeRunEnd(NotifyMode mode, const NoticeFacts& end);

} // namespace tavrel::cli
