#pragma once

#include "scanning/ConnectedDevice.h"
#include "scanning/Inventory.h"

#include <QFuture>
#include <QObject>

#include <functional>
#include <memory>

class Scanner;

// Runs a scan of the device, a run of scans of several devices, or the load of the saved
// inventory, on a worker thread and reports its progress and outcome on the main thread, in the
// order they happened.
class ScanBridge : public QObject {
    Q_OBJECT

public:
    enum class Mode { Load, Scan };

    explicit ScanBridge(QObject *parent = nullptr);
    // A job still running is cancelled and waited for; its last messages go nowhere.
    ~ScanBridge() override;

    // Scan: the one connected device; when several are connected, choose() lists them instead.
    void start(Mode mode);
    // Scans each of `devices` in turn, each saved as a scan of its own: scanned() or
    // deviceFailed() for each, then runFinished(). Progress names the device.
    void scanEach(const QList<ConnectedDevice> &devices);
    void cancel();
    bool isRunning() const { return m_scanner != nullptr; }

Q_SIGNALS:
    void progress(const QString &message);
    // With the store columns added.
    void succeeded(const Inventory &inventory, ScanBridge::Mode mode);
    void failed(const QString &description);
    // Several devices are connected: with their names, models and systems.
    void choose(const QList<ConnectedDevice> &devices);
    // One device of a run, scanned and saved; with the store columns added.
    void scanned(const ConnectedDevice &device, const Inventory &inventory);
    void deviceFailed(const ConnectedDevice &device, const QString &description);
    void runFinished(bool cancelled);

private:
    void deliver(std::function<void()> step);
    // Runs `job` with a new scanner on the worker thread; `job` returns the step that
    // announces its outcome, or throws what the job failed with.
    void run(std::function<std::function<void()>(Scanner &)> job);

    std::shared_ptr<Scanner> m_scanner;
    QFuture<void> m_job;
};
