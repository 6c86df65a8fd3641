#pragma once

#include "scanning/Inventory.h"
#include "scanning/RowFilter.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

#include <optional>

// --search, --category, --sort and the flags of RowFilter (--updates…) of the commands that
// list an inventory's apps: the rows they leave, in the order the window's table would show
// them.
class AppFilter {
public:
    static QList<QCommandLineOption> options();

    explicit AppFilter(const QCommandLineParser &parser);

    // Throws when the inventory has no column to sort by of that name.
    QList<Row> rows(const Inventory &shown) const;
    // "Category: Games · Search: maps", as a report names its filter.
    QString text() const;

private:
    QString category() const;

    QString m_search;
    std::optional<QString> m_category;
    QString m_sort;
    // Every flag given narrows the rows further.
    QList<const RowFilter *> m_filters;
};
