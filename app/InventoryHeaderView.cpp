#include "app/InventoryHeaderView.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QStyleOptionHeader>

InventoryHeaderView::InventoryHeaderView(QWidget *parent) : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsMovable(true);
    setSectionsClickable(true);
    setSortIndicatorShown(true);
    setHighlightSections(false);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Titles line up with the cell texts below them, which are inset by 8 points.
    setStyleSheet(
        QStringLiteral("QHeaderView::section { padding-left: 7px; padding-right: 7px; }"));
}

bool InventoryHeaderView::popUpMenu(const QPoint &position)
{
    if (!makeMenu)
        return false;
    QMenu *menu = makeMenu(logicalIndexAt(position));
    if (!menu)
        return false;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(viewport()->mapToGlobal(position));
    return true;
}

void InventoryHeaderView::contextMenuEvent(QContextMenuEvent *event)
{
    if (!popUpMenu(event->pos()))
        QHeaderView::contextMenuEvent(event);
}

void InventoryHeaderView::mousePressEvent(QMouseEvent *event)
{
    // Control-click is the one-button mouse's right-click. Qt calls the Control key Meta on macOS.
#ifdef Q_OS_MACOS
    constexpr Qt::KeyboardModifier control = Qt::MetaModifier;
#else
    constexpr Qt::KeyboardModifier control = Qt::ControlModifier;
#endif
    if (event->button() == Qt::LeftButton && (event->modifiers() & control) &&
        popUpMenu(event->position().toPoint()))
        return;
    QHeaderView::mousePressEvent(event);
}

void InventoryHeaderView::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    QStyleOptionHeader option;
    initStyleOption(&option);
    initStyleOptionForIndex(&option, logicalIndex);
    option.rect = rect;
#if !defined(Q_OS_MACOS) && !defined(Q_OS_WIN)
    // Qt calls ascending "SortDown", and the styles of other systems than the Mac and Windows
    // draw that as a downward arrow. Ascending points up, as on the Mac and in Windows.
    if (option.sortIndicator == QStyleOptionHeader::SortDown)
        option.sortIndicator = QStyleOptionHeader::SortUp;
    else if (option.sortIndicator == QStyleOptionHeader::SortUp)
        option.sortIndicator = QStyleOptionHeader::SortDown;
#endif
    if (!rect.isValid() || option.sortIndicator == QStyleOptionHeader::None) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    // The style draws the arrow over the title's end, which is where a right-aligned title
    // ("Total MB") is; the title ends before the arrow instead.
    const QStyle *style = this->style();
    painter->save();
    style->drawControl(QStyle::CE_HeaderSection, &option, painter, this);
    QStyleOptionHeader label = option;
    label.rect = style->subElementRect(QStyle::SE_HeaderLabel, &option, this);
    QStyleOptionHeader arrow = option;
    arrow.rect = style->subElementRect(QStyle::SE_HeaderArrow, &option, this);
    if (arrow.rect.isValid())
        label.rect.setRight(std::min(label.rect.right(), arrow.rect.left() - 2));
    style->drawControl(QStyle::CE_HeaderLabel, &label, painter, this);
    style->drawPrimitive(QStyle::PE_IndicatorHeaderArrow, &arrow, painter, this);
    painter->restore();
}
