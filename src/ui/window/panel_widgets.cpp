// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/panel_widgets.h"

#include <QFontMetrics>
#include <QPainter>

namespace tavrel::ui {

namespace {

const QString kEllipsis = QStringLiteral("...");

QString elideAfterWord(const QString& text, const QFontMetrics& metrics, int width)
{
    const int room = width - metrics.horizontalAdvance(kEllipsis);
    // The longest prefix ending before a blank that still fits; a single over-long word is cut
    // by characters so that something of it stays visible.
    int best = -1;
    for (int i = 1; i < text.size(); ++i) {
        if (text[i] != QLatin1Char(' ') || text[i - 1] == QLatin1Char(' '))
            continue;
        if (metrics.horizontalAdvance(text.left(i)) > room)
            break;
        best = i;
    }
    if (best > 0)
        return text.left(best) + kEllipsis;
    int cut = 0;
    while (cut < text.size() && metrics.horizontalAdvance(text.left(cut + 1)) <= room)
        ++cut;
    return text.left(cut) + kEllipsis;
}

} // namespace

QString elideText(const QString& text, const QFontMetrics& metrics, int width, ElideRule rule)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    if (rule == ElideRule::PathMiddle)
        return metrics.elidedText(text, Qt::ElideMiddle, width);
    return elideAfterWord(text, metrics, width);
}

ElidedLabel::ElidedLabel(ElideRule rule, QWidget* parent) : QLabel(parent), m_rule(rule)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setAttribute(Qt::WA_TranslucentBackground);
}

void ElidedLabel::setFullText(const QString& text)
{
    m_fullText = text;
    refresh();
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    refresh();
}

void ElidedLabel::refresh()
{
    setText(elideText(m_fullText, fontMetrics(), width(), m_rule));
}

PictureButton::PictureButton(QPixmap enabled, QPixmap disabled, QWidget* parent)
    : QAbstractButton(parent), m_enabled(std::move(enabled)), m_disabled(std::move(disabled))
{
    setFocusPolicy(Qt::NoFocus);
}

void PictureButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, isEnabled() ? m_enabled : m_disabled);
}

} // namespace tavrel::ui
