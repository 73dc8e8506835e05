#include "cli/run_command.h"

#include "cli/cli_command.h"
#include "engine/run_driver.h"
#include "model/job.h"
#include "platform/posix_file_system.h"
#include "platform/text_codec.h"
#include "project/project_file.h"
#include "report/report_file.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

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
static_assert(std::atomic<int32_t>::is_always_lock_free && std::atomic<std::atomic<int32_t>*>::is_always_lock_free);

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

void installInterruptHandler()
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

// Log text made safe for a terminal: control characters other than line breaks and tabs
// (C0, DEL and C1) are shown as escapes, so a crafted file name cannot drive the terminal.
std::string printableText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        char escaped[8];
        if ((byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned char>(text[++i]));
            out += escaped;
        } else {
            out.push_back(static_cast<char>(byte));
        }
    }
    return out;
}

// The headless front end: the log goes straight to stdout, progress to stderr as one
// redrawn line when asked for, the end is handed to the waiting main thread.
class CliSink final : public engine::RunSink
{
public:
    CliSink(std::FILE* out, std::FILE* err, bool progress) : m_out(out), m_err(err), m_progress(progress) {}

    void ClearLog() override {}
    void AppendLog(std::string_view text) override
    {
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
        clearBar();
        std::fwrite(shown.data(), 1, shown.size(), m_out);
        std::fflush(m_out);
    }
    // Cron mail and the journal get stderr: the error line once more, with the cause.
    void NoteError(std::string_view line, std::string_view reason) override
    {
        while (line.ends_with('\n') || line.ends_with('\r'))
            line.remove_suffix(1);
        std::string text(line);
        if (!reason.empty())
            text.append(": ").append(reason);
        text = printableText(text) + "\n";
        std::lock_guard lock(m_outputMutex);
        clearBar();
        std::fwrite(text.data(), 1, text.size(), m_err);
        std::fflush(m_err);
    }
    void SetProgress(int position) override { m_position.store(position); }
    void StartRunTimer() override
    {
        std::lock_guard lock(m_endMutex);
        m_start = std::chrono::steady_clock::now();
        m_timerStarted = true;
    }
    void RefreshStatistics() override {}
    void PostRunEnd(engine::RunResult result) override
    {
        {
            std::lock_guard lock(m_endMutex);
            m_result = result;
            m_ended = true;
        }
        m_endSignal.notify_all();
    }

    // Waits up to `timeout` for the end; true with `result` set once it came.
    bool waitForEnd(std::chrono::milliseconds timeout, engine::RunResult& result)
    {
        std::unique_lock lock(m_endMutex);
        if (!m_endSignal.wait_for(lock, timeout, [this] { return m_ended; }))
            return false;
        result = m_result;
        return true;
    }

    // One tick of the run timer: elapsedMs, and the progress line when shown.
    void tick(engine::RunState& state)
    {
        {
            std::lock_guard lock(m_endMutex);
            if (!m_timerStarted)
                return;
            state.elapsedMs.store(static_cast<int32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                           std::chrono::steady_clock::now() - m_start)
                                                           .count()));
        }
        if (!m_progress)
            return;
        constexpr int kWidth = 30;
        const int filled = std::clamp(m_position.load(), 0, 1000) * kWidth / 1000;
        char line[160];
        std::snprintf(line, sizeof line, "\r[%s%s] %d / %d  %d s", std::string(filled, '#').c_str(),
                      std::string(kWidth - filled, '-').c_str(), state.processedFiles.load(),
                      state.totalFiles.load(), state.elapsedMs.load() / 1000);
        std::lock_guard lock(m_outputMutex);
        std::fputs(line, m_err);
        std::fflush(m_err);
        m_barShown = true;
    }

    // Takes the progress line away before the closing lines.
    void finish()
    {
        std::lock_guard lock(m_outputMutex);
        clearBar();
    }

private:
    void clearBar()
    {
        if (!m_barShown)
            return;
        std::fputs("\r\033[K", m_err);
        std::fflush(m_err);
        m_barShown = false;
    }

    std::FILE* m_out;
    std::FILE* m_err;
    const bool m_progress;
    bool m_pendingReturn = false;
    std::atomic<int> m_position{0};
    std::mutex m_outputMutex;
    bool m_barShown = false;
    std::mutex m_endMutex;
    std::condition_variable m_endSignal;
    bool m_ended = false;
    engine::RunResult m_result = engine::RunResult::Stopped;
    bool m_timerStarted = false;
    std::chrono::steady_clock::time_point m_start;
};

struct RunOptions
{
    std::string projectFile;
    std::optional<std::string> reportFile;
    bool json = false;
    bool progress = true;
    bool debug = false;
};

std::optional<RunOptions> parseOptions(std::span<const std::string_view> arguments, ExitCode& error)
{
    RunOptions options;
    bool haveFile = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (argument == "--json") {
            options.json = true;
        } else if (argument == "--no-progress") {
            options.progress = false;
        } else if (argument == "--debug") {
            options.debug = true;
        } else if (argument == "--report") {
            if (i + 1 >= arguments.size()) {
                error = usageError("run: --report needs a file");
                return std::nullopt;
            }
            options.reportFile = std::string(arguments[++i]);
        } else if (argument.starts_with("-") && argument != "-") {
            error = usageError("run: unknown option " + std::string(argument));
            return std::nullopt;
        } else if (haveFile) {
            error = usageError("run: only one project file can be run");
            return std::nullopt;
        } else {
            options.projectFile = std::string(argument);
            haveFile = true;
        }
    }
    if (!haveFile) {
        error = usageError("run: no project file given");
        return std::nullopt;
    }
    return options;
}

} // namespace

ExitCode exitCodeFor(engine::RunOutcome outcome)
{
    switch (outcome) {
    case engine::RunOutcome::Succeeded:
        return ExitCode::Succeeded;
    case engine::RunOutcome::CompletedWithErrors:
        return ExitCode::CompletedWithErrors;
    case engine::RunOutcome::DiskFull:
        return ExitCode::DiskFull;
    case engine::RunOutcome::Stopped:
    case engine::RunOutcome::Unknown:
        break;
    }
    return ExitCode::Stopped;
}

std::string resultJson(engine::RunOutcome outcome, int32_t errors, const engine::StatisticsSnapshot& s)
{
    const char* name = outcome == engine::RunOutcome::Succeeded             ? "succeeded"
                       : outcome == engine::RunOutcome::CompletedWithErrors ? "completed_with_errors"
                       : outcome == engine::RunOutcome::DiskFull            ? "disk_full"
                                                                            : "stopped";
    std::string json = std::string("{\"result\":\"") + name + "\"";
    auto field = [&json](const char* key, int32_t value) {
        json += ",\"";
        json += key;
        json += "\":";
        json += std::to_string(value);
    };
    field("errors", errors);
    field("orgFilesCreated", s.orgFilesCreated);
    field("orgFoldersCreated", s.orgFoldersCreated);
    field("orgFilesOverwritten", s.orgFilesOverwritten);
    field("orgFilesDeleted", s.orgFilesDeleted);
    field("orgFoldersDeleted", s.orgFoldersDeleted);
    field("tgtFilesCreated", s.tgtFilesCreated);
    field("tgtFoldersCreated", s.tgtFoldersCreated);
    field("tgtFilesOverwritten", s.tgtFilesOverwritten);
    field("tgtFilesDeleted", s.tgtFilesDeleted);
    field("tgtFoldersDeleted", s.tgtFoldersDeleted);
    field("allOperations", s.allOperations);
    field("elapsedMs", s.elapsedMs);
    field("totalFiles", s.totalFiles);
    field("processedFiles", s.processedFiles);
    json += "}";
    return json;
}

ExitCode runRun(std::span<const std::string_view> arguments)
{
    ExitCode usage = ExitCode::Usage;
    const std::optional<RunOptions> options = parseOptions(arguments, usage);
    if (!options)
        return usage;

    model::Job job;
    if (project::openProject(job, std::filesystem::path(options->projectFile)) != 1) {
        job.clear();
        std::fputs("Failed to open TSP file.\n", stderr);
        return ExitCode::ProjectRefused;
    }

    report::ReportFile report(options->reportFile ? std::filesystem::path(*options->reportFile)
                                                  : report::defaultReportPath());
    platform::PosixFileSystem fileSystem;
    engine::RunState state;
    CliSink sink(stdout, stderr, options->progress && ::isatty(STDERR_FILENO) == 1);
    engine::DebugLog debugLog;
    if (options->debug)
        debugLog = [](std::string_view path) {
            const std::string line = printableText(platform::displayName(path)) + "\n";
            std::fwrite(line.data(), 1, line.size(), stderr);
        };

    // The handler reaches the flag only while `state` lives.
    struct StopFlagRelease
    {
        ~StopFlagRelease() { g_stopFlag.store(nullptr); }
    } release;
    g_stopFlag.store(&state.stopRequested);
    installInterruptHandler();
    std::thread worker;
    if (engine::StartSync({job, state, fileSystem, report, sink, debugLog}, worker) != 0) {
        std::fputs("Cannot process synchronization.\n", stderr);
        return ExitCode::Stopped;
    }
    // The run timer and the Stop command of the window, on this thread.
    engine::RunResult result = engine::RunResult::Succeeded;
    while (!sink.waitForEnd(std::chrono::milliseconds(100), result)) {
        if (g_interrupted.load())
            state.stopRequested.store(1);
        sink.tick(state);
    }
    worker.join();
    sink.tick(state);
    sink.finish();
    report.WriteReportTail();
    report.CloseReport();

    const int32_t errors = state.errors.load();
    const engine::RunOutcome outcome = engine::outcomeOf(result, errors);
    std::printf("End process.\n%s\n", engine::outcomeText(outcome, errors).c_str());
    if (options->json)
        std::printf("%s\n", resultJson(outcome, errors, state.snapshot()).c_str());
    std::fflush(stdout);
    return exitCodeFor(outcome);
}

} // namespace tavrel::cli
