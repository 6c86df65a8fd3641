#pragma once

#include "scanning/AppList.h"
#include "scanning/Inventory.h"

#include <QObject>
#include <QPointer>

#include <optional>

class InventoryTable;
class MainWindow;

// The inventory on screen: the scan the table shows (the latest one, or one picked from the
// history), the search, category and sort over it, and the rows they leave visible, which the
// exports and App Details take.
class ShownInventory : public QObject {
    Q_OBJECT

public:
    ShownInventory(MainWindow *window, InventoryTable *table, QObject *parent = nullptr);

    // The scan just made or loaded: shown, and what the history's "Current inventory" is.
    void showLatest(const Inventory &inventory);
    // A saved scan, with the store columns added.
    void showScan(const Inventory &inventory);
    // Names and notes saved since, in the shown and the latest inventory.
    void applyAnnotations();
    // Filters and sorts again, after the search, the category, the Show choice or the sort
    // changed.
    void applyFilter();
    // The footer names the store the shown categories came from; before any scan, the store the
    // first one will ask.
    void showStore();

    const Inventory &current() const { return m_current; }
    const Inventory &latest() const { return m_latest; }
    const QStringList &fields() const { return m_current.fields; }
    const std::optional<QString> &deviceName() const { return m_current.deviceName; }
    // Every app of the shown scan, whatever the filter.
    const QList<Row> &apps() const { return m_apps.rows(); }

    // The rows the table shows, in order.
    QList<Row> visibleRows() const;
    bool hasVisibleRows() const { return !m_visible.isEmpty(); }
    // The app in the table's row `row`, if there is one.
    std::optional<Row> visibleRow(int row) const;
    // "Category: Games · Show: Updates available · Search: maps", for a report of the visible
    // rows.
    QString filterDescription() const;

Q_SIGNALS:
    // Another scan is shown, or other rows of it.
    void changed();

private:
    void show(const Inventory &shown);
    void configureCategories();
    QString categoryChosen() const;
    const RowFilter *filterChosen() const;

    QPointer<MainWindow> m_window;
    InventoryTable *m_table = nullptr;
    Inventory m_current;
    Inventory m_latest;
    AppList m_apps;
    QList<qsizetype> m_visible;
};
