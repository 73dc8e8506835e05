// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace tavrel::ui {

// The About box: the program icon, the name and version, and OK. It opens centred over its
// owner and 50 pixels higher.
class AboutDialog final : public QDialog
{
public:
    explicit AboutDialog(QWidget* owner);

    static QString aboutText();
    // Where the box's frame goes: centred over its owner's and 50 pixels higher.
    static QPoint placeOver(const QRect& ownerFrame, const QSize& frameSize);
};

} // namespace tavrel::ui
