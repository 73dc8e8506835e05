// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QFont;

namespace tavrel::ui {

// The base units of a dialog font: one horizontal dialog unit is a quarter of
// `averageCharWidth`, one vertical unit an eighth of `fontHeight`.
struct DialogBaseUnits
{
    int averageCharWidth = 0;
    int fontHeight = 0;
};

// The 52 letters the average character width is measured over.
inline const QString kDialogUnitSample =
    QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");

// Average width from the measured width of kDialogUnitSample, rounded the way dialog
// templates have always been laid out: (width / 26 + 1) / 2.
int averageCharWidthFromSample(int sampleWidth);

int dialogUnitsToPixelsX(int x, const DialogBaseUnits& units);
int dialogUnitsToPixelsY(int y, const DialogBaseUnits& units);
QRect dialogRectToPixels(const QRect& dialogRect, const DialogBaseUnits& units);
QSize dialogSizeToPixels(const QSize& dialogSize, const DialogBaseUnits& units);

// Measures the base units of `font` with its own metrics.
DialogBaseUnits measureBaseUnits(const QFont& font);

// A font of `face` at `points`, sized in whole pixels as the screen's dpi gives them
// (rounded as a point-to-pixel conversion on the reference platform), so layouts derived
// from it do not depend on fractional pixel sizes.
QFont dialogFont(const QString& face, int points, int dpiY);

// Top-left corner that centres a window of `size` on `owner`; each half difference is
// rounded toward zero.
QPoint centredOn(const QRect& owner, const QSize& size);

} // namespace tavrel::ui
