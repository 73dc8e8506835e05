// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QFont>
#include <QModelIndex>
#include <QString>
#include <optional>

class QFileSystemModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace tavrel::ui {

// Our folder browser: a tree of the file system's folders, a read-only field naming the
// selected folder and OK / Cancel. Only folders with a file-system path that fits a
// pair's path field can be confirmed.
class FolderBrowser final : public QDialog
{
    Q_OBJECT

public:
    // `initialPath` is selected when it names a folder; `fieldFont` is used for the label
    // and the path field.
    FolderBrowser(const QString& initialPath, const QFont& fieldFont, QWidget* owner);

    // The path of the selected folder, or "" when nothing usable is selected.
    QString selectedPath() const;

    QTreeView* tree() const { return m_tree; }
    QLineEdit* pathField() const { return m_pathField; }
    QPushButton* okButton() const { return m_okButton; }

    // Opens the browser modally; the chosen folder's path, or nothing when cancelled.
    static std::optional<QString> choose(QWidget* owner, const QString& initialPath, const QFont& fieldFont);

private:
    void selectPath(const QString& path);
    // The selected folder's index; invalid when none is selected.
    QModelIndex chosenIndex() const;
    void onSelectionChanged();

    QFileSystemModel* m_model;
    QTreeView* m_tree;
    QLabel* m_label;
    QLineEdit* m_pathField;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
};

} // namespace tavrel::ui
