// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run_state.h"
#include "model/folder_pair.h"
#include "ui/window/panel_painter.h"

#include <QWidget>
#include <functional>

namespace tavrel::ui {

// The main window's fixed 792 x 504 client area: white, with the panels painted on it and the
// child controls placed on it at client coordinates.
class ClientArea final : public QWidget
{
public:
    using ShownPair = std::function<const model::FolderPair*()>;

    ClientArea(const engine::RunState& state, ShownPair shownPair, QWidget* parent);

    const PanelPainter& painter() const { return m_painter; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const engine::RunState& m_state;
    ShownPair m_shownPair;
    PanelPainter m_painter;
};

} // namespace tavrel::ui
