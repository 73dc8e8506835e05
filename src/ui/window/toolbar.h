// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QToolBar>
#include <vector>

namespace tavrel::ui {

// The flat 32 x 32 picture toolbar along the top of the client area. It reports its hot
// button, the one under the pointer, so the window can show that command's tip.
class Toolbar final : public QToolBar
{
    Q_OBJECT

public:
    // `entries` left to right; nullptr stands for a separator. Each action carries its command
    // number as data and takes the next picture of the strips.
    Toolbar(const std::vector<QAction*>& entries, QWidget* parent);

    // Forgets a hot button the pointer has left while a modal box blocked the window: the
    // window hears of no such leave, so the button would keep its hover frame afterwards.
    void clearStaleHover();

signals:
    // The command number of the new hot button, or -1 when no enabled button is under the pointer.
    void hotChanged(int commandNumber);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace tavrel::ui
