// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPixmap>

namespace tavrel::ui {

// The window's pictures, drawn from the SVG sources in the resources at their fixed sizes.
namespace artwork {

inline constexpr int kToolbarPictures = 9;
inline constexpr QSize kToolbarPictureSize{32, 32};
inline constexpr QSize kMethodPictureSize{176, 92};
inline constexpr QSize kReportPictureSize{28, 41};

// The program icon.
QIcon programIcon();
// Picture `index` (0..8) of the toolbar strip, or of the disabled strip.
QPixmap toolbarPicture(int index, bool disabled);
// The picture of method 0..4; an empty pixmap for any other value.
QPixmap methodPicture(int method);
// Shown when no pair is selected.
QPixmap noPairPicture();
QPixmap reportPicture(bool enabled);

} // namespace artwork

} // namespace tavrel::ui
