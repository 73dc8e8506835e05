// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/main_window.h"

#include "report/report_file.h"
#include "ui/common/artwork.h"
#include "ui/common/file_dialog.h"
#include "ui/common/message_box.h"
#include "ui/common/string_table.h"
#include "ui/pair_dialog/pair_dialog.h"
#include "ui/window/client_area.h"
#include "ui/window/command_ids.h"
#include "ui/window/pair_list.h"
#include "ui/window/panel_painter.h"
#include "ui/window/panel_widgets.h"
#include "ui/window/report_chooser.h"
#include "ui/window/toolbar.h"

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextCursor>
#include <algorithm>

namespace tavrel::ui {

namespace {

const QString kUnknown = QStringLiteral("(Unknown)");
constexpr int kStatusTipLength = 78;
constexpr int kFrameWaitMs = 2000;
// Joined pattern texts are kept to what the label's text buffer held.
constexpr int kJoinedTextLength = 2047;

QString qs(const std::u16string& text)
{
    return QString::fromStdU16String(text);
}

QString joined(const model::PatternList& list, bool noneWhenEmpty)
{
    if (list.empty())
        return noneWhenEmpty ? QStringLiteral("(None)") : QString();
    return qs(model::joinPatternList(list));
}

} // namespace

MainWindow::MainWindow(model::Job& job, report::ReportFile& report, engine::RunState& state,
                       platform::FileSystem& fileSystem, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      m_job(job), m_report(report), m_state(state),
      m_ownPresenter(std::make_unique<DialogMessagePresenter>()),
      m_ownPrompter(std::make_unique<DialogFilePrompter>()), m_presenter(m_ownPresenter.get()),
      m_prompter(m_ownPrompter.get()), m_projectName(kUntitled)
{
    setObjectName(QStringLiteral("Tavrel Synchronizer"));
    setWindowIcon(artwork::programIcon());
    m_pairEditor = [this](QWidget* owner, model::FolderPair& pair) {
        PairOptionsDialog dialog(m_job, pair, *m_presenter, owner);
        return dialog.exec() == PairOptionsDialog::kResultOk ? PairEdit::Accepted : PairEdit::Cancelled;
    };
    m_urlOpener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    m_reportPicker = &ReportChooser::choose;
    m_run = std::make_unique<RunController>(job, state, fileSystem, report, *this);
    m_preview = std::make_unique<RunController>(job, state, m_previewDisk, report, *this,
                                                RunController::Kind::Preview);

    CreateChildControls();
    m_state.reset();
    UpdateTitle();

    m_reportPause.setSingleShot(true);
    m_reportPause.setInterval(3000);
    connect(&m_reportPause, &QTimer::timeout, this, &MainWindow::onReportPauseEnded);
}

MainWindow::~MainWindow()
{
    // A run still going has to end before the window's parts go away.
    m_run.reset();
    m_preview.reset();
    m_job.clear();
}

void MainWindow::setMessagePresenter(MessagePresenter* presenter)
{
    m_presenter = presenter ? presenter : m_ownPresenter.get();
}

void MainWindow::setFilePrompter(FilePrompter* prompter)
{
    m_prompter = prompter ? prompter : m_ownPrompter.get();
}

void MainWindow::setPairEditor(PairEditor editor)
{
    m_pairEditor = std::move(editor);
}

void MainWindow::setUrlOpener(UrlOpener opener)
{
    m_urlOpener = std::move(opener);
}

void MainWindow::setReportPicker(ReportPicker picker)
{
    m_reportPicker = std::move(picker);
}

QAction* MainWindow::commandAction(int number) const
{
    const auto found = m_actions.find(number);
    return found == m_actions.end() ? nullptr : found->second;
}

QAction* MainWindow::contextAction(int number) const
{
    const auto found = m_contextActions.find(number);
    return found == m_contextActions.end() ? nullptr : found->second;
}

const model::FolderPair* MainWindow::shownPair() const
{
    if (m_selectedIndex < 0)
        return nullptr;
    return m_job.pairAt(m_pairList->slotAt(m_selectedIndex));
}

void MainWindow::FillPairList()
{
    m_pairList->clear();
    int position = 0;
    for (int slot : m_job.occupiedSlots()) {
        const model::FolderPair* pair = m_job.pairAt(slot);
        m_pairList->insertPair(position++, qs(pair->name), slot, pair->enabled != 0);
    }
}

void MainWindow::StorePairChecks()
{
    for (int position = 0; position < m_pairList->count(); ++position) {
        if (model::FolderPair* pair = m_job.pairAt(m_pairList->slotAt(position)))
            pair->enabled = m_pairList->isCheckedAt(position) ? 1 : 0;
    }
}

void MainWindow::ShowPairInfo()
{
    m_client->update(kOptionValueArea);
    m_client->update(kMethodLineArea);
    const model::FolderPair* pair = shownPair();
    if (!pair) {
        for (ElidedLabel* label : {m_orgLabel, m_tgtLabel, m_includeLabel, m_excludeLabel})
            label->setFullText(kUnknown);
        m_methodPicture->setPixmap(artwork::noPairPicture());
        return;
    }
    m_orgLabel->setFullText(qs(pair->orgPath));
    m_tgtLabel->setFullText(qs(pair->tgtPath));
    const QString include =
        joined(pair->includeFiles, false) + QStringLiteral(" / ") + joined(pair->includeFolders, false);
    const QString exclude =
        joined(pair->excludeFiles, true) + QStringLiteral(" / ") + joined(pair->excludeFolders, true);
    m_includeLabel->setFullText(include.left(kJoinedTextLength));
    m_excludeLabel->setFullText(exclude.left(kJoinedTextLength));
    const QPixmap picture = artwork::methodPicture(int(pair->method));
    if (!picture.isNull())
        m_methodPicture->setPixmap(picture);
}

void MainWindow::ResetRunDisplay()
{
    m_state.reset();
    RefreshStatistics();
    SetProgress(0);
    ClearLog();
}

void MainWindow::SetIdleState(bool idle)
{
    for (int number : {command::New, command::Open, command::Save, command::SaveAs, command::Exit,
                       command::AddPair, command::EditPair, command::RemovePair, command::Execute,
                       command::Preview, command::Schedule, command::Content, command::About})
        m_actions.at(number)->setEnabled(idle);
    m_actions.at(command::Stop)->setEnabled(!idle);
    for (const auto& [number, action] : m_contextActions)
        action->setEnabled(idle);
    m_actions.at(command::ViewReport)->setEnabled(idle);
    m_reportButton->setEnabled(idle);
}

void MainWindow::UpdateTitle()
{
    QString name = m_projectName;
    if (name != kUntitled)
        name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    // A preview looks like a run while it lasts; the title tells them apart from the start.
    const QString mark = m_isRunning && m_previewing ? kPreviewTitleMark : QString();
    setWindowTitle(mark + name + QStringLiteral(" - Tavrel Synchronizer"));
}

void MainWindow::ShowStatusTip(StatusTip what, int command, const QString& text)
{
    switch (what) {
    case StatusTip::Clear:
        m_statusLine->setText(QString());
        break;
    case StatusTip::Command:
        m_statusLine->setText(command > 0 ? loadString(command).left(kStatusTipLength) : QString());
        break;
    case StatusTip::Text:
        if (!text.isEmpty())
            m_statusLine->setText(text);
        break;
    }
}

void MainWindow::ClearLog()
{
    m_logBox->clear();
}

void MainWindow::AppendLog(const QString& text)
{
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // Added at the end whatever the user has selected; the caret follows, so the box scrolls.
    QTextCursor cursor = m_logBox->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(plain);
    m_logBox->setTextCursor(cursor);
}

void MainWindow::SetProgress(int position)
{
    m_progressBar->setValue(std::clamp(position, 0, 1000));
}

void MainWindow::RefreshStatistics()
{
    m_client->update(kCounterArea);
    m_client->update(kProgressTextArea);
}

bool MainWindow::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::WindowUnblocked:
        if (m_toolbar)
            m_toolbar->clearStaleHover();
        break;
    case QEvent::Move:
    case QEvent::WindowActivate:
        // The window manager adds its frame after the window is shown; centre again once its
        // size is known, so the whole window and not only its inside sits in the middle.
        if (m_awaitingFrame && frameGeometry().size() != m_centredFrame) {
            m_awaitingFrame = false;
            centreOnScreen();
        }
        break;
    default:
        break;
    }
    return QMainWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closing is refused while a worker still reads the job; the status line says why, since
    // a close box that does nothing looks broken.
    if (m_isRunning || m_run->isActive() || m_preview->isActive()) {
        event->ignore();
        ShowStatusTip(StatusTip::Text, 0, QStringLiteral("Stop the run before closing."));
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        centreOnScreen();
        // A frame that has not come by then is not coming; later moves are the user's.
        m_awaitingFrame = true;
        QTimer::singleShot(kFrameWaitMs, this, [this] { m_awaitingFrame = false; });
    }
}

} // namespace tavrel::ui
