// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/pair_list.h"

#include <QHeaderView>
#include <QMouseEvent>

namespace tavrel::ui {

namespace {
constexpr int kSlotRole = Qt::UserRole + 1;
} // namespace

PairList::PairList(QWidget* parent) : QTreeWidget(parent)
{
    setColumnCount(1);
    setColumnWidth(0, 196);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::NoContextMenu);
    setFrameShape(QFrame::StyledPanel);
}

void PairList::insertPair(int position, const QString& name, int slot, bool checked)
{
    auto* item = new QTreeWidgetItem(QStringList{name});
    item->setData(0, kSlotRole, slot);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    insertTopLevelItem(position, item);
    setCurrentItem(item);
}

void PairList::removeAt(int position)
{
    const QTreeWidgetItem* item = topLevelItem(position);
    const bool wasSelected = item && item->isSelected();
    delete takeTopLevelItem(position);
    // The view would hand the selection to a neighbour, which the next Remove would then
    // delete unseen; a removed pair leaves nothing selected, and no current row either,
    // whose focus frame would still make a neighbour look chosen.
    if (wasSelected) {
        clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
}

void PairList::setNameAt(int position, const QString& name)
{
    if (QTreeWidgetItem* item = topLevelItem(position))
        item->setText(0, name);
}

int PairList::slotAt(int position) const
{
    const QTreeWidgetItem* item = position >= 0 ? topLevelItem(position) : nullptr;
    return item ? item->data(0, kSlotRole).toInt() : -1;
}

bool PairList::isCheckedAt(int position) const
{
    const QTreeWidgetItem* item = topLevelItem(position);
    return item && item->checkState(0) == Qt::Checked;
}

QString PairList::nameAt(int position) const
{
    const QTreeWidgetItem* item = topLevelItem(position);
    return item ? item->text(0) : QString();
}

int PairList::selectedPosition() const
{
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : indexOfTopLevelItem(selected.first());
}

int PairList::positionAt(QPoint viewportPos) const
{
    const QModelIndex index = indexAt(viewportPos);
    return index.isValid() ? index.row() : -1;
}

void PairList::mousePressEvent(QMouseEvent* event)
{
    QTreeWidget::mousePressEvent(event);
    const int position = positionAt(event->position().toPoint());
    // A click beside the items leaves nothing selected, so the commands find no pair.
    if (position < 0)
        clearSelection();
    emit clickedAt(position, event->button(), event->globalPosition().toPoint());
}

void PairList::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit doubleClickedAt(positionAt(event->position().toPoint()));
}

} // namespace tavrel::ui
