#include "app/cli/ScanArgument.h"

#include "history/HistoryStore.h"
#include "scanning/ScanError.h"
#include "scanning/Scanner.h"

SavedScan ScanArgument::saved(const QString &idOrPrefix)
{
    const HistoryStore::Listing listing = HistoryStore().list();
    QList<SavedScan> matches;
    // The listing holds no rows; the chosen scan's are read now.
    auto loaded = [](SavedScan scan) {
        scan.inventory = HistoryStore().inventory(scan);
        return scan;
    };
    for (const SavedScan &scan : listing.scans) {
        if (scan.id.compare(idOrPrefix, Qt::CaseInsensitive) == 0)
            return loaded(scan);
        if (!idOrPrefix.isEmpty() && scan.id.startsWith(idOrPrefix, Qt::CaseInsensitive))
            matches.append(scan);
    }
    if (matches.size() == 1)
        return loaded(matches.first());
    throw ScanError(
        matches.isEmpty()
            ? QStringLiteral("No saved scan has the identifier \u201C%1\u201D.").arg(idOrPrefix)
            : QStringLiteral("\u201C%1\u201D begins %2 saved scans' identifiers; give "
                             "more of it.")
                  .arg(idOrPrefix, QString::number(matches.size())));
}

Inventory ScanArgument::inventory(const QString &idOrPrefix)
{
    if (!idOrPrefix.isEmpty())
        return saved(idOrPrefix).inventory.withStoreColumns();
    return Scanner().load().withStoreColumns();
}
