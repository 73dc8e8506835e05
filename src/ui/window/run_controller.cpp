// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/run_controller.h"

#include <QCoreApplication>
#include <QThread>

namespace tavrel::ui {

RunController::RunController(const model::Job& job, engine::RunState& state, platform::FileSystem& fileSystem,
                             report::ReportFile& report, RunDisplay& display, Kind kind, QObject* parent)
    : QObject(parent), m_state(state), m_display(display),
      m_kind(kind), m_context{job, state, fileSystem, report, *this}
{
    m_runTimer.setInterval(1000);
    connect(&m_runTimer, &QTimer::timeout, this, &RunController::tick);
    m_flushTimer.setInterval(kFlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &RunController::flush);
}

RunController::~RunController()
{
    if (!m_worker.joinable())
        return;
    // Only reached when the window goes away during a run (closing is refused then, so this is
    // a teardown path): stop the worker and wait for the end it posts before joining it.
    m_closing = true;
    m_state.stopRequested.store(1);
    while (!m_endArrived)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    m_worker.join();
}

bool RunController::start(const std::filesystem::path& jobFile)
{
    if (m_worker.joinable())
        return false;
    m_context.jobFile = jobFile;
    m_endArrived = false;
    m_flushTimer.start();
    const bool started = m_kind == Kind::Preview ? engine::StartPreview(m_context, m_worker)
                                                 : engine::StartSync(m_context, m_worker);
    if (!started)
        m_flushTimer.stop();
    return started;
}

void RunController::requestStop()
{
    m_state.stopRequested.store(1);
}

bool RunController::onUiThread() const
{
    return QThread::currentThread() == thread();
}

void RunController::ClearLog()
{
    if (onUiThread()) {
        flush();
        m_display.ClearLog();
        return;
    }
    // Text gathered before the clear would be wiped by it anyway.
    const std::lock_guard lock(m_pendingLock);
    m_pendingText.clear();
    m_pendingClear = true;
}

void RunController::AppendLog(std::string_view text)
{
    const QString decoded = QString::fromUtf8(text.data(), qsizetype(text.size()));
    if (onUiThread()) {
        flush();
        m_display.AppendLog(decoded);
        return;
    }
    const std::lock_guard lock(m_pendingLock);
    m_pendingText += decoded;
}

void RunController::SetProgress(int position)
{
    if (onUiThread()) {
        m_pendingProgress.store(-1);
        m_display.SetProgress(position);
        return;
    }
    // Only the latest position matters; the bar is repainted at the flush pace.
    m_pendingProgress.store(position < 0 ? 0 : position);
}

void RunController::StartRunTimer()
{
    if (onUiThread()) {
        m_runClock.start();
        m_runTimer.start();
        return;
    }
    // The clock starts now; its timer, which belongs to this thread, at the next flush.
    const std::lock_guard lock(m_pendingLock);
    m_runClock.start();
    m_pendingTimerStart = true;
}

void RunController::RefreshStatistics()
{
    // The counters are repainted by the run timer; a request from the worker waits for it.
    if (onUiThread())
        m_display.RefreshStatistics();
}

void RunController::askOnUiThread(const std::function<void()>& ask)
{
    auto flushed = [this, &ask] {
        // The box comes after the lines that led to it, not before a flush that shows them.
        flush();
        ask();
    };
    // The worker waits here while the user-interface thread asks: a blocking call is safe
    // because that thread joins the worker only after the end the worker posts last.
    if (onUiThread())
        flushed();
    else
        QMetaObject::invokeMethod(this, flushed, Qt::BlockingQueuedConnection);
}

engine::MassDeletionAnswer RunController::ConfirmMassDeletion(std::string_view question)
{
    const QString text = QString::fromUtf8(question.data(), qsizetype(question.size()));
    bool remove = false;
    askOnUiThread([this, &text, &remove] { remove = !m_closing && m_display.ConfirmMassDeletion(text); });
    return remove ? engine::MassDeletionAnswer::Delete : engine::MassDeletionAnswer::Skip;
}

bool RunController::ConfirmRootCreation(std::string_view question)
{
    const QString text = QString::fromUtf8(question.data(), qsizetype(question.size()));
    bool create = false;
    askOnUiThread([this, &text, &create] { create = !m_closing && m_display.ConfirmRootCreation(text); });
    return create;
}

void RunController::PostRunEnd(engine::RunResult result)
{
    QMetaObject::invokeMethod(
        this, [this, result] { finishRun(result); }, Qt::QueuedConnection);
}

void RunController::flush()
{
    QString text;
    bool clear = false;
    bool timerStart = false;
    {
        const std::lock_guard lock(m_pendingLock);
        text.swap(m_pendingText);
        std::swap(clear, m_pendingClear);
        std::swap(timerStart, m_pendingTimerStart);
    }
    if (timerStart)
        m_runTimer.start();
    if (clear)
        m_display.ClearLog();
    if (!text.isEmpty())
        m_display.AppendLog(text);
    const int position = m_pendingProgress.exchange(-1);
    if (position >= 0)
        m_display.SetProgress(position);
}

void RunController::tick()
{
    m_state.elapsedMs.store(int32_t(m_runClock.elapsed()));
    m_display.RefreshStatistics();
}

void RunController::finishRun(engine::RunResult result)
{
    m_endArrived = true;
    m_flushTimer.stop();
    m_runTimer.stop();
    if (m_closing)
        return;
    // The end was the worker's last act, so this join returns at once; after it, nothing but
    // this thread touches the gathered texts. The worker has closed the report already.
    if (m_worker.joinable())
        m_worker.join();
    flush();
    // A run shorter than one flush leaves its timer start gathered until this last flush,
    // which would set the timer going again after the end.
    m_runTimer.stop();
    m_display.RunEnded(result);
}

} // namespace tavrel::ui
