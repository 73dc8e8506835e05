#include "ui/run_controller.h"

#include "report/report_file.h"

#include <QCoreApplication>
#include <QThread>

namespace tavrel::ui {

RunController::RunController(const model::Job& job, engine::RunState& state, platform::FileSystem& fileSystem,
                             report::ReportFile& report, RunDisplay& display, QObject* parent)
    : QObject(parent), m_state(state), m_report(report),
      m_display(display), m_context{job, state, fileSystem, report, *this}
{
    m_runTimer.setInterval(1000);
    connect(&m_runTimer, &QTimer::timeout, this, &RunController::tick);
}

RunController::~RunController()
{
    if (!m_worker.joinable())
        return;
    // Only reached when the window goes away during a run (closing is refused then, so this is
    // a teardown path): stop the worker and keep serving its calls until it has posted its end,
    // because joining a worker blocked in a call into this thread would never return.
    m_closing = true;
    m_state.stopRequested.store(1);
    while (!m_endArrived)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    m_worker.join();
}

int RunController::start()
{
    if (m_worker.joinable())
        return 1;
    m_endArrived = false;
    return engine::StartSync(m_context, m_worker);
}

void RunController::requestStop()
{
    m_state.stopRequested.store(1);
}

template <typename Call> void RunController::callInUiThread(Call call)
{
    // A blocking queued call into one's own thread would wait for itself forever.
    if (QThread::currentThread() == thread())
        call();
    else
        QMetaObject::invokeMethod(this, call, Qt::BlockingQueuedConnection);
}

void RunController::ClearLog()
{
    callInUiThread([this] { m_display.ClearLog(); });
}

void RunController::AppendLog(std::string_view text)
{
    const QString line = QString::fromUtf8(text.data(), qsizetype(text.size()));
    callInUiThread([this, &line] { m_display.AppendLog(line); });
}

void RunController::SetProgress(int position)
{
    callInUiThread([this, position] { m_display.SetProgress(position); });
}

void RunController::StartRunTimer()
{
    callInUiThread([this] {
        m_runClock.start();
        m_runTimer.start();
    });
}

void RunController::RefreshStatistics()
{
    callInUiThread([this] { m_display.RefreshStatistics(); });
}

void RunController::PostRunEnd(engine::RunResult result)
{
    QMetaObject::invokeMethod(
        this, [this, result] { finishRun(result); }, Qt::QueuedConnection);
}

void RunController::tick()
{
    m_state.elapsedMs.store(int32_t(m_runClock.elapsed()));
    m_display.RefreshStatistics();
}

void RunController::finishRun(engine::RunResult result)
{
    m_endArrived = true;
    m_runTimer.stop();
    if (m_closing)
        return;
    // The end was the worker's last act, so this join returns at once; after it, nothing but
    // this thread touches the report.
    if (m_worker.joinable())
        m_worker.join();
    m_report.WriteReportTail();
    m_report.CloseReport();
    m_display.RunEnded(result);
}

} // namespace tavrel::ui
