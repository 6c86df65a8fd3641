#include "widgets/CellDelegate.h"

#include <QApplication>
#include <QPainter>

void CellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                         const QModelIndex &index) const
{
    QStyleOptionViewItem cell(option);
    initStyleOption(&cell, index);
    const QString text = cell.text;
    cell.text.clear();
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);

    const QRect area = cell.rect.adjusted(8, 0, -8, 0);
    const bool selected = cell.state & QStyle::State_Selected;
    const QVariant foreground = index.data(Qt::ForegroundRole);
    QColor color = cell.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    if (foreground.canConvert<QColor>() && foreground.isValid()) {
        const QColor faint = foreground.value<QColor>();
        color.setAlphaF(faint.alphaF());
    }
    painter->save();
    painter->setFont(cell.font);
    painter->setPen(color);
    const QString shown = QFontMetrics(cell.font).elidedText(text, Qt::ElideRight, area.width());
    painter->drawText(area, int(cell.displayAlignment), shown);
    painter->restore();
}
