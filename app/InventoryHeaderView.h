#pragma once

#include <QHeaderView>

#include <functional>

class QMenu;

// The table header, with the column menu on right-click and on Control-click.
class InventoryHeaderView : public QHeaderView {
    Q_OBJECT

public:
    explicit InventoryHeaderView(QWidget *parent = nullptr);

    // Builds the menu for a column (-1 when the point is over no column). The menu is deleted
    // once it closes.
    std::function<QMenu *(int column)> makeMenu;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    bool popUpMenu(const QPoint &position);
};
