// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run_sink.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tavrel::test {

// A RunSink that keeps every call in order, for tests to compare whole. Safe to read from
// the test thread while the worker calls it.
class RecordingSink final : public engine::RunSink
{
public:
    enum class Kind
    {
        ClearLog,
        AppendLog,
        SetProgress,
        StartRunTimer,
        RefreshStatistics,
        PostRunEnd,
    };
    struct Call
    {
        Kind kind;
        std::string text; // AppendLog
        int value = 0;    // SetProgress position, PostRunEnd result
    };

    void ClearLog() override;
    void AppendLog(std::string_view text) override;
    void SetProgress(int position) override;
    void StartRunTimer() override;
    void RefreshStatistics() override;
    void PostRunEnd(engine::RunResult result) override;
    // Keeps the reason given for the "ERROR: " line just appended.
    void NoteError(std::string_view line, std::string_view reason) override;
    // The reasons of the errors so far, in order (empty where none was known).
    std::vector<std::string> errorReasons() const;
    // Records the question and gives `massDeletionAnswer`.
    engine::MassDeletionAnswer ConfirmMassDeletion(std::string_view question) override;

    // The answer to every mass-deletion question; set it before the run starts.
    engine::MassDeletionAnswer massDeletionAnswer = engine::MassDeletionAnswer::Delete;
    std::vector<std::string> questions() const;
    // Records the question about a missing root and gives `rootCreationAnswer`.
    bool ConfirmRootCreation(std::string_view question) override;
    bool rootCreationAnswer = false;
    std::vector<std::string> rootQuestions() const;

    // Called on the worker's thread after each call is recorded (e.g. to press Stop at a
    // chosen point). Set it before the run starts.
    std::function<void(const Call&)> onCall;

    // Waits for a PostRunEnd; false when `timeout` passes first.
    bool waitForEnd(std::chrono::milliseconds timeout = std::chrono::seconds(20));

    std::vector<Call> calls() const;
    // Every AppendLog text since the last ClearLog, joined.
    std::string log() const;
    // The log split at "\r\n", without the breaks.
    std::vector<std::string> logLines() const;
    std::vector<int> progress() const;
    std::vector<engine::RunResult> results() const;

private:
    void record(const Call& call);

    mutable std::mutex m_mutex;
    std::condition_variable m_ended;
    std::vector<Call> m_calls;
    std::string m_log;
    std::vector<std::string> m_questions;
    std::vector<std::string> m_errorReasons;
    std::vector<std::string> m_rootQuestions;
};

} // namespace tavrel::test
