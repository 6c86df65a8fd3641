#pragma once

#include "scanning/device/DeviceFacts.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

#include <utility>

// A scan's device facts as people read them, the same in the window, the reports and the
// command line. Storage is in decimal gigabytes with one decimal, like the apps' decimal
// megabytes; the battery in whole percent.
class DeviceDescription {
public:
    // "iPhone 13 Pro · iOS 17.5.1 · 128.0 GB, 23.4 GB free · battery 82%"; empty when no fact
    // is known.
    static QString line(const DeviceFacts &facts);
    // Caption and text of each fact known, for a list: "Model", "System", "Storage", "Battery",
    // "Serial number".
    static QList<std::pair<QString, QString>> details(const DeviceFacts &facts);
    // What changed from A to B, one text each: "iOS 17.4 → 17.5.1", "free space 30.1 GB →
    // 23.4 GB", "battery 90% → 82%", the model when it differs, then the battery's wear, the
    // backups and the management ("battery health 91% → 87%", "profile added: Wi-Fi (Acme)").
    // Empty when nothing known changed.
    static QStringList changes(const DeviceFacts &a, const DeviceFacts &b);

    // The device sheet: every fact known, grouped ("Device", "Storage", "Battery",
    // "Security & management"), each group its captions and texts; groups with nothing known
    // are left out. `appBytes`, the apps' sizes summed, splits the used storage.
    struct Section {
        QString title;
        QList<std::pair<QString, QString>> lines;
    };
    static QList<Section> sheet(const DeviceFacts &facts, std::optional<qint64> appBytes);
    // "Apps 40.2 GB · Other 12.0 GB · Free 23.4 GB": used storage split into the apps and the
    // rest (never below zero). Empty without capacity and free space.
    static QString storageBreakdown(const DeviceFacts &facts, std::optional<qint64> appBytes);

    // "iPhone 13 Pro", or the product type for one the table does not know; empty when unknown.
    static QString model(const DeviceFacts &facts);
    // "iOS 17.5.1" ("iPadOS" on an iPad since version 13); empty when unknown.
    static QString system(const DeviceFacts &facts);
    // "128.0 GB, 23.4 GB free", or either part alone.
    static QString storage(const DeviceFacts &facts);
    // "82%", with ", charging" when it is.
    static QString battery(const DeviceFacts &facts);
    // "23.4 GB": decimal gigabytes with one decimal.
    static QString gigabytes(qint64 bytes);

    DeviceDescription() = delete;
};
