// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringView>
#include <cstdint>
#include <functional>

namespace tavrel::ui {

// Widest single line a tip is given before it is wrapped.
inline constexpr int kTipWrapWidth = 300;
// The box is this much larger than its text: 2 px margin plus outline and the 5 px shadow.
inline constexpr int kTipPadding = 10;
inline constexpr int kTipShadow = 5;

// Measures the width in pixels of a leading part of the tip text.
using PrefixMeasure = std::function<int(QStringView prefix)>;

// The text extent a tip is sized to. `measuredWidth` and `lineHeight` are the one-line
// measure of the whole text; both are 16-bit quantities and are cut to 16 bits first.
// A text wider than kTipWrapWidth is given the width L of its shortest leading part that
// ends in a space and measures more than kTipWrapWidth (or its whole width when there is
// none), and h * (w / L + 1) lines of height.
QSize tipTextExtent(QStringView text, int measuredWidth, int lineHeight, const PrefixMeasure& measurePrefix);

// Top-left corner of a tip of text extent `extent` asked for at `point`, in a full-screen
// area of `screenWidth` x `screenHeight` pixels. The edge tests compare as unsigned
// numbers, so a point far left of or above the area counts as beyond the right or
// bottom edge.
QPoint tipPosition(QPoint point, QSize extent, int screenWidth, int screenHeight);

// Window size of a tip whose text extent is `extent`.
inline QSize tipWindowSize(QSize extent)
{
    return QSize(extent.width() + kTipPadding, extent.height() + kTipPadding);
}

// The full-screen extent the placement works against: the available area of the screen
// less a caption's height. Callers place in coordinates relative to that area's corner.
QSize fullScreenExtent(const QRect& availableArea, int captionHeight);

} // namespace tavrel::ui
