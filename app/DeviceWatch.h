#pragma once

#include "scanning/ScanRun.h"
#include "scanning/WatchSession.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// Scan Devices When Connected: while it is on, it looks every two seconds for connected
// devices and scans each one that is due in the background, each on a thread of its own (see
// WatchSession). Scans that overlap make one run for the window: it is busy from the first
// one's start to the last one's end, and sums them up then. The setting is remembered.
class DeviceWatch : public QObject {
    Q_OBJECT

public:
    explicit DeviceWatch(QObject *parent = nullptr);

    // Whether the user turned it on, now or in an earlier session.
    static bool isRemembered();
    bool isOn() const { return m_session.isOn(); }
    // Turns it on (starting afresh: every device connected then is due) or off, remembered.
    // Scans under way when it is turned off go on to their end.
    void setOn(bool on);
    // Asked before each background scan: false holds due devices back until a later look.
    void setMayScan(std::function<bool()> mayScan) { m_session.setMayScan(std::move(mayScan)); }
    // Stops every background scan; their devices wait until they are plugged in again.
    void cancel();

    // What scans made by hand tell it: see DeviceWatcher.
    DeviceWatcher &watcher() { return m_session.watcher(); }

Q_SIGNALS:
    // The first background scan of a run starts: the window is busy until finished().
    void started(const QString &status);
    void progress(const QString &message);
    // A device's scan was saved, with the store columns added.
    void saved(const Inventory &inventory);
    // Every scan of the run ended; empty when there is nothing new to say.
    void finished(const QString &summary);
    // Devices could not be listed; said once until it changes.
    void lookFailed(const QString &description);

private:
    void scanStarted(const QString &device);
    void scanEnded();

    WatchSession m_session;
    ScanRun m_run;
    // What became of the scan that ended last, said while others go on.
    ScanRun m_last{1, true};
    // What the run's devices that wait for their users need, said at its end.
    QStringList m_advice;
    bool m_cancelled = false;
};
