#pragma once

#include "scanning/AppList.h"

#include <QAbstractTableModel>
#include <QFont>

// The table's rows: the visible apps of the displayed inventory, one column per column name.
// Blank cells show an em dash in a faint colour; numeric columns are right-aligned.
class InventoryTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit InventoryTableModel(QObject *parent = nullptr);

    const QStringList &columns() const { return m_columns; }
    void setColumns(const QStringList &columns);
    void setRows(const AppList *apps, const QList<qsizetype> &visible);
    void setFontSize(double size);

    // The row shown at table row `row`.
    const Row &row(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

Q_SIGNALS:
    // The table asks for another order; the owner recomputes the rows.
    void sortRequested(const QString &column, Qt::SortOrder order);

private:
    QStringList m_columns;
    // Per column: a number, right-aligned in figures of equal width.
    QList<bool> m_numeric;
    const AppList *m_apps = nullptr;
    QList<qsizetype> m_visible;
    QFont m_font;
    QFont m_nameFont;
    QFont m_sizeFont;
};
