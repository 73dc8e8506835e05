// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/toolbar.h"

#include "ui/common/artwork.h"

#include <QAction>
#include <QCursor>
#include <QEvent>
#include <QToolButton>

namespace tavrel::ui {

Toolbar::Toolbar(const std::vector<QAction*>& entries, QWidget* parent) : QToolBar(parent)
{
    setMovable(false);
    setFloatable(false);
    setIconSize(artwork::kToolbarPictureSize);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setContextMenuPolicy(Qt::PreventContextMenu);
    int picture = 0;
    for (QAction* action : entries) {
        if (!action) {
            addSeparator();
            continue;
        }
        QIcon icon;
        icon.addPixmap(artwork::toolbarPicture(picture, false), QIcon::Normal);
        icon.addPixmap(artwork::toolbarPicture(picture, true), QIcon::Disabled);
        ++picture;
        action->setIcon(icon);
        action->setIconVisibleInMenu(false);
        addAction(action);
        QWidget* button = widgetForAction(action);
        button->installEventFilter(this);
        button->setFocusPolicy(Qt::NoFocus);
    }
    installEventFilter(this);
}

void Toolbar::clearStaleHover()
{
    bool cleared = false;
    for (QToolButton* button : findChildren<QToolButton*>()) {
        if (!button->underMouse() || button->rect().contains(button->mapFromGlobal(QCursor::pos())))
            continue;
        button->setAttribute(Qt::WA_UnderMouse, false);
        button->update();
        cleared = true;
    }
    if (cleared)
        emit hotChanged(-1);
}

bool Toolbar::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Enter:
        if (auto* button = qobject_cast<QToolButton*>(watched)) {
            QAction* action = button->defaultAction();
            emit hotChanged(action && action->isEnabled() ? action->data().toInt() : -1);
        }
        break;
    case QEvent::Leave:
        if (watched == this || qobject_cast<QToolButton*>(watched))
            emit hotChanged(-1);
        break;
    case QEvent::ToolTip:
        // The status line shows the tips; the buttons have no balloon of their own.
        return true;
    default:
        break;
    }
    return QToolBar::eventFilter(watched, event);
}

} // namespace tavrel::ui
