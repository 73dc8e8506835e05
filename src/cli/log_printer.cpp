// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/log_printer.h"

#include "cli/terminal_text.h"

#include <string>

namespace tavrel::cli {

void LogPrinter::showProgress(ProgressLine::Clock clock, std::function<int()> columns)
{
    m_line.emplace(m_err, std::move(clock), std::move(columns));
}

void LogPrinter::log(std::string_view text)
{
    if (m_quiet)
        return;
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
    write(m_out, printableText(converted));
}

// Cron mail and the journal get stderr: the error line once more, with the cause.
void LogPrinter::error(std::string_view line, std::string_view reason)
{
    while (line.ends_with('\n') || line.ends_with('\r'))
        line.remove_suffix(1);
    std::string text = "tavrel-sync-cli: ";
    if (m_errorsShareTheLog && !m_quiet) {
        // The log line just above says what failed; a second copy of it would only be noise.
        if (reason.empty())
            return;
        text.append("because: ").append(reason);
    } else {
        text.append(line);
        if (!reason.empty())
            text.append(": ").append(reason);
    }
    write(m_err, printableText(text) + "\n");
}

void LogPrinter::operation(std::string_view line)
{
    write(m_out, printableText(line) + "\n");
}

void LogPrinter::massDeletion(std::string_view question, bool allowed)
{
    write(m_err, printableText(question) + (allowed ? " Yes: --allow-mass-delete was given.\n"
                                                    : " No: skipped (--allow-mass-delete deletes them).\n"));
}

void LogPrinter::rootCreation(std::string_view question)
{
    write(m_err, printableText(question) + " Yes: --create-missing was given.\n");
}

void LogPrinter::startProgress()
{
    if (m_line)
        m_line->start();
}

void LogPrinter::progress(const ProgressSample& sample)
{
    if (m_line)
        m_line->update(sample);
}

void LogPrinter::clearProgress()
{
    if (m_line)
        m_line->clear();
}

void LogPrinter::write(std::ostream& stream, std::string_view text)
{
    clearProgress();
    stream.write(text.data(), static_cast<std::streamsize>(text.size()));
    stream.flush();
}

} // namespace tavrel::cli
