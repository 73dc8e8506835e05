// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace tavrel::platform {

// A desktop notification as org.freedesktop.Notifications takes it.
struct DesktopNotice
{
    std::string appName;
    std::string appIcon;
    std::string desktopEntry; // the desktop file's name without ".desktop", for the server's grouping
    std::string summary;
    std::string body; // plain text; escaped here for servers that read markup in it
    // Offered twice, as the notice's default action (a click on it) and as a button labelled
    // `actionLabel`; choosing either opens `openOnAction` with xdg-open. No action when empty.
    std::string actionLabel;
    std::filesystem::path openOnAction;
};

// The action keys the notice offers with an action.
inline constexpr std::string_view kDefaultAction = "default";
inline constexpr std::string_view kOpenAction = "open";

// Shows `notice` on the user's session bus (DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus)
// from a detached process and returns at once, without waiting for the bus. The action can
// only be received by the connection that sent the notice, so that process stays, up to
// `listenFor`, until the action is chosen, the notice is closed or the bus goes away. True
// when that process was started. No session bus, no notification server, no libsystemd: no
// notice, and nothing is said; the caller's outcome never depends on it.
bool showDesktopNotice(const DesktopNotice& notice, std::chrono::seconds listenFor);

// `text` with the three characters a notification server reads as markup escaped.
std::string escapeNoticeMarkup(std::string_view text);

} // namespace tavrel::platform
