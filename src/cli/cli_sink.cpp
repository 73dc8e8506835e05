// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_sink.h"

namespace tavrel::cli {

CliSink::CliSink(std::ostream& out, std::ostream& err, bool progress, ProgressLine::Clock clock,
                 std::function<int()> columns)
    : m_clock(clock), m_printer(out, err)
{
    if (progress)
        m_printer.showProgress(std::move(clock), std::move(columns));
}

void CliSink::AppendLog(std::string_view text)
{
    m_notes.noteLog(text);
    std::lock_guard lock(m_outputMutex);
    m_printer.log(text);
}

void CliSink::NoteError(std::string_view line, std::string_view reason)
{
    if (line.starts_with("CONFLICT: "))
        m_conflicts.fetch_add(1);
    std::lock_guard lock(m_outputMutex);
    m_printer.error(line, reason);
}

engine::MassDeletionAnswer CliSink::ConfirmMassDeletion(std::string_view question)
{
    {
        std::lock_guard lock(m_outputMutex);
        m_printer.massDeletion(question, m_allowMassDeletion);
    }
    if (!m_allowMassDeletion)
        m_skippedMassDeletions.fetch_add(1);
    return m_allowMassDeletion ? engine::MassDeletionAnswer::Delete
                               : engine::MassDeletionAnswer::SkipWithError;
}

bool CliSink::ConfirmRootCreation(std::string_view question)
{
    if (m_createMissingRoots) {
        std::lock_guard lock(m_outputMutex);
        m_printer.rootCreation(question);
    }
    return m_createMissingRoots;
}

void CliSink::StartRunTimer()
{
    {
        std::lock_guard lock(m_endMutex);
        m_start = m_clock();
        m_timerStarted = true;
    }
    std::lock_guard lock(m_outputMutex);
    m_printer.startProgress();
}

void CliSink::PostRunEnd(engine::RunResult result)
{
    {
        std::lock_guard lock(m_endMutex);
        m_result = result;
        m_ended = true;
    }
    m_endSignal.notify_all();
}

bool CliSink::waitForEnd(std::chrono::milliseconds timeout, engine::RunResult& result)
{
    std::unique_lock lock(m_endMutex);
    if (!m_endSignal.wait_for(lock, timeout, [this] { return m_ended; }))
        return false;
    result = m_result;
    return true;
}

void CliSink::tick(engine::RunState& state)
{
    {
        std::lock_guard lock(m_endMutex);
        if (!m_timerStarted)
            return;
        state.elapsedMs.store(static_cast<int32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(m_clock() - m_start).count()));
    }
    ProgressSample sample;
    sample.processedFiles = state.processedFiles.load();
    sample.totalFiles = state.totalFiles.load();
    m_notes.fill(sample);
    std::lock_guard lock(m_outputMutex);
    m_printer.progress(sample);
}

void CliSink::finish()
{
    std::lock_guard lock(m_outputMutex);
    m_printer.clearProgress();
}

} // namespace tavrel::cli
