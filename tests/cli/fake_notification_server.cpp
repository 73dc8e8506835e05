// SPDX-License-Identifier: GPL-3.0-or-later
// A notification server for the tests, on the bus of DBUS_SESSION_BUS_ADDRESS:
//   fake_notification_server RECORD CAPABILITIES ANSWER
// owns org.freedesktop.Notifications, answers GetCapabilities with CAPABILITIES (comma-
// separated) and the first Notify with id 7, writes what that call carried to RECORD
// (key=value lines, written whole once the call is answered), then answers as ANSWER says:
// "open" and "default" invoke that action, "close" closes the notice, "none" does nothing.
// Writes RECORD.ready once the name is owned; ends 2 s after the Notify, or after 30 s.
#include "platform/posix/posix_sd_bus.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

using namespace tavrel::platform::posix;

namespace {

constexpr const char* kName = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr uint32_t kId = 7;

struct Server
{
    const SdBusLibrary* lib = nullptr;
    SdBus* bus = nullptr;
    std::string record;
    std::vector<std::string> capabilities;
    std::string answer;
    bool notified = false;
};

std::string oneLine(std::string_view text)
{
    std::string out;
    for (const char c : text)
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

// The process id of the notice's sender, asked of the bus.
uint32_t senderPid(const Server& server, const char* sender)
{
    const SdBusLibrary& lib = *server.lib;
    SdBusMessage* call = nullptr;
    SdBusMessage* reply = nullptr;
    SdBusError error;
    uint32_t pid = 0;
    if (lib.newMethodCall(server.bus, &call, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                          "org.freedesktop.DBus", "GetConnectionUnixProcessID") >= 0 &&
        lib.append(call, "s", sender) >= 0 && lib.call(server.bus, call, 5'000'000, &error, &reply) >= 0)
        lib.read(reply, "u", &pid);
    lib.errorFree(&error);
    if (reply)
        lib.messageUnref(reply);
    if (call)
        lib.messageUnref(call);
    return pid;
}

// The strings joined by "|"; frees sd-bus's malloc'd list.
std::string joined(char** list)
{
    std::string out;
    for (char** item = list; item && *item; ++item) {
        if (item != list)
            out += '|';
        out += *item;
        std::free(*item);
    }
    std::free(list);
    return out;
}

extern "C" int onMessage(SdBusMessage* message, void* userData, SdBusError*)
{
    auto& server = *static_cast<Server*>(userData);
    const SdBusLibrary& lib = *server.lib;
    if (lib.isMethodCall(message, kName, "GetCapabilities") > 0) {
        // Up to three names, passed as the count and that many strings.
        std::vector<const char*> names;
        for (const std::string& name : server.capabilities)
            names.push_back(name.c_str());
        while (names.size() < 3)
            names.push_back(nullptr);
        const unsigned count = static_cast<unsigned>(server.capabilities.size());
        lib.replyMethodReturn(message, "as", count, names[0], names[1], names[2]);
        return 1;
    }
    if (lib.isMethodCall(message, kName, "Notify") <= 0 || server.notified)
        return 0;
    const char* app = nullptr;
    uint32_t replaces = 0;
    const char* icon = nullptr;
    const char* summary = nullptr;
    const char* body = nullptr;
    char** actions = nullptr;
    int32_t expires = 0;
    if (lib.read(message, "susss", &app, &replaces, &icon, &summary, &body) < 0 ||
        lib.readStrv(message, &actions) < 0 || lib.skip(message, "a{sv}") < 0 ||
        lib.read(message, "i", &expires) < 0)
        return 0;
    std::ofstream(server.record + ".part")
        << "app=" << app << "\nicon=" << icon << "\nsummary=" << oneLine(summary)
        << "\nbody=" << oneLine(body) << "\nactions=" << joined(actions) << "\nexpires=" << expires
        << "\npid=" << senderPid(server, lib.sender(message)) << "\n";
    std::rename((server.record + ".part").c_str(), server.record.c_str());
    lib.replyMethodReturn(message, "u", kId);
    server.notified = true;
    if (server.answer == "open" || server.answer == "default")
        lib.emitSignal(server.bus, kPath, kName, "ActionInvoked", "us", kId, server.answer.c_str());
    if (server.answer != "none")
        lib.emitSignal(server.bus, kPath, kName, "NotificationClosed", "uu", kId,
                       server.answer == "close" ? 2U : 3U);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
        return 64;
    Server server;
    server.lib = sdBusLibrary();
    if (!server.lib || server.lib->openUser(&server.bus) < 0)
        return 69;
    server.record = argv[1];
    std::string list = argv[2];
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        server.capabilities.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    if (server.capabilities.size() > 3)
        return 64;
    server.answer = argv[3];
    if (server.lib->addFilter(server.bus, nullptr, onMessage, &server) < 0 ||
        server.lib->requestName(server.bus, kName, 0) < 0)
        return 69;
    std::ofstream(server.record + ".ready") << "ready\n";
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool ending = false;
    while (std::chrono::steady_clock::now() < end) {
        if (server.notified && !ending) {
            end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            ending = true;
        }
        const int processed = server.lib->process(server.bus, nullptr);
        if (processed < 0)
            return 70;
        if (processed == 0)
            server.lib->wait(server.bus, 100'000);
    }
    server.lib->flushCloseUnref(server.bus);
    return 0;
}
