#pragma once

#include <QString>

class QTableView;

// The selected rows of a table as text for the clipboard: a line of the column titles, then
// one line per row, the columns as shown (order, hidden ones left out), separated by tabs,
// which is what spreadsheets paste as cells.
class TableCopy {
public:
    // A cell's own text when the model gives it in this role, rather than what the cell shows
    // (a dash for a blank).
    static constexpr int textRole = Qt::UserRole + 1;

    // Empty when no row is selected.
    static QString selectedRows(const QTableView *table);

    TableCopy() = delete;
};
