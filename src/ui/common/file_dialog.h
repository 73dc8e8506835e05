// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

namespace tavrel::ui {

// The project file dialogs' one filter and default extension.
inline constexpr char kProjectFilter[] = "Tavrel Sync Project Files (*.TSP)";
inline constexpr char kProjectExtension[] = "TSP";

// The one way the window asks for a project file name. The program uses Qt's file dialogs;
// tests install a scripted one so no modal loop runs.
class FilePrompter
{
public:
    virtual ~FilePrompter() = default;
    // The chosen file, or an empty string when the user cancels. `initialPath` is the path
    // last chosen in either dialog (empty at first).
    virtual QString openPath(QWidget* parent, const QString& initialPath) = 0;
    // As openPath; the dialog asks before an existing file is replaced and adds the default
    // extension to a name typed without one.
    virtual QString savePath(QWidget* parent, const QString& initialPath) = 0;
};

class DialogFilePrompter final : public FilePrompter
{
public:
    QString openPath(QWidget* parent, const QString& initialPath) override;
    QString savePath(QWidget* parent, const QString& initialPath) override;
};

} // namespace tavrel::ui
