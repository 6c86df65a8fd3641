#pragma once

#include "scanning/Row.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

struct DeviceFacts;

// One scan of one device (or one import of an older export). Its JSON form is the format of
// "inventory.json" and of every history file.
struct Inventory {
    // The columns, in order. A new scan's are Column::scanFields(); nothing adds them unasked.
    QStringList fields;
    QList<Row> rows;
    std::optional<QString> deviceName;
    std::optional<QString> scanID;
    std::optional<QDateTime> scannedAt;
    std::optional<QString> deviceID;
    std::optional<QString> snapshotName;
    std::optional<QString> snapshotNotes;
    // The store country whose lookup gave the categories, a lower-case two-letter code; unknown
    // for scans made before Quillet kept it.
    std::optional<QString> storeCountry;

    friend bool operator==(const Inventory &, const Inventory &) = default;

    // What the device said about itself at the scan; empty for scans made before Quillet asked.
    // Kept apart so that a new fact rebuilds only what reads the facts.
    const DeviceFacts &deviceFacts() const;
    void setDeviceFacts(const DeviceFacts &facts);

    // "the US App Store": the store the categories came from, or "the App Store" when the scan
    // does not say.
    QString storeName() const;

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
    // earlier release listed it, and every row without a verdict gets "Unknown"; in a scan from
    // before the store's presence was kept every app is "Not checked" (its fields stay as they
    // were, so its exports do too).
    Inventory withStoreColumns() const;

    QByteArray toJson() const;
    // The bytes `row` takes in toJson(), its separator included.
    static qsizetype encodedSize(const Row &row);
    // Throws PlatformError naming `path` when the data is not an inventory.
    static Inventory fromJson(const QByteArray &json, const QString &path);
    // The same without its rows, and how many of them have a visible name: what a listing
    // shows, read without building a row. Refuses what fromJson refuses.
    static Inventory headerFromJson(const QByteArray &json, const QString &path,
                                    qsizetype &namedRows);

    static Inventory readFile(const QString &path);
    void writeFile(const QString &path) const;

    // The optional texts of the header, by their JSON keys: what the file and the history's
    // index hold beside the rows.
    static const QList<std::pair<QByteArrayView, std::optional<QString> Inventory::*>> &texts();

private:
    // Facts are never changed in place, so copies share them.
    class SharedFacts {
    public:
        std::shared_ptr<const DeviceFacts> facts;
        friend bool operator==(const SharedFacts &, const SharedFacts &);
    };
    SharedFacts m_deviceFacts;
    friend bool operator==(const SharedFacts &, const SharedFacts &);

    // Rows are kept, or, given `namedRows`, only counted.
    static Inventory decode(const QByteArray &json, const QString &path, qsizetype *namedRows);
};
