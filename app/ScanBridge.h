#pragma once

#include "scanning/Inventory.h"

#include <QFuture>
#include <QObject>

#include <functional>
#include <memory>

class Scanner;

// Runs a scan of the device, or the load of the saved inventory, on a worker thread and reports
// its progress and outcome on the main thread, in the order they happened.
class ScanBridge : public QObject {
    Q_OBJECT

public:
    enum class Mode { Load, Scan };

    explicit ScanBridge(QObject *parent = nullptr);
    // A job still running is cancelled and waited for; its last messages go nowhere.
    ~ScanBridge() override;

    void start(Mode mode);
    void cancel();
    bool isRunning() const { return m_scanner != nullptr; }

Q_SIGNALS:
    void progress(const QString &message);
    // With the store columns added.
    void succeeded(const Inventory &inventory, ScanBridge::Mode mode);
    void failed(const QString &description);

private:
    void deliver(std::function<void()> step);

    std::shared_ptr<Scanner> m_scanner;
    QFuture<void> m_job;
};
