// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run_driver.h"
#include "engine/run_sink.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

namespace tavrel::ui {

// What a run shows on the window. Called on the user-interface thread only.
class RunDisplay
{
public:
    virtual ~RunDisplay() = default;

    virtual void ClearLog() = 0;
    virtual void AppendLog(const QString& text) = 0;
    virtual void SetProgress(int position) = 0;
    virtual void RefreshStatistics() = 0;
    // A mirror is about to delete most of its target; `question` says so in full. True lets
    // the deletions go ahead. Every log text of the run so far is shown before this is asked.
    virtual bool ConfirmMassDeletion(const QString& question) = 0;
    // A pair's root that existed when the pair last ran is missing; `question` says so in full.
    // True makes it. Every log text of the run so far is shown before this is asked.
    virtual bool ConfirmRootCreation(const QString& question) = 0;
    // The run is over: the run timer is stopped, the worker joined, every log text shown and
    // the report closed.
    virtual void RunEnded(engine::RunResult result) = 0;
};

// Owns the worker thread of a run and is the engine's RunSink for the window. The worker never
// waits for the window: its log texts and progress are gathered under a short lock and shown
// by the user-interface thread at most every kFlushIntervalMs, in call order; a run of many
// small failures would otherwise spend a round trip and a log-box update on every line. The
// end of a run shows whatever is still gathered before the window hears of the end.
class RunController final : public QObject, public engine::RunSink
{
    Q_OBJECT

public:
    static constexpr int kFlushIntervalMs = 50;

    // A real run, or a preview that shows what the real run would do and changes nothing.
    enum class Kind
    {
        Sync,
        Preview,
    };

    RunController(const model::Job& job, engine::RunState& state, platform::FileSystem& fileSystem,
                  report::ReportFile& report, RunDisplay& display, Kind kind = Kind::Sync,
                  QObject* parent = nullptr);
    ~RunController() override;

    // Starts a run of the job opened from or saved to `jobFile` (empty for a job never saved);
    // false when the worker could not be started (or one is running).
    bool start(const std::filesystem::path& jobFile = {});
    // Asks the worker to stop at its next handled file.
    void requestStop();
    bool isActive() const { return m_worker.joinable(); }

    void ClearLog() override;
    void AppendLog(std::string_view text) override;
    void SetProgress(int position) override;
    void StartRunTimer() override;
    void RefreshStatistics() override;
    // Waits for the display's answer on the user-interface thread, after showing every text
    // gathered so far; a window going away during the run answers Skip without asking.
    engine::MassDeletionAnswer ConfirmMassDeletion(std::string_view question) override;
    // The same for a missing root; a window going away answers No without asking.
    bool ConfirmRootCreation(std::string_view question) override;
    void PostRunEnd(engine::RunResult result) override;

private:
    bool onUiThread() const;
    // Runs `ask` on the user-interface thread after showing every text gathered so far, and
    // waits for it.
    void askOnUiThread(const std::function<void()>& ask);
    // Shows what the worker gathered since the last flush. User-interface thread only.
    void flush();
    void finishRun(engine::RunResult result);
    void tick();

    engine::RunState& m_state;
    RunDisplay& m_display;
    Kind m_kind;
    engine::RunContext m_context;
    std::thread m_worker;
    QTimer m_flushTimer;
    QTimer m_runTimer;
    QElapsedTimer m_runClock;
    bool m_closing = false;
    bool m_endArrived = false;

    // Gathered by the worker, taken whole by flush().
    std::mutex m_pendingLock;
    QString m_pendingText;
    bool m_pendingClear = false;
    bool m_pendingTimerStart = false;
    // -1 when the position has not changed since the last flush.
    std::atomic<int> m_pendingProgress{-1};
};

} // namespace tavrel::ui
