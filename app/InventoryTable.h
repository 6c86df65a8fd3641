#pragma once

#include "scanning/AppList.h"

#include <QObject>
#include <QPointer>
#include <QTableView>

class InventoryHeaderView;
class InventoryTableModel;
class QMenu;
class QModelIndex;

// The inventory table: its columns (order, widths and hidden ones remembered between runs), the
// sort the user chose, the column menu and the text size.
class InventoryTable : public QObject {
    Q_OBJECT

public:
    explicit InventoryTable(QObject *parent = nullptr);
    // The view too, unless a window has taken it over.
    ~InventoryTable() override;

    // The view, for the window's layout; the layout takes it over.
    QTableView *view() const { return m_table; }

    // Shows `fields` as columns, in the remembered order, unless the same set is already shown.
    void setColumns(const QStringList &fields);
    const QStringList &columns() const;
    // Shows the rows of `apps` at `visible`, in that order.
    void setRows(const AppList *apps, const QList<qsizetype> &visible);

    // The sort the user chose, or an empty column when it is not one of the columns shown.
    QString sortColumn() const;
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    // The table row the details command means: the current row if it is selected, else the first
    // selected row; -1 when nothing is selected.
    int chosenRow() const;

    QMenu *columnMenu(int column, QWidget *parent);
    void toggleColumn(const QString &column);
    void showAllColumns();

    double fontSize() const { return m_fontSize; }
    void decreaseFont();
    void increaseFont();

    static constexpr double smallestFontSize = 10;
    static constexpr double largestFontSize = 24;

Q_SIGNALS:
    // The user asked for another order; the rows need sorting again.
    void sortChanged();
    void fontSizeChanged(double size);
    void rowActivated(int row);

private:
    void setFontSize(double size);
    void saveColumnOrder();
    void saveHiddenColumns();
    int shownCount() const;

    QPointer<QTableView> m_table;
    InventoryTableModel *m_model = nullptr;
    InventoryHeaderView *m_header = nullptr;
    QString m_sortColumn;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    double m_fontSize = 12;
    bool m_restoringColumns = false;
};
