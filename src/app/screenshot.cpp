// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/screenshot.h"

#include "model/job.h"
#include "ui/common/file_dialog.h"
#include "ui/common/message_box.h"
#include "ui/pair_dialog/pair_dialog.h"
#include "ui/pair_dialog/tooltip_window.h"
#include "ui/window/command_ids.h"
#include "ui/window/main_window.h"
#include "ui/window/schedule_dialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <functional>

namespace tavrel::ui {

namespace {

class FixedPrompter final : public FilePrompter
{
public:
    explicit FixedPrompter(QString path) : m_path(std::move(path)) {}
    QString openPath(QWidget*, const QString&) override { return m_path; }
    QString savePath(QWidget*, const QString&) override { return {}; }

private:
    QString m_path;
};

class SilentPresenter final : public MessagePresenter
{
public:
    MessageAnswer ask(QWidget*, const QString& title, const QString& text, MessageIcon,
                      MessageButtons) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
        return MessageAnswer::Ok;
    }
};

bool save(const QImage& picture, const QString& file)
{
    const bool saved = picture.save(file, "PNG");
    if (!saved)
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return saved;
}

// The pair options dialog on a copy of the shown pair, then the same dialog with the help tip
// of "Include subfolders" drawn where the tip window stands over it.
void saveDialogsAndQuit(MainWindow& window, const QString& dialogFile, const QString& tipFile)
{
    static model::Job scratch;
    model::FolderPair* pair = scratch.addPair();
    if (const model::FolderPair* shown = window.shownPair())
        *pair = *shown;
    static SilentPresenter presenter;
    auto* dialog = new PairOptionsDialog(scratch, *pair, presenter, &window);
    dialog->show();
    QTimer::singleShot(300, dialog, [dialog, dialogFile, tipFile] {
        bool saved = save(dialog->grab().toImage(), dialogFile);
        QWidget* box = dialog->control(PairOptionsDialog::IdIncludeSubfolders);
        dialog->showControlHelp(PairOptionsDialog::IdIncludeSubfolders,
                                box->mapToGlobal(QPoint(box->width() / 3, box->height() / 2)));
        QTimer::singleShot(300, dialog, [dialog, tipFile, saved] {
            TooltipWindow* tip = dialog->tooltipWindow();
            // Large enough for both: the tip may reach beyond the dialog's edge.
            const QRect dialogRect = dialog->geometry();
            const QRect both = dialogRect.united(tip->geometry());
            QImage picture(both.size(), QImage::Format_ARGB32);
            picture.fill(Qt::transparent);
            {
                QPainter painter(&picture);
                painter.drawPixmap(dialogRect.topLeft() - both.topLeft(), dialog->grab());
                painter.drawImage(tip->pos() - both.topLeft(),
                                  TooltipWindow::paintTipImage(tip->tipText(), tip->tipFont(), tip->size()));
            }
            const bool tipSaved = tipFile.isEmpty() || save(picture, tipFile);
            QApplication::exit(saved && tipSaved ? 0 : 1);
        });
    });
}

void saveDialogsOrQuit(MainWindow& window)
{
    const QString dialogFile = qEnvironmentVariable("TAVREL_SCREENSHOT_DIALOG");
    if (dialogFile.isEmpty()) {
        QApplication::exit(0);
        return;
    }
    saveDialogsAndQuit(window, dialogFile, qEnvironmentVariable("TAVREL_SCREENSHOT_TIP"));
}

// The Schedule dialog of the open job, then `next`.
void saveScheduleDialog(MainWindow& window, const QString& file, std::function<void()> next)
{
    auto* dialog = new ScheduleDialog(window.projectName(), ScheduleDialog::findRunner(), &window);
    dialog->show();
    QTimer::singleShot(300, dialog, [dialog, file, next = std::move(next)] {
        const bool saved = save(dialog->grab().toImage(), file);
        dialog->close();
        if (saved)
            next();
        else
            QApplication::exit(1);
    });
}

void saveAndQuit(MainWindow& window, const QString& file)
{
    if (!save(window.grab().toImage(), file)) {
        QApplication::exit(1);
        return;
    }
    const QString scheduleFile = qEnvironmentVariable("TAVREL_SCREENSHOT_SCHEDULE");
    if (scheduleFile.isEmpty()) {
        saveDialogsOrQuit(window);
        return;
    }
    saveScheduleDialog(window, scheduleFile, [&window] { saveDialogsOrQuit(window); });
}

void whenIdle(MainWindow& window, const QString& file, const QElapsedTimer& run)
{
    if (window.isRunning()) {
        QTimer::singleShot(10, &window, [&window, file, run] { whenIdle(window, file, run); });
        return;
    }
    // How long the window took over the run, to compare with the runner on the same job.
    if (run.isValid())
        std::fprintf(stderr, "run: %lld ms\n", static_cast<long long>(run.elapsed()));
    // One more turn of the event loop so the last repaint has happened.
    QTimer::singleShot(300, &window, [&window, file] { saveAndQuit(window, file); });
}

} // namespace

void scheduleScreenshotIfAsked(MainWindow& window)
{
    const QString file = qEnvironmentVariable("TAVREL_SCREENSHOT");
    if (file.isEmpty())
        return;
    static SilentPresenter presenter;
    window.setMessagePresenter(&presenter);
    const QString job = qEnvironmentVariable("TAVREL_SCREENSHOT_JOB");
    const bool run = qEnvironmentVariable("TAVREL_SCREENSHOT_RUN") == QLatin1String("1");
    QTimer::singleShot(200, &window, [&window, file, job, run] {
        QElapsedTimer clock;
        if (!job.isEmpty()) {
            static FixedPrompter prompter(job);
            window.setFilePrompter(&prompter);
            window.runCommand(command::Open);
            if (run) {
                clock.start();
                window.runCommand(command::Execute);
            }
        }
        whenIdle(window, file, clock);
    });
}

} // namespace tavrel::ui
