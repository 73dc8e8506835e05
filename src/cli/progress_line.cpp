// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/progress_line.h"

#include "cli/terminal_text.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace tavrel::cli {
namespace {

// Rates are taken over this much of the recent past, so a stall shows within seconds.
constexpr std::chrono::seconds kRateWindow{5};

std::string printed(const char* format, double value)
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The end of `text` that fits `columns` columns behind "...".
std::string tail(std::string_view text, std::size_t columns)
{
    std::string shown = "...";
    shown += lastColumns(text, columns - 3);
    return shown;
}

} // namespace

std::string formatBytes(double bytes)
{
    static constexpr const char* kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
    std::size_t unit = 0;
    while (bytes >= 1024 && unit + 1 < std::size(kUnits)) {
        bytes /= 1024;
        ++unit;
    }
    return unit == 0 ? printed("%.0f B", bytes) : printed("%.1f ", bytes) + kUnits[unit];
}

std::string formatDuration(std::chrono::milliseconds duration)
{
    const long long seconds = std::max<long long>(0, duration.count() / 1000);
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

std::string formatProgress(const ProgressSample& sample, std::chrono::milliseconds elapsed,
                           const ProgressRates& rates, int columns)
{
    std::string line =
        std::to_string(sample.processedFiles) + "/" + std::to_string(sample.totalFiles) + " files";
    if (sample.bytesCopied)
        line += "  " + formatBytes(static_cast<double>(*sample.bytesCopied));
    if (rates.bytesPerSecond)
        line += "  " + formatBytes(*rates.bytesPerSecond) + "/s";
    line += "  " + printed("%.1f", rates.filesPerSecond) + " files/s";
    line += "  " + formatDuration(elapsed) + " elapsed";
    // The rest goes at the pace of the files done so far: the count is all the engine knows
    // ahead of time.
    std::string left = "--:--";
    if (sample.processedFiles > 0 && sample.totalFiles > 0) {
        const long long remaining = std::max(0, sample.totalFiles - sample.processedFiles);
        left = formatDuration(std::chrono::milliseconds(elapsed.count() * remaining / sample.processedFiles));
    }
    line += "  " + left + " left";

    const std::size_t limit = static_cast<std::size_t>(std::max(columns, 2) - 1);
    if (line.size() > limit)
        return line.substr(0, limit);
    const std::size_t room = limit - line.size();
    if (!sample.current.empty() && room >= 2 + 8) {
        const std::size_t width = room - 2;
        line += "  " + (textColumns(sample.current) <= width ? sample.current : tail(sample.current, width));
    }
    return line;
}

ProgressLine::ProgressLine(std::ostream& out, Clock clock, std::function<int()> columns)
    : m_out(out), m_clock(std::move(clock)), m_columns(std::move(columns))
{
    start();
}

void ProgressLine::start()
{
    m_start = m_clock();
    m_window.clear();
    m_window.push_back({m_start, 0, 0});
}

ProgressRates ProgressLine::ratesAt(std::chrono::steady_clock::time_point now, const ProgressSample& sample)
{
    m_window.push_back({now, sample.processedFiles, sample.bytesCopied.value_or(0)});
    while (m_window.size() > 2 && m_window[1].time <= now - kRateWindow)
        m_window.pop_front();
    const Point& from = m_window.front();
    const double seconds = std::chrono::duration<double>(now - from.time).count();
    ProgressRates rates;
    if (seconds <= 0)
        return rates;
    rates.filesPerSecond = std::max(0, sample.processedFiles - from.files) / seconds;
    if (sample.bytesCopied)
        rates.bytesPerSecond =
            static_cast<double>(*sample.bytesCopied - std::min(from.bytes, *sample.bytesCopied)) / seconds;
    return rates;
}

bool ProgressLine::update(const ProgressSample& sample)
{
    const auto now = m_clock();
    if (m_lastDraw && now - *m_lastDraw < kMinInterval)
        return false;
    m_lastDraw = now;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_start);
    // Built with +=: GCC 12 warns falsely (-Wrestrict) on "literal" + string temporaries.
    std::string line = "\r";
    line += formatProgress(sample, elapsed, ratesAt(now, sample), m_columns());
    line += "\033[K";
    m_out << line << std::flush;
    m_shown = true;
    return true;
}

void ProgressLine::clear()
{
    if (!m_shown)
        return;
    m_out << "\r\033[K" << std::flush;
    m_shown = false;
}

void ProgressNotes::pairStarted(std::string_view name)
{
    std::lock_guard lock(m_mutex);
    m_current = "pair " + printableText(name);
}

void ProgressNotes::copyStarted(std::string_view source, uint64_t size)
{
    const std::string shown = printableText(source) + " (" + formatBytes(static_cast<double>(size)) + ")";
    std::lock_guard lock(m_mutex);
    m_current = shown;
    m_pendingSize = size;
    if (!m_bytes)
        m_bytes = 0;
}

void ProgressNotes::copyEnded(bool published)
{
    std::lock_guard lock(m_mutex);
    if (published && m_bytes)
        *m_bytes += m_pendingSize;
    m_pendingSize = 0;
}

void ProgressNotes::fill(ProgressSample& sample) const
{
    std::lock_guard lock(m_mutex);
    sample.current = m_current;
    sample.bytesCopied = m_bytes;
}

void ProgressNotes::noteLog(std::string_view text)
{
    // The engine's own line, so this follows its text exactly. The line may come in pieces.
    constexpr std::string_view kHandlePair = "Handle pair : ";
    constexpr std::size_t kLongestLine = 4096;
    const auto look = [this, kHandlePair] {
        std::string_view line = m_logLine;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.starts_with(kHandlePair) && line.size() > kHandlePair.size())
            pairStarted(line.substr(kHandlePair.size()));
    };
    for (const char c : text) {
        if (c == '\n') {
            look();
            m_logLine.clear();
        } else if (m_logLine.size() < kLongestLine) {
            m_logLine.push_back(c);
        }
    }
    look();
}

} // namespace tavrel::cli
