#include "app/cli/Devices.h"

#include "app/cli/Printer.h"
#include "scanning/DeviceDescription.h"
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
          .dataFolder = DataFolder::Unused,
      })
{}

int Devices::execute(const QCommandLineParser &parser, Printer &printer) const
{
    Scanner scanner;
    const QStringList identifiers = scanner.connectedDevices();
    QJsonArray list;
    QList<QStringList> rows;
    const QString blank = QStringLiteral("\u2014");
    auto orNull = [](const QString &text) { return text.isEmpty() ? QJsonValue() : text; };
    for (const QString &identifier : identifiers) {
        const auto [id, name, facts] = scanner.connectedDevice(identifier);
        const QString model = DeviceDescription::model(facts);
        const QString system = DeviceDescription::system(facts);
        list.append(QJsonObject{
            {QStringLiteral("identifier"), id},
            {QStringLiteral("name"), name ? QJsonValue(*name) : QJsonValue()},
            {QStringLiteral("model"), orNull(model)},
            {QStringLiteral("productType"), orNull(facts.productType.value_or(QString()))},
            {QStringLiteral("productVersion"), orNull(facts.productVersion.value_or(QString()))},
        });
        rows.append({id, name.value_or(blank), model.isEmpty() ? blank : model,
                     system.isEmpty() ? blank : system});
    }
    if (parser.isSet(QStringLiteral("json"))) {
        printer.printJson(QJsonDocument(list).toJson(QJsonDocument::Compact));
        return 0;
    }
    if (rows.isEmpty()) {
        printer.err() << "No device is connected.\n";
        return 0;
    }
    printer.printTable({QStringLiteral("Identifier"), QStringLiteral("Name"),
                        QStringLiteral("Model"), QStringLiteral("System")},
                       rows);
    return 0;
}
