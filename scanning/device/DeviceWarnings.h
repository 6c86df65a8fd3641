#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include "scanning/Row.h"

#include <optional>

struct DeviceFacts;

// What in a device's facts people act on: a worn battery, no passcode, unencrypted or old
// backups, Find My off, Developer Mode on, storage nearly full, an iOS behind the others, apps
// that cannot be downloaded again.
// Each warning is one entry of the table in DeviceWarnings.cpp: a key that stays the same for
// scripts, and the sentence people read.
class DeviceWarnings {
public:
    struct Warning {
        QString key; // "batteryWorn"
        QString text; // "Battery health is 76% (an estimate)."

        friend bool operator==(const Warning &, const Warning &) = default;
    };
    // What the warnings are judged against besides the facts.
    struct Context {
        // When the facts were read: backups are as old as they were then.
        QDateTime scannedAt;
        // The newest system version recorded for any device in the history ("18.1").
        std::optional<QString> newestSystem;
        // Offloaded apps of the scan that the store no longer carries.
        qsizetype unrestorableApps = 0;
    };

    static QList<Warning> of(const DeviceFacts &facts, const Context &context);
    // The apps among these rows that were offloaded and are no longer in the store: their code
    // is gone from the device, and nothing can download it again.
    static qsizetype unrestorable(const QList<Row> &rows);
    // The newest of these system versions, by their numbers.
    static std::optional<QString> newestSystem(const QList<DeviceFacts> &scans);

    // The limits people act on.
    static constexpr qint64 wornBelowPercent = 80;
    static constexpr qint64 fullAbovePercent = 90;
    static constexpr qint64 backupOlderThanDays = 30;

    DeviceWarnings() = delete;
};
