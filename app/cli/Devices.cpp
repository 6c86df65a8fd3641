#include "app/cli/Devices.h"

#include "app/cli/Printer.h"
#include "scanning/ConnectedDevice.h"
#include "scanning/Scanner.h"
#include "scanning/device/DeviceDescription.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <exception>
#include <thread>
#include <vector>

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

QList<ConnectedDevice> Devices::describe(const QStringList &identifiers)
{
    // All at once, each with a scanner of its own: a device that does not answer keeps the
    // others waiting no longer than it takes to give up on it.
    std::vector<ConnectedDevice> devices(identifiers.size());
    std::vector<std::exception_ptr> errors(identifiers.size());
    std::vector<std::thread> threads;
    threads.reserve(identifiers.size());
    for (qsizetype i = 0; i < identifiers.size(); ++i) {
        threads.emplace_back([&, i] {
            try {
                devices[i] = Scanner().connectedDevice(identifiers.at(i));
            } catch (...) {
                errors[i] = std::current_exception();
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    for (const std::exception_ptr &error : errors) {
        if (error)
            std::rethrow_exception(error);
    }
    return {devices.begin(), devices.end()};
}

int Devices::execute(const QCommandLineParser &parser, Printer &printer) const
{
    const QStringList identifiers = Scanner().connectedDevices();
    QJsonArray list;
    QList<QStringList> rows;
    const QString blank = QStringLiteral("\u2014");
    auto orNull = [](const QString &text) { return text.isEmpty() ? QJsonValue() : text; };
    for (const auto &[id, name, facts] : describe(identifiers)) {
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
