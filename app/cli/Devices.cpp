#include "app/cli/Devices.h"

#include "app/cli/Printer.h"
#include "scanning/Scanner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

Devices::Devices()
    : Command({
          .name = QStringLiteral("devices"),
          .usage = QStringLiteral("devices [--json]"),
          .summary = QStringLiteral("List the connected devices"),
          .options = {{QStringLiteral("json"),
                       QStringLiteral("Write the devices as JSON, for scripts.")}},
      })
{}

int Devices::execute(const QCommandLineParser &parser, Printer &printer) const
{
    Scanner scanner;
    const QStringList identifiers = scanner.connectedDevices();
    QJsonArray list;
    QList<QStringList> rows;
    for (const QString &identifier : identifiers) {
        const std::optional<QString> name = scanner.deviceName(identifier);
        list.append(QJsonObject{{QStringLiteral("identifier"), identifier},
                                {QStringLiteral("name"), name ? QJsonValue(*name) : QJsonValue()}});
        rows.append({identifier, name.value_or(QStringLiteral("\u2014"))});
    }
    if (parser.isSet(QStringLiteral("json"))) {
        printer.printJson(QJsonDocument(list).toJson(QJsonDocument::Compact));
        return 0;
    }
    if (rows.isEmpty()) {
        printer.err() << "No device is connected.\n";
        return 0;
    }
    printer.printTable({QStringLiteral("Identifier"), QStringLiteral("Name")}, rows);
    return 0;
}
