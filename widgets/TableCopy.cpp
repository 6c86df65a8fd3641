#include "widgets/TableCopy.h"

#include "reports/CsvExport.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

#include <algorithm>

QString TableCopy::selectedRows(const QTableView *table)
{
    const QAbstractItemModel *model = table->model();
    const QItemSelectionModel *selection = table->selectionModel();
    if (!model || !selection)
        return {};
    QList<int> rows;
    for (const QModelIndex &index : selection->selectedIndexes())
        rows.append(index.row());
    if (rows.isEmpty())
        return {};
    // Once each, in the order shown, whatever order they were selected in.
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    const QHeaderView *header = table->horizontalHeader();
    QList<int> columns;
    for (int visual = 0; visual < header->count(); ++visual) {
        if (const int logical = header->logicalIndex(visual); !header->isSectionHidden(logical))
            columns.append(logical);
    }

    QList<QStringList> lines;
    QStringList titles;
    for (int column : columns)
        titles.append(model->headerData(column, Qt::Horizontal).toString());
    lines.append(titles);
    for (int row : rows) {
        QStringList cells;
        for (int column : columns) {
            const QModelIndex index = model->index(row, column);
            const QVariant text = model->data(index, textRole);
            cells.append(text.isValid() ? text.toString() : model->data(index).toString());
        }
        lines.append(cells);
    }
    return CsvExport::tabSeparated(lines);
}
