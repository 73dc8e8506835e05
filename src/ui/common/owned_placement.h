// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <functional>

class QWidget;

namespace tavrel::ui {

// Where a dialog's frame goes, from its owner's frame and its own frame's size.
using FramePlacement = std::function<QPoint(const QRect& ownerFrame, const QSize& frameSize)>;

// The size `dialog`'s frame will have: a window manager adds the frame only once the dialog
// is shown, so the frame its owner's window already has stands in for it.
QSize expectedFrameSize(const QWidget& dialog, const QWidget& owner);

// Places `dialog`, before it is shown, so that its frame lands where `placement` puts it over
// `owner`'s window: shown in its place at once, rather than placed by its inside and moved
// once the frame is known. A frame that turns out to differ from the guess places it once
// more when it comes. Call it after the dialog has its size.
void placeOverOwner(QWidget& dialog, const QWidget& owner, FramePlacement placement);

} // namespace tavrel::ui
