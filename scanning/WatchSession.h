#pragma once

#include "scanning/ConnectedDevice.h"
#include "scanning/DeviceWatcher.h"
#include "scanning/Inventory.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class Scanner;

// A watch for devices, for quillet-cli watch and the window's Scan Devices When Connected: it
// looks for connected devices every two seconds and scans each one that is due (see
// DeviceWatcher) with a Scanner of its own on a thread of its own, so that a device that hangs
// holds back no other. Everything it says, it says on the thread it lives on, in the order it
// happened for each device.
class WatchSession : public QObject {
    Q_OBJECT

public:
    explicit WatchSession(QObject *parent = nullptr);
    // Cancels every look and scan still running and waits for them, which a cancel makes quick.
    ~WatchSession() override;

    // Starts afresh, with every device connected now due, and looks at once.
    void start();
    // No more looks, nor new scans; the running scans go on to their end.
    void stop();
    bool isOn() const { return m_on; }

    // Asked before a scan starts; false holds the due devices back until a later look.
    void setMayScan(std::function<bool()> mayScan) { m_mayScan = std::move(mayScan); }
    // Stops every running scan; their devices are left alone until they are plugged in again.
    void cancel();
    // The scans running now (not the looks at whether a waiting device answers).
    qsizetype scanCount() const { return m_scanCount; }

    // Scans made elsewhere tell it here; see DeviceWatcher.
    DeviceWatcher &watcher() { return m_watcher; }

Q_SIGNALS:
    // A scan of the device starts; its name is not known yet.
    void started(const QString &device);
    void progress(const ConnectedDevice &device, const QString &message);
    // Saved, with the store columns added.
    void scanned(const ConnectedDevice &device, const Inventory &inventory);
    // The scan failed in a way that trying again would not mend until the device is plugged in
    // again.
    void failed(const ConnectedDevice &device, const QString &description);
    // The device waits for its user, and is scanned as soon as it answers. Said once a visit.
    void waiting(const ConnectedDevice &device, const QString &description);
    // After every started(), whatever became of the scan.
    void ended(const ConnectedDevice &device);
    // Devices could not be listed; said once until it changes.
    void lookFailed(const QString &description);

private:
    // What a scan came to, for the main thread.
    struct Outcome {
        ConnectedDevice device;
        std::optional<Inventory> inventory;
        QString problem;
        bool awaitsUser = false;
        bool cancelled = false;
    };

    void look();
    void looked(const QStringList &connected, const QString &problem);
    // A waiting device is asked whether it answers before it is scanned, away from the look, so
    // that a device that hangs there holds up no look.
    void check(const QString &device);
    void checked(const QString &device, bool answers);
    void scan(const QString &device);
    void finish(const Outcome &outcome);
    bool mayScan() const { return m_on && (!m_mayScan || m_mayScan()); }
    // A new scanner for `device`, cancelled with the others.
    std::shared_ptr<Scanner> track(const QString &device);
    void deliver(std::function<void()> step);

    bool m_on = false;
    QTimer m_timer;
    // Threads of its own: a hung device keeps one busy for minutes.
    QThreadPool m_pool;
    std::function<bool()> m_mayScan;
    DeviceWatcher m_watcher;
    std::shared_ptr<Scanner> m_looking;
    // The scanners at work, by device.
    QHash<QString, std::shared_ptr<Scanner>> m_scanners;
    qsizetype m_scanCount = 0;
    QString m_problem;
};
