#include "app/InventoryHeaderView.h"

#include <QContextMenuEvent>
#include <QMenu>

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
