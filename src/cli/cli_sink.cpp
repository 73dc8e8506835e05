// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_sink.h"

#include "cli/terminal_text.h"

#include <string>

namespace tavrel::cli {

CliSink::CliSink(std::FILE* out, std::FILE* err, bool progress, ProgressLine::Clock clock,
                 std::function<int()> columns)
    : m_out(out), m_err(err), m_clock(clock)
{
    if (progress)
        m_line.emplace(err, std::move(clock), std::move(columns));
}

void CliSink::AppendLog(std::string_view text)
{
    m_notes.noteLog(text);
    std::string converted;
    if (m_pendingReturn) {
        m_pendingReturn = false;
        if (!text.starts_with('\n'))
            converted.push_back('\r');
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (text[i] == '\r' && i + 1 == text.size()) {
            m_pendingReturn = true;
            continue;
        }
        converted.push_back(text[i]);
    }
    const std::string shown = printableText(converted);
    std::lock_guard lock(m_outputMutex);
    clearLine();
    std::fwrite(shown.data(), 1, shown.size(), m_out);
    std::fflush(m_out);
}

// Cron mail and the journal get stderr: the error line once more, with the cause.
void CliSink::NoteError(std::string_view line, std::string_view reason)
{
    while (line.ends_with('\n') || line.ends_with('\r'))
        line.remove_suffix(1);
    std::string text(line);
    if (!reason.empty())
        text.append(": ").append(reason);
    text = printableText(text) + "\n";
    std::lock_guard lock(m_outputMutex);
    clearLine();
    std::fwrite(text.data(), 1, text.size(), m_err);
    std::fflush(m_err);
}

engine::MassDeletionAnswer CliSink::ConfirmMassDeletion(std::string_view question)
{
    const std::string text = printableText(question) +
                             (m_allowMassDeletion ? " Yes: --allow-mass-delete was given.\n"
                                                  : " No: skipped (--allow-mass-delete deletes them).\n");
    {
        std::lock_guard lock(m_outputMutex);
        clearLine();
        std::fwrite(text.data(), 1, text.size(), m_err);
        std::fflush(m_err);
    }
    return m_allowMassDeletion ? engine::MassDeletionAnswer::Delete
                               : engine::MassDeletionAnswer::SkipWithError;
}

void CliSink::StartRunTimer()
{
    {
        std::lock_guard lock(m_endMutex);
        m_start = m_clock();
        m_timerStarted = true;
    }
    std::lock_guard lock(m_outputMutex);
    if (m_line)
        m_line->start();
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
    if (m_line)
        m_line->update(sample);
}

void CliSink::finish()
{
    std::lock_guard lock(m_outputMutex);
    clearLine();
}

void CliSink::clearLine()
{
    if (m_line)
        m_line->clear();
}

} // namespace tavrel::cli
