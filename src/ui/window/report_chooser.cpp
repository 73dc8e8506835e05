// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/report_chooser.h"

#include "ui/common/owned_placement.h"
#include "ui/pair_dialog/dialog_units.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrel::ui {

namespace {

constexpr QSize kChooserSize(380, 320);
// "YYYY-MM-DD_HH-MM-SS", the time part of a kept report's name.
constexpr int kStampLength = 19;

} // namespace

QString keptReportLabel(const std::filesystem::path& report)
{
    QString stem = QFile::decodeName(report.stem().c_str());
    if (stem.size() < kStampLength)
        return stem;
    QString label =
        stem.left(10) + QLatin1Char(' ') + stem.mid(11, 8).replace(QLatin1Char('-'), QLatin1Char(':'));
    if (stem.size() > kStampLength + 1)
        label += QStringLiteral(" (") + stem.mid(kStampLength + 1) + QLatin1Char(')');
    return label;
}

ReportChooser::ReportChooser(const QStringList& labels, int preselected, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_list(new QListWidget(this))
{
    setWindowTitle(QStringLiteral("View Report"));
    setModal(true);
    setFixedSize(kChooserSize);

    auto* caption = new QLabel(QStringLiteral("Kept reports, newest first:"), this);
    m_list->setObjectName(QStringLiteral("reports"));
    m_list->addItems(labels);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    if (preselected >= 0 && preselected < m_list->count())
        m_list->setCurrentRow(preselected);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);
    QPushButton* open = buttons->button(QDialogButtonBox::Open);
    open->setDefault(true);
    open->setEnabled(m_list->currentRow() >= 0);
    connect(m_list, &QListWidget::currentRowChanged, open, [open](int row) { open->setEnabled(row >= 0); });
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    m_list->setFocus();

    if (owner != nullptr)
        placeOverOwner(*this, *owner, centredOn);
}

int ReportChooser::chosenRow() const
{
    return m_list->currentRow();
}

int ReportChooser::choose(QWidget* owner, const QStringList& labels, int preselected)
{
    ReportChooser chooser(labels, preselected, owner);
    return chooser.exec() == QDialog::Accepted ? chooser.chosenRow() : -1;
}

} // namespace tavrel::ui
