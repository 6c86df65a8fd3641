#include "app/DeviceWatch.h"

#include "common/Failure.h"
#include "scanning/Scanner.h"

#include <QSettings>
#include <QtConcurrent/QtConcurrentRun>

namespace {

const QString keyScanWhenConnected = QStringLiteral("scanDevicesWhenConnected");

} // namespace

DeviceWatch::DeviceWatch(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(std::chrono::seconds(2));
    connect(&m_timer, &QTimer::timeout, this, &DeviceWatch::look);
    connect(&m_look, &QFutureWatcher<Look>::finished, this, &DeviceWatch::looked);
}

DeviceWatch::~DeviceWatch()
{
    if (m_scanner)
        m_scanner->cancel();
    m_look.waitForFinished();
}

bool DeviceWatch::isRemembered()
{
    return QSettings().value(keyScanWhenConnected).toBool();
}

void DeviceWatch::setOn(bool on)
{
    QSettings().setValue(keyScanWhenConnected, on);
    if (on == m_on)
        return;
    m_on = on;
    if (!on) {
        m_timer.stop();
        return;
    }
    m_watcher = DeviceWatcher();
    m_problem.clear();
    m_timer.start();
    look();
}

void DeviceWatch::look()
{
    // One look at a time; a slow tool makes the next one wait.
    if (!m_on || m_look.isRunning())
        return;
    m_scanner = std::make_shared<Scanner>();
    // The watcher is the main thread's: the look asks a copy which devices wait.
    m_look.setFuture(QtConcurrent::run([scanner = m_scanner, seen = m_watcher]() mutable {
        Look found;
        try {
            found.connected = scanner->connectedDevices();
            for (const QString &device : seen.due(found.connected)) {
                if (seen.isWaiting(device) && scanner->answers(device))
                    found.answering.insert(device);
            }
        } catch (const Failure &error) {
            found.problem = error.description();
        }
        return found;
    }));
}

void DeviceWatch::looked()
{
    m_scanner.reset();
    if (!m_on || m_look.isCanceled())
        return;
    const Look found = m_look.result();
    if (!found.problem.isEmpty()) {
        if (found.problem != m_problem)
            Q_EMIT lookFailed(found.problem);
        m_problem = found.problem;
        return;
    }
    m_problem.clear();
    QStringList ready;
    for (const QString &device : m_watcher.due(found.connected)) {
        if (!m_watcher.isWaiting(device) || found.answering.contains(device))
            ready.append(device);
    }
    if (!ready.isEmpty())
        Q_EMIT due(ready);
}
