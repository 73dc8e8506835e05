// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QString>

namespace tavrel::ui {

// The window's fonts are asked for by cell height (ascent plus descent), the way the layout's
// heights were measured, not by em size. A face's cell is its OS/2 usWinAscent plus
// usWinDescent: Qt's own line height follows the typo metrics instead when a face sets
// USE_TYPO_METRICS (Wine's Tahoma does), and would make that face about a fifth too large.

// The cell height of `font`'s resolved face per pixel of em size.
double cellPerEm(const QFont& font);

// `family` at the whole-pixel em size whose cell comes nearest `cellHeight` pixels.
QFont cellHeightFont(const QString& family, int cellHeight, int weight);

// "Arial, 15 pixels high", the font of the help tip and of the folder browser's added label and
// path field. Its 15 is a cell height like every other font height of the window: as an em
// size it would give Arial a 17 px cell, which the browser's 14 px high label cuts off.
QFont arialFifteenPixelsHigh();

} // namespace tavrel::ui
