#pragma once

#include "scanning/Row.h"
#include "scanning/RowFilter.h"

#include <QCollatorSortKey>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The apps of the displayed inventory as a list shows them: filtered by a search text and a
// category, sorted by one column. The window and the command line share these rules.
class AppList {
public:
    static const QString allCategories;
    static const QString uncategorized;

    explicit AppList(QList<Row> rows = {});

    const QList<Row> &rows() const { return m_rows; }

    // "All categories", "Uncategorized", then every category named by a row, in code-point
    // order of their normalised text (upper case before lower case).
    QStringList categoryChoices() const;

    // Indices into rows(), in display order. The query is trimmed and matched without regard to
    // case against name, bundle identifier and category; only rows `filter` passes, when given.
    // An empty sort column keeps the inventory's order; blank values sort last in either
    // direction.
    QList<qsizetype> visible(const QString &query, const QString &category,
                             const QString &sortColumn = QString(),
                             Qt::SortOrder order = Qt::AscendingOrder,
                             const RowFilter *filter = nullptr) const;

    // The whole text as a number in C syntax ("12.5", "1e3", "+3"), or nothing.
    static std::optional<double> parseNumber(const QString &text);

    // "Category: Games · Show: Updates available · Search: maps", as a report names its filter;
    // "All apps" and an empty search are left out.
    static QString filterText(const QString &category, const QStringList &shown,
                              const QString &query);

    // "3 of 120 apps".
    static QString countText(qsizetype visible, qsizetype total);

private:
    struct SortValue {
        bool blank = true;
        std::optional<double> number;
        std::optional<QList<qint64>> version;
        std::optional<QCollatorSortKey> text;
    };
    const std::vector<SortValue> &sortValues(const QString &column) const;

    QList<Row> m_rows;
    // Collation keys are costly; they are made once per column and kept with the rows.
    mutable QHash<QString, std::vector<SortValue>> m_sortValues;
};
