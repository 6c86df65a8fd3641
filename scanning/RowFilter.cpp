#include "scanning/RowFilter.h"

#include "scanning/Column.h"

const QString RowFilter::allApps = QStringLiteral("All apps");
const QString RowFilter::updatesAvailable = QStringLiteral("Updates available");
const QString RowFilter::notInStore = QStringLiteral("Not in store");
const QString RowFilter::cannotBeRestored = QStringLiteral("Cannot be restored");

const QList<RowFilter> &RowFilter::all()
{
    static const QList<RowFilter> filters = [] {
        const auto is = [](const QString &column, const QString &text) {
            return [column, text](const Row &row) {
                const QString *value = row.find(column);
                return value && *value == text;
            };
        };
        QList<RowFilter> table = {
            {.name = allApps, .matches = [](const Row &) { return true; }},
            {.name = updatesAvailable,
             .option = QStringLiteral("updates"),
             .optionHelp = QStringLiteral("Only apps the store has a newer version of."),
             .matches = is(Column::updateAvailable, QStringLiteral("Yes"))},
            {.name = notInStore,
             .option = QStringLiteral("not-in-store"),
             .optionHelp = QStringLiteral("Only apps the store answered for and no longer "
                                          "carries."),
             .matches = is(Column::storePresence, Column::notInStore)},
            // Offloaded, the app's code is gone; out of the store, nothing can bring it back.
            {.name = cannotBeRestored,
             .option = QStringLiteral("cannot-be-restored"),
             .optionHelp = QStringLiteral("Only offloaded apps that are no longer in the store."),
             .matches = [offloaded = is(Column::offloaded, QStringLiteral("Yes")),
                         gone = is(Column::storePresence, Column::notInStore)](
                            const Row &row) { return offloaded(row) && gone(row); }},
        };
        return table;
    }();
    return filters;
}

const RowFilter *RowFilter::named(QStringView name)
{
    for (const RowFilter &filter : all()) {
        if (filter.name == name)
            return &filter;
    }
    return nullptr;
}
