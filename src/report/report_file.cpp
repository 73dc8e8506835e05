// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/report_file.h"

#include "platform/fd_io.h"
#include "report/report_text.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
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
    return m_fd.valid();
}

bool ReportFile::OpenReport()
{
    CloseReport();
    // O_NONBLOCK: a FIFO at the report's name must not hang the run start.
    platform::posix::UniqueFd fd(
        ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0644));
    if (!fd.valid())
        return false;
    struct stat info = {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    m_fd = std::move(fd);
    return true;
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
    m_fd.reset();
}

void ReportFile::writeLine(std::string_view line)
{
    if (!isOpen())
        return;
    // One write per line; only a short write (full disk) or a signal makes it take more. An
    // error is dropped: the report never stops a run.
    (void)platform::posix::writeAll(m_fd.get(), {reinterpret_cast<const uint8_t*>(line.data()), line.size()});
}

} // namespace tavrel::report
