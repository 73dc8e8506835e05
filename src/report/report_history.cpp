// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/report_history.h"

#include "platform/app_paths.h"
#include "platform/fd_io.h"
#include "platform/unique_fd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>

namespace tavrel::report {

namespace {

constexpr std::string_view kExtension = ".htm";
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

} // namespace

std::filesystem::path defaultHistoryFolder()
{
    return platform::userDataFolder() / "reports";
}

std::vector<std::filesystem::path> keptReports(const std::filesystem::path& folder)
{
    std::vector<std::pair<Order, std::filesystem::path>> found;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::optional<Order> order = orderOf(it->path().filename().string());
        if (order && it->is_regular_file(error))
            found.emplace_back(*order, it->path());
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::filesystem::path> reports;
    reports.reserve(found.size());
    for (auto& [order, path] : found)
        reports.push_back(std::move(path));
    return reports;
}

std::filesystem::path newestReport(const std::filesystem::path& folder)
{
    const std::vector<std::filesystem::path> reports = keptReports(folder);
    return reports.empty() ? std::filesystem::path() : reports.back();
}

std::filesystem::path keepReport(const std::filesystem::path& report, const std::filesystem::path& folder,
                                 std::chrono::system_clock::time_point startedAt, std::size_t keep)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(report, error))
        return {};
    std::filesystem::create_directories(folder, error);
    const std::string stamp = stampOf(startedAt);
    std::filesystem::path kept;
    platform::posix::UniqueFd fd;
    // O_EXCL: a name another run took in the same second is never written over.
    for (int number = 1; !fd.valid() && number <= kMaxSuffix; ++number) {
        kept = folder / (stamp + (number == 1 ? std::string() : "_" + std::to_string(number)) +
                         std::string(kExtension));
        fd.reset(::open(kept.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
        if (!fd.valid() && errno != EEXIST)
            return {};
    }
    if (!fd.valid())
        return {};
    const bool copied = copyInto(report, fd.get());
    if (fd.close() != 0 || !copied) {
        std::filesystem::remove(kept, error);
        return {};
    }
    // The oldest go; never the one just kept, which a clock set back may have made the oldest.
    const std::vector<std::filesystem::path> reports = keptReports(folder);
    std::size_t left = reports.size();
    for (std::size_t i = 0; i < reports.size() && left > std::max<std::size_t>(keep, 1); ++i) {
        if (reports[i] != kept && std::filesystem::remove(reports[i], error))
            --left;
    }
    return kept;
}

} // namespace tavrel::report
