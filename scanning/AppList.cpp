#include "scanning/AppList.h"

#include "common/Collation.h"
#include "common/Plural.h"
#include "scanning/Column.h"
#include "scanning/Inventory.h"
#include "scanning/RowBuilder.h"

#include <QSet>

#include <algorithm>
#include <charconv>

const QString AppList::allCategories = QStringLiteral("All categories");
const QString AppList::uncategorized = QStringLiteral("Uncategorized");

std::optional<double> AppList::parseNumber(const QString &text)
{
    // Sizes are a handful of characters: narrowed on the stack rather than into a new array.
    char stack[32];
    QByteArray heap;
    char *begin = stack;
    if (text.size() > qsizetype(sizeof stack)) {
        heap.resize(text.size());
        begin = heap.data();
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() >= 0x80)
            return std::nullopt;
        begin[i] = char(text[i].unicode());
    }
    const char *end = begin + text.size();
    // from_chars takes no '+', and after one a second sign is not a number.
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && (*begin == '-' || *begin == '+'))
            return std::nullopt;
    }
    double value = 0;
    const auto result = std::from_chars(begin, end, value);
    if (begin == end || result.ec != std::errc() || result.ptr != end)
        return std::nullopt;
    return value;
}

AppList::AppList(QList<Row> rows) : m_rows(std::move(rows)) {}

QStringList AppList::categoryChoices() const
{
    QSet<QString> seen;
    std::vector<std::pair<QString, QString>> categories; // normalised, as shown
    for (const Row &row : m_rows) {
        const QString category = row.value(Column::category);
        if (category.isEmpty() || seen.contains(category))
            continue;
        seen.insert(category);
        categories.emplace_back(category.normalized(QString::NormalizationForm_C), category);
    }
    // Code-point order, which UTF-16 order is not beyond the basic plane: compare in UTF-32.
    std::sort(categories.begin(), categories.end(), [](const auto &a, const auto &b) {
        const QList<uint> left = a.first.toUcs4();
        const QList<uint> right = b.first.toUcs4();
        return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end());
    });
    QStringList choices{allCategories, uncategorized};
    for (const auto &[normalised, shown] : categories)
        choices.append(shown);
    return choices;
}

const std::vector<AppList::SortValue> &AppList::sortValues(const QString &column) const
{
    auto found = m_sortValues.find(column);
    if (found != m_sortValues.end())
        return *found;
    const Column described = Column::described(column);
    const bool numeric = described.isNumeric();
    const bool versions = described.kind == Column::Kind::Version;
    const QCollator collator = Collation::finderOrder();
    std::vector<SortValue> values(size_t(m_rows.size()));
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        const QString text = m_rows[i].value(column);
        SortValue &value = values[size_t(i)];
        value.blank = text.isEmpty();
        if (value.blank)
            continue;
        if (numeric)
            value.number = parseNumber(text);
        if (versions)
            value.version = RowBuilder::versionComponents(text);
        value.text = collator.sortKey(text);
    }
    return *m_sortValues.insert(column, std::move(values));
}

QList<qsizetype> AppList::visible(const QString &query, const QString &category,
                                  const QString &sortColumn, Qt::SortOrder order,
                                  const RowFilter *filter) const
{
    const QString needle = query.trimmed();
    QList<qsizetype> shown;
    shown.reserve(m_rows.size());
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        const Row &row = m_rows[i];
        const QString rowCategory = row.value(Column::category);
        if (category == uncategorized ? !rowCategory.isEmpty()
                                      : category != allCategories && rowCategory != category)
            continue;
        if (!needle.isEmpty() &&
            !row.value(Column::appName).contains(needle, Qt::CaseInsensitive) &&
            !row.value(Column::bundleIdentifier).contains(needle, Qt::CaseInsensitive) &&
            !rowCategory.contains(needle, Qt::CaseInsensitive))
            continue;
        if (filter && !filter->matches(row))
            continue;
        shown.append(i);
    }
    if (sortColumn.isEmpty())
        return shown;

    const std::vector<SortValue> &values = sortValues(sortColumn);
    const bool ascending = order == Qt::AscendingOrder;
    std::stable_sort(shown.begin(), shown.end(), [&](qsizetype left, qsizetype right) {
        const SortValue &a = values[size_t(left)];
        const SortValue &b = values[size_t(right)];
        if (a.blank || b.blank)
            return !a.blank && b.blank;
        if (a.number && b.number)
            return ascending ? *a.number < *b.number : *a.number > *b.number;
        if (a.version && b.version && *a.version != *b.version)
            return ascending ? *a.version < *b.version : *b.version < *a.version;
        const int result = a.text->compare(*b.text);
        return ascending ? result < 0 : result > 0;
    });
    return shown;
}

QString AppList::filterText(const QString &category, const QStringList &shown, const QString &query)
{
    QString text = QStringLiteral("Category: ") + category;
    for (const QString &name : shown) {
        if (name != RowFilter::allApps)
            text += QStringLiteral(" \u00B7 Show: ") + name;
    }
    if (!query.isEmpty())
        text += QStringLiteral(" \u00B7 Search: ") + query;
    return text;
}

QString AppList::countText(qsizetype visible, qsizetype total)
{
    return QString::number(visible) + QStringLiteral(" of ") + Plural::apps(total);
}
