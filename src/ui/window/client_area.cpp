// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/client_area.h"

#include <QPaintEvent>
#include <QPainter>

namespace tavrel::ui {

ClientArea::ClientArea(const engine::RunState& state, ShownPair shownPair, QWidget* parent)
    : QWidget(parent), m_state(state), m_shownPair(std::move(shownPair))
{
    setFixedSize(792, 504);
    setAutoFillBackground(true);
    // Black on white whatever the desktop's style: the painted texts have fixed colours, and the
    // labels and the log box placed here must read like them, also under a dark style. The
    // controls inherit these roles; the status line takes the system's back.
    QPalette colours = palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base})
        colours.setColor(role, Qt::white);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text})
        colours.setColor(role, Qt::black);
    setPalette(colours);
}

void ClientArea::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // The counters are read without a lock while the worker may change them; a value one
    // update behind is shown right at the next repaint.
    m_painter.paint(painter, m_shownPair(), m_state.snapshot(), font());
}

} // namespace tavrel::ui
