#include "app/cli/Scan.h"

#include "app/cli/Printer.h"
#include "app/cli/ScanProgress.h"
#include "scanning/ScanError.h"
#include "scanning/Scanner.h"

namespace {

const QString deviceOption = QStringLiteral("device");
const QString allDevicesOption = QStringLiteral("all-devices");

} // namespace

Scan::Scan()
    : Command({
          .name = QStringLiteral("scan"),
          .usage = QStringLiteral("scan [--device UDID | --all-devices]"),
          .summary = QStringLiteral("Scan the connected device and save the inventory"),
          .options = {{deviceOption,
                       QStringLiteral(
                           "Scan the connected device with this identifier (see devices)."),
                       QStringLiteral("UDID")},
                      {allDevicesOption,
                       QStringLiteral("Scan every connected device in turn, each "
                                      "saved as a scan of its own.")}},
          .dataFolder = DataFolder::MadeIfMissing,
      })
{}

int Scan::execute(const QCommandLineParser &parser, Printer &printer) const
{
    const QString given = parser.value(deviceOption);
    const bool all = parser.isSet(allDevicesOption);
    if (parser.isSet(deviceOption) && given.trimmed().isEmpty())
        return printer.usageError(QStringLiteral("--device needs a device identifier, or the "
                                                 "start of one"));
    if (all && !given.isEmpty())
        return printer.usageError(QStringLiteral("choose one of --device and --all-devices"));

    Scanner scanner;
    ScanProgress progress(scanner, printer.err());
    QTextStream &err = printer.err();

    int status = 0;
    try {
        const QStringList devices = scanner.connectedDevices();
        if (devices.isEmpty())
            throw Scanner::noDevice();
        // Here a device can be chosen, or all of them scanned: the message says how.
        if (!all && given.isEmpty() && devices.size() > 1)
            throw ScanError(Scanner::multipleDevices().description() +
                            QStringLiteral("\nUse --device UDID or --all-devices; "
                                           "\u201Cquillet-cli devices\u201D lists them."));
        // As scan ids are: the whole identifier, or a start of it that only one device has.
        QString chosen = given;
        if (!given.isEmpty() && !devices.contains(given)) {
            QStringList matching;
            for (const QString &device : devices) {
                if (device.startsWith(given, Qt::CaseInsensitive))
                    matching.append(device);
            }
            if (matching.size() != 1)
                throw ScanError(QStringLiteral("%1 connected device has an identifier that "
                                               "starts with %2. Connected: %3.")
                                    .arg(matching.isEmpty() ? QStringLiteral("No")
                                                            : QStringLiteral("More than one"),
                                         QChar(0x201C) + given + QChar(0x201D),
                                         devices.join(QStringLiteral(", "))));
            chosen = matching.first();
        }
        const QStringList scanned =
            all ? devices : QStringList{chosen.isEmpty() ? devices.first() : chosen};
        for (qsizetype i = 0; i < scanned.size(); ++i) {
            if (all)
                progress.show(
                    QStringLiteral("Scanning device %1 of %2, %3\u2026")
                        .arg(QString::number(i + 1), QString::number(scanned.size()), scanned[i]));
            try {
                progress.say(printer.out(),
                             resultLine(scanner.scan(scanned[i]).withStoreColumns(), all));
            } catch (const Failure &error) {
                // One device failing does not keep the others from their scans.
                if (scanner.isCancelled() || !all)
                    throw;
                progress.say(err, scanned[i] + QStringLiteral(": ") + error.description());
                status = 1;
            }
        }
    } catch (const Failure &error) {
        progress.say(err, error.description());
        status = 1;
    }
    return status;
}

QString Scan::resultLine(const Inventory &inventory, bool naming)
{
    const QList<Row> rows = inventory.namedRows();
    const QString text = rows.isEmpty()
        ? QStringLiteral("Scan complete. The device listed no apps; the empty scan is saved in the "
                         "history.")
        : Scanner::completedText(rows);
    if (!naming)
        return text;
    return QStringLiteral("%1 (%2): %3")
        .arg(inventory.deviceName.value_or(QStringLiteral("Unnamed device")),
             inventory.deviceID.value_or(QString()), text);
}
