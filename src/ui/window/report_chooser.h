// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <filesystem>

class QListWidget;

namespace tavrel::ui {

// The text View Report shows for a kept report: the local time its name carries
// ("2021-03-04 05:06:07"), with the number of a second run in the same second ("... (2)").
QString keptReportLabel(const std::filesystem::path& report);

// View Report's list of the kept reports, newest first, one of them chosen at the start; Open
// (or a double click) takes the chosen one.
class ReportChooser final : public QDialog
{
    Q_OBJECT

public:
    ReportChooser(const QStringList& labels, int preselected, QWidget* owner);

    QListWidget* list() const { return m_list; }
    // The chosen row, or -1.
    int chosenRow() const;

    // Opens the chooser modally; the chosen row, or -1 when cancelled.
    static int choose(QWidget* owner, const QStringList& labels, int preselected);

private:
    QListWidget* m_list;
};

} // namespace tavrel::ui
