// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace tavrel::report {

inline constexpr std::string_view kReportHead =
    "<html>\n"
    "<title>Tavrel Synchronizer Report</title>\n"
    "<body>\n"
    "<strong><font size=\"+2\">Tavrel Synchronizer Report</font></strong>\n"
    "<p>\n";
// The head of a preview's report: its title says that nothing was changed.
inline constexpr std::string_view kPreviewReportHead =
    "<html>\n"
    "<title>Tavrel Synchronizer Report - Preview</title>\n"
    "<body>\n"
    "<strong><font size=\"+2\">Tavrel Synchronizer Report - Preview</font></strong>\n"
    "<p>Preview: nothing was changed. These are the changes Execute would make.</p>\n"
    "<p>\n";
inline constexpr std::string_view kReportTail = "</p>\n</body>\n</html>\n";

inline constexpr std::string_view kFolderCreatedMarker =
    "<font color=\"#0000FF\"><strong>[A]</strong></font>";
inline constexpr std::string_view kFileCreatedMarker = "<font color=\"#000000\"><strong>[C]</strong></font>";
inline constexpr std::string_view kFileOverwrittenMarker =
    "<font color=\"#7D0000\"><strong>[O]</strong></font>";
inline constexpr std::string_view kDeletedMarker = "<font color=\"#FF0000\"><strong>[D]</strong></font>";
// An error of the run, with the system's reason; these follow the records of changes.
inline constexpr std::string_view kErrorMarker = "<font color=\"#FF0000\"><strong>[E]</strong></font>";
inline constexpr std::string_view kArrow =
    "<font color=\"#FF0000\"><strong>&nbsp;=&gt;&nbsp;</strong></font>";
inline constexpr std::string_view kLineEnd = "<br>\n";

// Raw path bytes as report text: undecodable bytes shown as \xHH, then & < > " as entities
// (a file name must not inject markup into a page the user opens in a browser), and every
// space as "&nbsp;" so runs of spaces survive.
std::string escapePath(std::string_view path);

// A whole record line: the marker, the path, "<br>" and a line feed.
std::string recordLine(std::string_view marker, std::string_view path);
// A copy's line: the marker, the source, the arrow, the target, "<br>" and a line feed.
std::string recordLine(std::string_view marker, std::string_view source, std::string_view target);

} // namespace tavrel::report
