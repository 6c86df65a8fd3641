#include "app/cli/Watch.h"

#include "app/cli/History.h"
#include "app/cli/Printer.h"
#include "app/cli/Scan.h"
#include "app/cli/ScanProgress.h"
#include "scanning/WatchSession.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>

using namespace std::chrono_literals;

namespace {

const QString countOption = QStringLiteral("count");
const QString jsonOption = QStringLiteral("json");

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

    // Every line is printed here, on the main thread, as the session reports it.
    ScanProgress progress(printer.err());
    QTextStream &err = printer.err();
    const QString waiting = QStringLiteral(
        "Waiting for devices; each is scanned once when it is connected. Press Ctrl-C to stop.");
    progress.say(err, waiting);

    WatchSession session;
    QEventLoop loop;
    // Reports already queued say nothing after the end; the scans still running are cancelled
    // as the session goes.
    const auto stop = [&] {
        QObject::disconnect(&session, nullptr, &loop, nullptr);
        loop.quit();
    };
    qsizetype scans = 0;
    const auto named = [](const ConnectedDevice &device, const QString &text) {
        return device.identifier + QStringLiteral(": ") + text;
    };
    QObject::connect(&session, &WatchSession::progress, &loop,
                     [&](const ConnectedDevice &device, const QString &message) {
                         // Scans at once say whose step it is.
                         progress.show(session.scanCount() > 1
                                           ? device.title() + QStringLiteral(": ") + message
                                           : message);
                     });
    QObject::connect(
        &session, &WatchSession::scanned, &loop,
        [&](const ConnectedDevice &, const Inventory &inventory) {
            if (json)
                printer.printJson(
                    QJsonDocument(History::scanJson(inventory.scanID.value_or(QString()), inventory,
                                                    inventory.namedRows().size()))
                        .toJson(QJsonDocument::Compact));
            else
                progress.say(printer.out(), Scan::resultLine(inventory, true));
            if (++scans == limit)
                stop();
        });
    QObject::connect(&session, &WatchSession::failed, &loop,
                     [&](const ConnectedDevice &device, const QString &description) {
                         progress.say(err, named(device, description));
                     });
    QObject::connect(&session, &WatchSession::waiting, &loop,
                     [&](const ConnectedDevice &device, const QString &description) {
                         progress.say(err,
                                      named(device, description) +
                                          QStringLiteral("\nIt is scanned as soon as it lets "
                                                         "this computer in."));
                     });
    // Said once; it is likely to last until someone does something about it.
    QObject::connect(&session, &WatchSession::lookFailed, &loop,
                     [&](const QString &description) { progress.say(err, description); });
    QObject::connect(&session, &WatchSession::ended, &loop, [&] {
        if (progress.isLive() && session.scanCount() == 0)
            progress.show(waiting);
    });
    QTimer interrupt;
    QObject::connect(&interrupt, &QTimer::timeout, &loop, [&] {
        if (progress.interrupted())
            stop();
    });
    interrupt.start(50ms);
    session.start();
    loop.exec();
    return 0;
}
