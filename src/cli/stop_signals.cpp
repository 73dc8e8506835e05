// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/stop_signals.h"

#include <csignal>

namespace tavrel::cli {
namespace {

// The signals that mean Stop: Ctrl+C, and the polite ends of systemd, shutdown, `timeout` and
// a closed terminal, which must leave a finished report and no temporary file either.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Set by the stop handler. The first stop signal puts every stop signal back to its default,
// so a second one, of whatever kind, ends the process.
std::atomic<int> g_interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free);
// The run's stop flag, set by the handler itself: a large copy looks at it between chunks,
// and a shutdown's grace period is too short to wait for the next timer tick. The main
// loop still copies g_interrupted into it, for a signal that came before the worker began
// (the worker clears the flag when it starts).
std::atomic<std::atomic<int32_t>*> g_stopFlag{nullptr};
static_assert(std::atomic<int32_t>::is_always_lock_free &&
              std::atomic<std::atomic<int32_t>*>::is_always_lock_free);

extern "C" void onInterrupt(int)
{
    g_interrupted.store(1);
    if (std::atomic<int32_t>* stop = g_stopFlag.load())
        stop->store(1);
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    for (const int signal : kStopSignals)
        ::sigaction(signal, &fallback, nullptr);
}

} // namespace

void installStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals)
        sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (const int signal : kStopSignals)
        ::sigaction(signal, &action, nullptr);
}

bool stopSignalled()
{
    return g_interrupted.load() != 0;
}

StopFlagBinding::StopFlagBinding(std::atomic<int32_t>& flag)
{
    g_stopFlag.store(&flag);
    // A signal that came before the flag was bound still stops what it guards.
    if (stopSignalled())
        flag.store(1);
}

StopFlagBinding::~StopFlagBinding()
{
    g_stopFlag.store(nullptr);
}

} // namespace tavrel::cli
