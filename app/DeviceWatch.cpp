#include "app/DeviceWatch.h"

#include <QSettings>

namespace {

const QString keyScanWhenConnected = QStringLiteral("scanDevicesWhenConnected");
const QString awaitsUserNote =
    QStringLiteral(" It is scanned as soon as it lets this computer in.");

QString lead(const ConnectedDevice &device)
{
    return ScanRun::progressLead(0, 1, device.title());
}

} // namespace

DeviceWatch::DeviceWatch(QObject *parent) : QObject(parent)
{
    connect(&m_session, &WatchSession::started, this, &DeviceWatch::scanStarted);
    connect(&m_session, &WatchSession::progress, this,
            [this](const ConnectedDevice &device, const QString &message) {
                Q_EMIT progress(lead(device) + message);
            });
    connect(&m_session, &WatchSession::scanned, this,
            [this](const ConnectedDevice &device, const Inventory &inventory) {
                for (ScanRun *run : {&m_run, &m_last})
                    run->saved(device.title(), inventory);
                Q_EMIT saved(inventory);
            });
    connect(&m_session, &WatchSession::failed, this,
            [this](const ConnectedDevice &device, const QString &description) {
                for (ScanRun *run : {&m_run, &m_last})
                    run->failed(device.title(), description);
            });
    // Not a failure of the run: it is said at the end, whatever the run's other devices did.
    connect(&m_session, &WatchSession::waiting, this,
            [this](const ConnectedDevice &device, const QString &description) {
                m_last.failed(device.title(), description + awaitsUserNote);
                m_advice.append(m_last.summary(false));
            });
    connect(&m_session, &WatchSession::ended, this, &DeviceWatch::scanEnded);
    connect(&m_session, &WatchSession::lookFailed, this, &DeviceWatch::lookFailed);
}

bool DeviceWatch::isRemembered()
{
    return QSettings().value(keyScanWhenConnected).toBool();
}

void DeviceWatch::setOn(bool on)
{
    QSettings().setValue(keyScanWhenConnected, on);
    if (on)
        m_session.start();
    else
        m_session.stop();
}

void DeviceWatch::cancel()
{
    if (m_session.scanCount() == 0)
        return;
    m_cancelled = true;
    m_session.cancel();
}

void DeviceWatch::scanStarted(const QString &device)
{
    const QString status = lead({device, std::nullopt, {}});
    // The run grows with every scan that starts before the others end.
    if (m_session.scanCount() > 1) {
        m_run.add(1);
        Q_EMIT progress(status);
        return;
    }
    m_run = ScanRun(1, true);
    m_advice.clear();
    m_cancelled = false;
    Q_EMIT started(status);
}

void DeviceWatch::scanEnded()
{
    const ScanRun last = std::exchange(m_last, ScanRun(1, true));
    if (const qsizetype others = m_session.scanCount(); others > 0) {
        // Said at once, not when a device that hangs gives up minutes later.
        if (const QString said = last.summary(false); !said.isEmpty())
            Q_EMIT progress(
                said +
                (others == 1
                     ? QStringLiteral(" Still scanning 1 other device\u2026")
                     : QStringLiteral(" Still scanning %1 other devices\u2026").arg(others)));
        return;
    }
    QStringList said = m_advice;
    if (const QString summary = m_run.summary(m_cancelled); !summary.isEmpty())
        said.prepend(summary);
    Q_EMIT finished(said.join(u' '));
}
