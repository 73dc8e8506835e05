// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run_state.h"
#include "model/job.h"
#include "platform/posix/posix_file_system.h"
#include "platform/preview_file_system.h"
#include "ui/window/run_controller.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;

namespace tavrel::platform {
class FileSystem;
}
namespace tavrel::report {
class ReportFile;
}

namespace tavrel::ui {

class ClientArea;
class ElidedLabel;
class FilePrompter;
class MessagePresenter;
class PairList;
class PictureButton;
class Toolbar;

// Shown in the status line while the pair options dialog is open.
inline const QString kPairDialogHelpHint =
    QStringLiteral("F1 explains the control with the focus; so does a right-click on a control.");

// Heads the title while a preview runs.
inline const QString kPreviewTitleMark = QStringLiteral("[Preview] ");

// Ends the mass-deletion question: what its default answer does.
inline const QString kMassDeletionNoMeans = QStringLiteral(
    "\n\nNo keeps them: this pair deletes nothing in this run, and the rest of the run goes on.");

// How the pair options dialog was closed: OK wrote the pair, Cancel left it as it was.
enum class PairEdit
{
    Accepted,
    Cancelled,
};
// Opens the pair options dialog on a pair.
using PairEditor = std::function<PairEdit(QWidget* owner, model::FolderPair& pair)>;

// What ShowStatusTip puts in the status line.
enum class StatusTip
{
    Clear,   // nothing
    Command, // the tip of a command number; a number of 0 or below has none and clears the line
    Text,    // a text of the window's own; an empty one leaves the line as it is
};
// Hands a file to the desktop's viewer; false when nothing could open it.
using UrlOpener = std::function<bool(const QUrl& url)>;
// Offers View Report's list (kept reports, newest first) with one row chosen; the row the
// user takes, or -1.
using ReportPicker = std::function<int(QWidget* owner, const QStringList& labels, int preselected)>;

// The application's one window: it edits the job, saves and opens project files, starts and
// stops runs and shows their progress. The job, report and run state belong to the caller.
// Commands and state live in main_window_commands.cpp, controls and painting in
// main_window_layout.cpp.
class MainWindow final : public QMainWindow, public RunDisplay
{
    Q_OBJECT

public:
    MainWindow(model::Job& job, report::ReportFile& report, engine::RunState& state,
               platform::FileSystem& fileSystem, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Seams for tests; each replaces the dialog the program would otherwise show.
    void setMessagePresenter(MessagePresenter* presenter);
    void setFilePrompter(FilePrompter* prompter);
    void setPairEditor(PairEditor editor);
    void setUrlOpener(UrlOpener opener);
    void setReportPicker(ReportPicker picker);

    // Carries out a command as if its menu item or button had been chosen.
    void runCommand(int number);
    // Open without its question and dialog, for a file named on the command line: the job is
    // replaced by the file's, or left empty after the error box when the file is refused.
    void openProjectFile(const QString& path);
    // The menu bar's action for a command (shared with its toolbar button), or nullptr.
    QAction* commandAction(int number) const;
    // The context menu's action for 40009..40011, or nullptr.
    QAction* contextAction(int number) const;

    bool isRunning() const { return m_isRunning; }
    // The run going on, or the last one, is a preview.
    bool isPreview() const { return m_previewing; }
    bool isClosable() const { return !m_isRunning; }
    const QString& projectName() const { return m_projectName; }
    const QString& dialogPath() const { return m_dialogPath; }
    int selectedIndex() const { return m_selectedIndex; }
    // The pair of the list item at selectedIndex, found through its stored slot number.
    const model::FolderPair* shownPair() const;

    void FillPairList();
    void StorePairChecks();
    void ShowPairInfo();
    void ResetRunDisplay();
    void SetIdleState(bool idle);
    void UpdateTitle();
    void ShowStatusTip(StatusTip what, int command = 0, const QString& text = {});

    void ClearLog() override;
    void AppendLog(const QString& text) override;
    void SetProgress(int position) override;
    void RefreshStatistics() override;
    bool ConfirmMassDeletion(const QString& question) override;
    bool ConfirmRootCreation(const QString& question) override;
    void RunEnded(engine::RunResult result) override;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Layout.
    void CreateChildControls();
    void createActions();
    void createMenus();
    void createToolbar();
    void createPanels();
    void centreOnScreen();

    // Commands.
    void newJob();
    void openJob();
    void saveJob();
    void saveJobAs();
    void addPair();
    void EditSelectedPair();
    void RemoveSelectedPair();
    // Runs the pair editor with the help hint in the status line; its result.
    PairEdit openPairEditor(model::FolderPair& pair);
    // A real run, or with `preview` one that changes nothing.
    void execute(bool preview = false);
    void viewReport();
    // The project file as the run history records it (absolute, normalised); empty untitled.
    std::string jobKey() const;
    void showSchedule();
    void showContent();
    void showAbout();
    void onPairListClicked(int position, Qt::MouseButton button, QPoint globalPos);
    void onPairListDoubleClicked(int position);
    void onToolbarHot(int number);
    void onReportPauseEnded();
    bool saveTo(const QString& path);

    model::Job& m_job;
    report::ReportFile& m_report;
    engine::RunState& m_state;

    std::unique_ptr<MessagePresenter> m_ownPresenter;
    std::unique_ptr<FilePrompter> m_ownPrompter;
    MessagePresenter* m_presenter = nullptr;
    FilePrompter* m_prompter = nullptr;
    PairEditor m_pairEditor;
    UrlOpener m_urlOpener;
    ReportPicker m_reportPicker;

    // The name of a job never saved or opened, compared by the commands and the title.
    static inline const QString kUntitled = QStringLiteral("Untitled");
    QString m_projectName;
    QString m_dialogPath;
    int m_selectedIndex = -1;
    bool m_isRunning = false;
    bool m_previewing = false;
    // While it is open, hovers and menus leave the status line to the dialog's hint.
    bool m_pairDialogOpen = false;
    // Names the run's report in the history.
    std::chrono::system_clock::time_point m_runStartedAt;
    // What the history kept of this job's runs in this window, oldest first; View Report
    // names them and starts on the newest. A new or opened job starts without.
    struct KeptRun
    {
        std::filesystem::path report;
        bool preview = false;
    };
    std::vector<KeptRun> m_jobRuns;
    bool m_centred = false;
    bool m_awaitingFrame = false;
    QSize m_centredFrame;

    std::map<int, QAction*> m_actions;
    std::map<int, QAction*> m_contextActions;
    QMenu* m_contextMenu = nullptr;
    ClientArea* m_client = nullptr;
    Toolbar* m_toolbar = nullptr;
    PairList* m_pairList = nullptr;
    QLabel* m_methodPicture = nullptr;
    QLabel* m_statusLine = nullptr;
    ElidedLabel* m_orgLabel = nullptr;
    ElidedLabel* m_tgtLabel = nullptr;
    ElidedLabel* m_includeLabel = nullptr;
    ElidedLabel* m_excludeLabel = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QPlainTextEdit* m_logBox = nullptr;
    PictureButton* m_reportButton = nullptr;
    QTimer m_reportPause;
    std::unique_ptr<RunController> m_run;
    // What a preview reads through: a listing of it removes not even crash leftovers.
    platform::PosixFileSystem m_previewDisk{platform::kKeepEveryTemporary};
    std::unique_ptr<RunController> m_preview;
};

} // namespace tavrel::ui
