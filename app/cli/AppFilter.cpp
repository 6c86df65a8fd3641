#include "app/cli/AppFilter.h"

#include "scanning/AppList.h"
#include "scanning/ScanError.h"

#include <algorithm>

namespace {

const QString searchOption = QStringLiteral("search");
const QString categoryOption = QStringLiteral("category");
const QString sortOption = QStringLiteral("sort");

} // namespace

QList<QCommandLineOption> AppFilter::options()
{
    QList<QCommandLineOption> options = {
        {searchOption,
         QStringLiteral("Only apps whose name, bundle identifier or category contains <text>."),
         QStringLiteral("text")},
        {categoryOption, QStringLiteral("Only apps of <category> (or Uncategorized)."),
         QStringLiteral("category")},
        {sortOption, QStringLiteral("Sort by <column>, or <column>:desc."),
         QStringLiteral("column")},
    };
    for (const RowFilter &filter : RowFilter::all()) {
        if (!filter.option.isEmpty())
            options.append({filter.option, filter.optionHelp});
    }
    return options;
}

AppFilter::AppFilter(const QCommandLineParser &parser)
    : m_search(parser.value(searchOption)),
      m_category(parser.isSet(categoryOption) ? std::optional(parser.value(categoryOption))
                                              : std::nullopt),
      m_sort(parser.value(sortOption))
{
    for (const RowFilter &filter : RowFilter::all()) {
        if (!filter.option.isEmpty() && parser.isSet(filter.option))
            m_filters.append(&filter);
    }
}

QString AppFilter::category() const
{
    return m_category.value_or(AppList::allCategories);
}

QList<Row> AppFilter::rows(const Inventory &shown) const
{
    const AppList apps(shown.namedRows());
    QString column = m_sort;
    Qt::SortOrder order = Qt::AscendingOrder;
    if (column.endsWith(QStringLiteral(":desc"), Qt::CaseInsensitive)) {
        column.chop(5);
        order = Qt::DescendingOrder;
    } else if (column.endsWith(QStringLiteral(":asc"), Qt::CaseInsensitive)) {
        column.chop(4);
    }
    if (!column.isEmpty() && !shown.fields.contains(column))
        throw ScanError(QStringLiteral("The inventory has no column \u201C%1\u201D. Its columns "
                                       "are: %2.")
                            .arg(column, shown.fields.join(QStringLiteral(", "))));
    QList<Row> rows;
    for (qsizetype index : apps.visible(m_search, category(), column, order)) {
        const Row &row = apps.rows().at(index);
        if (std::all_of(m_filters.cbegin(), m_filters.cend(),
                        [&row](const RowFilter *filter) { return filter->matches(row); }))
            rows.append(row);
    }
    return rows;
}

QString AppFilter::text() const
{
    QStringList shown;
    for (const RowFilter *filter : m_filters)
        shown.append(filter->name);
    return AppList::filterText(category(), shown, m_search);
}
