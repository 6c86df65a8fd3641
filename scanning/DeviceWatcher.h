#pragma once

#include <QSet>
#include <QStringList>

// Which connected devices to scan while watching for new ones: each device once after it
// appears, a locked or untrusting one as soon as it lets us, and none again until it has been
// unplugged. It only keeps count; the caller looks for devices and scans them.
class DeviceWatcher {
public:
    // The devices connected now, as `idevice_id -l` lists them; returns those to scan, in order.
    QStringList due(const QStringList &connected);

    // The device was scanned, or failed in a way that trying again would not mend: it is left
    // alone until it is unplugged.
    void settle(const QString &device);
    // The device waits for its user (locked, or asking whether to trust this computer) and is
    // tried again at the next look. True the first time, when its advice is worth giving.
    bool wait(const QString &device);
    // Whether the device is waiting for its user, its advice given.
    bool isWaiting(const QString &device) const { return m_advised.contains(device); }

private:
    QSet<QString> m_settled;
    QSet<QString> m_advised;
};
