// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTreeWidget>

namespace tavrel::ui {

// The job's pairs as one checkable column. Every item stores the slot number of its pair:
// after a removal, positions and slot numbers differ, so nothing may find a pair by position.
class PairList final : public QTreeWidget
{
    Q_OBJECT

public:
    explicit PairList(QWidget* parent);

    // Inserts an item at `position`, selected, with its check box set to `checked`.
    void insertPair(int position, const QString& name, int slot, bool checked);
    void removeAt(int position);
    void setNameAt(int position, const QString& name);

    int count() const { return topLevelItemCount(); }
    // The stored slot number of the item at `position`, or -1 when there is no such item.
    int slotAt(int position) const;
    bool isCheckedAt(int position) const;
    QString nameAt(int position) const;
    // Position of the selected item, or -1.
    int selectedPosition() const;

signals:
    // A press of any button in the list; `position` is -1 when no item was hit.
    void clickedAt(int position, Qt::MouseButton button, QPoint globalPos);
    void doubleClickedAt(int position);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    int positionAt(QPoint viewportPos) const;
};

} // namespace tavrel::ui
