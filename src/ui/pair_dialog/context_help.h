// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <functional>

class QMenu;
class QWidget;

namespace tavrel::ui {

// Longest help text a control is given.
inline constexpr int kHelpTextCapacity = 255;

// The item a right-click on a control offers.
inline constexpr const char* kWhatsThisText = "What's &This?";

// The help text of the control numbered `controlId`: its string-table entry, or "" for
// a control without one (labels, group boxes and pictures have none).
QString helpText(int controlId);

// The number a dialog gave one of its controls, or -1.
int controlIdOf(const QWidget* widget);

// Serves help requests for the numbered controls of one dialog: F1 asks about the control
// with the focus, What's This mode (Shift+F1 or the title bar's "?") about the one clicked,
// and a right-click offers "What's This?" on any numbered control (first in an edit box's own
// menu). The right-click is the way in that every desktop shows: not every window manager
// draws the title bar's "?". Each request reaches the handler with the control's number and
// the pointer position.
class ContextHelp final : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(int controlId, const QPoint& globalPos)>;

    ContextHelp(QWidget* dialog, Handler handler);

    // Numbers `control` and makes it answer help requests.
    void addControl(QWidget* control, int controlId);

    // F1: the focused control of the dialog, at the pointer position.
    void requestForFocus();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The right-click menu of `control`: "What's This?", then an edit box's own items.
    QMenu* contextMenuFor(QWidget* control);

    QWidget* m_dialog;
    Handler m_handler;
};

} // namespace tavrel::ui
