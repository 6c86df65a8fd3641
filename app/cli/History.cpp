#include "app/cli/History.h"

#include "app/cli/Printer.h"
#include "common/PlainText.h"
#include "common/Plural.h"
#include "history/HistoryStore.h"
#include "scanning/device/DeviceFacts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonValue optionalText(const std::optional<QString> &value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

} // namespace

History::History()
    : Command({
          .name = QStringLiteral("history"),
          .usage = QStringLiteral("history [--json]"),
          .summary = QStringLiteral("List the saved scans, newest first"),
          .options = {{QStringLiteral("json"), QStringLiteral("Write the listing as JSON.")}},
      })
{}

QJsonObject History::scanJson(const QString &id, const Inventory &inventory, qsizetype appCount)
{
    QJsonObject entry{
        {QStringLiteral("id"), id},
        {QStringLiteral("deviceName"), optionalText(inventory.deviceName)},
        {QStringLiteral("deviceID"), optionalText(inventory.deviceID)},
        {QStringLiteral("scannedAt"),
         inventory.scannedAt ? QJsonValue(inventory.scannedAt->toUTC().toString(Qt::ISODateWithMs))
                             : QJsonValue()},
        {QStringLiteral("appCount"), qint64(appCount)},
        {QStringLiteral("storeCountry"), optionalText(inventory.storeCountry)},
    };
    if (const DeviceFacts facts = inventory.deviceFacts().shareable(); !facts.isEmpty())
        entry.insert(QStringLiteral("deviceFacts"), facts.toJsonObject());
    return entry;
}

int History::execute(const QCommandLineParser &parser, Printer &printer) const
{
    const HistoryStore::Listing listing = HistoryStore().list();
    if (!listing.notesProblem.isEmpty())
        printer.err() << PlainText::printable(listing.notesProblem) << "\n";
    if (parser.isSet(QStringLiteral("json"))) {
        QJsonArray scans;
        for (const SavedScan &scan : listing.scans) {
            QJsonObject entry = scanJson(scan.id, scan.inventory, scan.appCount);
            entry.insert(QStringLiteral("title"), scan.title());
            entry.insert(QStringLiteral("name"), optionalText(scan.inventory.snapshotName));
            entry.insert(QStringLiteral("notes"), optionalText(scan.inventory.snapshotNotes));
            scans.append(entry);
        }
        printer.printJson(
            QJsonDocument(QJsonObject{{QStringLiteral("scans"), scans},
                                      {QStringLiteral("unreadable"), listing.unreadable.size()},
                                      {QStringLiteral("unreadableFiles"),
                                       QJsonArray::fromStringList(listing.unreadable)}})
                .toJson(QJsonDocument::Compact));
        return 0;
    }
    QList<QStringList> rows;
    for (const SavedScan &scan : listing.scans)
        rows.append({scan.id, scan.title(), Plural::apps(scan.appCount)});
    printer.printTable({QStringLiteral("ID"), QStringLiteral("Scan"), QStringLiteral("Apps")},
                       rows);
    if (!listing.unreadable.isEmpty())
        printer.err() << listing.unreadableText() << "\n";
    return 0;
}
