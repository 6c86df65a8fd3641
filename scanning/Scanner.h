#pragma once

#include "common/Locations.h"
#include "scanning/CategoryEntry.h"
#include "scanning/Inventory.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

#include <sys/types.h>

// One scan or load of the data folder. Reads the device only through the command-line device
// tools in the resource folder's "Tools", one child process at a time, and can be cancelled
// from any thread. A cancelled scanner stays cancelled; each operation uses a new one.
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
    void setProgress(Progress progress) { m_progress = std::move(progress); }

    // The device gets three minutes per tool. Tests shorten it.
    void setToolTimeLimit(std::chrono::milliseconds limit) { m_toolTimeLimit = limit; }
    // Output past this size means a broken tool, not a device; it is stopped.
    void setToolOutputLimit(qint64 bytes) { m_toolOutputLimit = bytes; }

    // The store lookup endpoint; tests point it at a server of their own.
    void setLookupURL(const QUrl &url) { m_lookupURL = url; }
    // The store lookup waits and pauses in slices of this length; tests shorten it.
    void setLookupSlice(std::chrono::milliseconds slice) { m_lookupSlice = slice; }

    // Stops the running tool at once and every later step. Never blocks behind a tool.
    void cancel();
    bool isCancelled() const;
    void checkCancellation() const;

    // Runs Tools/`name` and returns what it printed on standard output.
    QByteArray runTool(const QString &name, const QStringList &arguments);

    // Reads the one connected device, enriches its apps from the store and saves the result
    // in the history and in "inventory.json". Any failure leaves both as they were.
    Inventory scan();

    // The app dictionaries of the device's listing. Throws unless it is a list of them.
    static QList<QVariantMap> parseAppList(QByteArray listing);

    // Store metadata for these apps, from the cache while it is fresh, else from the store in
    // batches. Returns the category of every cached app. Network trouble is never an error.
    QHash<QString, QString> categories(const QStringList &identifiers);
    // The cache entries for one batch from the store's answer: every app of the batch, with
    // what the store said about it. Nothing when the answer is not a lookup result.
    static std::optional<CategoryEntry::Map> lookupEntries(const QByteArray &body,
                                                           const QStringList &batch, double now);
    // The whole cache after the last lookup.
    const CategoryEntry::Map &storeMetadata() const { return m_storeMetadata; }

    // One row per app, sorted by name. Throws when an app has no identifier.
    static QList<Row> makeRows(const QList<QVariantMap> &apps, const QString &device,
                               const QHash<QString, QString> &categories, const QDateTime &now);
    // Adds "Update available", "Store version", "Store checked" and "Artwork URL".
    void addStoreColumns(QList<Row> &rows, const QDateTime &now) const;
    // A byte count: a number that is not a Boolean and not negative.
    static std::optional<double> size(const QVariant &value);
    // "Yes", "No" or "Unknown", from a store version checked within the last day.
    static QString updateAvailability(const QString &installed, const std::optional<QString> &store,
                                      std::optional<double> checked,
                                      const QDateTime &now = QDateTime::currentDateTimeUtc());
    // "1.10.2" as {1, 10, 2}; nothing unless the text is dot-separated digits.
    static std::optional<QList<qint64>> versionComponents(QStringView version);
    // Decimal megabytes with two decimals; empty when unknown.
    static QString megabytes(std::optional<double> bytes);
    // The shortest text that reads back as the same number, always with a fraction digit.
    static QString storeCheckedText(double seconds);

    // The inventory to show at start-up: "inventory.json", or an import of the newest CSV
    // export of an earlier release, brought into the history.
    Inventory load() const;
    static QList<Row> parseCSV(QStringView text);

private:
    void report(const QString &message) const { m_progress(message); }
    void pauseBetweenBatches() const;

    QString m_resources;
    QString m_storage;
    // Guards m_stopped and m_child, and is held for nothing slower than a kill().
    mutable std::mutex m_lock;
    bool m_stopped = false;
    std::optional<pid_t> m_child;
    Progress m_progress = [](const QString &) {};
    std::chrono::milliseconds m_toolTimeLimit = std::chrono::seconds(180);
    qint64 m_toolOutputLimit = qint64(256) * 1024 * 1024;
    QUrl m_lookupURL = Locations::lookupURL();
    std::chrono::milliseconds m_lookupSlice = std::chrono::milliseconds(100);
    CategoryEntry::Map m_storeMetadata;
};
