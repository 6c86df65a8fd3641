#pragma once

#include "common/Locations.h"
#include "scanning/Inventory.h"
#include "scanning/ScanError.h"
#include "scanning/StoreLookup.h"
#include "scanning/ToolRunner.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>

struct ConnectedDevice;
struct DeviceFacts;

// One scan or load of the data folder: reads a connected device through the device tools,
// asks the store about its apps, builds the rows and saves the result in the history and in
// "inventory.json". It can be cancelled from any thread; a cancelled scanner stays cancelled, and
// each operation uses a new one.
class Scanner {
public:
    using Progress = std::function<void(const QString &)>;

    explicit Scanner(QString resources = Locations::deviceResources(),
                     QString storage = Locations::storage());
    Scanner(const Scanner &) = delete;
    Scanner &operator=(const Scanner &) = delete;

    const QString &resources() const { return m_resources; }
    const QString &storage() const { return m_storage; }

    // Receives progress messages on the scanning thread.
    void setProgress(Progress progress);

    // The parts a scan is made of, for their settings.
    ToolRunner &toolRunner() { return m_tools; }
    StoreLookup &storeLookup() { return m_store; }

    // Stops the running tool at once and every later step. Never blocks behind a tool.
    void cancel() { m_tools.cancel(); }
    bool isCancelled() const { return m_tools.isCancelled(); }

    // Reads the one connected device, enriches its apps from the store and saves the result
    // in the history and in "inventory.json". Any failure leaves both as they were.
    Inventory scan();
    // The same for the connected device with this identifier, whatever else is connected.
    Inventory scan(const QString &device);

    // The identifiers of the connected devices, in the tools' order.
    QStringList connectedDevices();
    // The device's name, when it gives one that reads as text (within `timeLimit`, when given).
    std::optional<QString>
    deviceName(const QString &device,
               std::optional<std::chrono::milliseconds> timeLimit = std::nullopt);
    // How long a name may take where it only labels a device: a device that does not answer
    // keeps a list, or a scan's first message, waiting no longer.
    static constexpr std::chrono::seconds labelTimeLimit{4};
    // Whether the device answers, as a locked one or one that does not trust this computer
    // yet does not. A cancel still stops it.
    bool answers(const QString &device);
    // The device's name, model and system, for a list of devices; what it will not say while
    // locked, or within a few seconds, is left out.
    ConnectedDevice connectedDevice(const QString &device);
    // What the device says about itself in `domains`: its model, system, storage and battery,
    // through one ideviceinfo each. Never fails: what cannot be read within a few seconds in all
    // is left out. A cancel, or `stop`, still stops it.
    DeviceFacts deviceFacts(const QString &device, const QStringList &domains,
                            std::stop_token stop = {});
    // All a scan keeps of the device itself: the facts of every domain and what our health
    // helper reads (the battery's wear, the device's management), in the helper's one lockdown
    // session; where the helper reads no domains, deviceFacts() reads them. Never fails: what it
    // could not read is left out, or said in the facts where the helper knows why. A cancel, or
    // `stop`, still stops it.
    DeviceFacts scanFacts(const QString &device, std::stop_token stop = {});
    // What a scan says when no device is connected.
    static ScanError noDevice();
    // What a scan of "the" device says when there are several.
    static ScanError multipleDevices();
    // What a finished scan says of its apps (those with a visible name), for both front ends.
    static QString completedText(const QList<Row> &namedRows);

    // The app dictionaries of the device's listing. Throws unless it is a list of them.
    static QList<QVariantMap> parseAppList(QByteArray listing);

    // Removes what saves killed midway left in the data folder, its history and its icons.
    static void removeLeftovers(const QString &storage);
    // The inventory to show at start-up: "inventory.json", or an import of the newest CSV
    // export of an earlier release, brought into the history.
    Inventory load() const;

private:
    void report(const QString &message) const { m_progress(message); }
    // Keeps the device's icons of the apps in `rows` the store has no artwork for and the
    // device was not asked about yet. Never fails; a cancel still stops it.
    void readDeviceIcons(const QString &device, const QList<Row> &rows);

    QString m_resources;
    QString m_storage;
    Progress m_progress = [](const QString &) {};
    ToolRunner m_tools;
    StoreLookup m_store;
};
