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

std::filesystem::path reportPathFor(const std::filesystem::path& programFolder, bool programFolderWritable,
                                    const std::filesystem::path& dataFolder)
{
    if (programFolderWritable && !programFolder.empty())
        return programFolder / kReportName;
    // A failure here shows up later as a report that cannot be opened, which a run tolerates.
    std::error_code ignored;
    std::filesystem::create_directories(dataFolder, ignored);
    return dataFolder / kReportName;
}

} // namespace tavrel::report
