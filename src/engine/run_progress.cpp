// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run_progress.h"

#include "platform/file_system.h"

#include <string>

namespace tavrel::engine {

std::string_view rootName(platform::FailedSide side, Direction direction)
{
    const bool source = side == platform::FailedSide::Source;
    return source == (direction == Direction::OrgToTgt) ? "ORG" : "TGT";
}

std::string sideReason(platform::FailedSide side, Direction direction, std::string_view reason)
{
    if (reason.empty() || side == platform::FailedSide::Unknown)
        return std::string(reason);
    std::string text(rootName(side, direction));
    text += ": ";
    text += reason;
    return text;
}

int RunProgress::position(int32_t countedTotal, int32_t count)
{
    if (countedTotal <= 0)
        return 50;
    return static_cast<int>(950.0 / countedTotal * count + 50.0);
}

void RunProgress::setCountedTotal(int32_t total)
{
    m_countedTotal = total;
    m_handled = 0;
    m_skipped = 0;
    m_state.totalFiles.store(total);
    m_state.processedFiles.store(0);
}

void RunProgress::addHandled()
{
    ++m_handled;
    m_state.processedFiles.store(processedFiles());
}

void RunProgress::addSkipped(int32_t count)
{
    if (count == 0)
        return;
    m_skipped += count;
    m_state.processedFiles.store(processedFiles());
}

void RunProgress::logError(std::string_view line, std::string_view reason)
{
    m_sink.AppendLog(line);
    m_state.errors.fetch_add(1);
    const std::string known = reason.empty() ? platform::lastFailureReason() : std::string(reason);
    m_sink.NoteError(line, known);
    m_errors.push_back({std::string(line), known});
}

void RunProgress::logFailure(std::string_view line, Direction direction, platform::FailedSide asked)
{
    const platform::FailureNote failure = platform::takeLastFailure();
    const platform::FailedSide side = failure.side != platform::FailedSide::Unknown ? failure.side : asked;
    logError(line, sideReason(side, direction, failure.reason()));
}

void RunProgress::logConflict(std::string_view line, std::string_view reason)
{
    m_state.conflicts.fetch_add(1);
    logError(line, reason);
}

void RunProgress::reportProgress()
{
    m_sink.SetProgress(position(m_countedTotal, processedFiles()));
}

void RunProgress::count(Operation operation, Direction direction)
{
    const bool org = direction == Direction::TgtToOrg;
    switch (operation) {
    case Operation::FolderCreated:
        (org ? m_state.orgFoldersCreated : m_state.tgtFoldersCreated).fetch_add(1);
        break;
    case Operation::FileCreated:
        (org ? m_state.orgFilesCreated : m_state.tgtFilesCreated).fetch_add(1);
        break;
    case Operation::FileOverwritten:
        (org ? m_state.orgFilesOverwritten : m_state.tgtFilesOverwritten).fetch_add(1);
        break;
    case Operation::FileDeleted:
        (org ? m_state.orgFilesDeleted : m_state.tgtFilesDeleted).fetch_add(1);
        break;
    case Operation::FolderDeleted:
        (org ? m_state.orgFoldersDeleted : m_state.tgtFoldersDeleted).fetch_add(1);
        break;
    }
    m_state.recomputeAllOperations();
}

} // namespace tavrel::engine
