// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/progress_line.h"

#include <functional>
#include <optional>
#include <ostream>
#include <string_view>

namespace tavrel::cli {

// What the runner prints during a run: the log on `out` as the window shows it ("\r\n" as
// "\n"), each error line with its reason and the mass-deletion question on `err`, and the
// progress line on `err`, taken away before any other output so the two never mix. Every
// text is made safe for a terminal. Not thread-safe: the caller serialises the calls.
class LogPrinter final
{
public:
    LogPrinter(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    // Draws a progress line on `err` from now on.
    void showProgress(ProgressLine::Clock clock, std::function<int()> columns);

    // `quiet` (-q): the log is not printed, errors still are. `errorsShareTheLog`: stdout and
    // stderr are one file, so an error's line is already there; only its reason is added.
    void setOutput(bool quiet, bool errorsShareTheLog)
    {
        m_quiet = quiet;
        m_errorsShareTheLog = errorsShareTheLog;
    }

    // A piece of the log; a "\r" at its end waits for the next piece to tell whether it ends
    // a line.
    void log(std::string_view text);
    // "tavrel-sync-cli: " and the error line once more, with ": reason" when there is one; when
    // the streams share a file, only the reason.
    void error(std::string_view line, std::string_view reason);
    // One operation as the report records it (-v), on `out`.
    void operation(std::string_view line);
    // The question and the answer the command line gave.
    void massDeletion(std::string_view question, bool allowed);
    // A missing root made because --create-missing was given: the question and that answer.
    void rootCreation(std::string_view question);

    // The run starts now: the progress line's elapsed time and rates count from here.
    void startProgress();
    // Redraws the progress line, when there is one and its pace allows.
    void progress(const ProgressSample& sample);
    // Takes the progress line away, when it is shown.
    void clearProgress();

private:
    void write(std::ostream& stream, std::string_view text);

    std::ostream& m_out;
    std::ostream& m_err;
    std::optional<ProgressLine> m_line;
    bool m_pendingReturn = false;
    bool m_quiet = false;
    bool m_errorsShareTheLog = false;
};

} // namespace tavrel::cli
