#include "app/cli/AppFilter.h"

#include "scanning/AppList.h"
#include "scanning/ScanError.h"

namespace {

const QString searchOption = QStringLiteral("search");
const QString categoryOption = QStringLiteral("category");
const QString sortOption = QStringLiteral("sort");

} // namespace

QList<QCommandLineOption> AppFilter::options()
{
    return {
        {searchOption,
         QStringLiteral("Only apps whose name, bundle identifier or category contains <text>."),
         QStringLiteral("text")},
        {categoryOption, QStringLiteral("Only apps of <category> (or Uncategorized)."),
         QStringLiteral("category")},
        {sortOption, QStringLiteral("Sort by <column>, or <column>:desc."),
         QStringLiteral("column")},
    };
}

AppFilter::AppFilter(const QCommandLineParser &parser)
    : m_search(parser.value(searchOption)),
      m_category(parser.isSet(categoryOption) ? std::optional(parser.value(categoryOption))
                                              : std::nullopt),
      m_sort(parser.value(sortOption))
{}

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
    for (qsizetype index : apps.visible(m_search, category(), column, order))
        rows.append(apps.rows().at(index));
    return rows;
}

QString AppFilter::text() const
{
    QString text = QStringLiteral("Category: ") + category();
    if (!m_search.isEmpty())
        text += QStringLiteral(" \u00B7 Search: ") + m_search;
    return text;
}
