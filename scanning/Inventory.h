#pragma once

#include "scanning/Column.h"
#include "scanning/DeviceFacts.h"
#include "scanning/Row.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One scan of one device (or one import of an older export). Its JSON form is the format of
// "inventory.json" and of every history file.
struct Inventory {
    QStringList fields = Column::scanFields();
    QList<Row> rows;
    std::optional<QString> deviceName;
    std::optional<QString> scanID;
    std::optional<QDateTime> scannedAt;
    std::optional<QString> deviceID;
    std::optional<QString> snapshotName;
    std::optional<QString> snapshotNotes;
    // What the device said about itself at the scan; empty for scans made before Quillet asked.
    DeviceFacts deviceFacts = {};

    friend bool operator==(const Inventory &, const Inventory &) = default;

    // True when the text shows anything: a scalar that is not white space, a line break, a
    // control character or a default-ignorable code point.
    static bool hasVisibleName(const std::optional<QString> &text);

    // The rows whose app name shows anything, in order.
    QList<Row> namedRows() const;
    // The device identifier, or the one identifier all rows agree on.
    std::optional<QString> resolvedDeviceID() const;
    // Base name of export files: the device name made safe, then the New York date.
    static QString exportStem(const std::optional<QString> &deviceName,
                              const QDateTime &date = QDateTime::currentDateTimeUtc());
    // The inventory as the table shows it: "Update available" is taken out of `fields`, where an
    // earlier release listed it, and every row without a verdict gets "Unknown".
    Inventory withStoreColumns() const;

    QByteArray toJson() const;
    // The bytes `row` takes in toJson(), its separator included.
    static qsizetype encodedSize(const Row &row);
    // Throws PlatformError naming `path` when the data is not an inventory.
    static Inventory fromJson(const QByteArray &json, const QString &path);
    // The same without its rows, and how many of them have a visible name: what a listing
    // shows, read without building a row. Refuses what fromJson refuses.
    static Inventory headerFromJson(const QByteArray &json, const QString &path, qsizetype &namedRows);

    static Inventory readFile(const QString &path);
    void writeFile(const QString &path) const;

private:
    // Rows are kept, or, given `namedRows`, only counted.
    static Inventory decode(const QByteArray &json, const QString &path, qsizetype *namedRows);
};
