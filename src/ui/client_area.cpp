#include "ui/client_area.h"

#include <QPaintEvent>
#include <QPainter>

namespace tavrel::ui {

ClientArea::ClientArea(const engine::RunState& state, ShownPair shownPair, QWidget* parent)
    : QWidget(parent), m_state(state), m_shownPair(std::move(shownPair))
{
    setFixedSize(792, 504);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
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
