#pragma once

#include "scanning/AppList.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QHash>
#include <QIcon>

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

    // The side of the app icons beside the names, in points.
    static constexpr int iconSide = 20;

Q_SIGNALS:
    // The table asks for another order; the owner recomputes the rows.
    void sortRequested(const QString &column, Qt::SortOrder order);

private:
    // The app's icon as it is on disk: the device's, or the store's once it was fetched; an
    // empty one of the same size keeps the names in line.
    QIcon icon(const Row &row) const;
    // "Store version: 3.2 (update available)" and what else the row's cells say together.
    static QStringList notes(const Row &row);

    QStringList m_columns;
    // Per column: a number, right-aligned in figures of equal width.
    QList<bool> m_numeric;
    const AppList *m_apps = nullptr;
    QList<qsizetype> m_visible;
    QFont m_font;
    QFont m_nameFont;
    QFont m_sizeFont;
    // Icons read once per app version: painting asks for them again and again.
    mutable QHash<QString, QIcon> m_icons;
    const Row *m_iconRows = nullptr;
};
