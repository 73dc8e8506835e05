// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run_state.h"
#include "ui/window/panel_painter.h"

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QTest>
#include <QTextItem>

using namespace tavrel;

namespace {

// Writes down what is drawn, in order: "text" for a text, "x1,y1-x2,y2" for a line.
class RecordingEngine final : public QPaintEngine
{
public:
    QStringList drawn;

    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    Type type() const override { return QPaintEngine::User; }
    void drawTextItem(const QPointF&, const QTextItem& item) override { drawn << item.text(); }
    void drawLines(const QLineF* lines, int count) override
    {
        for (int i = 0; i < count; ++i) {
            const QLine line = lines[i].toLine();
            drawn
                << QStringLiteral("%1,%2-%3,%4").arg(line.x1()).arg(line.y1()).arg(line.x2()).arg(line.y2());
        }
    }
    void drawLines(const QLine* lines, int count) override
    {
        for (int i = 0; i < count; ++i) {
            const QLineF line(lines[i]);
            drawLines(&line, 1);
        }
    }
};

class RecordingDevice final : public QPaintDevice
{
public:
    RecordingEngine engine;
    QPaintEngine* paintEngine() const override { return const_cast<RecordingEngine*>(&engine); }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return 792;
        case PdmHeight:
            return 504;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 1;
        }
    }
};

} // namespace

class PanelPainterTest : public QObject
{
    Q_OBJECT

private slots:
    void panelsArePaintedInTheirOrder()
    {
        RecordingDevice device;
        {
            QPainter painter(&device);
            ui::PanelPainter().paint(painter, nullptr, engine::StatisticsSnapshot{}, QFont());
        }
        const QStringList& drawn = device.engine.drawn;
        const auto at = [&](const QString& what) {
            const qsizetype index = drawn.indexOf(what);
            if (index < 0)
                qWarning("not drawn: %s", qPrintable(what));
            return index;
        };
        const qsizetype lastTitle = drawn.lastIndexOf(QStringLiteral("Processing Information"));
        const qsizetype firstFrame = at(QStringLiteral("220,72-791,72"));
        const qsizetype separator = at(QStringLiteral("230,152-780,152"));
        const qsizetype resultRule = at(QStringLiteral("5,425-194,425"));
        QVERIFY(lastTitle >= 0 && firstFrame >= 0 && separator >= 0 && resultRule >= 0);
        // Titles, then frames and separators, then the labels, the rule among them before
        // the last two rows, then the method line and the headings, then values and counters.
        QVERIFY(lastTitle < firstFrame);
        QVERIFY(separator < at(QStringLiteral("Create File")));
        QVERIFY(at(QStringLiteral("Delete Folder")) < resultRule);
        QVERIFY(resultRule < at(QStringLiteral("All Operations")));
        QVERIFY(at(QStringLiteral("Time Usage")) < at(QStringLiteral("Method: (Unknown)")));
        QVERIFY(at(QStringLiteral("Method: (Unknown)")) <
                at(QStringLiteral("Take the deleted files to recycle bin")));
        QVERIFY(at(QStringLiteral("Take the deleted files to recycle bin")) <
                at(QStringLiteral("(Unknown)")));
        QVERIFY(at(QStringLiteral("(Unknown)")) < at(QStringLiteral("0 s")));
        QCOMPARE(drawn.last(), QStringLiteral("0 / 0"));
    }
};

QTEST_MAIN(PanelPainterTest)
#include "panel_painter_test.moc"
