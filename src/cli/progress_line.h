// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace tavrel::cli {

// What the progress line shows at one moment.
struct ProgressSample
{
    int32_t processedFiles = 0;
    int32_t totalFiles = 0;
    // Bytes of the files copied so far; unknown while the engine tells nothing of its copies.
    std::optional<uint64_t> bytesCopied;
    // The file being copied, else the pair being handled; already safe for a terminal.
    std::string current;
};

// The rates the line shows, over the last few seconds.
struct ProgressRates
{
    double filesPerSecond = 0;
    std::optional<double> bytesPerSecond;
};

// The line's text for `columns` terminal columns, never reaching the last one (a line that
// fills it wraps on some terminals, and "\r" then redraws the wrong line):
//   "412/1000 files  37.5 MiB  3.1 MiB/s  12.0 files/s  0:34 elapsed  0:48 left  /org/a.txt"
// Bytes and their rate are left out while unknown; "--:-- left" until a file is done. A long
// current file is cut from the front ("...").
std::string formatProgress(const ProgressSample& sample, std::chrono::milliseconds elapsed,
                           const ProgressRates& rates, int columns);

// "999 B", "1.5 KiB", "37.5 MiB", ... (1024-based, one decimal from KiB on).
std::string formatBytes(double bytes);
// "0:34", "12:05", "1:02:03".
std::string formatDuration(std::chrono::milliseconds duration);

// The progress line on a terminal: drawn with "\r" and cleared before other output, at most
// once per 100 ms however often it is updated.
class ProgressLine final
{
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // `columns` is asked at each draw, so a resized terminal is followed.
    ProgressLine(std::ostream& out, Clock clock, std::function<int()> columns);

    // The run starts now: elapsed time and rates count from here.
    void start();
    // Draws the line for `sample` unless the last draw was less than 100 ms ago; true when
    // drawn.
    bool update(const ProgressSample& sample);
    // Takes the line away, when it is shown.
    void clear();
    bool shown() const { return m_shown; }

    static constexpr std::chrono::milliseconds kMinInterval{100};

private:
    struct Point
    {
        std::chrono::steady_clock::time_point time;
        int32_t files;
        uint64_t bytes;
    };

    ProgressRates ratesAt(std::chrono::steady_clock::time_point now, const ProgressSample& sample);

    std::ostream& m_out;
    Clock m_clock;
    std::function<int()> m_columns;
    std::chrono::steady_clock::time_point m_start;
    std::optional<std::chrono::steady_clock::time_point> m_lastDraw;
    std::deque<Point> m_window;
    bool m_shown = false;
};

// What the worker tells of its work, kept for the progress line: written on the worker,
// read on the main thread.
class ProgressNotes final
{
public:
    // A pair's handling began (the log's "Handle pair : NAME" line).
    void pairStarted(std::string_view name);
    // The worker is about to copy `source` (raw path bytes), `size` bytes long.
    void copyStarted(std::string_view source, uint64_t size);
    // The copy begun last ended; its bytes count when it was published.
    void copyEnded(bool published);

    // The current file (with its size) or pair, and the bytes copied, into `sample`.
    void fill(ProgressSample& sample) const;

    // Watches the log for the start of each pair. Called on the worker only.
    void noteLog(std::string_view text);

private:
    mutable std::mutex m_mutex;
    std::string m_current;
    uint64_t m_pendingSize = 0;
    std::optional<uint64_t> m_bytes;
    std::string m_logLine; // the log's unfinished line
};

} // namespace tavrel::cli
