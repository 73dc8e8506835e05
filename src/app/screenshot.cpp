// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/screenshot.h"

#include "model/job.h"
#include "ui/common/file_dialog.h"
#include "ui/common/message_box.h"
#include "ui/pair_dialog/folder_browser.h"
#include "ui/pair_dialog/pair_dialog.h"
#include "ui/pair_dialog/tooltip_window.h"
#include "ui/window/about_dialog.h"
#include "ui/window/command_ids.h"
#include "ui/window/main_window.h"
#include "ui/window/schedule_dialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
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

// The whole screen as the window system shows it, frames and titles included; the titles of
// the windows are printed too, since a screen without a window manager draws none.
bool saveScreen(const QString& prefix, const char* what)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return false;
    for (const QWidget* shown : QApplication::topLevelWidgets())
        if (shown->isVisible() && !shown->windowTitle().isEmpty())
            std::fprintf(stderr, "%s: window \"%s\" at %d,%d %dx%d\n", what, qPrintable(shown->windowTitle()),
                         shown->frameGeometry().x(), shown->frameGeometry().y(),
                         shown->frameGeometry().width(), shown->frameGeometry().height());
    return save(screen->grabWindow(0).toImage(), prefix + QLatin1Char('-') + QLatin1String(what) + ".png");
}

// The About box, the pair options dialog, View Report's list and the folder browser, each open
// over the window on the whole screen.
void saveScreensThen(MainWindow& window, const QString& prefix, const std::function<void()>& next)
{
    auto* about = new AboutDialog(&window);
    about->show();
    QTimer::singleShot(700, &window, [&window, about, prefix, next] {
        saveScreen(prefix, "about");
        about->hide();
        about->deleteLater();
        // The pair options dialog as Edit Pair opens it, then with a help tip over it, then after
        // an Esc, which closes only the tip; then cancelled.
        QTimer::singleShot(700, &window, [prefix] {
            auto* dialog = qobject_cast<PairOptionsDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return;
            saveScreen(prefix, "dialog");
            QWidget* box = dialog->control(PairOptionsDialog::IdName);
            dialog->showControlHelp(PairOptionsDialog::IdName, box->mapToGlobal(box->rect().center()));
            QTimer::singleShot(500, dialog, [dialog, prefix] {
                saveScreen(prefix, "tip");
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(dialog->focusWidget() ? dialog->focusWidget() : dialog, &escape);
                QTimer::singleShot(500, dialog, [dialog, prefix] {
                    saveScreen(prefix, "tip-esc");
                    dialog->reject();
                });
            });
        });
        window.runCommand(command::EditPair);
        // View Report's list, closed again; what it would open is printed.
        window.setUrlOpener([](const QUrl& url) {
            std::fprintf(stderr, "would open %s\n", qPrintable(url.toLocalFile()));
            return true;
        });
        QTimer::singleShot(700, &window, [prefix] {
            saveScreen(prefix, "reports");
            if (QWidget* list = QApplication::activeModalWidget())
                list->close();
        });
        window.runCommand(command::ViewReport);
        // The folder browser for an empty path box, with the focus in its tree.
        auto* browser = new FolderBrowser(QString(), window.font(), &window);
        browser->show();
        QTimer::singleShot(700, &window, [browser, prefix, next] {
            saveScreen(prefix, "browser");
            std::fprintf(stderr, "browser: \"%s\", OK %s\n", qPrintable(browser->pathField()->text()),
                         browser->okButton()->isEnabled() ? "enabled" : "disabled");
            browser->hide();
            browser->deleteLater();
            next();
        });
    });
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
    const QString screens = qEnvironmentVariable("TAVREL_SCREENSHOT_SCREEN");
    if (!screens.isEmpty() && !window.property("screensTaken").toBool()) {
        window.setProperty("screensTaken", true);
        saveScreensThen(window, screens, [&window, file] { saveAndQuit(window, file); });
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
    bool given = false;
    const int after = qEnvironmentVariableIntValue("TAVREL_SCREENSHOT_AFTER_MS", &given);
    QTimer::singleShot(given ? after : 300, &window, [&window, file] { saveAndQuit(window, file); });
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
    const QString run = qEnvironmentVariable("TAVREL_SCREENSHOT_RUN");
    const QString screens = qEnvironmentVariable("TAVREL_SCREENSHOT_SCREEN");
    QTimer::singleShot(200, &window, [&window, file, job, run, screens] {
        QElapsedTimer clock;
        if (!job.isEmpty()) {
            static FixedPrompter prompter(job);
            window.setFilePrompter(&prompter);
            window.runCommand(command::Open);
            if (run == QLatin1String("1") || run == QLatin1String("preview")) {
                clock.start();
                window.runCommand(run == QLatin1String("preview") ? command::Preview : command::Execute);
                // A picture of the run going on, taken in a pause of the worker's flushes.
                if (!screens.isEmpty())
                    QTimer::singleShot(100, &window, [&window, screens] {
                        if (window.isRunning())
                            saveScreen(screens, "running");
                    });
            }
        }
        whenIdle(window, file, clock);
    });
}

} // namespace tavrel::ui
