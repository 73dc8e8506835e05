// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/own_files.h"

#include <filesystem>
#include <functional>
#include <string_view>

namespace tavrel::report {

// The HTML record of one run's changes. Opened and headed before the worker starts, written
// line by line by the worker, finished and closed by it before it posts the run's end; never
// by two threads at once.
// Each line goes out with its own write, so the file always ends with a whole line. Every
// write does nothing while the report is closed, and write errors are ignored: the report
// never stops a run.
class ReportFile final
{
public:
    explicit ReportFile(std::filesystem::path path);
    ~ReportFile(); // closes a report still open
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    const std::filesystem::path& path() const;
    bool isOpen() const;

    // CloseReport, then creates or truncates the file (mode 0644). False when it cannot be
    // created (or is not a regular file); the report then stays closed.
    bool OpenReport();
    void WriteReportHead();
    // The head of a preview run's report, in place of WriteReportHead.
    void WritePreviewReportHead();
    // Paths are raw bytes; they are shown with undecodable bytes as \xHH, HTML-escaped.
    void ReportFolderCreated(std::string_view folder);
    void ReportFileCopied(std::string_view source, std::string_view target, bool overwritten);
    void ReportDeleted(std::string_view path);
    // One error line of the log (its text without the line break) and the system's reason.
    void ReportError(std::string_view line, std::string_view reason);
    void WriteReportTail();
    void CloseReport();

    // Also hands each record of a change to `echo` as plain text, one line without its break
    // ("[C] SOURCE => TARGET", "[O] ...", "[A] FOLDER", "[D] PATH"), open or not; called on the
    // worker's thread. Set before the run starts.
    void echoRecordsTo(std::function<void(std::string_view)> echo) { m_echo = std::move(echo); }

private:
    void writeLine(std::string_view line);
    void echo(std::string_view marker, std::string_view path, std::string_view target = {});

    std::filesystem::path m_path;
    std::function<void(std::string_view)> m_echo;
    platform::RegularFile m_file;
};

// Where the report goes: "report.htm" beside the program when that folder is writable, no
// system folder and not a "bin" (a build tree or a portable folder), else in the user's data
// folder (created if missing): an installed program, for everyone or in ~/.local, never writes
// beside itself, even run by root. `programFolderWritable` lets tests inject the check.
std::filesystem::path defaultReportPath();
std::filesystem::path reportPathFor(const std::filesystem::path& programFolder, bool programFolderWritable,
                                    const std::filesystem::path& dataFolder);
// Whether `folder` is one of the system's program folders: /usr or below it, /bin, /sbin.
bool isSystemFolder(const std::filesystem::path& folder);

} // namespace tavrel::report
