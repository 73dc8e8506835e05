// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/run_notice.h"

#include "platform/terminal.h"
#include "text/text_codec.h"

#include <string>

namespace tavrel::cli {
namespace {

std::string plural(int32_t count, std::string_view one, std::string_view many)
{
    std::string text = std::to_string(count);
    text += ' ';
    text += count == 1 ? one : many;
    return text;
}

std::string shortOutcome(engine::RunOutcome outcome, int32_t errors)
{
    switch (outcome) {
    case engine::RunOutcome::Succeeded:
        return "succeeded";
    case engine::RunOutcome::CompletedWithErrors: {
        std::string text = "completed with ";
        text += plural(errors, "error", "errors");
        return text;
    }
    case engine::RunOutcome::Stopped:
        return "stopped";
    case engine::RunOutcome::DiskFull:
        return "disk full";
    case engine::RunOutcome::Unknown:
        break;
    }
    return "ended with an unknown error";
}

} // namespace

std::optional<NotifyMode> parseNotifyMode(std::string_view text)
{
    if (text == "always")
        return NotifyMode::Always;
    if (text == "errors")
        return NotifyMode::Errors;
    if (text == "never")
        return NotifyMode::Never;
    return std::nullopt;
}

NotifyMode defaultNotifyMode(bool fromTerminal)
{
    return fromTerminal ? NotifyMode::Never : NotifyMode::Errors;
}

bool startedFromTerminal()
{
    return platform::isTerminal(platform::StandardStream::Input) ||
           platform::isTerminal(platform::StandardStream::Error);
}

bool worthNotice(NotifyMode mode, engine::RunOutcome outcome)
{
    switch (mode) {
    case NotifyMode::Always:
        return true;
    case NotifyMode::Errors:
        return outcome != engine::RunOutcome::Succeeded;
    case NotifyMode::Never:
        break;
    }
    return false;
}

platform::DesktopNotice runNotice(const NoticeFacts& end)
{
    platform::DesktopNotice notice;
    notice.appName = "Tavrel Synchronizer";
    notice.appIcon = "tavrel-sync";
    notice.desktopEntry = "org.tavrel.TavrelSync";
    // D-Bus carries UTF-8 only: other bytes of a name are shown as \\xHH.
    const std::string job = text::displayName(std::filesystem::path(end.projectFile).stem().native());
    notice.summary = job + ": ";
    if (end.preview)
        notice.summary += "preview ";
    notice.summary += shortOutcome(end.outcome, end.errors);
    notice.body = end.preview ? engine::previewOutcomeText(end.outcome, end.errors)
                              : engine::outcomeText(end.outcome, end.errors);
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on "literal" + string&&.
    if (end.conflicts > 0) {
        notice.body += '\n';
        notice.body += plural(end.conflicts, "conflict", "conflicts");
        notice.body += " left as they are.";
    }
    if (end.skippedMassDeletions > 0) {
        notice.body += "\nDeletions skipped as too many in ";
        notice.body += plural(end.skippedMassDeletions, "pair.", "pairs.");
    }
    if (!end.report.empty()) {
        notice.body += "\nReport: ";
        notice.body += text::displayName(end.report.native());
        notice.actionLabel = "Open report";
        notice.openOnAction = end.report;
    }
    return notice;
}

void noticeRunEnd(NotifyMode mode, const NoticeFacts& end)
{
    if (worthNotice(mode, end.outcome))
        platform::showDesktopNotice(runNotice(end), kNoticeListenTime);
}

} // namespace tavrel::cli
