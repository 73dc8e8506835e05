// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/pair_extras.h"

#include <QDialog>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tavrel::ui {

class MessagePresenter;

// The pair options that do not fit the pair dialog's fixed layout, reached through its
// More... button: remembering the last run (Synchronize only), the conflict policy, the
// versions folder and how many versions are kept. Edits a copy; OK hands it back.
class SyncMemoryDialog final : public QDialog
{
    Q_OBJECT

public:
    using FolderChooser = std::function<std::optional<QString>(QWidget* owner, const QString& currentPath)>;

    // `synchronize`: whether the pair dialog has Synchronize ticked; otherwise remembering
    // cannot be switched on here.
    SyncMemoryDialog(const model::PairExtras& extras, bool synchronize, MessagePresenter& messages,
                     FolderChooser chooseFolder, QWidget* owner);

    // What OK accepted (the copy as edited); meaningful after a result of Accepted.
    const model::PairExtras& extras() const { return m_extras; }

    QCheckBox* rememberBox() const { return m_remember; }
    QComboBox* conflictBox() const { return m_conflicts; }
    QLineEdit* versionsBox() const { return m_versions; }
    QPushButton* browseButton() const { return m_browse; }
    QSpinBox* keepVersionsBox() const { return m_keepVersions; }
    QSpinBox* keepDaysBox() const { return m_keepDays; }

public slots:
    // Refuses a versions folder that is not a full path or is too long for a project file.
    void accept() override;

private:
    model::PairExtras m_extras;
    MessagePresenter& m_messages;
    FolderChooser m_chooseFolder;
    QCheckBox* m_remember = nullptr;
    QComboBox* m_conflicts = nullptr;
    QLineEdit* m_versions = nullptr;
    QPushButton* m_browse = nullptr;
    QSpinBox* m_keepVersions = nullptr;
    QSpinBox* m_keepDays = nullptr;
};

} // namespace tavrel::ui
