// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/artwork.h"

#include <QPainter>
#include <QSvgRenderer>

namespace tavrel::ui::artwork {

namespace {

QImage renderImage(const QString& resource, QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), size));
    painter.end();
    return image;
}

QPixmap render(const QString& resource, QSize size)
{
    return QPixmap::fromImage(renderImage(resource, size));
}

} // namespace

QIcon programIcon()
{
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(render(QStringLiteral(":/icons/program.svg"), QSize(side, side)));
    return icon;
}

QPixmap toolbarPicture(int index, bool disabled)
{
    // Both strips are rendered once (as images, which need no running application); each
    // picture is a 32 x 32 cell of its strip.
    static const QImage normalStrip =
        renderImage(QStringLiteral(":/toolbar/strip.svg"), QSize(32 * kToolbarPictures, 32));
    static const QImage disabledStrip =
        renderImage(QStringLiteral(":/toolbar/strip_disabled.svg"), QSize(32 * kToolbarPictures, 32));
    if (index < 0 || index >= kToolbarPictures)
        return {};
    return QPixmap::fromImage((disabled ? disabledStrip : normalStrip).copy(index * 32, 0, 32, 32));
}

QPixmap methodPicture(int method)
{
    static const char* const names[] = {"light_copy", "update_copy", "copy", "absolute_copy", "synchronize"};
    if (method < 0 || method > 4)
        return {};
    return render(QStringLiteral(":/methods/%1.svg").arg(QLatin1String(names[method])), kMethodPictureSize);
}

QPixmap noPairPicture()
{
    return render(QStringLiteral(":/methods/no_pair.svg"), kMethodPictureSize);
}

QPixmap reportPicture(bool enabled)
{
    return render(enabled ? QStringLiteral(":/report/view_report.svg")
                          : QStringLiteral(":/report/view_report_disabled.svg"),
                  kReportPictureSize);
}

} // namespace tavrel::ui::artwork
