#pragma once

#include <QHash>
#include <QSet>
#include <QStringList>

#include <chrono>
#include <functional>

// Which connected devices to scan while watching for new ones: each device once after it
// appears, a locked or untrusting one as soon as it lets us, and none again until it has been
// unplugged, nor one being scanned already. A device back within a minute of its last scan is
// taken for a loose cable, not a new visit: it is not scanned again, so that a device that comes
// and goes fills no history. It only keeps count; the caller looks for devices and scans them.
class DeviceWatcher {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // How long after its scan a device that comes back counts as never having left.
    static constexpr std::chrono::seconds sameVisit{60};

    explicit DeviceWatcher(Clock clock = &std::chrono::steady_clock::now);

    // The devices connected now, as `idevice_id -l` lists them; returns those to scan, in order.
    QStringList due(const QStringList &connected);

    // A scan of the device (or a look at whether it answers) starts: it is not due again until
    // end() says it is over, whatever happens in between.
    void begin(const QString &device);
    void end(const QString &device);
    bool isBusy(const QString &device) const { return m_busy.contains(device); }
    qsizetype busyCount() const { return m_busy.size(); }

    // The device's scan was saved: it is left alone until it is unplugged, and for a minute
    // after its scan even if it comes back.
    void scanned(const QString &device);
    // The device failed in a way that trying again would not mend, or its scan was cancelled:
    // it is left alone until it is unplugged.
    void settle(const QString &device);
    // The device waits for its user (locked, or asking whether to trust this computer) and is
    // tried again at the next look. True the first time, when its advice is worth giving.
    bool wait(const QString &device);
    // Whether the device is waiting for its user, its advice given.
    bool isWaiting(const QString &device) const { return m_advised.contains(device); }

private:
    Clock m_clock;
    QSet<QString> m_settled;
    QSet<QString> m_advised;
    QSet<QString> m_busy;
    QHash<QString, std::chrono::steady_clock::time_point> m_scannedAt;
};
