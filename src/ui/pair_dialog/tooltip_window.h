// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>

namespace tavrel::ui {

// The pair dialog's help tip: a light yellow box with a black outline and a stippled
// shadow, sized to its text and shown beside the pointer until the user clicks, types or
// moves the focus away. Everything around the box is transparent. It never grabs the mouse
// or takes the focus: the click that hides it still reaches the control it was meant for, so
// the first click on a check box after a tip ticks the box. The key that hides it goes no
// further, as a key typed into a focused tip would.
class TooltipWindow final : public QWidget
{
    Q_OBJECT

public:
    // Longest text a tip holds, in UTF-16 code units.
    static constexpr int kTextCapacity = 1023;

    explicit TooltipWindow(QWidget* owner);

    // Replaces the text only: nothing is resized, shown or repainted.
    void setTipText(const QString& text);
    // Sizes the tip to its text, places it near `screenPoint` and shows it.
    void showTip(const QPoint& screenPoint);

    const QString& tipText() const { return m_tipText; }
    const QFont& tipFont() const { return m_tipFont; }

    // The tip as it is painted at `size`: pure white, the colour key, is turned fully
    // transparent and every other pixel is opaque.
    static QImage paintTipImage(const QString& text, const QFont& font, const QSize& size);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QSize measureTextExtent() const;

    QString m_tipText;
    QFont m_tipFont;
    bool m_watching = false;
    QTimer m_inactiveCheck;
};

} // namespace tavrel::ui
