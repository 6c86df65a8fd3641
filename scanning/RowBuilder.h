#pragma once

#include "scanning/CategoryEntry.h"
#include "scanning/Row.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>
#include <QVariant>
#include <QVariantMap>

#include <optional>

// Turns the device's app dictionaries into inventory rows, one per app and sorted by name, with
// sizes in megabytes, and then adds what the store knows: its version, when it was asked, the
// icon address and whether an update is available. The cells are the columns of Column::all().
class RowBuilder {
public:
    // One row per app, sorted by name. Throws when an app has no identifier.
    static QList<Row> makeRows(const QList<QVariantMap> &apps, const QString &device,
                               const QHash<QString, QString> &categories, const QDateTime &now);
    // Adds the store columns from the store's metadata, by bundle identifier; `country` is the
    // store the scan asked.
    static void addStoreColumns(QList<Row> &rows, const CategoryEntry::Map &storeMetadata,
                                const QString &country, const QDateTime &now);
    // "In store" or "Not in store" when that store answered for the app within the last day,
    // else "Not checked": also for an app the store does not sell, whatever it answered.
    static QString storePresence(const Row &row, const CategoryEntry *entry, const QString &country,
                                 const QDateTime &now);

    // The app's bundle identifier, when it is text and not empty.
    static std::optional<QString> identifier(const QVariantMap &app);
    // A byte count: a number that is not a Boolean and not negative.
    static std::optional<double> size(const QVariant &value);
    // Decimal megabytes with two decimals; empty when unknown.
    static QString megabytes(std::optional<double> bytes);
    // The shortest text that reads back as the same number, always with a fraction digit.
    static QString storeCheckedText(double seconds);
    // "Yes", "No" or "Unknown", from a store version checked within the last day.
    static QString updateAvailability(const QString &installed, const std::optional<QString> &store,
                                      std::optional<double> checked,
                                      const QDateTime &now = QDateTime::currentDateTimeUtc());
    // "1.10.2" as {1, 10, 2}; nothing unless the text is dot-separated digits.
    static std::optional<QList<qint64>> versionComponents(QStringView version);
    // Where an app came from, by its application type and the identity that signed it: "System",
    // "App Store", "TestFlight", "Developer", "Enterprise or ad hoc", or an unknown signer as it
    // is; blank when neither says.
    static QString appSource(const QString &type, const QString &signer);

    RowBuilder() = delete;
};
