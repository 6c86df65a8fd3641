#include "scanning/WatchSession.h"

#include "common/Failure.h"
#include "scanning/ScanError.h"
#include "scanning/Scanner.h"

#include <limits>

WatchSession::WatchSession(QObject *parent) : QObject(parent)
{
    // Each device scans on a thread of its own, however many hang.
    m_pool.setMaxThreadCount(std::numeric_limits<int>::max());
    m_timer.setInterval(std::chrono::seconds(2));
    connect(&m_timer, &QTimer::timeout, this, &WatchSession::look);
}

WatchSession::~WatchSession()
{
    m_on = false;
    m_timer.stop();
    if (m_looking)
        m_looking->cancel();
    for (const std::shared_ptr<Scanner> &scanner : std::as_const(m_scanners))
        scanner->cancel();
    m_pool.waitForDone();
}

void WatchSession::start()
{
    if (m_on)
        return;
    m_on = true;
    m_watcher = DeviceWatcher();
    // A scan still running from before is not started twice.
    for (auto it = m_scanners.cbegin(); it != m_scanners.cend(); ++it)
        m_watcher.begin(it.key());
    m_problem.clear();
    m_timer.start();
    look();
}

void WatchSession::stop()
{
    m_on = false;
    m_timer.stop();
}

void WatchSession::cancel()
{
    for (const std::shared_ptr<Scanner> &scanner : std::as_const(m_scanners))
        scanner->cancel();
}

void WatchSession::deliver(std::function<void()> step)
{
    // Queued calls from one thread arrive in the order they were sent.
    QMetaObject::invokeMethod(this, std::move(step), Qt::QueuedConnection);
}

std::shared_ptr<Scanner> WatchSession::track(const QString &device)
{
    auto scanner = std::make_shared<Scanner>();
    m_scanners.insert(device, scanner);
    m_watcher.begin(device);
    return scanner;
}

void WatchSession::look()
{
    // One look at a time; a slow tool makes the next one wait.
    if (!m_on || m_looking)
        return;
    m_looking = std::make_shared<Scanner>();
    m_pool.start([this, scanner = m_looking] {
        QStringList connected;
        QString problem;
        try {
            connected = scanner->connectedDevices();
        } catch (const Failure &error) {
            problem = error.description();
        }
        deliver([this, connected, problem] { looked(connected, problem); });
    });
}

void WatchSession::looked(const QStringList &connected, const QString &problem)
{
    m_looking.reset();
    if (!m_on)
        return;
    if (!problem.isEmpty()) {
        if (problem != m_problem)
            Q_EMIT lookFailed(problem);
        // Not knowing which devices are there is not seeing them leave: none is new after.
        m_problem = problem;
        return;
    }
    m_problem.clear();
    for (const QString &device : m_watcher.due(connected)) {
        if (!mayScan())
            return; // due again at the next look
        if (m_watcher.isWaiting(device))
            check(device);
        else
            scan(device);
    }
}

void WatchSession::check(const QString &device)
{
    m_pool.start([this, scanner = track(device), device] {
        bool answers = false;
        try {
            answers = scanner->answers(device);
        } catch (const Failure &) {
            // Cancelled: it is not scanned.
        }
        deliver([this, device, answers] { checked(device, answers); });
    });
}

void WatchSession::checked(const QString &device, bool answers)
{
    m_scanners.remove(device);
    m_watcher.end(device);
    // Scanned by other means meanwhile, or unplugged: not waiting any more.
    if (answers && m_watcher.isWaiting(device) && mayScan())
        scan(device);
}

void WatchSession::scan(const QString &device)
{
    std::shared_ptr<Scanner> scanner = track(device);
    ++m_scanCount;
    Q_EMIT started(device);
    m_pool.start([this, scanner, device] {
        Outcome outcome;
        outcome.device.identifier = device;
        try {
            outcome.device.name = scanner->deviceName(device, Scanner::labelTimeLimit);
            scanner->setProgress([this, named = outcome.device](const QString &message) {
                deliver([this, named, message] { Q_EMIT progress(named, message); });
            });
            outcome.inventory = scanner->scan(device).withStoreColumns();
        } catch (const Failure &error) {
            outcome.problem = error.description();
            outcome.awaitsUser = ScanError::isAwaitingUser(error);
            outcome.cancelled = scanner->isCancelled();
        } catch (const std::exception &error) {
            outcome.problem = QString::fromLocal8Bit(error.what());
        }
        deliver([this, outcome] { finish(outcome); });
    });
}

void WatchSession::finish(const Outcome &outcome)
{
    const QString &device = outcome.device.identifier;
    m_scanners.remove(device);
    m_watcher.end(device);
    --m_scanCount;
    if (outcome.inventory) {
        m_watcher.scanned(device);
        Q_EMIT scanned(outcome.device, *outcome.inventory);
    } else if (outcome.cancelled) {
        // Cancelled by the user: not again until it is plugged in again.
        m_watcher.settle(device);
    } else if (outcome.awaitsUser) {
        if (m_watcher.wait(device))
            Q_EMIT waiting(outcome.device, outcome.problem);
    } else {
        m_watcher.settle(device);
        Q_EMIT failed(outcome.device, outcome.problem);
    }
    Q_EMIT ended(outcome.device);
}
