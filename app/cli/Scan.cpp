#include "app/cli/Scan.h"

#include "app/cli/Printer.h"
#include "common/PlainText.h"
#include "scanning/ScanError.h"
#include "scanning/Scanner.h"

#include <atomic>
#include <csignal>
#include <thread>

#include <unistd.h>

using namespace std::chrono_literals;

namespace {

std::atomic<bool> interrupted = false;

void onInterrupt(int)
{
    interrupted = true;
}

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
      })
{}

int Scan::execute(const QCommandLineParser &parser, Printer &printer) const
{
    const QString chosen = parser.value(deviceOption);
    const bool all = parser.isSet(allDevicesOption);
    if (all && !chosen.isEmpty())
        return printer.usageError(QStringLiteral("choose one of --device and --all-devices"));

    Scanner scanner;
    QTextStream &err = printer.err();
    const bool live = isatty(STDERR_FILENO);
    const auto progress = [&err, live](const QString &message) {
        err << (live ? QStringLiteral("\r\x1b[K") + PlainText::printable(message, true)
                     : PlainText::printable(message) + u'\n');
        err.flush();
    };
    scanner.setProgress(progress);
    // What is printed for good stays; the progress line is cleared before it.
    const auto say = [&err, live](QTextStream &stream, const QString &line) {
        if (live)
            err << "\r\x1b[K";
        err.flush();
        stream << PlainText::printable(line) << "\n";
        stream.flush();
    };

    // Ctrl-C asks the scanner to stop; the handler itself only sets a flag.
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::atomic<bool> finished = false;
    std::thread watcher([&] {
        while (!finished) {
            if (interrupted) {
                scanner.cancel();
                return;
            }
            std::this_thread::sleep_for(50ms);
        }
    });

    int status = 0;
    try {
        const QStringList devices = scanner.connectedDevices();
        if (devices.isEmpty())
            throw Scanner::noDevice();
        // Here a device can be chosen, or all of them scanned: the message says how.
        if (!all && chosen.isEmpty() && devices.size() > 1)
            throw ScanError(Scanner::multipleDevices().description() +
                            QStringLiteral("\nUse --device UDID or --all-devices; "
                                           "\u201Cquillet-cli devices\u201D lists them."));
        if (!chosen.isEmpty() && !devices.contains(chosen))
            throw ScanError(QStringLiteral("No connected device has the identifier %1. "
                                           "Connected: %2.")
                                .arg(QChar(0x201C) + chosen + QChar(0x201D),
                                     devices.join(QStringLiteral(", "))));
        const QStringList scanned =
            all ? devices : QStringList{chosen.isEmpty() ? devices.first() : chosen};
        for (qsizetype i = 0; i < scanned.size(); ++i) {
            if (all)
                progress(
                    QStringLiteral("Scanning device %1 of %2, %3\u2026")
                        .arg(QString::number(i + 1), QString::number(scanned.size()), scanned[i]));
            try {
                say(printer.out(), resultLine(scanner.scan(scanned[i]).withStoreColumns(), all));
            } catch (const Failure &error) {
                // One device failing does not keep the others from their scans.
                if (scanner.isCancelled() || !all)
                    throw;
                say(err, scanned[i] + QStringLiteral(": ") + error.description());
                status = 1;
            }
        }
    } catch (const Failure &error) {
        say(err, error.description());
        status = 1;
    }
    finished = true;
    watcher.join();
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
