// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

namespace tavrel::ui {

// The title of every error message of the window and its dialogs.
inline const QString kErrorTitle = QStringLiteral("ERROR");

enum class MessageIcon
{
    Information,
    Question,
    Warning,
    Error,
};

enum class MessageButtons
{
    Ok,
    OkCancel,
    YesNo,
    YesNoDefaultNo, // Yes and No, with No taken on Return and Escape
    YesNoCancel,
};

enum class MessageAnswer
{
    Ok,
    Cancel,
    Yes,
    No,
};

// The one way the window and its dialogs ask the user something. The program uses the
// QMessageBox presenter; tests install a scripted one so no modal loop runs.
class MessagePresenter
{
public:
    virtual ~MessagePresenter() = default;
    virtual MessageAnswer ask(QWidget* parent, const QString& title, const QString& text, MessageIcon icon,
                              MessageButtons buttons) = 0;
};

// Shows a real QMessageBox, modal to `parent`.
class DialogMessagePresenter final : public MessagePresenter
{
public:
    MessageAnswer ask(QWidget* parent, const QString& title, const QString& text, MessageIcon icon,
                      MessageButtons buttons) override;
};

} // namespace tavrel::ui
