// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/message_box.h"

#include <QMessageBox>

namespace tavrel::ui {

MessageAnswer DialogMessagePresenter::ask(QWidget* parent, const QString& title, const QString& text,
                                          MessageIcon icon, MessageButtons buttons)
{
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MessageIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MessageIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MessageIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    switch (buttons) {
    case MessageButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MessageButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MessageButtons::YesNoDefaultNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        break;
    case MessageButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    case QMessageBox::Ok:
        return MessageAnswer::Ok;
    default:
        return MessageAnswer::Cancel;
    }
}

} // namespace tavrel::ui
