// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/schedule_dialog.h"

#include "platform/app_paths.h"
#include "schedule/user_units.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace tavrel::ui {

namespace {

std::string fileBytes(const QString& path)
{
    // File names are bytes; QFile knows how they became text.
    return QFile::encodeName(path).toStdString();
}

QString fromBytes(const std::string& bytes)
{
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

QString lingeringText()
{
    switch (schedule::lingering()) {
    case schedule::Lingering::On:
        return QStringLiteral("Lingering is on: timers run also while you are not logged in.");
    case schedule::Lingering::Off:
        return QStringLiteral("Lingering is off: timers run only while you are logged in. To run them "
                              "at any time, run once in a terminal: %1")
            .arg(QString::fromLatin1(schedule::kEnableLingering.data(),
                                     static_cast<qsizetype>(schedule::kEnableLingering.size())));
    case schedule::Lingering::Unknown:
        break;
    }
    return QStringLiteral("Whether lingering is on cannot be told: without it, timers run only while "
                          "you are logged in.");
}

} // namespace

ScheduleDialog::ScheduleDialog(const QString& jobFile, const QString& runner, QWidget* owner)
    : QDialog(owner), m_jobFile(jobFile), m_runner(runner)
{
    setWindowTitle(QStringLiteral("Schedule"));
    auto* layout = new QVBoxLayout(this);

    auto* job = new QLabel(QStringLiteral("Runs %1 as saved, without the window; its report and a desktop "
                                          "notice on errors tell how it went.")
                               .arg(QFileInfo(jobFile).fileName()),
                           this);
    job->setTextFormat(Qt::PlainText);
    job->setWordWrap(true);
    layout->addWidget(job);
    m_current = new QLabel(this);
    m_current->setObjectName(QStringLiteral("current"));
    m_current->setTextFormat(Qt::PlainText);
    layout->addWidget(m_current);

    auto* grid = new QGridLayout;
    m_choices = new QButtonGroup(this);
    const auto addChoice = [&](Choice id, const QString& text, QWidget* value) {
        auto* button = new QRadioButton(text, this);
        button->setObjectName(QStringLiteral("choice%1").arg(id));
        m_choices->addButton(button, id);
        grid->addWidget(button, id, 0);
        if (value) {
            grid->addWidget(value, id, 1);
            value->setEnabled(false);
            connect(button, &QRadioButton::toggled, value, &QWidget::setEnabled);
        }
    };
    m_time = new QTimeEdit(QTime(2, 30), this);
    m_time->setObjectName(QStringLiteral("time"));
    m_time->setDisplayFormat(QStringLiteral("HH:mm"));
    m_span = new QLineEdit(QStringLiteral("2h"), this);
    m_span->setObjectName(QStringLiteral("span"));
    m_span->setToolTip(QStringLiteral("A systemd time span: 30min, 2h, 1d 12h"));
    addChoice(Daily, QStringLiteral("&Daily at"), m_time);
    addChoice(Hourly, QStringLiteral("&Hourly"), nullptr);
    addChoice(Every, QStringLiteral("&Every"), m_span);
    addChoice(OnLogin, QStringLiteral("At &login"), nullptr);
    m_choices->button(Daily)->setChecked(true);
    grid->setColumnStretch(2, 1);
    layout->addLayout(grid);

    m_lingering = new QLabel(lingeringText(), this);
    m_lingering->setObjectName(QStringLiteral("lingering"));
    m_lingering->setWordWrap(true);
    m_lingering->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_lingering);
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("result"));
    m_result->setTextFormat(Qt::PlainText);
    m_result->setWordWrap(true);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_result);

    auto* buttons = new QDialogButtonBox(this);
    m_apply = buttons->addButton(QStringLiteral("&Apply"), QDialogButtonBox::ApplyRole);
    m_remove = buttons->addButton(QStringLiteral("&Remove"), QDialogButtonBox::DestructiveRole);
    buttons->addButton(QDialogButtonBox::Close);
    connect(m_apply, &QPushButton::clicked, this, &ScheduleDialog::apply);
    connect(m_remove, &QPushButton::clicked, this, &ScheduleDialog::remove);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    m_apply->setDefault(true);

    if (m_runner.isEmpty()) {
        m_apply->setEnabled(false);
        setResult(QStringLiteral("tavrel-sync-cli, which the timer starts, was not found beside this program "
                                 "or on PATH."),
                  true);
    }
    showCurrent();
    setMinimumWidth(420);
}

QString ScheduleDialog::findRunner()
{
    const QString name = QStringLiteral("tavrel-sync-cli");
    const QString folder = fromBytes(platform::programFolder().string());
    // Installed, the two programs share a folder; in the build tree the runner is in cli/.
    for (const QString& candidate :
         {folder + QLatin1Char('/') + name, folder + QStringLiteral("/../cli/") + name}) {
        const QFileInfo file(candidate);
        if (!folder.isEmpty() && file.isFile() && file.isExecutable())
            return file.canonicalFilePath();
    }
    return QStandardPaths::findExecutable(name);
}

bool ScheduleDialog::apply()
{
    if (m_runner.isEmpty())
        return false;
    schedule::Schedule chosen;
    switch (m_choices->checkedId()) {
    case Daily:
        chosen = {schedule::ScheduleKind::Daily,
                  m_time->time().toString(QStringLiteral("HH:mm")).toStdString()};
        break;
    case Hourly:
        chosen = {schedule::ScheduleKind::Hourly, {}};
        break;
    case Every: {
        const std::string span = m_span->text().toStdString();
        if (!schedule::parseTimeSpan(span)) {
            setResult(QStringLiteral("\"%1\" is no time span: write it as 30min, 2h or 1d 12h.")
                          .arg(m_span->text()),
                      true);
            return false;
        }
        std::string compact;
        for (const char c : span)
            if (c != ' ')
                compact += c;
        chosen = {schedule::ScheduleKind::Every, compact};
        break;
    }
    default:
        chosen = {schedule::ScheduleKind::OnLogin, {}};
        break;
    }
    const schedule::WriteResult written =
        schedule::writeSchedule(fileBytes(m_jobFile), fileBytes(m_runner), chosen);
    showCurrent();
    if (!written.failed.empty()) {
        setResult(
            QStringLiteral("Cannot write %1: %2")
                .arg(fromBytes(written.failed.string()), QString::fromStdString(written.error.message())),
            true);
        return false;
    }
    const QString unit = fromBytes(written.enabledUnit);
    if (written.enabled)
        setResult(QStringLiteral("Enabled %1.").arg(unit), false);
    else
        setResult(
            QStringLiteral("The units were written but not enabled (no user manager?). Enable them "
                           "later with: systemctl --user daemon-reload && systemctl --user enable --now "
                           "'%1'")
                .arg(unit),
            true);
    return true;
}

bool ScheduleDialog::remove()
{
    const schedule::RemoveResult removed = schedule::removeSchedule(fileBytes(m_jobFile));
    showCurrent();
    if (!removed.failed.empty()) {
        setResult(
            QStringLiteral("Cannot remove %1: %2")
                .arg(fromBytes(removed.failed.string()), QString::fromStdString(removed.error.message())),
            true);
        return false;
    }
    setResult(removed.found ? QStringLiteral("Removed the schedule.")
                            : QStringLiteral("There was no schedule."),
              false);
    return true;
}

void ScheduleDialog::showCurrent()
{
    const std::optional<std::string> when = schedule::scheduleOfJob(fileBytes(m_jobFile));
    m_current->setText(when ? QStringLiteral("Current schedule: %1").arg(QString::fromStdString(*when))
                            : QStringLiteral("Current schedule: none"));
    m_remove->setEnabled(when.has_value());
}

void ScheduleDialog::setResult(const QString& text, bool failed)
{
    m_result->setText(text);
    QPalette palette = m_result->palette();
    palette.setColor(QPalette::WindowText,
                     failed ? QColor(Qt::darkRed) : QApplication::palette().color(QPalette::WindowText));
    m_result->setPalette(palette);
}

} // namespace tavrel::ui
