// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pair_dialog/context_help.h"

#include "ui/common/string_table.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QVariant>
#include <QWhatsThis>
#include <QWidget>

namespace tavrel::ui {

namespace {

const char* const kControlIdProperty = "controlId";

} // namespace

QString helpText(int controlId)
{
    return loadString(controlId).left(kHelpTextCapacity);
}

int controlIdOf(const QWidget* widget)
{
    if (widget == nullptr)
        return -1;
    bool ok = false;
    const int id = widget->property(kControlIdProperty).toInt(&ok);
    return ok ? id : -1;
}

ContextHelp::ContextHelp(QWidget* dialog, Handler handler)
    : QObject(dialog), m_dialog(dialog), m_handler(std::move(handler))
{
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), dialog);
    help->setContext(Qt::WidgetWithChildrenShortcut);
    connect(help, &QShortcut::activated, this, &ContextHelp::requestForFocus);

    auto* whatsThis = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1), dialog);
    whatsThis->setContext(Qt::WidgetWithChildrenShortcut);
    connect(whatsThis, &QShortcut::activated, this, [] { QWhatsThis::enterWhatsThisMode(); });
}

void ContextHelp::addControl(QWidget* control, int controlId)
{
    control->setProperty(kControlIdProperty, controlId);
    control->installEventFilter(this);
}

void ContextHelp::requestForFocus()
{
    const int id = controlIdOf(m_dialog->focusWidget());
    if (id >= 0)
        m_handler(id, QCursor::pos());
}

QMenu* ContextHelp::contextMenuFor(QWidget* control)
{
    auto* edit = qobject_cast<QLineEdit*>(control);
    QMenu* menu = edit ? edit->createStandardContextMenu() : new QMenu(control);
    auto* whatsThis = new QAction(QString::fromLatin1(kWhatsThisText), menu);
    whatsThis->setObjectName(QStringLiteral("whatsThis"));
    const QList<QAction*> own = menu->actions();
    menu->insertAction(own.isEmpty() ? nullptr : own.first(), whatsThis);
    if (!own.isEmpty())
        menu->insertSeparator(own.first());
    return menu;
}

bool ContextHelp::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ContextMenu) {
        auto* control = qobject_cast<QWidget*>(watched);
        const int id = controlIdOf(control);
        if (id < 0)
            return QObject::eventFilter(watched, event);
        const QPoint at = static_cast<QContextMenuEvent*>(event)->globalPos();
        QMenu* menu = contextMenuFor(control);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        connect(menu->actions().first(), &QAction::triggered, this, [this, id, at] {
            // After the menu has closed and given the focus back, which would hide the tip.
            QMetaObject::invokeMethod(
                this, [this, id, at] { m_handler(id, at); }, Qt::QueuedConnection);
        });
        menu->popup(at);
        return true;
    }
    if (event->type() != QEvent::WhatsThis && event->type() != QEvent::QueryWhatsThis)
        return QObject::eventFilter(watched, event);
    const int id = controlIdOf(qobject_cast<QWidget*>(watched));
    if (id < 0)
        return QObject::eventFilter(watched, event);
    // Answering the query marks the control as one that has help, for the pointer shape.
    event->accept();
    if (event->type() == QEvent::WhatsThis) {
        // The mode ends by itself only for controls it shows a text for; leave it once the
        // filter that sent this request has returned.
        if (QWhatsThis::inWhatsThisMode())
            QMetaObject::invokeMethod(
                this, [] { QWhatsThis::leaveWhatsThisMode(); }, Qt::QueuedConnection);
        m_handler(id, static_cast<QHelpEvent*>(event)->globalPos());
    }
    return true;
}

} // namespace tavrel::ui
