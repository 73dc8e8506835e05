// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/history_command.h"

#include "cli/arguments.h"
#include "cli/cli_command.h"
#include "cli/terminal_text.h"
#include "report/report_history.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tavrel::cli {
namespace {

// The job's path as a run records it, so that "job.TSP" and "./job.TSP" name the same runs.
std::string jobKey(std::string_view file)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(file), error);
    return (error ? std::filesystem::path(file) : absolute).lexically_normal().string();
}

std::string describe(std::size_t number, const report::KeptRun& run)
{
    char head[32];
    std::snprintf(head, sizeof head, "%3zu  ", number);
    std::string line = head;
    line += run.startedAt;
    if (!run.summary) {
        line += "  (no summary: kept before runs were listed)";
        return line;
    }
    const report::RunSummary& s = *run.summary;
    char counts[96];
    std::snprintf(counts, sizeof counts, "  %-21s  %d error%s  %d change%s  ", s.outcome.c_str(), s.errors,
                  s.errors == 1 ? "" : "s", s.changes, s.changes == 1 ? "" : "s");
    line += counts;
    line += printableText(s.job, Breaks::Escape);
    if (s.preview)
        line += "  (preview)";
    return line;
}

} // namespace

ExitCode runHistory(std::span<const std::string_view> arguments)
{
    std::optional<std::string> job;
    std::optional<std::size_t> open;
    try {
        ArgumentReader reader(arguments);
        while (reader.next()) {
            const std::string_view argument = reader.current();
            if (!reader.isOption()) {
                if (job)
                    throw UsageError("only one project file can be named");
                job = jobKey(argument);
            } else if (argument == "--help" || argument == "-h") {
                return printCommandHelp("history");
            } else if (argument == "--open") {
                const std::string_view value = reader.value();
                std::size_t number = 0;
                const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
                if (error != std::errc() || end != value.data() + value.size() || number == 0)
                    throw UsageError("--open needs a run's number from the list (1 is the newest)");
                open = number;
            } else {
                throw UsageError("unknown option " + quoteArgument(argument));
            }
        }
    } catch (const UsageError& error) {
        return usageError(std::string("history: ") + error.what());
    }

    const std::filesystem::path folder = report::defaultHistoryFolder();
    std::vector<report::KeptRun> runs;
    for (report::KeptRun& run : report::keptRuns(folder)) {
        if (!job || (run.summary && run.summary->job == *job))
            runs.push_back(std::move(run));
    }
    std::string out;
    if (open) {
        if (*open > runs.size())
            return usageError("history: --open " + std::to_string(*open) + ": the list has " +
                              std::to_string(runs.size()) + (runs.size() == 1 ? " run" : " runs"));
        out = printableText(runs[runs.size() - *open].report.native(), Breaks::Escape) + "\n";
    } else if (runs.empty()) {
        out = "No run is kept in " + printableText(folder.native(), Breaks::Escape) +
              (job ? " for " + printableText(*job, Breaks::Escape) : std::string()) + ".\n";
    } else {
        for (std::size_t i = 0; i < runs.size(); ++i)
            out += describe(i + 1, runs[runs.size() - 1 - i]) + "\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return ExitCode::Succeeded;
}

} // namespace tavrel::cli
