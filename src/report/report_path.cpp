// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/app_paths.h"
#include "report/report_file.h"

#include <system_error>

namespace tavrel::report {

namespace {
constexpr const char* kReportName = "report.htm";
}

std::filesystem::path defaultReportPath()
{
    const std::filesystem::path program = platform::programFolder();
    return reportPathFor(program, platform::isFolderWritable(program), platform::userDataFolder());
}

bool isSystemFolder(const std::filesystem::path& folder)
{
    const std::filesystem::path normal = folder.lexically_normal();
    auto part = normal.begin();
    if (part == normal.end() || *part != "/" || ++part == normal.end())
        return false;
    return *part == "usr" || *part == "bin" || *part == "sbin";
}

std::filesystem::path reportPathFor(const std::filesystem::path& programFolder, bool programFolderWritable,
                                    const std::filesystem::path& dataFolder)
{
    // Run by root, /usr/bin is writable too: an installed program never writes beside itself.
    // Any prefix keeps its programs in a "bin" folder (~/.local/bin, /opt/x/bin), which is no
    // place for a document either; a build tree or a portable folder is not so named.
    const bool installed = isSystemFolder(programFolder) ||
                           programFolder.lexically_normal().filename() == "bin" ||
                           (!programFolder.has_filename() && programFolder.parent_path().filename() == "bin");
    if (programFolderWritable && !programFolder.empty() && !installed)
        return programFolder / kReportName;
    // A failure here shows up later as a report that cannot be opened, which a run tolerates.
    std::error_code ignored;
    std::filesystem::create_directories(dataFolder, ignored);
    return dataFolder / kReportName;
}

} // namespace tavrel::report
