// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/owned_placement.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace tavrel::ui {

namespace {

// A frame that has not come by then is not coming; later moves are the user's.
constexpr int kFrameWaitMs = 2000;

QMargins frameMargins(const QWidget& window)
{
    const QRect frame = window.frameGeometry();
    const QRect inside = window.geometry();
    return {inside.left() - frame.left(), inside.top() - frame.top(), frame.right() - inside.right(),
            frame.bottom() - inside.bottom()};
}

// Places the dialog again when its real frame differs from the size it was placed for.
class FrameWatch final : public QObject
{
public:
    FrameWatch(QWidget& dialog, const QWidget& owner, FramePlacement placement, QSize placedFor)
        : QObject(&dialog), m_dialog(dialog), m_owner(&owner), m_placement(std::move(placement)),
          m_placedFor(placedFor)
    {
        dialog.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &m_dialog)
            return false;
        switch (event->type()) {
        case QEvent::Show:
            if (!m_shown) {
                m_shown = true;
                QTimer::singleShot(kFrameWaitMs, this, [this] { deleteLater(); });
            }
            correct();
            break;
        case QEvent::Move:
        case QEvent::Resize:
            if (m_shown)
                correct();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void correct()
    {
        const QSize frame = m_dialog.frameGeometry().size();
        // Until the window manager's frame has come, Qt gives the inside as the frame: that is
        // no news about the frame, and placing by it would undo the guess.
        if (frame == m_placedFor || frame == m_dialog.size() || m_owner.isNull())
            return;
        m_placedFor = frame;
        m_dialog.move(m_placement(m_owner->window()->frameGeometry(), frame));
    }

    QWidget& m_dialog;
    QPointer<const QWidget> m_owner;
    FramePlacement m_placement;
    QSize m_placedFor;
    bool m_shown = false;
};

} // namespace

QSize expectedFrameSize(const QWidget& dialog, const QWidget& owner)
{
    if (dialog.isVisible())
        return dialog.frameGeometry().size();
    return dialog.size().grownBy(frameMargins(*owner.window()));
}

void placeOverOwner(QWidget& dialog, const QWidget& owner, FramePlacement placement)
{
    const QSize frame = expectedFrameSize(dialog, owner);
    // Before the dialog exists on screen, a move places its frame's corner, not its inside's.
    dialog.move(placement(owner.window()->frameGeometry(), frame));
    new FrameWatch(dialog, owner, std::move(placement), frame);
}

} // namespace tavrel::ui
