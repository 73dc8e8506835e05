// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pair_dialog/sync_memory_dialog.h"

#include "ui/common/message_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tavrel::ui {

namespace {

// The runner takes the same bounds (--keep-versions, --keep-days).
constexpr int kMostVersions = 100'000;
constexpr int kMostDays = 36'500;

} // namespace

SyncMemoryDialog::SyncMemoryDialog(const model::PairExtras& extras, bool synchronize,
                                   MessagePresenter& messages, FolderChooser chooseFolder, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint),
      m_extras(extras), m_messages(messages), m_chooseFolder(std::move(chooseFolder))
{
    setWindowTitle(tr("More pair options"));
    setModal(true);
    if (owner != nullptr)
        setFont(owner->font());

    auto* layout = new QVBoxLayout(this);
    m_remember = new QCheckBox(tr("Remember the last run (Synchronize only)"), this);
    m_remember->setChecked(extras.rememberState);
    m_remember->setEnabled(synchronize);
    layout->addWidget(m_remember);
    auto* rememberNote =
        new QLabel(tr("Files deleted on one side since the last run are deleted on the other\n"
                      "too; items changed on both sides are conflicts."),
                   this);
    rememberNote->setIndent(20);
    layout->addWidget(rememberNote);

    auto* form = new QFormLayout();
    m_conflicts = new QComboBox(this);
    m_conflicts->addItems({tr("Leave both and log it"), tr("Keep both (the older renamed)"),
                           tr("The ORG side wins"), tr("The TGT side wins")});
    const int policy = static_cast<int>(extras.conflictPolicy);
    m_conflicts->setCurrentIndex(policy >= 0 && policy < m_conflicts->count() ? policy : 0);
    form->addRow(tr("When both sides changed:"), m_conflicts);

    auto* versionsRow = new QHBoxLayout();
    m_versions = new QLineEdit(QString::fromStdString(extras.versionsFolder), this);
    m_versions->setPlaceholderText(tr("empty: as the recycle bin switch says"));
    m_versions->setMinimumWidth(260);
    m_browse = new QPushButton(tr("..."), this);
    m_browse->setAutoDefault(false);
    m_browse->setFixedWidth(m_browse->sizeHint().height() * 2);
    versionsRow->addWidget(m_versions);
    versionsRow->addWidget(m_browse);
    form->addRow(tr("Versions folder:"), versionsRow);
    connect(m_browse, &QPushButton::clicked, this, [this] {
        if (const std::optional<QString> chosen = m_chooseFolder(this, m_versions->text()))
            m_versions->setText(*chosen);
    });

    m_keepVersions = new QSpinBox(this);
    m_keepVersions->setRange(0, kMostVersions);
    m_keepVersions->setSpecialValueText(tr("all"));
    m_keepVersions->setValue(static_cast<int>(std::min<uint32_t>(extras.keepVersions, kMostVersions)));
    form->addRow(tr("Versions kept per file:"), m_keepVersions);
    m_keepDays = new QSpinBox(this);
    m_keepDays->setRange(0, kMostDays);
    m_keepDays->setSpecialValueText(tr("no limit"));
    m_keepDays->setSuffix(tr(" days"));
    m_keepDays->setValue(static_cast<int>(std::min<uint32_t>(extras.keepDays, kMostDays)));
    form->addRow(tr("Versions kept for:"), m_keepDays);
    layout->addLayout(form);

    // Plain buttons in the pair dialog's order and look (a button box would add the
    // platform theme's icons).
    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    auto* ok = new QPushButton(tr("OK"), this);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    ok->setDefault(true);
    cancel->setAutoDefault(false);
    for (QPushButton* button : {ok, cancel}) {
        button->setMinimumWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("Cancel")) * 2);
        buttons->addWidget(button);
    }
    connect(ok, &QPushButton::clicked, this, &SyncMemoryDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &SyncMemoryDialog::reject);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void SyncMemoryDialog::accept()
{
    const QString versions = m_versions->text().trimmed();
    const QByteArray bytes = QDir::cleanPath(versions).toUtf8();
    if (!versions.isEmpty() && !QDir::isAbsolutePath(versions)) {
        m_messages.ask(this, kErrorTitle, tr("The versions folder must be a full path."), MessageIcon::Error,
                       MessageButtons::Ok);
        m_versions->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (static_cast<std::size_t>(bytes.size()) > model::kMaxVersionsFolderBytes) {
        m_messages.ask(this, kErrorTitle, tr("The versions folder is longer than 4095 bytes."),
                       MessageIcon::Error, MessageButtons::Ok);
        m_versions->setFocus(Qt::OtherFocusReason);
        return;
    }
    m_extras.rememberState = m_remember->isChecked();
    // An unknown stored policy stays as it was unless the user picks one.
    const int policy = m_conflicts->currentIndex();
    if (policy != static_cast<int>(m_extras.conflictPolicy) &&
        !(policy == 0 && (static_cast<int>(m_extras.conflictPolicy) < 0 ||
                          static_cast<int>(m_extras.conflictPolicy) >= m_conflicts->count())))
        m_extras.conflictPolicy = static_cast<model::ConflictPolicy>(policy);
    m_extras.versionsFolder = versions.isEmpty() ? std::string() : bytes.toStdString();
    m_extras.keepVersions = static_cast<uint32_t>(m_keepVersions->value());
    m_extras.keepDays = static_cast<uint32_t>(m_keepDays->value());
    QDialog::accept();
}

} // namespace tavrel::ui
