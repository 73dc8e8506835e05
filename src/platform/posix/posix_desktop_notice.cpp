// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/desktop_notice.h"
#include "platform/posix/posix_sd_bus.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tavrel::platform {
namespace {

using posix::SdBus;
using posix::SdBusError;
using posix::SdBusLibrary;
using posix::SdBusMessage;

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
// A server that does not answer within this time is taken as absent.
constexpr uint64_t kCallTimeoutUsec = 5'000'000;

struct BusReply
{
    explicit BusReply(const SdBusLibrary& library) : bus(library) {}
    const SdBusLibrary& bus;
    SdBusMessage* message = nullptr;
    ~BusReply()
    {
        if (message)
            bus.messageUnref(message);
    }
    BusReply(const BusReply&) = delete;
    BusReply& operator=(const BusReply&) = delete;
};

struct BusError
{
    explicit BusError(const SdBusLibrary& library) : bus(library) {}
    const SdBusLibrary& bus;
    SdBusError error;
    ~BusError() { bus.errorFree(&error); }
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
};

// The server's capabilities as it lists them; empty when it cannot be asked.
std::vector<std::string> capabilities(const SdBusLibrary& lib, SdBus* bus)
{
    BusReply call{lib};
    BusReply reply{lib};
    BusError error{lib};
    if (lib.newMethodCall(bus, &call.message, kService, kPath, kService, "GetCapabilities") < 0 ||
        lib.call(bus, call.message, kCallTimeoutUsec, &error.error, &reply.message) < 0)
        return {};
    char** list = nullptr;
    if (lib.readStrv(reply.message, &list) < 0 || !list)
        return {};
    // The list and its strings are malloc'd by sd-bus and become ours.
    std::vector<std::string> names;
    for (char** name = list; *name; ++name) {
        names.emplace_back(*name);
        std::free(*name);
    }
    std::free(list);
    return names;
}

// What the listener has seen of its notice.
struct NoticeWatch
{
    const SdBusLibrary* lib = nullptr;
    uint32_t id = 0;
    bool actionChosen = false;
    bool closed = false;
};

extern "C" int onNoticeSignal(SdBusMessage* message, void* userData, SdBusError*)
{
    auto& watch = *static_cast<NoticeWatch*>(userData);
    const std::string_view member = watch.lib->member(message) ? watch.lib->member(message) : "";
    uint32_t id = 0;
    if (member == "ActionInvoked") {
        const char* key = nullptr;
        if (watch.lib->read(message, "us", &id, &key) >= 0 && id == watch.id && key &&
            (key == kDefaultAction || key == kOpenAction))
            watch.actionChosen = true;
    } else if (member == "NotificationClosed") {
        uint32_t reason = 0;
        if (watch.lib->read(message, "uu", &id, &reason) >= 0 && id == watch.id)
            watch.closed = true;
    }
    return 0;
}

// Starts xdg-open on `file` and leaves it running: the caller ends right after.
void openFile(const std::filesystem::path& file)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::execlp("xdg-open", "xdg-open", file.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
}

// Sends the notice and waits for its action; runs in the detached process.
void sendAndListen(const SdBusLibrary& lib, const DesktopNotice& notice, std::chrono::seconds listenFor)
{
    SdBus* bus = nullptr;
    if (lib.openUser(&bus) < 0 || !bus)
        return;
    struct BusClose
    {
        BusClose(const SdBusLibrary& library, SdBus* open) : lib(library), bus(open) {}
        const SdBusLibrary& lib;
        SdBus* bus;
        ~BusClose() { lib.flushCloseUnref(bus); }
        BusClose(const BusClose&) = delete;
        BusClose& operator=(const BusClose&) = delete;
    } closeBus{lib, bus};

    const std::vector<std::string> offered = capabilities(lib, bus);
    const auto offers = [&offered](std::string_view name) {
        return std::find(offered.begin(), offered.end(), name) != offered.end();
    };
    const bool withAction = !notice.actionLabel.empty();
    const bool listen = withAction && offers("actions");
    NoticeWatch watch{&lib};
    // Subscribed before the notice is sent, so an action chosen at once is not missed.
    if (listen &&
        lib.addMatch(bus, nullptr,
                     "type='signal',sender='org.freedesktop.Notifications',"
                     "path='/org/freedesktop/Notifications',interface='org.freedesktop.Notifications'",
                     onNoticeSignal, &watch) < 0)
        return;

    const std::string body = offers("body-markup") ? escapeNoticeMarkup(notice.body) : notice.body;
    BusReply call{lib};
    BusReply reply{lib};
    BusError error{lib};
    const std::string defaultKey(kDefaultAction);
    const std::string openKey(kOpenAction);
    constexpr int kNormalUrgency = 1;
    if (lib.newMethodCall(bus, &call.message, kService, kPath, kService, "Notify") < 0 ||
        lib.append(call.message, "susss", notice.appName.c_str(), 0U, notice.appIcon.c_str(),
                   notice.summary.c_str(), body.c_str()) < 0)
        return;
    const int actionFields =
        withAction ? lib.append(call.message, "as", 4U, defaultKey.c_str(), notice.actionLabel.c_str(),
                                openKey.c_str(), notice.actionLabel.c_str())
                   : lib.append(call.message, "as", 0U);
    if (actionFields < 0 ||
        lib.append(call.message, "a{sv}i", 2U, "desktop-entry", "s", notice.desktopEntry.c_str(), "urgency",
                   "y", kNormalUrgency, -1) < 0 ||
        lib.call(bus, call.message, kCallTimeoutUsec, &error.error, &reply.message) < 0 ||
        lib.read(reply.message, "u", &watch.id) < 0 || !listen)
        return;

    const auto deadline = std::chrono::steady_clock::now() + listenFor;
    while (!watch.actionChosen && !watch.closed) {
        const int processed = lib.process(bus, nullptr);
        if (processed < 0)
            return; // the bus went away, and the server with it
        if (processed > 0)
            continue;
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            return;
        if (lib.wait(bus, static_cast<uint64_t>(
                              std::chrono::duration_cast<std::chrono::microseconds>(left).count())) < 0)
            return;
    }
    if (watch.actionChosen)
        openFile(notice.openOnAction);
}

// The detached process leaves the caller's terminal, working folder, signal handlers and
// descriptors: a drive the run used can be unmounted, a pipe read to its end closes.
void detach()
{
    ::setsid();
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGCHLD})
        ::sigaction(signal, &fallback, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (::chdir("/") != 0)
        ::_exit(0);
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        if (null >= 0)
            ::dup2(null, fd);
    ::close_range(3, ~0U, 0);
}

} // namespace

std::string escapeNoticeMarkup(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

bool showDesktopNotice(const DesktopNotice& notice, std::chrono::seconds listenFor)
{
    // Loaded before the fork: the detached process then needs no dynamic loader, which is not
    // safe to enter after a fork of a process with threads.
    const SdBusLibrary* lib = posix::sdBusLibrary();
    if (!lib)
        return false;
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        // The middle process ends at once, so the listener belongs to no caller and leaves no
        // zombie behind.
        detach();
        if (::fork() == 0) {
            sendAndListen(*lib, notice, listenFor);
            ::_exit(0);
        }
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

} // namespace tavrel::platform
