// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/recording_sink.h"

namespace tavrel::test {

void RecordingSink::record(const Call& call)
{
    {
        std::lock_guard lock(m_mutex);
        if (call.kind == Kind::ClearLog)
            m_log.clear();
        if (call.kind == Kind::AppendLog)
            m_log += call.text;
        m_calls.push_back(call);
    }
    if (onCall)
        onCall(call);
    if (call.kind == Kind::PostRunEnd)
        m_ended.notify_all();
}

void RecordingSink::ClearLog()
{
    record({Kind::ClearLog, {}, 0});
}

void RecordingSink::AppendLog(std::string_view text)
{
    record({Kind::AppendLog, std::string(text), 0});
}

void RecordingSink::NoteError(std::string_view line, std::string_view reason)
{
    (void)line;
    const std::lock_guard lock(m_mutex);
    m_errorReasons.emplace_back(reason);
}

std::vector<std::string> RecordingSink::errorReasons() const
{
    const std::lock_guard lock(m_mutex);
    return m_errorReasons;
}

void RecordingSink::SetProgress(int position)
{
    record({Kind::SetProgress, {}, position});
}

void RecordingSink::StartRunTimer()
{
    record({Kind::StartRunTimer, {}, 0});
}

void RecordingSink::RefreshStatistics()
{
    record({Kind::RefreshStatistics, {}, 0});
}

void RecordingSink::PostRunEnd(engine::RunResult result)
{
    record({Kind::PostRunEnd, {}, static_cast<int>(result)});
}

bool RecordingSink::waitForEnd(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_ended.wait_for(lock, timeout, [this] {
        for (const Call& call : m_calls)
            if (call.kind == Kind::PostRunEnd)
                return true;
        return false;
    });
}

engine::MassDeletionAnswer RecordingSink::ConfirmMassDeletion(std::string_view question)
{
    std::lock_guard lock(m_mutex);
    m_questions.emplace_back(question);
    return massDeletionAnswer;
}

std::vector<std::string> RecordingSink::questions() const
{
    std::lock_guard lock(m_mutex);
    return m_questions;
}

bool RecordingSink::ConfirmRootCreation(std::string_view question)
{
    std::lock_guard lock(m_mutex);
    m_rootQuestions.emplace_back(question);
    return rootCreationAnswer;
}

std::vector<std::string> RecordingSink::rootQuestions() const
{
    std::lock_guard lock(m_mutex);
    return m_rootQuestions;
}

std::vector<RecordingSink::Call> RecordingSink::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::string RecordingSink::log() const
{
    std::lock_guard lock(m_mutex);
    return m_log;
}

std::vector<std::string> RecordingSink::logLines() const
{
    const std::string text = log();
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

std::vector<int> RecordingSink::progress() const
{
    std::vector<int> positions;
    for (const Call& call : calls())
        if (call.kind == Kind::SetProgress)
            positions.push_back(call.value);
    return positions;
}

std::vector<engine::RunResult> RecordingSink::results() const
{
    std::vector<engine::RunResult> ended;
    for (const Call& call : calls())
        if (call.kind == Kind::PostRunEnd)
            ended.push_back(static_cast<engine::RunResult>(call.value));
    return ended;
}

} // namespace tavrel::test
