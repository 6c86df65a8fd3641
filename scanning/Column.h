#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// One column of an inventory: its name, where a scan takes its text from and how the table sorts,
// sizes and shows it. Every list of columns in Quillet (the device attributes asked for, a
// scan's fields, widths, numeric sorting, the command line's names) comes from the table in
// Column.cpp, so a new column is one entry there; the details window's layout table places it.
struct Column {
    // Where a scan takes the cell's text from.
    enum class Source {
        DeviceText, // the first of `attributes` the device reports as text, even empty
        DeviceBytes, // the sum of `attributes` in megabytes; blank unless all are reported
        Category, // the store's category
        ScanDate, // the day of the scan, UTC
        Device, // the device identifier
        DeviceFlag, // "Yes" when the first of `attributes` is true, blank otherwise
        AppSource, // where the app came from, from its type and signer (`attributes`, in order)
        UpdateVerdict, // the store columns, added once the store has been asked
        StorePresence,
        StoreVersion,
        StoreChecked,
        StoreArtwork,
    };
    enum class Kind {
        Text,
        Megabytes, // sorts as a number, right-aligned, shown with " MB" in the details
        Moment, // seconds since 1970, shown as a date in the details
        Version, // sorts by its numbers: "9.0" before "15.0"
    };

    QString name = {};
    Source source = Source::DeviceText;
    QStringList attributes = {};
    Kind kind = Kind::Text;
    int width = 120;
    // Whether a scan lists it among its fields, for the table and the exports; the other store
    // columns serve the details and the verdicts.
    bool listed = true;

    bool isNumeric() const { return kind == Kind::Megabytes; }
    bool isStoreColumn() const { return source >= Source::UpdateVerdict; }

    // Every column Quillet makes, in the order of a scan's fields, the store columns last.
    static const QList<Column> &all();
    // The column of that name. Columns Quillet does not make (from an earlier release's export)
    // are text of the default width, or megabytes when the name ends in " MB".
    static Column described(QStringView name);
    // The fields of a new inventory, in order: the columns built from the device and the listed
    // store columns.
    static QStringList scanFields();
    // The attributes the device's app list is asked for: the bundle identifier, which every app
    // must have, then the others in column order, each once.
    static QStringList deviceAttributes();

    // The names code refers to. Names are the vocabulary of the table, the exports, the
    // comparison and the details; they are written in every inventory file.
    static inline const QString appName = QStringLiteral("App name");
    static inline const QString category = QStringLiteral("Category");
    static inline const QString bundleIdentifier = QStringLiteral("Bundle identifier");
    static inline const QString version = QStringLiteral("Version");
    static inline const QString appType = QStringLiteral("App type");
    static inline const QString appMB = QStringLiteral("App MB");
    static inline const QString dataMB = QStringLiteral("Data MB");
    static inline const QString totalMB = QStringLiteral("Total MB");
    static inline const QString scanDate = QStringLiteral("Scan date (UTC)");
    static inline const QString deviceIdentifier = QStringLiteral("Device identifier");
    static inline const QString offloaded = QStringLiteral("Offloaded");
    static inline const QString appSource = QStringLiteral("Source");
    static inline const QString minimumOS = QStringLiteral("Minimum OS");
    static inline const QString updateAvailable = QStringLiteral("Update available");
    static inline const QString storeVersion = QStringLiteral("Store version");
    static inline const QString storeChecked = QStringLiteral("Store checked");
    static inline const QString artworkURL = QStringLiteral("Artwork URL");
    static inline const QString storePresence = QStringLiteral("Store presence");

    // The texts of "Store presence".
    static inline const QString inStore = QStringLiteral("In store");
    static inline const QString notInStore = QStringLiteral("Not in store");
    static inline const QString notChecked = QStringLiteral("Not checked");
};
