#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

// What a device says about itself at a scan: its model, system, storage, battery, backups and
// management, kept with the scan. Every fact is optional: one the device does not give, or a
// scan made before Quillet asked, simply lacks it. Each fact is one entry of the table in
// DeviceFacts.cpp, which says where it is read, how it is stored, where the device sheet shows
// it, how it reads and how its change reads.
struct DeviceFacts {
    std::optional<QString> productType; // "iPhone14,2"
    std::optional<QString> productVersion; // "17.5.1"
    std::optional<QString> buildVersion;
    std::optional<QString> deviceClass; // "iPhone", "iPad"
    std::optional<QString> serialNumber;
    std::optional<QString> modelNumber; // "MLTT3"
    std::optional<QString> regionInfo; // "LL/A"
    std::optional<QString> activationState; // "Activated"
    // What identifies a person's phone: kept only when the user asks (PersonalIdentifiers).
    std::optional<QString> imei;
    std::optional<QString> phoneNumber;
    std::optional<QString> iccid;
    std::optional<QString> wifiAddress;
    std::optional<QString> bluetoothAddress;
    // Bytes.
    std::optional<qint64> totalDiskCapacity;
    std::optional<qint64> totalDataCapacity;
    std::optional<qint64> totalDataAvailable;
    // Percent, and whether it is charging.
    std::optional<qint64> batteryLevel;
    std::optional<bool> batteryCharging;
    // From the battery's own registry entry: cycles, and capacities in mAh.
    std::optional<qint64> batteryCycles;
    std::optional<qint64> batteryDesignCapacity;
    std::optional<qint64> batteryFullChargeCapacity;
    // Security and management.
    std::optional<bool> passcodeSet;
    std::optional<bool> backupsEncrypted;
    std::optional<bool> cloudBackup;
    std::optional<QDateTime> lastComputerBackup;
    std::optional<QDateTime> lastCloudBackup;
    std::optional<bool> findMy;
    std::optional<bool> developerMode;
    std::optional<bool> supervised;
    std::optional<QString> supervisingOrganization;
    // Each configuration profile as "Display name (Organization)".
    std::optional<QStringList> profiles;
    // Why a part could not be read: "the device refused the diagnostics service".
    std::optional<QString> batteryProblem;
    std::optional<QString> profilesProblem;

    friend bool operator==(const DeviceFacts &, const DeviceFacts &) = default;

    bool isEmpty() const { return *this == DeviceFacts(); }

    // Full-charge capacity as a whole percent of the design capacity: an estimate, which the
    // device's own settings may round differently. Unknown without both, or when absurd.
    std::optional<qint64> batteryHealth() const;

    // The facts without what identifies a person's phone, unless the user chose to keep it:
    // what a scan keeps and what leaves Quillet in an export.
    DeviceFacts shareable() const;

    // The lockdown domains the facts come from, the default one (empty) first.
    static const QStringList &domains();
    // The name of the facts our health helper reads, as if it were one more domain.
    static inline const QString healthDomain = QStringLiteral("quillet-devicehealth");
    // Takes the facts of one domain's answer, leaving out any value that is not what the fact
    // should be (text of a sensible length, a whole number in range, a truth value, a date).
    void take(const QString &domain, const QVariantMap &values);

    // The known facts, keyed by their lockdown names; and that object as compact JSON.
    QJsonObject toJsonObject() const;
    QByteArray toJson() const;
    // Takes one member of that object as it was stored; a value of the wrong kind, or a key that
    // is not a fact, is left out, as the device might have.
    void takeStored(QByteArrayView key, const QVariant &value);

    // Where the device sheet shows a fact.
    enum class Group { Device, Storage, Battery, Security };
    // One fact as people read it: its caption and text ("Passcode", "Not set"), and the
    // group it belongs to.
    struct Reading {
        Group group;
        QString caption;
        QString text;
    };
    // The facts that read on their own, in the table's order. Model, system, storage and
    // charge read together, as DeviceDescription puts them.
    QList<Reading> readings() const;
    // What changed from A to B in those facts, one text each: "backups encrypted: yes → no",
    // "profiles: 1 → 2".
    static QStringList changes(const DeviceFacts &a, const DeviceFacts &b);
};
