// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pair_dialog/tooltip_window.h"

#include "model/text_rules.h"
#include "ui/common/cell_font.h"
#include "ui/pair_dialog/tooltip_geometry.h"

#include <QApplication>
#include <QBitmap>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>

namespace tavrel::ui {

namespace {

constexpr QRgb kColourKey = qRgb(255, 255, 255);
constexpr QRgb kShadowGrey = qRgb(128, 128, 128);
constexpr QRgb kBoxYellow = qRgb(255, 247, 208);
constexpr int kInactiveGraceMs = 150;

} // namespace

TooltipWindow::TooltipWindow(QWidget* owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint),
      m_tipFont(arialFifteenPixelsHigh())
{
    // Where a compositor blends, the transparent pixels are see-through; where none runs,
    // the mask set in showTip cuts them out. The colour key is all-or-nothing, so the
    // mask alone gives the same look.
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QString());
    // The focus leaving the owner's window or the program hides the tip too. Focus coming back
    // to that window (a closing menu returns it, maybe through a moment without any focus) is
    // no reason: every move within it starts with a press or a key.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (isVisible() && now != nullptr && now->window() != parentWidget()->window())
            hide();
    });
    // The program losing the focus is judged a moment later, when a passing loss is over.
    m_inactiveCheck.setSingleShot(true);
    m_inactiveCheck.setInterval(kInactiveGraceMs);
    connect(&m_inactiveCheck, &QTimer::timeout, this, [this] {
        if (isVisible() && QGuiApplication::applicationState() != Qt::ApplicationActive)
            hide();
    });
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (isVisible() && state != Qt::ApplicationActive)
            m_inactiveCheck.start();
    });
}

void TooltipWindow::setTipText(const QString& text)
{
    m_tipText = QString::fromStdU16String(model::fitText(text.toStdU16String(), kTextCapacity));
}

QSize TooltipWindow::measureTextExtent() const
{
    const QFontMetrics metrics(m_tipFont);
    const int tabWidth = 8 * metrics.averageCharWidth();
    const QSize oneLine = metrics.size(Qt::TextSingleLine | Qt::TextExpandTabs, m_tipText, tabWidth);
    return tipTextExtent(m_tipText, oneLine.width(), metrics.height(), [&metrics](QStringView prefix) {
        return metrics.horizontalAdvance(prefix.toString());
    });
}

void TooltipWindow::showTip(const QPoint& screenPoint)
{
    const QSize extent = measureTextExtent();

    QScreen* screen = QGuiApplication::screenAt(screenPoint);
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    // Placed relative to the corner of the screen under the point, so a screen left of or
    // above the primary one is not mistaken for an edge.
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QSize fullScreen = fullScreenExtent(area, style()->pixelMetric(QStyle::PM_TitleBarHeight));
    const QPoint topLeft =
        tipPosition(screenPoint - area.topLeft(), extent, fullScreen.width(), fullScreen.height());

    const QSize size = tipWindowSize(extent);
    setFixedSize(size);
    move(topLeft + area.topLeft());
    // The transparent pixels depend on the size only, never on the text.
    setMask(QBitmap::fromImage(paintTipImage(QString(), m_tipFont, size).createAlphaMask()));
    show();
    update();
    // Presses and keys anywhere in the program hide the tip on their way to their target.
    if (!m_watching) {
        qApp->installEventFilter(this);
        m_watching = true;
    }
}

QImage TooltipWindow::paintTipImage(const QString& text, const QFont& font, const QSize& size)
{
    const int W = size.width();
    const int H = size.height();
    QImage image(size, QImage::Format_ARGB32);

    // The window's background: a 2 x 2 checkerboard anchored at the top-left corner.
    for (int y = 0; y < H; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < W; ++x)
            line[x] = (x + y) % 2 == 0 ? kShadowGrey : kColourKey;
    }

    {
        QPainter painter(&image);
        painter.setPen(Qt::NoPen);
        // The corners beside the shadow strips go transparent, so the shadow starts 5 px in.
        painter.fillRect(QRect(QPoint(W - kTipShadow, 0), QPoint(W - 1, kTipShadow - 1)), QColor(kColourKey));
        painter.fillRect(QRect(QPoint(0, H - kTipShadow), QPoint(kTipShadow - 1, H - 1)), QColor(kColourKey));
        painter.fillRect(QRect(0, 0, W - kTipShadow, H - kTipShadow), QColor(kBoxYellow));

        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QRect(QPoint(2, 2), QPoint(W - 7, H - 7)),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);

        // The outline is the outermost ring of the box, columns 0..W-6 and rows 0..H-6.
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(QPen(Qt::black, 0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(0, 0, W - 6, H - 6));
    }

    for (int y = 0; y < H; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < W; ++x) {
            if (line[x] == kColourKey)
                line[x] = qRgba(0, 0, 0, 0);
        }
    }
    return image;
}

bool TooltipWindow::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
        if (isVisible())
            hide();
        break;
    case QEvent::ShortcutOverride:
        // Claimed while the tip shows, so no shortcut (F1, a mnemonic) acts on the key that
        // only closes the tip; the key then comes as a press, below.
        if (isVisible()) {
            event->accept();
            return true;
        }
        break;
    case QEvent::KeyPress:
        // The key only closes the tip: Esc must not cancel the dialog behind it, nor Enter
        // press OK, nor a letter land in a box.
        if (isVisible()) {
            hide();
            event->accept();
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TooltipWindow::hideEvent(QHideEvent* event)
{
    if (m_watching) {
        qApp->removeEventFilter(this);
        m_watching = false;
    }
    QWidget::hideEvent(event);
}

void TooltipWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, paintTipImage(m_tipText, m_tipFont, size()));
}

void TooltipWindow::keyPressEvent(QKeyEvent* event)
{
    hide();
    QWidget::keyPressEvent(event);
}

void TooltipWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
        hide();
    QWidget::mousePressEvent(event);
}

void TooltipWindow::focusOutEvent(QFocusEvent* event)
{
    hide();
    QWidget::focusOutEvent(event);
}

} // namespace tavrel::ui
