#pragma once

#include <QStyledItemDelegate>

// Draws a cell's text inset 8 points from both edges and shortened at its tail.
class CellDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
};
