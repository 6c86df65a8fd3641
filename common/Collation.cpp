#include "common/Collation.h"

#include <QLocale>

#include <algorithm>
#include <vector>

QCollator Collation::finderOrder()
{
    QLocale locale = QLocale::system();
    // ICU ignores numeric ordering in the C locale, which is what a machine without a locale
    // (a CI runner, a bare service account) reports.
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

QList<qsizetype> Collation::stableOrder(const QStringList &texts)
{
    // A sort key per text, made once, rather than collating on every comparison.
    const QCollator collator = finderOrder();
    std::vector<std::pair<QCollatorSortKey, qsizetype>> keyed;
    keyed.reserve(size_t(texts.size()));
    for (qsizetype i = 0; i < texts.size(); ++i)
        keyed.emplace_back(collator.sortKey(texts[i]), i);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto &a, const auto &b) { return a.first.compare(b.first) < 0; });
    QList<qsizetype> order;
    order.reserve(texts.size());
    for (const auto &[key, index] : keyed)
        order.append(index);
    return order;
}
