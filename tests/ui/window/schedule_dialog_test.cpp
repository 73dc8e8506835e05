// SPDX-License-Identifier: GPL-3.0-or-later
// The Schedule dialog: each choice writes the units the runner's `schedule` writes, the current
// schedule follows, a wrong time span or a missing runner is said in the dialog, and Remove
// takes the units away. systemctl is a recording stand-in (these machines have no user manager).
#include "ui/window/schedule_dialog.h"

#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

using tavrel::ui::ScheduleDialog;

namespace {

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A scratch config folder for the units and a systemctl that records its calls and exits with
// `status`.
struct Scene
{
    QTemporaryDir dir;
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    const QByteArray oldSystemctl = qgetenv("TAVREL_SYSTEMCTL");
    QString units = dir.path() + QStringLiteral("/config/systemd/user/");
    QString job = dir.path() + QStringLiteral("/night run.TSP");

    explicit Scene(int status = 0)
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path() + QStringLiteral("/config")));
        const QString systemctl = dir.path() + QStringLiteral("/systemctl");
        QFile script(systemctl);
        script.open(QIODevice::WriteOnly);
        script.write(QStringLiteral("#!/bin/sh\necho \"$*\" >> '%1/calls'\nexit %2\n")
                         .arg(dir.path())
                         .arg(status)
                         .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("TAVREL_SYSTEMCTL", QFile::encodeName(systemctl));
    }
    ~Scene()
    {
        for (const auto& [name, old] :
             {std::pair{"XDG_CONFIG_HOME", oldConfig}, {"TAVREL_SYSTEMCTL", oldSystemctl}}) {
            if (old.isNull())
                qunsetenv(name);
            else
                qputenv(name, old);
        }
    }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
};

QString text(const ScheduleDialog& dialog, const char* name)
{
    return dialog.findChild<QLabel*>(QString::fromLatin1(name))->text();
}

void choose(ScheduleDialog& dialog, int choice)
{
    dialog.findChild<QRadioButton*>(QStringLiteral("choice%1").arg(choice))->setChecked(true);
}

} // namespace

class ScheduleDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void eachChoiceWritesItsUnitsAndShowsTheSchedule()
    {
        Scene scene;
        ScheduleDialog dialog(scene.job, QStringLiteral("/opt/bin/tavrel-sync-cli"), nullptr);
        QCOMPARE(text(dialog, "current"), QStringLiteral("Current schedule: none"));
        auto* remove = dialog.findChild<QPushButton*>();
        for (QPushButton* button : dialog.findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("&Remove"))
                remove = button;
        QVERIFY(!remove->isEnabled());
        QVERIFY(text(dialog, "lingering").startsWith(QStringLiteral("Lingering is ")));

        const QString service = scene.units + QStringLiteral("tavrel-sync-night\\x20run.service");
        const QString timer = scene.units + QStringLiteral("tavrel-sync-night\\x20run.timer");
        const struct
        {
            int choice;
            const char* time;
            const char* span;
            const char* shown;
            bool hasTimer;
        } cases[] = {
            {ScheduleDialog::Daily, "06:15", "", "Current schedule: *-*-* 06:15:00", true},
            {ScheduleDialog::Every, "", "1d 12h", "Current schedule: every 1d12h", true},
            {ScheduleDialog::OnLogin, "", "", "Current schedule: at login", false},
            {ScheduleDialog::Hourly, "", "", "Current schedule: hourly", true},
        };
        for (const auto& c : cases) {
            choose(dialog, c.choice);
            if (*c.time)
                dialog.findChild<QTimeEdit*>(QStringLiteral("time"))
                    ->setTime(QTime::fromString(QString::fromLatin1(c.time), QStringLiteral("HH:mm")));
            if (*c.span)
                dialog.findChild<QLineEdit*>(QStringLiteral("span"))->setText(QString::fromLatin1(c.span));
            QVERIFY2(dialog.apply(), qPrintable(text(dialog, "result")));
            QCOMPARE(text(dialog, "current"), QString::fromLatin1(c.shown));
            QVERIFY(remove->isEnabled());
            QCOMPARE(QFile::exists(timer), c.hasTimer);
            QVERIFY(readText(service).contains(
                QStringLiteral("ExecStart=\"/opt/bin/tavrel-sync-cli\" run \"%1\"").arg(scene.job)));
            QCOMPARE(text(dialog, "result"),
                     QStringLiteral("Enabled tavrel-sync-night\\x20run.%1.")
                         .arg(c.hasTimer ? QStringLiteral("timer") : QStringLiteral("service")));
        }

        QVERIFY(dialog.remove());
        QCOMPARE(text(dialog, "current"), QStringLiteral("Current schedule: none"));
        QCOMPARE(text(dialog, "result"), QStringLiteral("Removed the schedule."));
        QVERIFY(!remove->isEnabled());
        QVERIFY(!QFile::exists(service));
        QVERIFY(!QFile::exists(timer));
    }

    void aWrongSpanWritesNothingAndSaysWhy()
    {
        Scene scene;
        ScheduleDialog dialog(scene.job, QStringLiteral("/opt/bin/tavrel-sync-cli"), nullptr);
        choose(dialog, ScheduleDialog::Every);
        dialog.findChild<QLineEdit*>(QStringLiteral("span"))->setText(QStringLiteral("soon"));
        QVERIFY(!dialog.apply());
        QCOMPARE(text(dialog, "result"),
                 QStringLiteral("\"soon\" is no time span: write it as 30min, 2h or 1d 12h."));
        QVERIFY(!QFile::exists(scene.units));
    }

    void withoutAUserManagerTheWayToEnableIsSaid()
    {
        Scene scene(1);
        ScheduleDialog dialog(scene.job, QStringLiteral("/opt/bin/tavrel-sync-cli"), nullptr);
        QVERIFY(dialog.apply());
        QVERIFY(
            text(dialog, "result")
                .contains(QStringLiteral(
                    "written but not enabled (no user manager?). Enable them later with: systemctl --user "
                    "daemon-reload && systemctl --user enable --now 'tavrel-sync-night\\x20run.timer'")));
        QCOMPARE(text(dialog, "current"), QStringLiteral("Current schedule: *-*-* 02:30:00"));
    }

    void withoutTheRunnerNothingCanBeScheduled()
    {
        Scene scene;
        ScheduleDialog dialog(scene.job, QString(), nullptr);
        for (QPushButton* button : dialog.findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("&Apply"))
                QVERIFY(!button->isEnabled());
        QVERIFY(text(dialog, "result")
                    .startsWith(QStringLiteral("tavrel-sync-cli, which the timer starts, was not found")));
    }
};

QTEST_MAIN(ScheduleDialogTest)
#include "schedule_dialog_test.moc"
