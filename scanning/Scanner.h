#pragma once

#include "scanning/Inventory.h"
#include "scanning/Locations.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

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

    explicit Scanner(QString resources = Locations::resources(),
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

    // Stops the running tool at once and every later step. Never blocks behind a tool.
    void cancel();
    bool isCancelled() const;
    void checkCancellation() const;

    // Runs Tools/`name` and returns what it printed on standard output.
    QByteArray runTool(const QString &name, const QStringList &arguments);

    // The inventory to show at start-up: "inventory.json", or an import of the newest CSV
    // export of an earlier release, brought into the history.
    Inventory load() const;
    static QList<Row> parseCSV(QStringView text);

private:
    QString m_resources;
    QString m_storage;
    // Guards m_stopped and m_child, and is held for nothing slower than a kill().
    mutable std::mutex m_lock;
    bool m_stopped = false;
    std::optional<pid_t> m_child;
    Progress m_progress = [](const QString &) {};
    std::chrono::milliseconds m_toolTimeLimit = std::chrono::seconds(180);
    qint64 m_toolOutputLimit = qint64(256) * 1024 * 1024;
};
