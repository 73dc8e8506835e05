#pragma once

#include "engine/run_driver.h"
#include "engine/run_sink.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
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
    // The run is over: the run timer is stopped, the worker joined and the report closed.
    virtual void RunEnded(engine::RunResult result) = 0;
};

// Owns the worker thread of a run and is the engine's RunSink for the window. The worker's
// calls complete on the user-interface thread before they return (blocking queued calls), so
// log lines appear in call order; the end of a run is a plain queued call, after which the
// worker has finished and is joined. The UI thread never waits for a worker that may still be
// calling it.
class RunController final : public QObject, public engine::RunSink
{
    Q_OBJECT

public:
    RunController(const model::Job& job, engine::RunState& state, platform::FileSystem& fileSystem,
                  report::ReportFile& report, RunDisplay& display, QObject* parent = nullptr);
    ~RunController() override;

    // Starts a run; 0 when the worker was started, 1 when it could not be.
    int start();
    // Asks the worker to stop at its next handled file.
    void requestStop();
    bool isActive() const { return m_worker.joinable(); }

    void ClearLog() override;
    void AppendLog(std::string_view text) override;
    void SetProgress(int position) override;
    void StartRunTimer() override;
    void RefreshStatistics() override;
    void PostRunEnd(engine::RunResult result) override;

private:
    // Runs `call` on this object's thread and returns once it has run there.
    template <typename Call> void callInUiThread(Call call);
    void finishRun(engine::RunResult result);
    void tick();

    engine::RunState& m_state;
    report::ReportFile& m_report;
    RunDisplay& m_display;
    engine::RunContext m_context;
    std::thread m_worker;
    QTimer m_runTimer;
    QElapsedTimer m_runClock;
    bool m_closing = false;
    bool m_endArrived = false;
};

} // namespace tavrel::ui
