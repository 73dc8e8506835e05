// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/watch_command.h"

#include "cli/arguments.h"
#include "cli/cli_command.h"
#include "cli/run_command.h"
#include "cli/run_notice.h"
#include "cli/stop_signals.h"
#include "cli/terminal_text.h"
#include "cli/write_record.h"
#include "engine/method_rules.h"
#include "engine/run_scope.h"
#include "model/job.h"
#include "platform/path_text.h"
#include "platform/posix/posix_file_system.h"
#include "platform/tree_watch.h"
#include "text/text_codec.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <vector>

namespace tavrel::cli {
namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// A steady stream of changes still runs after this many delays.
constexpr int kLongestWaitInDelays = 6;
// How often a paused pair's roots are looked for.
constexpr auto kMissingRootCheck = std::chrono::seconds(1);

constexpr double kOneDay = 86400;
constexpr double kTenYearsInHours = 87600;

struct WatchOptions
{
    std::string projectFile;
    double delaySeconds = 10;
    double fullEveryHours = 24;
    double pollSeconds = 60;
    bool json = false;
    std::optional<NotifyMode> notify;
};

// `most` keeps the times within what the clock can count.
double positiveNumber(std::string_view option, std::string_view text, double most)
{
    const std::string value(text);
    char* end = nullptr;
    errno = 0;
    const double number = std::strtod(value.c_str(), &end);
    if (value.empty() || end != value.c_str() + value.size() || errno != 0 || !std::isfinite(number) ||
        number <= 0)
        throw UsageError(std::string(option) + " needs a positive number, not " + quoteArgument(text));
    if (number > most)
        throw UsageError(std::string(option) + " takes at most " + std::to_string(static_cast<long>(most)));
    return number;
}

WatchOptions parseOptions(std::span<const std::string_view> arguments, bool& help)
{
    WatchOptions options;
    bool haveFile = false;
    ArgumentReader reader(arguments);
    while (reader.next()) {
        const std::string_view argument = reader.current();
        if (!reader.isOption()) {
            if (haveFile)
                throw UsageError("only one project file can be watched");
            options.projectFile = std::string(argument);
            haveFile = true;
        } else if (argument == "--help" || argument == "-h") {
            help = true;
            return options;
        } else if (argument == "--delay") {
            options.delaySeconds = positiveNumber(argument, reader.value(), kOneDay);
        } else if (argument == "--full-every") {
            options.fullEveryHours = positiveNumber(argument, reader.value(), kTenYearsInHours);
        } else if (argument == "--poll") {
            options.pollSeconds = positiveNumber(argument, reader.value(), kOneDay);
        } else if (argument == "--json") {
            reader.noValue();
            options.json = true;
        } else if (argument == "--notify") {
            const std::string_view mode = reader.value();
            options.notify = parseNotifyMode(mode);
            if (!options.notify)
                throw UsageError("--notify needs always, errors or never, not " + quoteArgument(mode));
        } else {
            throw UsageError("unknown option " + quoteArgument(argument));
        }
    }
    if (!haveFile)
        throw UsageError("no project file given");
    return options;
}

// The run's log is in its report; the watch prints one line per run instead.
class DiscardingBuffer final : public std::streambuf
{
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

std::string timeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local = {};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string plural(std::size_t count, const char* one)
{
    return std::to_string(count) + " " + one + (count == 1 ? "" : "s");
}

enum class Side
{
    Org = 0,
    Tgt = 1,
};

// One enabled pair under watch.
struct WatchedPair
{
    int slot = 0;
    std::string name;
    std::array<std::string, 2> roots; // ORG, TGT: folder paths ending with "/"
    enum class State
    {
        Watched, // both roots present; polled ones by digest, the others by the kernel
        Paused,  // a root is missing
    } state = State::Watched;
    bool pauseTold = false; // the pause was said
    bool writesOrg = false; // the method writes into ORG too (Synchronize)
    std::array<bool, 2> polled{false, false};
    std::array<std::optional<uint64_t>, 2> digests;
    bool whole = false;                  // the next run handles the whole pair
    std::map<std::string, bool> folders; // changed folders: relative -> walked whole
    bool dirty() const { return whole || !folders.empty(); }
};

int treeOf(int slot, Side side)
{
    return slot * 2 + static_cast<int>(side);
}

class Watcher
{
public:
    Watcher(const model::Job& job, const WatchOptions& options, platform::TreeWatch& watch)
        : m_job(job), m_options(options),
          m_notify(options.notify.value_or(defaultNotifyMode(startedFromTerminal()))), m_watch(watch),
          m_delay(std::chrono::duration_cast<Clock::duration>(Seconds(options.delaySeconds))),
          m_fullEvery(std::chrono::duration_cast<Clock::duration>(Seconds(options.fullEveryHours * 3600))),
          m_pollEvery(std::chrono::duration_cast<Clock::duration>(Seconds(options.pollSeconds))),
          m_recorder(recordWrites(m_fileSystem, m_written))
    {
        for (int slot = 0; slot < model::kMaxPairs; ++slot) {
            const model::FolderPair* pair = job.pairAt(slot);
            if (!pair || pair->enabled == 0)
                continue;
            WatchedPair watched;
            watched.slot = slot;
            watched.name = text::displayName(text::toUtf8(pair->name));
            watched.writesOrg = engine::traitsOf(pair->method).walksBackFromTarget;
            watched.roots = {platform::asFolder(text::toUtf8(pair->orgPath)),
                             platform::asFolder(text::toUtf8(pair->tgtPath))};
            m_pairs.push_back(std::move(watched));
        }
    }

    ExitCode watch()
    {
        // Watched before the first run, so that what changes during it is seen.
        for (WatchedPair& pair : m_pairs)
            startWatching(pair, false);
        m_nextFull = Clock::now() + m_fullEvery;
        runNow("start", nullptr);
        // A root the first run made (or that came meanwhile) is watched only now: what changed
        // between that run's end and this is not known, so the pair runs once more.
        for (WatchedPair& pair : m_pairs) {
            if (pair.state != WatchedPair::State::Paused)
                continue;
            startWatching(pair, true);
            if (pair.state == WatchedPair::State::Watched) {
                pair.whole = true;
                noteChange();
            }
        }
        Clock::time_point nextRootCheck = Clock::now() + kMissingRootCheck;
        Clock::time_point nextPoll = Clock::now() + m_pollEvery;
        while (!stopSignalled()) {
            const Clock::time_point now = Clock::now();
            Clock::time_point wake = std::min({nextRootCheck, nextPoll, m_nextFull});
            if (m_firstChange)
                wake = std::min(
                    {wake, *m_lastChange + m_delay, *m_firstChange + kLongestWaitInDelays * m_delay});
            // A signal ends the wait early; the bound only keeps a signal that came just before
            // the wait from being noticed late.
            const auto timeout = std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(wake - now),
                                            std::chrono::milliseconds(0), std::chrono::milliseconds(500));
            platform::WatchEvents events;
            m_watch.wait(timeout, events);
            take(events);
            if (stopSignalled())
                break;
            if (Clock::now() >= nextRootCheck) {
                nextRootCheck = Clock::now() + kMissingRootCheck;
                for (WatchedPair& pair : m_pairs)
                    if (pair.state == WatchedPair::State::Paused)
                        startWatching(pair, true);
            }
            if (Clock::now() >= nextPoll) {
                nextPoll = Clock::now() + m_pollEvery;
                pollTrees();
            }
            if (Clock::now() >= m_nextFull) {
                for (WatchedPair& pair : m_pairs)
                    pair.whole = true;
                runNow("full", nullptr);
                continue;
            }
            if (m_firstChange && (Clock::now() >= *m_lastChange + m_delay ||
                                  Clock::now() >= *m_firstChange + kLongestWaitInDelays * m_delay))
                runChanged();
        }
        return m_lastCode;
    }

private:
    WatchedPair* pairOfTree(int tree)
    {
        for (WatchedPair& pair : m_pairs)
            if (pair.slot == tree / 2)
                return &pair;
        return nullptr;
    }

    // Notes what makes the next run: the strongest reason is told (a lost queue, a pair back,
    // a polled tree that moved, a change seen).
    void noteChange(const char* trigger = "change")
    {
        constexpr std::array<std::string_view, 4> kOrder{"change", "poll", "resume", "overflow"};
        const auto rank = [&](std::string_view t) { return std::find(kOrder.begin(), kOrder.end(), t); };
        if (rank(trigger) > rank(m_trigger))
            m_trigger = trigger;
        const Clock::time_point now = Clock::now();
        if (!m_firstChange)
            m_firstChange = now;
        m_lastChange = now;
    }

    void say(const std::string& line) { std::cerr << "tavrel-sync-cli: " << printableText(line) << '\n'; }

    // Watches the pair's roots, or polls them; a missing root pauses the pair, said once with
    // `tell`. A pair back from a pause that was said runs whole: what happened while it was
    // away is not known.
    void startWatching(WatchedPair& pair, bool tell)
    {
        for (const std::string& root : pair.roots) {
            if (!platform::folderExists(root)) {
                pair.state = WatchedPair::State::Paused;
                if (tell && !pair.pauseTold)
                    say("pair " + pair.name + " paused: folder is missing: " + root);
                pair.pauseTold = pair.pauseTold || tell;
                return;
            }
        }
        for (const Side side : {Side::Org, Side::Tgt}) {
            const std::string& root = pair.roots[static_cast<int>(side)];
            bool& polled = pair.polled[static_cast<int>(side)];
            polled = platform::onUnnotifiedVolume(root);
            if (polled) {
                pair.digests[static_cast<int>(side)] = platform::treeDigest(root);
                continue;
            }
            switch (m_watch.watchTree(treeOf(pair.slot, side), root)) {
            case platform::WatchStatus::Ok:
                break;
            case platform::WatchStatus::LimitReached:
                watchLimitReached(pair, side);
                break;
            case platform::WatchStatus::Missing:
                // Gone between the look and the watch: the next look finds it so.
                m_watch.unwatchTree(treeOf(pair.slot, Side::Org));
                pair.state = WatchedPair::State::Paused;
                return;
            case platform::WatchStatus::Other:
                polled = true;
                pair.digests[static_cast<int>(side)] = platform::treeDigest(root);
                break;
            }
        }
        if (pair.state == WatchedPair::State::Paused && pair.pauseTold) {
            say("pair " + pair.name + " resumed");
            pair.whole = true;
            noteChange("resume");
        }
        pair.pauseTold = false;
        pair.state = WatchedPair::State::Watched;
    }

    void watchLimitReached(WatchedPair& pair, Side side)
    {
        const std::string& root = pair.roots[static_cast<int>(side)];
        m_watch.unwatchTree(treeOf(pair.slot, side));
        const std::optional<long> limit = platform::maxUserWatches();
        say("too many folders to watch in " + root + " (fs.inotify.max_user_watches is " +
            (limit ? std::to_string(*limit) : std::string("unknown")) + "); polling it every " +
            std::to_string(static_cast<long>(std::ceil(m_options.pollSeconds))) + " s instead");
        pair.polled[static_cast<int>(side)] = true;
        pair.digests[static_cast<int>(side)] = platform::treeDigest(root);
    }

    void pause(WatchedPair& pair, const std::string& reason)
    {
        if (pair.state == WatchedPair::State::Paused)
            return;
        m_watch.unwatchTree(treeOf(pair.slot, Side::Org));
        m_watch.unwatchTree(treeOf(pair.slot, Side::Tgt));
        pair.state = WatchedPair::State::Paused;
        pair.whole = false;
        pair.folders.clear();
        pair.pauseTold = true;
        say("pair " + pair.name + " paused: " + reason);
    }

    // What the kernel told, less what the last run wrote itself.
    void take(const platform::WatchEvents& events)
    {
        if (events.overflowed) {
            for (WatchedPair& pair : m_pairs)
                pair.whole = true;
            noteChange("overflow");
        }
        for (const int tree : events.rootsGone) {
            WatchedPair* pair = pairOfTree(tree);
            if (pair)
                pause(*pair, "folder is missing: " + pair->roots[tree % 2]);
        }
        for (const int tree : events.limitReached) {
            WatchedPair* pair = pairOfTree(tree);
            if (pair && pair->state == WatchedPair::State::Watched) {
                watchLimitReached(*pair, static_cast<Side>(tree % 2));
                pair->whole = true;
                noteChange();
            }
        }
        for (const platform::TreeChange& change : events.changes) {
            WatchedPair* pair = pairOfTree(change.tree);
            if (!pair || pair->state != WatchedPair::State::Watched)
                continue;
            std::string path = pair->roots[change.tree % 2];
            if (!change.folder.empty())
                path += change.folder + "/";
            path += change.name;
            // Only on a side the pair itself writes: what a pair wrote into the folder another
            // pair copies from is a change for that one.
            const bool written = change.tree % 2 == static_cast<int>(Side::Tgt) || pair->writesOrg;
            if (written && m_written.wrote(path))
                continue;
            pair->folders[change.folder]; // its own entries, at least
            if (change.newFolder)
                pair->folders[change.folder.empty() ? change.name : change.folder + "/" + change.name] = true;
            noteChange();
        }
    }

    // A polled tree whose digest moved runs whole: a listing says that something changed,
    // not where, in less than a walk of the tree costs anyway.
    void pollTrees()
    {
        for (WatchedPair& pair : m_pairs) {
            if (pair.state != WatchedPair::State::Watched)
                continue;
            for (const Side side : {Side::Org, Side::Tgt}) {
                const int at = static_cast<int>(side);
                if (!pair.polled[at])
                    continue;
                const std::optional<uint64_t> digest = platform::treeDigest(pair.roots[at]);
                if (!digest) {
                    pause(pair, "folder is missing: " + pair.roots[at]);
                    break;
                }
                if (digest != pair.digests[at]) {
                    pair.whole = true;
                    noteChange("poll");
                }
            }
        }
    }

    void runChanged()
    {
        engine::RunScope scope;
        std::size_t folders = 0;
        std::size_t pairs = 0;
        bool whole = false;
        for (WatchedPair& pair : m_pairs) {
            if (pair.state != WatchedPair::State::Watched || !pair.dirty())
                continue;
            engine::PairScope& pairScope = scope.pairs[pair.slot];
            pairScope.whole = pair.whole;
            whole = whole || pair.whole;
            for (const auto& [relative, recursive] : pair.folders)
                pairScope.folders.push_back({relative, recursive});
            folders += pair.folders.size();
            ++pairs;
        }
        const std::string what =
            whole ? plural(pairs, "whole pair") : plural(folders, "folder") + " in " + plural(pairs, "pair");
        if (pairs == 0) {
            m_firstChange.reset();
            m_lastChange.reset();
            m_trigger = "change";
            return;
        }
        const std::string trigger = m_trigger;
        runNow(trigger.c_str(), &scope, what, folders, pairs);
    }

    void runNow(const char* trigger, const engine::RunScope* scope, const std::string& what = "whole job",
                std::size_t folders = 0, std::size_t pairs = 0)
    {
        engine::RunScope active;
        if (scope == nullptr) {
            // Paused pairs wait for their roots: a run now would only say they are missing.
            for (const WatchedPair& pair : m_pairs)
                if (pair.state == WatchedPair::State::Watched || std::string_view(trigger) == "start")
                    active.pairs[pair.slot].whole = true;
            pairs = active.pairs.size();
            scope = &active;
        }
        for (WatchedPair& pair : m_pairs) {
            if (scope->find(pair.slot) == nullptr)
                continue;
            pair.whole = false;
            pair.folders.clear();
            // Taken before the run: what the run writes moves it, and the next poll runs once
            // more, finding nothing to do, rather than missing what the user changed meanwhile.
            for (const int at : {0, 1})
                if (pair.polled[at])
                    pair.digests[at] = platform::treeDigest(pair.roots[at]);
        }
        m_firstChange.reset();
        m_lastChange.reset();
        m_trigger = "change";
        if (std::string_view(trigger) == "full" || std::string_view(trigger) == "start")
            m_nextFull = Clock::now() + m_fullEvery;

        RunRequest request;
        request.projectFile = m_options.projectFile;
        request.notify = m_notify;
        request.scope = scope;
        m_written.clear();
        DiscardingBuffer discard;
        std::ostream log(&discard);
        const std::optional<RunEnd> end = executeRun(m_job, request, *m_recorder, log);
        if (!end) {
            say("cannot start a run");
            m_lastCode = ExitCode::Stopped;
            return;
        }
        m_lastCode = end->code;
        // What the run itself wrote is in the queue now; it is told apart from the user's
        // changes made meanwhile by the paths the run wrote.
        platform::WatchEvents events;
        m_watch.wait(std::chrono::milliseconds(0), events);
        take(events);
        m_written.clear();

        const int32_t operations = end->statistics.allOperations;
        if (m_options.json) {
            std::string line = end->json;
            line.insert(1, "\"time\":\"" + timeNow() + "\",\"trigger\":\"" + trigger + "\",\"pairs\":" +
                               std::to_string(pairs) + ",\"folders\":" + std::to_string(folders) + ",");
            std::cout << line << '\n';
        } else {
            std::cout << timeNow() << ' ' << trigger << ": " << what << ": " << end->outcomeText << " ("
                      << plural(static_cast<std::size_t>(operations), "operation") << ")\n";
        }
        std::cout.flush();
    }

    const model::Job& m_job;
    const WatchOptions& m_options;
    const NotifyMode m_notify; // decided once: the terminal does not come and go
    platform::TreeWatch& m_watch;
    Clock::duration m_delay;
    Clock::duration m_fullEvery;
    Clock::duration m_pollEvery;
    platform::PosixFileSystem m_fileSystem;
    WrittenPaths m_written;
    std::unique_ptr<platform::FileSystem> m_recorder;
    std::vector<WatchedPair> m_pairs;
    std::optional<Clock::time_point> m_firstChange;
    std::optional<Clock::time_point> m_lastChange;
    Clock::time_point m_nextFull;
    ExitCode m_lastCode = ExitCode::Succeeded;
    std::string m_trigger = "change";
};

} // namespace

ExitCode runWatch(std::span<const std::string_view> arguments)
{
    WatchOptions options;
    try {
        bool help = false;
        options = parseOptions(arguments, help);
        if (help)
            return printCommandHelp("watch");
    } catch (const UsageError& error) {
        return usageError(std::string("watch: ") + error.what());
    }
    model::Job job;
    if (!openJobFile(job, options.projectFile))
        return ExitCode::ProjectRefused;
    const std::unique_ptr<platform::TreeWatch> watch = platform::openTreeWatch();
    if (!watch) {
        std::cerr << "tavrel-sync-cli: cannot watch folders: " << std::strerror(errno) << '\n';
        return ExitCode::Stopped;
    }
    installStopSignals();
    Watcher watcher(job, options, *watch);
    return watcher.watch();
}

} // namespace tavrel::cli
