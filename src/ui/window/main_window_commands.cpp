// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's commands, the pair list's clicks and the end of a run.
#include "engine/run_outcome.h"
#include "platform/app_paths.h"
#include "project/project_file.h"
#include "report/report_file.h"
#include "report/report_history.h"
#include "ui/common/file_dialog.h"
#include "ui/common/message_box.h"
#include "ui/window/about_dialog.h"
#include "ui/window/command_ids.h"
#include "ui/window/main_window.h"
#include "ui/window/pair_list.h"
#include "ui/window/panel_widgets.h"
#include "ui/window/report_chooser.h"
#include "ui/window/schedule_dialog.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <algorithm>

namespace tavrel::ui {

namespace {

const QString kPrompt = QStringLiteral("PROMPT");
const QString kInformation = QStringLiteral("INFORMATION");
const QString kHelpFile = QStringLiteral("TavrelSync.html");

std::filesystem::path toPath(const QString& path)
{
    // File names are bytes; QFile knows how the dialog turned them into text.
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

} // namespace

void MainWindow::runCommand(int number)
{
    // A disabled command does nothing, whichever way it arrives.
    if (QAction* action = commandAction(number); action && !action->isEnabled())
        return;
    switch (number) {
    case command::New:
        newJob();
        break;
    case command::Open:
        openJob();
        break;
    case command::Save:
        saveJob();
        break;
    case command::SaveAs:
        saveJobAs();
        break;
    case command::Exit:
        close();
        break;
    case command::AddPair:
        addPair();
        break;
    case command::EditPair:
        EditSelectedPair();
        break;
    case command::RemovePair:
        RemoveSelectedPair();
        break;
    case command::Execute:
        execute();
        break;
    case command::Preview:
        execute(true);
        break;
    case command::Stop:
        (m_previewing ? m_preview : m_run)->requestStop();
        break;
    case command::ViewReport:
        viewReport();
        break;
    case command::Schedule:
        showSchedule();
        break;
    case command::Content:
        showContent();
        break;
    case command::About:
        showAbout();
        break;
    default:
        break;
    }
}

void MainWindow::showSchedule()
{
    // A timer runs a project file, so there must be one.
    if (m_projectName == kUntitled) {
        m_presenter->ask(this, kInformation,
                         QStringLiteral("Save the job first: a schedule runs its project file."),
                         MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    ScheduleDialog dialog(m_projectName, ScheduleDialog::findRunner(), this);
    dialog.exec();
}

void MainWindow::newJob()
{
    if (m_job.count() > 0 &&
        m_presenter->ask(
            this, kPrompt,
            QStringLiteral("This operation will close the current project. Do you want to continue?"),
            MessageIcon::Question, MessageButtons::OkCancel) != MessageAnswer::Ok)
        return;
    m_projectName = kUntitled;
    UpdateTitle();
    m_job.clear();
    m_jobRuns.clear();
    FillPairList();
    m_selectedIndex = -1;
    ShowPairInfo();
    ResetRunDisplay();
}

void MainWindow::openJob()
{
    if (m_job.count() > 0 &&
        m_presenter->ask(this, kPrompt,
                         QStringLiteral("In order to open an existent project, you must close the current "
                                        "project. Do you want to continue?"),
                         MessageIcon::Question, MessageButtons::OkCancel) != MessageAnswer::Ok)
        return;
    const QString chosen = m_prompter->openPath(this, m_dialogPath);
    if (chosen.isEmpty())
        return;
    openProjectFile(chosen);
}

void MainWindow::openProjectFile(const QString& path)
{
    m_dialogPath = path;
    m_job.clear();
    m_jobRuns.clear();
    if (project::openProject(m_job, toPath(m_dialogPath))) {
        m_projectName = m_dialogPath;
    } else {
        m_presenter->ask(this, kErrorTitle, QStringLiteral("Failed to open TSP file."), MessageIcon::Error,
                         MessageButtons::Ok);
        m_job.clear();
        // The job is empty now, not the previous project: a later Save must ask for a name
        // rather than overwrite that project, or the file that just failed, with nothing.
        m_projectName = kUntitled;
    }
    UpdateTitle();
    FillPairList();
    m_selectedIndex = m_pairList->selectedPosition();
    ShowPairInfo();
    ResetRunDisplay();
}

bool MainWindow::saveTo(const QString& path)
{
    if (project::saveProject(m_job, toPath(path)))
        return true;
    m_presenter->ask(this, kErrorTitle, QStringLiteral("Failed to save TSP file."), MessageIcon::Error,
                     MessageButtons::Ok);
    return false;
}

void MainWindow::saveJob()
{
    StorePairChecks();
    if (m_projectName == kUntitled) {
        saveJobAs();
        return;
    }
    // The project's own file: after a failed Save As the dialog path names a file that is not
    // this project.
    saveTo(m_projectName);
}

void MainWindow::saveJobAs()
{
    StorePairChecks();
    const QString chosen = m_prompter->savePath(this, m_dialogPath);
    if (chosen.isEmpty())
        return;
    m_dialogPath = chosen;
    if (saveTo(m_dialogPath)) {
        m_projectName = m_dialogPath;
        UpdateTitle();
    }
}

void MainWindow::addPair()
{
    model::FolderPair* pair = m_job.addPair();
    if (!pair) {
        m_presenter->ask(this, kErrorTitle,
                         QStringLiteral("Cannot add a new pair. Perhaps it has reached the limitation."),
                         MessageIcon::Error, MessageButtons::Ok);
        return;
    }
    pair->includeSubfolders = 1;
    pair->recycleDeleted = 1;
    const int slot = m_job.slotOf(pair);
    if (openPairEditor(*pair) != PairEdit::Accepted) {
        m_job.removePair(slot);
        return;
    }
    // The new pair took the lowest empty slot, so exactly `slot` items precede it.
    m_pairList->insertPair(slot, QString::fromStdU16String(pair->name), slot, true);
    m_selectedIndex = slot;
    ShowPairInfo();
}

void MainWindow::EditSelectedPair()
{
    if (m_isRunning)
        return;
    const int position = m_pairList->selectedPosition();
    model::FolderPair* pair = m_job.pairAt(m_pairList->slotAt(position));
    if (!pair)
        return;
    openPairEditor(*pair);
    ShowPairInfo();
    m_pairList->setNameAt(position, QString::fromStdU16String(pair->name));
}

PairEdit MainWindow::openPairEditor(model::FolderPair& pair)
{
    if (!m_pairEditor)
        return PairEdit::Cancelled;
    // The dialog's own layout has no room to say how its help is reached. The status line
    // says it for as long as the dialog is open, whichever way it was opened: the leave that
    // the dialog's appearing sends to a toolbar button, or a menu closing, must not wipe it.
    ShowStatusTip(StatusTip::Text, 0, kPairDialogHelpHint);
    m_pairDialogOpen = true;
    const PairEdit result = m_pairEditor(this, pair);
    m_pairDialogOpen = false;
    ShowStatusTip(StatusTip::Clear);
    return result;
}

void MainWindow::RemoveSelectedPair()
{
    const int position = m_pairList->selectedPosition();
    if (position >= 0) {
        const QString name = m_pairList->nameAt(position);
        if (m_presenter->ask(this, kPrompt, QStringLiteral("Do you want to remove %1?").arg(name),
                             MessageIcon::Question, MessageButtons::YesNo) == MessageAnswer::Yes) {
            m_job.removePair(m_pairList->slotAt(position));
            m_pairList->removeAt(position);
        }
    }
    m_selectedIndex = m_pairList->selectedPosition();
    ShowPairInfo();
}

void MainWindow::execute(bool preview)
{
    StorePairChecks();
    SetIdleState(false);
    m_isRunning = true;
    m_previewing = preview;
    UpdateTitle();
    m_runStartedAt = std::chrono::system_clock::now();
    const std::filesystem::path jobFile =
        m_projectName == kUntitled ? std::filesystem::path() : toPath(m_projectName);
    if (!(preview ? m_preview : m_run)->start(jobFile)) {
        m_presenter->ask(this, kErrorTitle, QStringLiteral("Cannot process synchronization."),
                         MessageIcon::Error, MessageButtons::Ok);
        SetIdleState(true);
        m_isRunning = false;
        UpdateTitle();
    }
}

void MainWindow::RunEnded(engine::RunResult result)
{
    RefreshStatistics();
    AppendLog(QStringLiteral("End process.\r\n"));
    SetIdleState(true);
    m_isRunning = false;
    UpdateTitle();
    // Every run's report, a preview's too, is kept in the history that View Report opens. A
    // history that cannot be written leaves View Report on the report itself.
    // The box's text is the runner's last line; only the title and icon are the window's.
    const int32_t errors = m_state.errors.load();
    const engine::RunOutcome outcome = engine::outcomeOf(result, errors);
    // With its summary, so `tavrel-sync-cli history` and another window list it by job.
    report::RunSummary summary;
    summary.job = jobKey();
    summary.outcome = engine::outcomeName(outcome);
    summary.errors = errors;
    summary.changes = m_state.allOperations.load();
    summary.preview = m_previewing;
    const std::filesystem::path kept =
        report::keepReport(m_report.path(), report::defaultHistoryFolder(), m_runStartedAt,
                           report::kKeptReports, nullptr, &summary);
    if (!kept.empty())
        m_jobRuns.push_back({kept, m_previewing});
    const QString text = QString::fromStdString(m_previewing ? engine::previewOutcomeText(outcome, errors)
                                                             : engine::outcomeText(outcome, errors));
    switch (outcome) {
    case engine::RunOutcome::Succeeded:
        SetProgress(1000);
        m_presenter->ask(this, kInformation, text, MessageIcon::Information, MessageButtons::Ok);
        break;
    case engine::RunOutcome::CompletedWithErrors:
        // The run went through every pair, as a success does; the icon tells the difference.
        SetProgress(1000);
        m_presenter->ask(this, kInformation, text, MessageIcon::Warning, MessageButtons::Ok);
        break;
    case engine::RunOutcome::Stopped:
        m_presenter->ask(this, kInformation, text, MessageIcon::Information, MessageButtons::Ok);
        break;
    case engine::RunOutcome::DiskFull:
    case engine::RunOutcome::Unknown:
        m_presenter->ask(this, kErrorTitle, text, MessageIcon::Error, MessageButtons::Ok);
        break;
    }
}

bool MainWindow::ConfirmMassDeletion(const QString& question)
{
    // No is the default: an unplugged or emptied source asks this very question.
    const bool yes = m_presenter->ask(this, kPrompt, question + kMassDeletionNoMeans, MessageIcon::Warning,
                                      MessageButtons::YesNoDefaultNo) == MessageAnswer::Yes;
    // The log keeps the question and its answer, as the runner's error stream does.
    AppendLog(question + (yes ? QStringLiteral(" Yes: deleted.\r\n") : QStringLiteral(" No: kept.\r\n")));
    return yes;
}

bool MainWindow::ConfirmRootCreation(const QString& question)
{
    // No is the default: a drive that is away must not be filled in on the disk below it.
    return m_presenter->ask(this, kPrompt, question, MessageIcon::Warning, MessageButtons::YesNoDefaultNo) ==
           MessageAnswer::Yes;
}

std::string MainWindow::jobKey() const
{
    if (m_projectName == kUntitled)
        return {};
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(toPath(m_projectName), error);
    return error ? std::string() : absolute.lexically_normal().string();
}

void MainWindow::viewReport()
{
    // The history, newest first, starting on this job's newest run: another program's run
    // (a scheduled one, another window's) may be newer. The report itself before any is kept.
    // Runs the history's index names (a timer's, the runner's, an earlier window's) are
    // labelled by their job too; the list starts on this window's newest run, else on this
    // job's newest.
    const std::vector<report::KeptRun> kept = report::keptRuns(report::defaultHistoryFolder());
    std::filesystem::path shown = m_report.path();
    if (!kept.empty()) {
        const std::vector<report::KeptRun> newestFirst(kept.rbegin(), kept.rend());
        const QString jobName = m_projectName.mid(m_projectName.lastIndexOf(QLatin1Char('/')) + 1);
        const std::string thisJob = jobKey();
        QStringList labels;
        int preselected = -1;
        int thisJobsNewest = -1;
        for (const report::KeptRun& run : newestFirst) {
            QString label = keptReportLabel(run.report);
            const auto own = std::find_if(m_jobRuns.begin(), m_jobRuns.end(),
                                          [&run](const KeptRun& mine) { return mine.report == run.report; });
            if (own != m_jobRuns.end()) {
                label += QStringLiteral("  ") + jobName;
                if (own->preview)
                    label += QStringLiteral(" (preview)");
                if (preselected < 0)
                    preselected = int(labels.size());
            } else if (run.summary && !run.summary->job.empty()) {
                const std::filesystem::path job(run.summary->job);
                label += QStringLiteral("  ") + QFile::decodeName(job.filename().c_str());
                if (run.summary->preview)
                    label += QStringLiteral(" (preview)");
                if (thisJobsNewest < 0 && !thisJob.empty() && run.summary->job == thisJob)
                    thisJobsNewest = int(labels.size());
            }
            labels << label;
        }
        if (preselected < 0)
            preselected = thisJobsNewest;
        const int chosen = m_reportPicker ? m_reportPicker(this, labels, std::max(preselected, 0)) : 0;
        if (chosen < 0 || chosen >= int(newestFirst.size()))
            return;
        shown = newestFirst[std::size_t(chosen)].report;
    }
    m_urlOpener(QUrl::fromLocalFile(QFile::decodeName(shown.c_str())));
    m_reportButton->setEnabled(false);
    m_actions.at(command::ViewReport)->setEnabled(false);
    m_reportPause.start();
}

void MainWindow::onReportPauseEnded()
{
    if (!m_isRunning) {
        m_reportButton->setEnabled(true);
        m_actions.at(command::ViewReport)->setEnabled(true);
    }
}

void MainWindow::showContent()
{
    // Beside the program in a build tree; with the program's data once installed (not under
    // share/doc, which a system may leave out).
    const std::filesystem::path folder = platform::programFolder();
    const QString places[] = {
        QFile::decodeName((folder / kHelpFile.toStdString()).c_str()),
        QFile::decodeName(
            (folder / "../share/tavrel-sync" / kHelpFile.toStdString()).lexically_normal().c_str())};
    for (const QString& help : places) {
        if (QFileInfo(help).isFile()) {
            m_urlOpener(QUrl::fromLocalFile(help));
            return;
        }
    }
    // Without the file the desktop would silently do nothing; say where it was looked for.
    m_presenter->ask(this, kErrorTitle,
                     QStringLiteral("Cannot find the help file %1 or %2.").arg(places[0], places[1]),
                     MessageIcon::Error, MessageButtons::Ok);
}

void MainWindow::showAbout()
{
    AboutDialog dialog(this);
    dialog.exec();
}

void MainWindow::onPairListClicked(int position, Qt::MouseButton button, QPoint globalPos)
{
    m_selectedIndex = position;
    ShowPairInfo();
    if (button == Qt::RightButton)
        m_contextMenu->popup(globalPos);
}

void MainWindow::onPairListDoubleClicked(int position)
{
    m_selectedIndex = position;
    ShowPairInfo();
    EditSelectedPair();
}

void MainWindow::onToolbarHot(int number)
{
    if (m_pairDialogOpen)
        return;
    ShowStatusTip(m_isRunning ? StatusTip::Clear : StatusTip::Command, number);
}

} // namespace tavrel::ui
