// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/report_file.h"

#include "report/report_text.h"

#include <string>
#include <utility>

namespace tavrel::report {

ReportFile::ReportFile(std::filesystem::path path) : m_path(std::move(path)) {}

ReportFile::~ReportFile()
{
    CloseReport();
}

const std::filesystem::path& ReportFile::path() const
{
    return m_path;
}

bool ReportFile::isOpen() const
{
    return m_file.isOpen();
}

bool ReportFile::OpenReport()
{
    CloseReport();
    return !m_file.open(m_path, platform::RegularFile::Access::Rewrite);
}

void ReportFile::WriteReportHead()
{
    writeLine(kReportHead);
}

void ReportFile::WritePreviewReportHead()
{
    writeLine(kPreviewReportHead);
}

void ReportFile::echo(std::string_view marker, std::string_view path, std::string_view target)
{
    if (!m_echo)
        return;
    std::string line(marker);
    line += ' ';
    line += path;
    if (!target.empty()) {
        line += " => ";
        line += target;
    }
    m_echo(line);
}

void ReportFile::ReportFolderCreated(std::string_view folder)
{
    echo("[A]", folder);
    if (isOpen())
        writeLine(recordLine(kFolderCreatedMarker, folder));
}

void ReportFile::ReportFileCopied(std::string_view source, std::string_view target, bool overwritten)
{
    echo(overwritten ? "[O]" : "[C]", source, target);
    if (isOpen())
        writeLine(recordLine(overwritten ? kFileOverwrittenMarker : kFileCreatedMarker, source, target));
}

void ReportFile::ReportError(std::string_view line, std::string_view reason)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    while (!line.empty() && line.front() == ' ')
        line.remove_prefix(1);
    std::string text(line);
    if (!reason.empty()) {
        text += ": ";
        text += reason;
    }
    if (isOpen())
        writeLine(recordLine(kErrorMarker, text));
}

void ReportFile::ReportDeleted(std::string_view path)
{
    echo("[D]", path);
    if (isOpen())
        writeLine(recordLine(kDeletedMarker, path));
}

void ReportFile::WriteReportTail()
{
    writeLine(kReportTail);
}

void ReportFile::CloseReport()
{
    m_file.close();
}

void ReportFile::writeLine(std::string_view line)
{
    if (!isOpen())
        return;
    // One write per line; only a short write (full disk) or a signal makes it take more. An
    // error is dropped: the report never stops a run.
    (void)m_file.write({reinterpret_cast<const uint8_t*>(line.data()), line.size()});
}

} // namespace tavrel::report
