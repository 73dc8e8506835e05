// SPDX-License-Identifier: GPL-3.0-or-later
// The window program: one job, one report file and one run state for the life of the process,
// handed to the window that edits and runs them.
#include "app/screenshot.h"
#include "engine/run_state.h"
#include "model/job.h"
#include "platform/posix/posix_file_system.h"
#include "report/report_file.h"
#include "ui/window/main_window.h"

#include <QApplication>
#include <QFileInfo>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUsage =
    "usage: tavrel-sync [FILE.TSP]\n"
    "Opens the window of Tavrel Synchronizer, with the job of FILE.TSP when one is named.\n"
    "  --help     this text\n"
    "  --version  the program's version\n"
    "Jobs run without a window with tavrel-sync-cli.\n";

constexpr int kUsageError = 64;

// The options Qt takes out of the command line itself (one or two dashes), those with a value
// first. Anything else that starts with "-" is a mistake, told before a display is needed: Qt
// would otherwise abort for want of a display before the command line is read.
constexpr const char* kQtOptionsWithValue[] = {"platform",
                                               "platformpluginpath",
                                               "platformtheme",
                                               "plugin",
                                               "qwindowgeometry",
                                               "qwindowicon",
                                               "qwindowtitle",
                                               "session",
                                               "display",
                                               "name",
                                               "title",
                                               "geometry",
                                               "style",
                                               "stylesheet",
                                               "qmljsdebugger",
                                               "visual",
                                               "ncols"};
constexpr const char* kQtSwitches[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "cmap"};

// The number of arguments from `at` that are one Qt option (1 or 2), or 0 for none.
int qtOptionLength(int argc, char* argv[], int at)
{
    const char* text = argv[at];
    if (text[0] != '-')
        return 0;
    text += text[1] == '-' ? 2 : 1;
    const char* equals = std::strchr(text, '=');
    const std::size_t length = equals ? static_cast<std::size_t>(equals - text) : std::strlen(text);
    for (const char* option : kQtOptionsWithValue) {
        if (std::strlen(option) == length && std::strncmp(text, option, length) == 0)
            return equals || at + 1 >= argc ? 1 : 2;
    }
    for (const char* option : kQtSwitches) {
        if (!equals && std::strcmp(text, option) == 0)
            return 1;
    }
    return 0;
}

// What a command line holds besides Qt's options: at most one project file, no other option.
bool commandLineIsValid(int argc, char* argv[])
{
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        if (const int length = qtOptionLength(argc, argv, i)) {
            i += length - 1;
        } else if (argv[i][0] == '-' || ++files > 1) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    // Answered before any window system is needed, so installers, tests and a terminal without
    // a display can ask.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("Tavrel Synchronizer " TAVREL_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    if (!commandLineIsValid(argc, argv)) {
        std::fputs(kUsage, stderr);
        return kUsageError;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrel-sync"));
    QApplication::setApplicationVersion(QStringLiteral(TAVREL_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tavrel.TavrelSync"));

    // Qt has taken its own options out; what is left is at most one project file.
    QStringList files = QApplication::arguments().mid(1);
    if (files.size() > 1 || (!files.isEmpty() && files.first().startsWith(QLatin1Char('-')))) {
        std::fputs(kUsage, stderr);
        return kUsageError;
    }

    tavrel::model::Job job;
    tavrel::report::ReportFile report(tavrel::report::defaultReportPath());
    tavrel::engine::RunState state;
    tavrel::platform::PosixFileSystem fileSystem;

    tavrel::ui::MainWindow window(job, report, state, fileSystem);
    window.show();
    // First, so that a picture taken of a refused file answers its error box too.
    tavrel::ui::scheduleScreenshotIfAsked(window);
    if (!files.isEmpty())
        window.openProjectFile(QFileInfo(files.first()).absoluteFilePath());
    return QApplication::exec();
}
