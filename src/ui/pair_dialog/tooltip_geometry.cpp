// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pair_dialog/tooltip_geometry.h"

namespace tavrel::ui {

QSize tipTextExtent(QStringView text, int measuredWidth, int lineHeight, const PrefixMeasure& measurePrefix)
{
    int w = static_cast<uint16_t>(measuredWidth);
    int h = static_cast<uint16_t>(lineHeight);
    if (w <= kTipWrapWidth)
        return QSize(w, h);

    int lineWidth = w;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u' ')
            continue;
        const int prefixWidth = measurePrefix(text.left(i + 1));
        if (prefixWidth > kTipWrapWidth) {
            lineWidth = prefixWidth;
            break;
        }
    }
    h = h * (w / lineWidth + 1);
    return QSize(lineWidth, h);
}

QPoint tipPosition(QPoint point, QSize extent, int screenWidth, int screenHeight)
{
    const int w = extent.width();
    const int h = extent.height();
    int left = point.x();
    if (static_cast<uint32_t>(point.x() + w + kTipPadding) > static_cast<uint32_t>(screenWidth))
        left = screenWidth - w - kTipPadding;
    int top = point.y() + 21;
    if (static_cast<uint32_t>(point.y() + h + 31) > static_cast<uint32_t>(screenHeight))
        top = screenHeight - h + 10;
    return QPoint(left, top);
}

QSize fullScreenExtent(const QRect& availableArea, int captionHeight)
{
    return QSize(availableArea.width(), availableArea.height() - captionHeight);
}

} // namespace tavrel::ui
