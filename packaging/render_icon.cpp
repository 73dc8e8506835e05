// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the program's SVG icon to square PNGs for the hicolor icon theme:
//   tavrel-render-icon ICON.svg OUT_DIR NAME SIZE...
// writes OUT_DIR/<SIZE>x<SIZE>/apps/NAME.png for every SIZE. Runs at build time, so it must
// work without a display.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fputs("usage: tavrel-render-icon ICON.svg OUT_DIR NAME SIZE...\n", stderr);
        return 64;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "tavrel-render-icon: cannot read %s\n", argv[1]);
        return 1;
    }
    const QDir outDir(QString::fromLocal8Bit(argv[2]));
    const QString name = QString::fromLocal8Bit(argv[3]);
    for (int i = 4; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 1 || size > 1024) {
            std::fprintf(stderr, "tavrel-render-icon: bad size %s\n", argv[i]);
            return 64;
        }
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        if (!outDir.mkpath(folder)) {
            std::fprintf(stderr, "tavrel-render-icon: cannot create %s\n",
                         qPrintable(outDir.filePath(folder)));
            return 1;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            // Keep the drawing's proportions; a non-square SVG is centred, not stretched.
            QSizeF drawn =
                renderer.defaultSize().isEmpty() ? QSizeF(size, size) : QSizeF(renderer.defaultSize());
            drawn.scale(size, size, Qt::KeepAspectRatio);
            const QRectF target((size - drawn.width()) / 2, (size - drawn.height()) / 2, drawn.width(),
                                drawn.height());
            renderer.render(&painter, target);
        }
        const QString file = outDir.filePath(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
        if (!image.save(file, "PNG")) {
            std::fprintf(stderr, "tavrel-render-icon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
