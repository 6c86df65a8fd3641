#include "scanning/device/DeviceWarnings.h"

#include "common/PlainText.h"
#include "scanning/RowFilter.h"
#include "scanning/device/DeviceFacts.h"

#include <algorithm>

#include <QVersionNumber>

#include <functional>

namespace {

using Context = DeviceWarnings::Context;

std::optional<QDateTime> latestBackup(const DeviceFacts &facts)
{
    std::optional<QDateTime> latest;
    for (const std::optional<QDateTime> &each : {facts.lastComputerBackup, facts.lastCloudBackup}) {
        if (each && (!latest || *each > *latest))
            latest = each;
    }
    return latest;
}

QVersionNumber versionOf(const std::optional<QString> &text)
{
    return text ? QVersionNumber::fromString(*text) : QVersionNumber();
}

// Each warning once: its key, and the sentence it says when the facts call for it.
struct Entry {
    const char *key;
    std::function<std::optional<QString>(const DeviceFacts &, const Context &)> says;
};

const Entry entries[] = {
    {"batteryWorn",
     [](const DeviceFacts &facts, const Context &) -> std::optional<QString> {
         const std::optional<qint64> health = facts.batteryHealth();
         if (!health || *health >= DeviceWarnings::wornBelowPercent)
             return std::nullopt;
         return QStringLiteral("Battery health is %1% (an estimate): the battery is worn and may "
                               "need replacing.")
             .arg(*health);
     }},
    {"noPasscode",
     [](const DeviceFacts &facts, const Context &) -> std::optional<QString> {
         if (facts.passcodeSet != false)
             return std::nullopt;
         return QStringLiteral("No passcode is set.");
     }},
    {"backupsNotEncrypted",
     [](const DeviceFacts &facts, const Context &) -> std::optional<QString> {
         if (facts.backupsEncrypted != false)
             return std::nullopt;
         return QStringLiteral("Computer backups are not encrypted.");
     }},
    {"noRecentBackup",
     [](const DeviceFacts &facts, const Context &context) -> std::optional<QString> {
         // Only a device that told its backup settings can be said to have no backup.
         const bool answered = facts.backupsEncrypted || facts.cloudBackup;
         const std::optional<QDateTime> latest = latestBackup(facts);
         if (!latest)
             return answered ? std::optional(QStringLiteral("No computer or iCloud backup is "
                                                            "known."))
                             : std::nullopt;
         if (!context.scannedAt.isValid())
             return std::nullopt;
         const qint64 days = latest->daysTo(context.scannedAt);
         if (days <= DeviceWarnings::backupOlderThanDays)
             return std::nullopt;
         return QStringLiteral("The last backup was %1 days before this scan.").arg(days);
     }},
    {"findMyOff",
     [](const DeviceFacts &facts, const Context &) -> std::optional<QString> {
         if (facts.findMy != false)
             return std::nullopt;
         return QStringLiteral("Find My is off.");
     }},
    {"developerModeOn",
     [](const DeviceFacts &facts, const Context &) -> std::optional<QString> {
         if (facts.developerMode != true)
             return std::nullopt;
         return QStringLiteral("Developer Mode is on.");
     }},
    {"storageAlmostFull",
     [](const DeviceFacts &facts, const Context &) -> std::optional<QString> {
         if (!facts.totalDataCapacity || !facts.totalDataAvailable ||
             *facts.totalDataCapacity <= 0 || *facts.totalDataAvailable > *facts.totalDataCapacity)
             return std::nullopt;
         const qint64 used =
             qRound64(100.0 * double(*facts.totalDataCapacity - *facts.totalDataAvailable) /
                      double(*facts.totalDataCapacity));
         if (used <= DeviceWarnings::fullAbovePercent)
             return std::nullopt;
         return QStringLiteral("Storage is %1% full.").arg(used);
     }},
    {"systemOutdated",
     [](const DeviceFacts &facts, const Context &context) -> std::optional<QString> {
         const QVersionNumber version = versionOf(facts.productVersion);
         const QVersionNumber newest = versionOf(context.newestSystem);
         if (version.isNull() || newest.isNull() || QVersionNumber::compare(version, newest) >= 0)
             return std::nullopt;
         return QStringLiteral("Its system, %1, is older than %2, the newest recorded for a device "
                               "in the history.")
             .arg(PlainText::oneLine(*facts.productVersion),
                  PlainText::oneLine(*context.newestSystem));
     }},
    {"unrestorableApps",
     [](const DeviceFacts &, const Context &context) -> std::optional<QString> {
         if (context.unrestorableApps <= 0)
             return std::nullopt;
         return (context.unrestorableApps == 1
                     ? QStringLiteral("1 offloaded app is no longer in the store and cannot be "
                                      "downloaded again.")
                     : QStringLiteral("%1 offloaded apps are no longer in the store and cannot "
                                      "be downloaded again.")
                           .arg(context.unrestorableApps));
     }},
};

} // namespace

qsizetype DeviceWarnings::unrestorable(const QList<Row> &rows)
{
    const RowFilter *filter = RowFilter::named(RowFilter::cannotBeRestored);
    return std::count_if(rows.cbegin(), rows.cend(),
                         [filter](const Row &row) { return filter->matches(row); });
}

QList<DeviceWarnings::Warning> DeviceWarnings::of(const DeviceFacts &facts, const Context &context)
{
    QList<Warning> warnings;
    for (const Entry &entry : entries) {
        if (std::optional<QString> text = entry.says(facts, context))
            warnings.append({QLatin1StringView(entry.key), *text});
    }
    return warnings;
}

std::optional<QString> DeviceWarnings::newestSystem(const QList<DeviceFacts> &scans)
{
    std::optional<QString> newest;
    for (const DeviceFacts &facts : scans) {
        const QVersionNumber version = versionOf(facts.productVersion);
        if (!version.isNull() &&
            (!newest || QVersionNumber::compare(version, versionOf(newest)) > 0))
            newest = facts.productVersion;
    }
    return newest;
}
