#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

// What a device says about itself at a scan: its model, system, storage and battery, kept with
// the scan. Every fact is optional: one the device does not give, or a scan made before Quillet
// asked, simply lacks it.
struct DeviceFacts {
    std::optional<QString> productType; // "iPhone14,2"
    std::optional<QString> productVersion; // "17.5.1"
    std::optional<QString> buildVersion;
    std::optional<QString> deviceClass; // "iPhone", "iPad"
    std::optional<QString> serialNumber;
    // Bytes.
    std::optional<qint64> totalDiskCapacity;
    std::optional<qint64> totalDataCapacity;
    std::optional<qint64> totalDataAvailable;
    // Percent, and whether it is charging.
    std::optional<qint64> batteryLevel;
    std::optional<bool> batteryCharging;

    friend bool operator==(const DeviceFacts &, const DeviceFacts &) = default;

    bool isEmpty() const { return *this == DeviceFacts(); }

    // The lockdown domains the facts come from, the default one (empty) first.
    static const QStringList &domains();
    // Takes the facts of one domain's answer, leaving out any value that is not what the fact
    // should be (text of a sensible length, a whole number in range, a truth value).
    void take(const QString &domain, const QVariantMap &values);

    // The known facts, keyed by their lockdown names; and that object as compact JSON.
    QJsonObject toJsonObject() const;
    QByteArray toJson() const;
    // Takes one member of that object as it was stored; a value of the wrong kind, or a key that
    // is not a fact, is left out, as the device might have.
    void takeStored(QByteArrayView key, const QVariant &value);
};
