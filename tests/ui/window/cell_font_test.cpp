// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/cell_font.h"
#include "ui/pair_dialog/tooltip_window.h"
#include "ui/window/panel_painter.h"

#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QTest>
#include <QtEndian>

using namespace tavrel::ui;

namespace {

// Rows of `text` drawn in `font` that hold a clearly inked pixel.
int inkHeight(const QFont& font, const QString& text)
{
    const int size = QFontInfo(font).pixelSize() * 3 + 20;
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(4, size * 2 / 3), text);
    }
    int top = -1;
    int bottom = -1;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                if (top < 0)
                    top = y;
                bottom = y;
                break;
            }
        }
    }
    return top < 0 ? 0 : bottom - top + 1;
}

// The face's capital height per em, read from a large rendering rather than from its tables.
double capPerEm(const QFont& font)
{
    QFont large(font);
    large.setPixelSize(400);
    return inkHeight(large, QStringLiteral("H")) / 400.0;
}

} // namespace

class CellFontTest : public QObject
{
    Q_OBJECT

private slots:
    void capitalsHaveTheHeightOfTheirCell_data()
    {
        QTest::addColumn<QFont>("font");
        QTest::addColumn<int>("cellHeight");
        const PanelPainter painter;
        QTest::newRow("log box and pair information labels, Tahoma 15") << uiFont() << 15;
        QTest::newRow("option values, Tahoma 15") << painter.font(PanelFont::Value) << 15;
        QTest::newRow("panel titles, Arial 25") << painter.font(PanelFont::Title) << 25;
        QTest::newRow("result labels, Arial 15") << painter.font(PanelFont::Label) << 15;
        QTest::newRow("headings, Arial 16 bold") << painter.font(PanelFont::Heading) << 16;
        QTest::newRow("counters, Arial 15 bold") << painter.font(PanelFont::Counter) << 15;
        QWidget owner;
        QTest::newRow("help tip, Arial 15") << TooltipWindow(&owner).tipFont() << 15;
    }

    void capitalsHaveTheHeightOfTheirCell()
    {
        QFETCH(QFont, font);
        QFETCH(int, cellHeight);
        // A capital takes the share of the cell that it takes of the face's own cell.
        const double expected = cellHeight * capPerEm(font) / cellPerEm(font);
        const int measured = inkHeight(font, QStringLiteral("H"));
        QVERIFY2(std::abs(measured - expected) <= 1.0,
                 qPrintable(QStringLiteral("%1 at %2 px: capitals %3 px high, expected %4")
                                .arg(QFontInfo(font).family())
                                .arg(font.pixelSize())
                                .arg(measured)
                                .arg(expected)));
    }

    void tahomaIsMeasuredByItsWindowsCell()
    {
        QFont tahoma(QStringLiteral("Tahoma"));
        if (QFontInfo(tahoma).family() != QStringLiteral("Tahoma"))
            QSKIP("no Tahoma face installed");
        tahoma.setPixelSize(100);
        const QRawFont raw = QRawFont::fromFont(tahoma);
        const QByteArray os2 = raw.fontTable("OS/2");
        QVERIFY(os2.size() >= 78);
        // Its typo metrics are the ones Qt uses for its line height; they are not the cell.
        const double typo =
            (qFromBigEndian<qint16>(os2.constData() + 68) - qFromBigEndian<qint16>(os2.constData() + 70)) /
            double(raw.unitsPerEm());
        QVERIFY(cellPerEm(tahoma) > typo + 0.1);
        // Its cell is about 1.21 em, so 15 px of cell leave an em of 12 px.
        QVERIFY(std::abs(cellPerEm(tahoma) - 1.207) < 0.01);
        QCOMPARE(uiFont().pixelSize(), 12);
    }
};

QTEST_MAIN(CellFontTest)
#include "cell_font_test.moc"
