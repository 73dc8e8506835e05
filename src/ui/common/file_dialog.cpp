// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/file_dialog.h"

#include <QFileDialog>

namespace tavrel::ui {

namespace {

QString runDialog(QWidget* parent, const QString& initialPath, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilter(QString::fromLatin1(kProjectFilter));
    dialog.setDefaultSuffix(QString::fromLatin1(kProjectExtension));
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (!initialPath.isEmpty())
        dialog.selectFile(initialPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

} // namespace

QString DialogFilePrompter::openPath(QWidget* parent, const QString& initialPath)
{
    return runDialog(parent, initialPath, QFileDialog::AcceptOpen);
}

QString DialogFilePrompter::savePath(QWidget* parent, const QString& initialPath)
{
    return runDialog(parent, initialPath, QFileDialog::AcceptSave);
}

} // namespace tavrel::ui
