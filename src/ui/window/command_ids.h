// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tavrel::ui::command {

// A menu item, its toolbar button and its tip string share one number.
inline constexpr int New = 40001;
inline constexpr int Open = 40002;
inline constexpr int Save = 40004;
inline constexpr int SaveAs = 40021;
inline constexpr int Exit = 40008;
inline constexpr int AddPair = 40009;
inline constexpr int EditPair = 40010;
inline constexpr int RemovePair = 40011;
inline constexpr int Execute = 40012;
// Execute without a change on disk: the same log, counters and report, as a preview.
inline constexpr int Preview = 40022;
inline constexpr int Stop = 40020;
inline constexpr int ViewReport = 1032;
// Run the saved job by a systemd user timer or at login.
inline constexpr int Schedule = 40023;
inline constexpr int Content = 40013;
inline constexpr int About = 40014;

} // namespace tavrel::ui::command
