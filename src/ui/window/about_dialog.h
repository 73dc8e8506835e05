// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

namespace tavrel::ui {

// The About box: the program icon, the name and version, and OK. It opens centred over its
// owner and 50 pixels higher.
class AboutDialog final : public QDialog
{
public:
    explicit AboutDialog(QWidget* owner);

    static QString aboutText();

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace tavrel::ui
