// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/cell_font.h"
#include "ui/pair_dialog/tooltip_geometry.h"
#include "ui/pair_dialog/tooltip_window.h"

#include <QApplication>
#include <QBitmap>
#include <QFontMetrics>
#include <QScreen>
#include <QTest>

using namespace tavrel::ui;

namespace {

// Every character is 10 px wide.
int tenPerChar(QStringView prefix)
{
    return static_cast<int>(prefix.size()) * 10;
}

constexpr QRgb kGrey = qRgb(128, 128, 128);
constexpr QRgb kYellow = qRgb(255, 247, 208);
constexpr QRgb kBlack = qRgb(0, 0, 0);

} // namespace

class TooltipTest : public QObject
{
    Q_OBJECT

private slots:
    void sizing_data();
    void sizing();
    void placement_data();
    void placement();
    void paintedPixels();
    void maskCutsTheTransparentPixels();
    void setTextChangesNothingVisible();
    void showSizesAndPlacesTheTip();
    void keyOrClickHides();
    void textIsCappedAt1023();
};

void TooltipTest::sizing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("measuredWidth");
    QTest::addColumn<int>("lineHeight");
    QTest::addColumn<QSize>("extent");
    QTest::newRow("narrow text stays one line") << QString(20, 'a') << 200 << 17 << QSize(200, 17);
    QTest::newRow("exactly 300 stays one line") << QString(30, 'a') << 300 << 17 << QSize(300, 17);
    // Prefixes ending in a space: 10 chars -> 100, 25 -> 250, 35 -> 350 (the first over 300).
    QTest::newRow("wrapped at the first prefix over 300")
        << QString(9, 'a') + ' ' + QString(14, 'b') + ' ' + QString(9, 'c') + ' ' + QString(65, 'd') << 1000
        << 17 << QSize(350, 17 * (1000 / 350 + 1));
    QTest::newRow("no space after 300 gives two lines")
        << QString(10, 'a') + ' ' + QString(40, 'b') << 510 << 17 << QSize(510, 34);
    QTest::newRow("no space at all gives two lines") << QString(40, 'x') << 400 << 15 << QSize(400, 30);
    QTest::newRow("width cut to 16 bits") << QString(3, 'x') << 65536 + 120 << 17 << QSize(120, 17);
}

void TooltipTest::sizing()
{
    QFETCH(QString, text);
    QFETCH(int, measuredWidth);
    QFETCH(int, lineHeight);
    QFETCH(QSize, extent);
    QCOMPARE(tipTextExtent(text, measuredWidth, lineHeight, tenPerChar), extent);
    QCOMPARE(tipWindowSize(extent), extent + QSize(10, 10));
}

void TooltipTest::placement_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QSize>("extent");
    QTest::addColumn<QPoint>("topLeft");
    const QSize screen(1000, 700);
    Q_UNUSED(screen);
    QTest::newRow("room everywhere") << QPoint(100, 100) << QSize(200, 17) << QPoint(100, 121);
    QTest::newRow("right edge exactly fits") << QPoint(790, 100) << QSize(200, 17) << QPoint(790, 121);
    QTest::newRow("beyond the right edge") << QPoint(791, 100) << QSize(200, 17) << QPoint(790, 121);
    QTest::newRow("bottom exactly fits") << QPoint(100, 652) << QSize(200, 17) << QPoint(100, 673);
    QTest::newRow("beyond the bottom") << QPoint(100, 653) << QSize(200, 17) << QPoint(100, 693);
    QTest::newRow("far left counts as beyond the right")
        << QPoint(-300, 100) << QSize(200, 17) << QPoint(790, 121);
    QTest::newRow("slightly left stays") << QPoint(-100, 100) << QSize(200, 17) << QPoint(-100, 121);
    QTest::newRow("far above counts as beyond the bottom")
        << QPoint(10, -60) << QSize(200, 17) << QPoint(10, 693);
}

void TooltipTest::placement()
{
    QFETCH(QPoint, point);
    QFETCH(QSize, extent);
    QFETCH(QPoint, topLeft);
    QCOMPARE(tipPosition(point, extent, 1000, 700), topLeft);
}

void TooltipTest::paintedPixels()
{
    QFont font("Arial");
    font.setPixelSize(15);
    const int W = 60;
    const int H = 30;
    const QImage image = TooltipWindow::paintTipImage(QString(), font, QSize(W, H));
    QCOMPARE(image.size(), QSize(W, H));

    // The box with its outline: columns 0..W-6, rows 0..H-6.
    QCOMPARE(image.pixel(0, 0), kBlack);
    QCOMPARE(image.pixel(W - 6, 0), kBlack);
    QCOMPARE(image.pixel(W - 6, H - 6), kBlack);
    QCOMPARE(image.pixel(0, H - 6), kBlack);
    QCOMPARE(image.pixel(20, 0), kBlack);
    QCOMPARE(image.pixel(0, 10), kBlack);
    QCOMPARE(image.pixel(1, 1), kYellow);
    QCOMPARE(image.pixel(W - 7, H - 7), kYellow);
    QCOMPARE(image.pixel(W / 2, H / 2), kYellow);

    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const QRgb pixel = image.pixel(x, y);
            const bool inBox = x <= W - 6 && y <= H - 6;
            const bool inCorner = (x >= W - 5 && y < 5) || (x < 5 && y >= H - 5);
            if (inBox) {
                QVERIFY(qAlpha(pixel) == 255);
            } else if (inCorner || (x + y) % 2 != 0) {
                QVERIFY2(qAlpha(pixel) == 0, qPrintable(QString("%1,%2").arg(x).arg(y)));
            } else {
                QVERIFY2(pixel == kGrey, qPrintable(QString("%1,%2").arg(x).arg(y)));
            }
        }
    }
}

void TooltipTest::maskCutsTheTransparentPixels()
{
    QWidget owner;
    TooltipWindow tip(&owner);
    tip.setTipText("Help");
    tip.showTip(QPoint(50, 50));
    const QRegion mask = tip.mask();
    const int W = tip.width();
    const int H = tip.height();
    QVERIFY(mask.contains(QPoint(0, 0)));
    QVERIFY(mask.contains(QPoint(W - 6, H - 6)));
    QVERIFY(!mask.contains(QPoint(W - 1, 0)));
    QVERIFY(!mask.contains(QPoint(0, H - 1)));
    // The shadow: grey where x + y is even, cut out where it is odd.
    QCOMPARE(mask.contains(QPoint(W - 2, H - 2)), true);
    QCOMPARE(mask.contains(QPoint(W - 2, H - 3)), false);
    QCOMPARE(mask.contains(QPoint(W - 1, 6)), (W - 1 + 6) % 2 == 0);
}

void TooltipTest::setTextChangesNothingVisible()
{
    QWidget owner;
    TooltipWindow tip(&owner);
    const QRect before = tip.geometry();
    tip.setTipText("Some help text");
    QCOMPARE(tip.tipText(), QString("Some help text"));
    QVERIFY(!tip.isVisible());
    QCOMPARE(tip.geometry(), before);
}

void TooltipTest::showSizesAndPlacesTheTip()
{
    QWidget owner;
    TooltipWindow tip(&owner);
    QCOMPARE(tip.tipFont(), arialFifteenPixelsHigh());
    const QString text = "Recursively expand all subfolders and do jobs to them.";
    tip.setTipText(text);
    tip.showTip(QPoint(40, 60));
    QVERIFY(tip.isVisible());
    const QFontMetrics metrics(tip.tipFont());
    const QSize extent =
        tipTextExtent(text, metrics.horizontalAdvance(text), metrics.height(),
                      [&](QStringView p) { return metrics.horizontalAdvance(p.toString()); });
    QCOMPARE(tip.size(), extent + QSize(10, 10));
    if (metrics.horizontalAdvance(text) > 300)
        QCOMPARE(tip.height(), 2 * metrics.height() + 10);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    if (area.contains(QPoint(40, 60)) && area.width() > 500)
        QCOMPARE(tip.pos(), QPoint(40, 81));

    // The window shows the text it was last given, never a stale picture.
    const QImage shown = tip.grab().toImage();
    QCOMPARE(shown.pixel(3, 1), kYellow);
}

void TooltipTest::keyOrClickHides()
{
    QWidget owner;
    owner.show();
    TooltipWindow tip(&owner);
    tip.setTipText("Tip");
    tip.showTip(QPoint(30, 30));
    QVERIFY(tip.isVisible());
    QTest::keyClick(&tip, Qt::Key_A);
    QVERIFY(!tip.isVisible());

    tip.showTip(QPoint(30, 30));
    QTest::mouseClick(&tip, Qt::RightButton, {}, QPoint(3, 3));
    QVERIFY(!tip.isVisible());

    tip.showTip(QPoint(30, 30));
    QTest::mouseClick(&tip, Qt::LeftButton, {}, QPoint(3, 3));
    QVERIFY(!tip.isVisible());

    tip.showTip(QPoint(30, 30));
    QFocusEvent focusLost(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(&tip, &focusLost);
    QVERIFY(!tip.isVisible());
}

void TooltipTest::textIsCappedAt1023()
{
    QWidget owner;
    TooltipWindow tip(&owner);
    tip.setTipText(QString(2000, 'x'));
    QCOMPARE(tip.tipText().size(), 1023);
}

QTEST_MAIN(TooltipTest)
#include "tooltip_test.moc"
