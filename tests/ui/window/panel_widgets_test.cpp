// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/panel_painter.h"
#include "ui/window/panel_widgets.h"

#include <QFontMetrics>
#include <QTest>

using tavrel::ui::ElideRule;
using tavrel::ui::elideText;

class PanelWidgetsTest : public QObject
{
    Q_OBJECT

private slots:
    void textThatFitsIsUnchanged()
    {
        const QFontMetrics metrics(tavrel::ui::uiFont());
        const QString text = QStringLiteral("/home/user/Documents");
        QCOMPARE(elideText(text, metrics, 518, ElideRule::PathMiddle), text);
        QCOMPARE(elideText(text, metrics, 518, ElideRule::AfterWord), text);
    }

    void longPathKeepsBothEnds()
    {
        const QFontMetrics metrics(tavrel::ui::uiFont());
        const QString path = QStringLiteral("/home/user/") + QString(40, QLatin1Char('x')) +
                             QStringLiteral("/Photos/2024/Holiday");
        const QString shown = elideText(path, metrics, 200, ElideRule::PathMiddle);
        QVERIFY(metrics.horizontalAdvance(shown) <= 200);
        QVERIFY2(shown.startsWith(QStringLiteral("/home")), qPrintable(shown));
        QVERIFY2(shown.endsWith(QStringLiteral("Holiday")), qPrintable(shown));
        QVERIFY(shown.contains(QChar(0x2026)) || shown.contains(QStringLiteral("...")));
    }

    void longPatternTextIsCutAfterAWord()
    {
        const QFontMetrics metrics(tavrel::ui::uiFont());
        const QString text = QStringLiteral("*.doc; *.odt; *.txt; *.pdf; *.xls; *.ods; *.ppt; *.odp / *");
        const int width = metrics.horizontalAdvance(QStringLiteral("*.doc; *.odt; *.t"));
        const QString shown = elideText(text, metrics, width, ElideRule::AfterWord);
        QCOMPARE(shown, QStringLiteral("*.doc; *.odt;..."));
        QVERIFY(metrics.horizontalAdvance(shown) <= width);
    }

    void singleLongWordIsCutByCharacters()
    {
        const QFontMetrics metrics(tavrel::ui::uiFont());
        const QString word(100, QLatin1Char('a'));
        const QString shown = elideText(word, metrics, 60, ElideRule::AfterWord);
        QVERIFY(shown.endsWith(QStringLiteral("...")));
        QVERIFY(shown.size() > 3);
        QVERIFY(metrics.horizontalAdvance(shown) <= 60);
    }
};

QTEST_MAIN(PanelWidgetsTest)
#include "panel_widgets_test.moc"
