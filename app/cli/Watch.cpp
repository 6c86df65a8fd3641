#include "app/cli/Watch.h"

#include "app/cli/History.h"
#include "app/cli/Printer.h"
#include "app/cli/Scan.h"
#include "app/cli/ScanProgress.h"
#include "scanning/DeviceWatcher.h"
#include "scanning/ScanError.h"
#include "scanning/Scanner.h"

#include <QJsonDocument>

using namespace std::chrono_literals;

namespace {

const QString countOption = QStringLiteral("count");
const QString jsonOption = QStringLiteral("json");

// How often the connected devices are listed: soon enough to feel immediate, rarely enough to
// cost nothing.
constexpr auto lookInterval = 2s;

} // namespace

Watch::Watch()
    : Command({
          .name = QStringLiteral("watch"),
          .usage = QStringLiteral("watch [--count N] [--json]"),
          .summary = QStringLiteral("Scan each device once when it is connected, until Ctrl-C"),
          .options = {{countOption, QStringLiteral("Stop after this many scans."),
                       QStringLiteral("N")},
                      {jsonOption,
                       QStringLiteral("Write one JSON object per scan, a line each, "
                                      "for scripts.")}},
          .dataFolder = DataFolder::MadeIfMissing,
      })
{}

int Watch::execute(const QCommandLineParser &parser, Printer &printer) const
{
    qsizetype limit = 0;
    if (parser.isSet(countOption)) {
        bool whole = false;
        limit = parser.value(countOption).toLongLong(&whole);
        if (!whole || limit < 1)
            return printer.usageError(QStringLiteral("--count needs a whole number of scans, "
                                                     "1 or more"));
    }
    const bool json = parser.isSet(jsonOption);

    Scanner scanner;
    ScanProgress progress(scanner, printer.err());
    QTextStream &err = printer.err();
    // Listing the devices every two seconds is not news; scanning one is.
    const auto quietly = [&scanner] { scanner.setProgress([](const QString &) {}); };
    const auto aloud = [&scanner, &progress] {
        scanner.setProgress([&progress](const QString &message) { progress.show(message); });
    };
    const QString waiting = QStringLiteral(
        "Waiting for devices; each is scanned once when it is connected. Press Ctrl-C to stop.");
    progress.say(err, waiting);

    DeviceWatcher watcher;
    qsizetype scans = 0;
    QString problem;
    while (!progress.interrupted()) {
        QStringList connected;
        quietly();
        try {
            connected = scanner.connectedDevices();
            problem.clear();
        } catch (const Failure &error) {
            if (scanner.isCancelled())
                break;
            // Said once; it is likely to last until someone does something about it.
            if (error.description() != problem)
                progress.say(err, error.description());
            problem = error.description();
            // Not knowing which devices are there is not seeing them leave: none is new after.
            progress.pause(lookInterval);
            continue;
        }
        for (const QString &device : watcher.due(connected)) {
            try {
                // A device that waits for its user is scanned once it answers.
                if (watcher.isWaiting(device) && !scanner.answers(device))
                    continue;
                aloud();
                const Inventory inventory = scanner.scan(device).withStoreColumns();
                watcher.settle(device);
                if (json)
                    printer.printJson(
                        QJsonDocument(History::scanJson(inventory.scanID.value_or(QString()),
                                                        inventory, inventory.namedRows().size()))
                            .toJson(QJsonDocument::Compact));
                else
                    progress.say(printer.out(), Scan::resultLine(inventory, true));
                if (++scans == limit)
                    return 0;
            } catch (const Failure &error) {
                if (scanner.isCancelled())
                    return 0;
                if (ScanError::isAwaitingUser(error)) {
                    if (watcher.wait(device))
                        progress.say(err,
                                     QStringLiteral("%1: %2\nIt is scanned as soon as it "
                                                    "lets this computer in.")
                                         .arg(device, error.description()));
                } else {
                    watcher.settle(device);
                    progress.say(err, device + QStringLiteral(": ") + error.description());
                }
            }
        }
        if (progress.isLive())
            progress.show(waiting);
        progress.pause(lookInterval);
    }
    return 0;
}
