#include "scanning/DeviceWatcher.h"

DeviceWatcher::DeviceWatcher(Clock clock) : m_clock(std::move(clock)) {}

QStringList DeviceWatcher::due(const QStringList &connected)
{
    // A device that is gone is new again when it comes back; one being scanned stays busy until
    // its scan ends, wherever the device went.
    const QSet<QString> present(connected.begin(), connected.end());
    m_settled.intersect(present);
    m_advised.intersect(present);
    const auto now = m_clock();
    for (auto it = m_scannedAt.begin(); it != m_scannedAt.end();)
        it = now - it.value() >= sameVisit ? m_scannedAt.erase(it) : std::next(it);
    QStringList due;
    QSet<QString> listed;
    for (const QString &device : connected) {
        if (m_settled.contains(device) || m_busy.contains(device) || listed.contains(device))
            continue;
        if (m_scannedAt.contains(device)) {
            m_settled.insert(device);
            continue;
        }
        due.append(device);
        listed.insert(device);
    }
    return due;
}

void DeviceWatcher::begin(const QString &device)
{
    m_busy.insert(device);
}

void DeviceWatcher::end(const QString &device)
{
    m_busy.remove(device);
}

void DeviceWatcher::scanned(const QString &device)
{
    settle(device);
    m_scannedAt.insert(device, m_clock());
}

void DeviceWatcher::settle(const QString &device)
{
    m_settled.insert(device);
    m_advised.remove(device);
}

bool DeviceWatcher::wait(const QString &device)
{
    if (m_advised.contains(device))
        return false;
    m_advised.insert(device);
    return true;
}
