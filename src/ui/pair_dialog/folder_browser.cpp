// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pair_dialog/folder_browser.h"

#include "model/text_rules.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

namespace tavrel::ui {

namespace {

// Client area of the browser and its controls, in pixels.
constexpr QSize kClientSize(318, 292);
constexpr QRect kTreeRect(14, 10, 290, 205);
constexpr QRect kLabelRect(14, 218, 290, 14);
constexpr QRect kPathRect(14, 233, 290, 18);
constexpr QRect kOkRect(148, 259, 75, 23);
constexpr QRect kCancelRect(229, 259, 75, 23);

} // namespace

FolderBrowser::FolderBrowser(const QString& initialPath, const QFont& fieldFont, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_model(new QFileSystemModel(this)), m_tree(new QTreeView(this)),
      m_label(new QLabel(tr("You have selected the folder :"), this)), m_pathField(new QLineEdit(this)),
      m_okButton(new QPushButton(tr("OK"), this)), m_cancelButton(new QPushButton(tr("Cancel"), this))
{
    setWindowTitle(tr("Browse For Folder"));
    setFixedSize(kClientSize);

    m_model->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    m_model->setRootPath(QString());
    m_model->setReadOnly(true);

    m_tree->setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_tree->hideColumn(column);
    m_tree->setHeaderHidden(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_tree->setLineWidth(1);
    m_tree->setGeometry(kTreeRect);

    m_label->setFont(fieldFont);
    m_label->setGeometry(kLabelRect);
    m_pathField->setFont(fieldFont);
    m_pathField->setReadOnly(true);
    m_pathField->setGeometry(kPathRect);

    m_okButton->setGeometry(kOkRect);
    m_okButton->setDefault(true);
    m_okButton->setEnabled(false);
    m_cancelButton->setGeometry(kCancelRect);

    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &FolderBrowser::onSelectionChanged);
    connect(m_tree->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FolderBrowser::onSelectionChanged);
    // The model fills in the background; keep the chosen folder in view once it is there.
    connect(m_model, &QFileSystemModel::directoryLoaded, this, [this] {
        if (m_tree->currentIndex().isValid())
            m_tree->scrollTo(m_tree->currentIndex());
    });

    setTabOrder(m_tree, m_pathField);
    setTabOrder(m_pathField, m_okButton);
    setTabOrder(m_okButton, m_cancelButton);
    selectPath(initialPath);
    m_tree->setFocus();
}

void FolderBrowser::selectPath(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isDir())
        return;
    const QModelIndex index = m_model->index(info.absoluteFilePath());
    if (!index.isValid())
        return;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        m_tree->expand(parent);
    m_tree->setCurrentIndex(index);
    m_tree->scrollTo(index);
}

QModelIndex FolderBrowser::chosenIndex() const
{
    // The tree makes its first item ("/") current, unselected, when it takes the focus with
    // nothing chosen; only a folder the user or the box's path selected counts.
    const QModelIndex index = m_tree->currentIndex();
    return m_tree->selectionModel()->isSelected(index) ? index : QModelIndex();
}

void FolderBrowser::onSelectionChanged()
{
    const QModelIndex index = chosenIndex();
    const QString path = index.isValid() ? m_model->filePath(index) : QString();
    m_pathField->setText(QDir::toNativeSeparators(path));
    m_pathField->setCursorPosition(0);
    // A path the pair cannot hold whole would name another folder when cut.
    m_okButton->setEnabled(!path.isEmpty() && static_cast<std::size_t>(path.size()) <= model::kPathCapacity);
}

QString FolderBrowser::selectedPath() const
{
    if (!m_okButton->isEnabled())
        return QString();
    return QDir::toNativeSeparators(m_model->filePath(chosenIndex()));
}

std::optional<QString> FolderBrowser::choose(QWidget* owner, const QString& initialPath,
                                             const QFont& fieldFont)
{
    FolderBrowser browser(initialPath, fieldFont, owner);
    if (browser.exec() != QDialog::Accepted)
        return std::nullopt;
    const QString path = browser.selectedPath();
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

} // namespace tavrel::ui
