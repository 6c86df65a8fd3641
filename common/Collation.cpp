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
    // The positions are sorted, so that no key is moved.
    const QCollator collator = finderOrder();
    std::vector<QCollatorSortKey> keys;
    keys.reserve(size_t(texts.size()));
    QList<qsizetype> order;
    order.reserve(texts.size());
    for (qsizetype i = 0; i < texts.size(); ++i) {
        keys.push_back(collator.sortKey(texts[i]));
        order.append(i);
    }
    std::stable_sort(order.begin(), order.end(), [&keys](qsizetype a, qsizetype b) {
        return keys[size_t(a)].compare(keys[size_t(b)]) < 0;
    });
    return order;
}
