// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;

namespace tavrel::ui {

// Operation > Schedule...: runs the saved job by a systemd user timer or at login, as
// `tavrel-sync-cli schedule` does and through the same code (schedule/user_units.h). Shows the
// job's current schedule and whether lingering is on, and how to turn it on; Apply writes and
// enables the units, Remove takes them away. What happened shows in the dialog's result line.
class ScheduleDialog final : public QDialog
{
    Q_OBJECT

public:
    // `jobFile` is the saved project file the units run; `runner` the tavrel-sync-cli they
    // start (empty: not found, so nothing can be scheduled and the dialog says so).
    ScheduleDialog(const QString& jobFile, const QString& runner, QWidget* owner);

    // The button group's ids of the four schedules.
    enum Choice
    {
        Daily,
        Hourly,
        Every,
        OnLogin,
    };

    // The runner beside the window program (an installed tree), in the build tree's cli/
    // folder, or on PATH; empty when none is found.
    static QString findRunner();

    // Writes and enables the chosen schedule; false (and the reason in the result line) when
    // the time span is not one or a unit cannot be written.
    bool apply();
    // Disables and deletes the job's units.
    bool remove();

private:
    void showCurrent();
    void setResult(const QString& text, bool failed);

    QString m_jobFile;
    QString m_runner;
    QLabel* m_current = nullptr;
    QLabel* m_lingering = nullptr;
    QLabel* m_result = nullptr;
    QButtonGroup* m_choices = nullptr;
    QTimeEdit* m_time = nullptr;
    QLineEdit* m_span = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_remove = nullptr;
};

} // namespace tavrel::ui
