#include "scanning/DeviceWatcher.h"

QStringList DeviceWatcher::due(const QStringList &connected)
{
    // A device that is gone is new again when it comes back.
    const QSet<QString> present(connected.begin(), connected.end());
    m_settled.intersect(present);
    m_advised.intersect(present);
    QStringList due;
    QSet<QString> listed;
    for (const QString &device : connected) {
        if (!m_settled.contains(device) && !listed.contains(device)) {
            due.append(device);
            listed.insert(device);
        }
    }
    return due;
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
