// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/report_history.h"

#include "platform/app_paths.h"
#include "platform/own_files.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace tavrel::report {

namespace {

constexpr std::string_view kExtension = ".htm";
constexpr const char* kIndexName = "runs.tsv";
// The index is written anew, without the lines of pruned reports, past this many lines per
// kept report.
constexpr std::size_t kIndexSlack = 2;
constexpr std::size_t kStampLength = 19; // YYYY-MM-DD_HH-MM-SS
// Far more than runs can start in one second; a bound keeps a broken folder from looping.
constexpr int kMaxSuffix = 10'000;

// The order of a kept report: its time text, then its number (1 for a name without one).
struct Order
{
    std::string stamp;
    int number = 1;

    bool operator<(const Order& other) const
    {
        return stamp != other.stamp ? stamp < other.stamp : number < other.number;
    }
};

bool isStamp(std::string_view text)
{
    if (text.size() != kStampLength)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool separator = i == 4 || i == 7 || i == 13 || i == 16;
        if (i == 10 ? c != '_' : separator ? c != '-' : (c < '0' || c > '9'))
            return false;
    }
    return true;
}

// The order of a file name of the kept shape, or nothing for any other name.
std::optional<Order> orderOf(std::string_view name)
{
    if (!name.ends_with(kExtension))
        return std::nullopt;
    name.remove_suffix(kExtension.size());
    if (!isStamp(name.substr(0, std::min(name.size(), kStampLength))))
        return std::nullopt;
    Order order{std::string(name.substr(0, kStampLength)), 1};
    std::string_view rest = name.substr(kStampLength);
    if (rest.empty())
        return order;
    if (rest.size() < 2 || rest.front() != '_' || rest[1] == '0')
        return std::nullopt;
    rest.remove_prefix(1);
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), order.number);
    if (error != std::errc() || end != rest.data() + rest.size() || order.number < 2)
        return std::nullopt;
    return order;
}

std::string stampOf(std::chrono::system_clock::time_point time)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local = {};
    char text[32] = {};
    if (::localtime_r(&seconds, &local) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &local) != kStampLength)
        return "1970-01-01_00-00-00";
    return text;
}

std::string systemWords(int error)
{
    return std::generic_category().message(error);
}

// The names of the kept reports in `folder`, oldest first: of the kept shape, regular files
// (never a link), owned by this user, who made them.
std::vector<std::string> keptNamesIn(const platform::OwnFolder& folder)
{
    std::vector<std::pair<Order, std::string>> found;
    for (std::string& name :
         folder.ownFileNames([](std::string_view name) { return orderOf(name).has_value(); }))
        found.emplace_back(*orderOf(name), std::move(name));
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    names.reserve(found.size());
    for (auto& [order, name] : found)
        names.push_back(std::move(name));
    return names;
}

// A field of an index line: tabs, line breaks and backslashes escaped, so a path holding
// them stays in its field.
std::string escapeField(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '\t' || c == '\n') {
            out.push_back('\\');
            out.push_back(c == '\t' ? 't' : c == '\n' ? 'n' : '\\');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string unescapeField(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            out.push_back(next == 't' ? '\t' : next == 'n' ? '\n' : next);
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string indexLine(std::string_view name, const RunSummary& summary)
{
    std::string line(name);
    for (const std::string& field :
         {summary.outcome, std::to_string(summary.errors), std::to_string(summary.changes),
          std::string(summary.preview ? "1" : "0"), summary.job}) {
        line.push_back('\t');
        line += escapeField(field);
    }
    line.push_back('\n');
    return line;
}

// The index's lines by report name; a line that does not parse is left out.
std::vector<std::pair<std::string, RunSummary>> readIndex(const platform::OwnFolder& folder)
{
    std::vector<std::pair<std::string, RunSummary>> lines;
    const std::string text = folder.readOwnFile(kIndexName);
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            break; // a line still being written
        std::vector<std::string_view> fields;
        const std::string_view line = std::string_view(text).substr(start, end - start);
        for (std::size_t at = 0;;) {
            const std::size_t tab = line.find('\t', at);
            fields.push_back(
                line.substr(at, tab == std::string_view::npos ? std::string_view::npos : tab - at));
            if (tab == std::string_view::npos)
                break;
            at = tab + 1;
        }
        start = end + 1;
        RunSummary summary;
        if (fields.size() != 6 || !orderOf(fields[0]) ||
            std::from_chars(fields[2].begin(), fields[2].end(), summary.errors).ec != std::errc() ||
            std::from_chars(fields[3].begin(), fields[3].end(), summary.changes).ec != std::errc())
            continue;
        summary.outcome = unescapeField(fields[1]);
        summary.preview = fields[4] == "1";
        summary.job = unescapeField(fields[5]);
        lines.emplace_back(std::string(fields[0]), std::move(summary));
    }
    return lines;
}

// Adds the line of the report `name`; writes the index anew, without the lines of reports no
// longer kept, once it holds more than kIndexSlack lines per kept report.
void addToIndex(const platform::OwnFolder& folder, std::string_view name, const RunSummary& summary,
                const std::vector<std::string>& kept)
{
    if (!folder.appendLine(kIndexName, indexLine(name, summary)))
        return;
    const auto lines = readIndex(folder);
    if (lines.size() <= kIndexSlack * std::max<std::size_t>(kept.size(), 1))
        return;
    std::string text;
    for (const auto& [report, entry] : lines) {
        if (std::find(kept.begin(), kept.end(), report) != kept.end())
            text += indexLine(report, entry);
    }
    folder.replaceFile(kIndexName, text);
}

// "YYYY-MM-DD HH:MM:SS" from a kept report's name.
std::string startTimeOf(std::string_view name)
{
    std::string time(name.substr(0, kStampLength));
    if (time.size() == kStampLength) {
        time[10] = ' ';
        time[13] = ':';
        time[16] = ':';
    }
    return time;
}

} // namespace

std::filesystem::path defaultHistoryFolder()
{
    return platform::userDataFolder() / "reports";
}

std::vector<std::filesystem::path> keptReports(const std::filesystem::path& folder)
{
    std::string whyNot;
    const platform::OwnFolder history = platform::OwnFolder::open(folder, false, whyNot);
    if (!history.isOpen())
        return {};
    std::vector<std::filesystem::path> reports;
    for (const std::string& name : keptNamesIn(history))
        reports.push_back(folder / name);
    return reports;
}

std::vector<KeptRun> keptRuns(const std::filesystem::path& folder)
{
    std::string whyNot;
    const platform::OwnFolder history = platform::OwnFolder::open(folder, false, whyNot);
    if (!history.isOpen())
        return {};
    const auto index = readIndex(history);
    std::vector<KeptRun> runs;
    for (const std::string& name : keptNamesIn(history)) {
        KeptRun run{folder / name, startTimeOf(name), std::nullopt};
        // The last line for a name wins: a name reused after its report was pruned.
        for (auto line = index.rbegin(); line != index.rend(); ++line) {
            if (line->first == name) {
                run.summary = line->second;
                break;
            }
        }
        runs.push_back(std::move(run));
    }
    return runs;
}

std::filesystem::path newestReport(const std::filesystem::path& folder)
{
    const std::vector<std::filesystem::path> reports = keptReports(folder);
    return reports.empty() ? std::filesystem::path() : reports.back();
}

std::filesystem::path keepReport(const std::filesystem::path& report, const std::filesystem::path& folder,
                                 std::chrono::system_clock::time_point startedAt, std::size_t keep,
                                 std::string* whyNot, const RunSummary* summary)
{
    std::string reason;
    auto fail = [&](std::string text) {
        if (whyNot != nullptr)
            *whyNot = std::move(text);
        return std::filesystem::path();
    };
    std::error_code error;
    if (!std::filesystem::is_regular_file(report, error))
        return fail(error ? error.message() : "there is no report");
    const platform::OwnFolder dir = platform::OwnFolder::open(folder, true, reason);
    if (!dir.isOpen())
        return fail(reason);
    const std::string stamp = stampOf(startedAt);
    std::string name;
    // Never a name another run took in the same second.
    int made = EEXIST;
    for (int number = 1; made == EEXIST && number <= kMaxSuffix; ++number) {
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on the chained operator+.
        name = stamp;
        if (number != 1)
            name.append("_").append(std::to_string(number));
        name.append(kExtension);
        made = dir.createCopy(name, report);
    }
    if (made != 0)
        return fail(systemWords(made));
    // The oldest go; never the one just kept, which a clock set back may have made the oldest.
    // Only what this program made: a name of the kept shape is not enough.
    const std::vector<std::string> names = keptNamesIn(dir);
    std::size_t left = names.size();
    for (std::size_t i = 0; i < names.size() && left > std::max<std::size_t>(keep, 1); ++i) {
        if (names[i] != name && dir.remove(names[i]))
            --left;
    }
    if (summary != nullptr)
        addToIndex(dir, name, *summary, keptNamesIn(dir));
    return folder / name;
}

} // namespace tavrel::report
