// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/report_history.h"

#include "platform/app_paths.h"
#include "platform/fd_io.h"
#include "platform/posix_io.h"
#include "platform/unique_fd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

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

// Copies the file `from` into the new file open as `to`.
bool copyInto(const std::filesystem::path& from, int to)
{
    const platform::posix::UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    if (!in.valid())
        return false;
    std::array<uint8_t, std::size_t{64} * 1024> buffer;
    for (;;) {
        const ssize_t got = platform::posix::readFull(in.get(), buffer);
        if (got < 0)
            return false;
        const auto chunk = std::span(buffer).first(static_cast<std::size_t>(got));
        if (platform::posix::writeAll(to, chunk))
            return false;
        if (chunk.size() < buffer.size())
            return true; // the end of the file
    }
}

std::string systemWords(int error)
{
    return std::generic_category().message(error);
}

// The history folder open for *at calls (read access, for listing it), made where it is
// missing when `create`. The folder and its parent, the program's data folder that it makes,
// are opened without following links: a link put in place of either would take the reports
// and their pruning elsewhere. What lies above them is the user's, links and all. Not valid,
// with `whyNot` set, when the folder cannot be had.
platform::posix::UniqueFd openHistoryFolder(std::filesystem::path folder, bool create, std::string& whyNot)
{
    using platform::posix::UniqueFd;
    if (folder.filename().empty())
        folder = folder.parent_path(); // written with a final "/"
    const std::filesystem::path parent = folder.parent_path();
    std::filesystem::path top = parent.parent_path();
    if (top.empty())
        top = ".";
    std::error_code error;
    if (create)
        std::filesystem::create_directories(top, error);
    UniqueFd fd(::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) {
        whyNot = systemWords(errno);
        return fd;
    }
    for (const std::filesystem::path& name : {parent.filename(), folder.filename()}) {
        auto openBelow = [&] {
            return UniqueFd(
                ::openat(fd.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        };
        UniqueFd next = openBelow();
        if (!next.valid() && errno == ENOENT && create &&
            (::mkdirat(fd.get(), name.c_str(), 0700) == 0 || errno == EEXIST))
            next = openBelow();
        if (!next.valid()) {
            const int failure = errno;
            struct stat st = {};
            const bool link =
                ::fstatat(fd.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
            whyNot = link ? (name == folder.filename() ? "it is" : parent.native() + " is") +
                                std::string(" a symbolic link, which the history never follows")
                          : systemWords(failure);
            return next;
        }
        fd = std::move(next);
    }
    return fd;
}

// The names of the kept reports in the folder open as `folder`, oldest first: of the kept
// shape, regular files (never a link), owned by this user, who made them.
std::vector<std::string> keptNamesIn(int folder)
{
    std::vector<std::pair<Order, std::string>> found;
    const platform::posix::DirStream dir = platform::posix::streamOver(
        platform::posix::UniqueFd(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
    if (dir == nullptr)
        return {};
    static const uid_t user = ::geteuid();
    while (const dirent* item = ::readdir(dir.get())) {
        const std::optional<Order> order = orderOf(item->d_name);
        struct stat st = {};
        if (order && ::fstatat(folder, item->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == user)
            found.emplace_back(*order, item->d_name);
    }
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
std::vector<std::pair<std::string, RunSummary>> readIndex(int folder)
{
    std::vector<std::pair<std::string, RunSummary>> lines;
    const platform::posix::UniqueFd fd(
        ::openat(folder, kIndexName, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st = {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
        return lines;
    std::string text;
    std::array<char, 16384> buffer;
    for (ssize_t got; (got = ::read(fd.get(), buffer.data(), buffer.size())) > 0;)
        text.append(buffer.data(), static_cast<std::size_t>(got));
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
void addToIndex(int folder, std::string_view name, const RunSummary& summary,
                const std::vector<std::string>& kept)
{
    std::string line = indexLine(name, summary);
    {
        // One write with O_APPEND: lines of runs ending together do not mix.
        const platform::posix::UniqueFd fd(::openat(
            folder, kIndexName, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644));
        if (!fd.valid())
            return;
        // A line torn by a crash is ended first, so it costs only itself.
        struct stat st = {};
        char last = '\n';
        if (::fstat(fd.get(), &st) == 0 && st.st_size > 0 &&
            ::pread(fd.get(), &last, 1, st.st_size - 1) == 1 && last != '\n')
            line.insert(line.begin(), '\n');
        if (platform::posix::writeAll(fd.get(), {reinterpret_cast<const uint8_t*>(line.data()), line.size()}))
            return;
    }
    const auto lines = readIndex(folder);
    if (lines.size() <= kIndexSlack * std::max<std::size_t>(kept.size(), 1))
        return;
    std::string text;
    for (const auto& [report, entry] : lines) {
        if (std::find(kept.begin(), kept.end(), report) != kept.end())
            text += indexLine(report, entry);
    }
    const std::string temporary = std::string(kIndexName) + ".new";
    const platform::posix::UniqueFd fd(
        ::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd.valid())
        return;
    if (platform::posix::writeAll(fd.get(), {reinterpret_cast<const uint8_t*>(text.data()), text.size()}) ||
        ::renameat(folder, temporary.c_str(), folder, kIndexName) != 0)
        ::unlinkat(folder, temporary.c_str(), 0);
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
    const platform::posix::UniqueFd fd = openHistoryFolder(folder, false, whyNot);
    if (!fd.valid())
        return {};
    std::vector<std::filesystem::path> reports;
    for (const std::string& name : keptNamesIn(fd.get()))
        reports.push_back(folder / name);
    return reports;
}

std::vector<KeptRun> keptRuns(const std::filesystem::path& folder)
{
    std::string whyNot;
    const platform::posix::UniqueFd fd = openHistoryFolder(folder, false, whyNot);
    if (!fd.valid())
        return {};
    const auto index = readIndex(fd.get());
    std::vector<KeptRun> runs;
    for (const std::string& name : keptNamesIn(fd.get())) {
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
    const platform::posix::UniqueFd dir = openHistoryFolder(folder, true, reason);
    if (!dir.valid())
        return fail(reason);
    const std::string stamp = stampOf(startedAt);
    std::string name;
    platform::posix::UniqueFd fd;
    // O_EXCL: a name another run took in the same second is never written over.
    for (int number = 1; !fd.valid() && number <= kMaxSuffix; ++number) {
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on the chained operator+.
        name = stamp;
        if (number != 1)
            name.append("_").append(std::to_string(number));
        name.append(kExtension);
        fd.reset(
            ::openat(dir.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
        if (!fd.valid() && errno != EEXIST)
            return fail(systemWords(errno));
    }
    if (!fd.valid())
        return fail(systemWords(EEXIST));
    const bool copied = copyInto(report, fd.get());
    if (fd.close() != 0 || !copied) {
        const int failure = errno;
        ::unlinkat(dir.get(), name.c_str(), 0);
        return fail(systemWords(failure));
    }
    // The oldest go; never the one just kept, which a clock set back may have made the oldest.
    // Only what this program made: a name of the kept shape is not enough.
    const std::vector<std::string> names = keptNamesIn(dir.get());
    std::size_t left = names.size();
    for (std::size_t i = 0; i < names.size() && left > std::max<std::size_t>(keep, 1); ++i) {
        if (names[i] != name && ::unlinkat(dir.get(), names[i].c_str(), 0) == 0)
            --left;
    }
    if (summary != nullptr)
        addToIndex(dir.get(), name, *summary, keptNamesIn(dir.get()));
    return folder / name;
}

} // namespace tavrel::report
