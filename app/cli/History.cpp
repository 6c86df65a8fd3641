#include "app/cli/History.h"

#include "app/cli/Printer.h"
#include "common/PlainText.h"
#include "history/HistoryStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

History::History()
    : Command({
          .name = QStringLiteral("history"),
          .usage = QStringLiteral("history [--json]"),
          .summary = QStringLiteral("List the saved scans, newest first"),
          .options = {{QStringLiteral("json"), QStringLiteral("Write the listing as JSON.")}},
      })
{}

int History::execute(const QCommandLineParser &parser, Printer &printer) const
{
    const HistoryStore::Listing listing = HistoryStore().list();
    if (!listing.notesProblem.isEmpty())
        printer.err() << PlainText::printable(listing.notesProblem) << "\n";
    if (parser.isSet(QStringLiteral("json"))) {
        auto text = [](const std::optional<QString> &value) {
            return value ? QJsonValue(*value) : QJsonValue();
        };
        QJsonArray scans;
        for (const SavedScan &scan : listing.scans) {
            const Inventory &inventory = scan.inventory;
            QJsonObject entry{
                {QStringLiteral("id"), scan.id},
                {QStringLiteral("title"), scan.title()},
                {QStringLiteral("name"), text(inventory.snapshotName)},
                {QStringLiteral("notes"), text(inventory.snapshotNotes)},
                {QStringLiteral("deviceName"), text(inventory.deviceName)},
                {QStringLiteral("deviceID"), text(inventory.deviceID)},
                {QStringLiteral("scannedAt"),
                 inventory.scannedAt
                     ? QJsonValue(inventory.scannedAt->toUTC().toString(Qt::ISODateWithMs))
                     : QJsonValue()},
                {QStringLiteral("appCount"), qint64(scan.appCount)},
            };
            if (!inventory.deviceFacts.isEmpty())
                entry.insert(QStringLiteral("deviceFacts"), inventory.deviceFacts.toJsonObject());
            scans.append(entry);
        }
        printer.printJson(
            QJsonDocument(QJsonObject{{QStringLiteral("scans"), scans},
                                      {QStringLiteral("unreadable"), listing.unreadable}})
                .toJson(QJsonDocument::Compact));
        return 0;
    }
    QList<QStringList> rows;
    for (const SavedScan &scan : listing.scans)
        rows.append({scan.id, scan.title(), QStringLiteral("%1 apps").arg(scan.appCount)});
    printer.printTable({QStringLiteral("ID"), QStringLiteral("Scan"), QStringLiteral("Apps")},
                       rows);
    if (listing.unreadable > 0)
        printer.err() << QStringLiteral("%1 saved scans could not be read. Their files have been "
                                        "preserved.\n")
                             .arg(listing.unreadable);
    return 0;
}
