// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pair_dialog/dialog_units.h"

#include <QFont>
#include <QFontMetrics>

namespace tavrel::ui {

int averageCharWidthFromSample(int sampleWidth)
{
    return (sampleWidth / 26 + 1) / 2;
}

int dialogUnitsToPixelsX(int x, const DialogBaseUnits& units)
{
    return x * units.averageCharWidth / 4;
}

int dialogUnitsToPixelsY(int y, const DialogBaseUnits& units)
{
    return y * units.fontHeight / 8;
}

QRect dialogRectToPixels(const QRect& dialogRect, const DialogBaseUnits& units)
{
    return QRect(dialogUnitsToPixelsX(dialogRect.x(), units), dialogUnitsToPixelsY(dialogRect.y(), units),
                 dialogUnitsToPixelsX(dialogRect.width(), units),
                 dialogUnitsToPixelsY(dialogRect.height(), units));
}

QSize dialogSizeToPixels(const QSize& dialogSize, const DialogBaseUnits& units)
{
    return QSize(dialogUnitsToPixelsX(dialogSize.width(), units),
                 dialogUnitsToPixelsY(dialogSize.height(), units));
}

DialogBaseUnits measureBaseUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    return DialogBaseUnits{averageCharWidthFromSample(metrics.horizontalAdvance(kDialogUnitSample)),
                           metrics.height()};
}

QFont dialogFont(const QString& face, int points, int dpiY)
{
    QFont font(face);
    font.setPixelSize(qMax(1, (points * dpiY + 36) / 72));
    font.setWeight(QFont::Normal);
    return font;
}

QPoint centredOn(const QRect& owner, const QSize& size)
{
    return QPoint(owner.left() + (owner.width() - size.width()) / 2,
                  owner.top() + (owner.height() - size.height()) / 2);
}

} // namespace tavrel::ui
