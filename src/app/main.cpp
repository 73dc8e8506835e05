// The window program: one job, one report file and one run state for the life of the process,
// handed to the window that edits and runs them.
#include "engine/run_state.h"
#include "model/job.h"
#include "platform/posix_file_system.h"
#include "report/report_file.h"
#include "ui/main_window.h"
#include "ui/screenshot.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    // Answered before any window system is needed, so installers and tests can ask headless.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("Tavrel Synchronizer " TAVREL_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrel-sync"));
    QApplication::setApplicationVersion(QStringLiteral(TAVREL_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tavrel.TavrelSync"));

    tavrel::model::Job job;
    tavrel::report::ReportFile report(tavrel::report::defaultReportPath());
    tavrel::engine::RunState state;
    tavrel::platform::PosixFileSystem fileSystem;

    tavrel::ui::MainWindow window(job, report, state, fileSystem);
    window.show();
    tavrel::ui::scheduleScreenshotIfAsked(window);
    return QApplication::exec();
}
