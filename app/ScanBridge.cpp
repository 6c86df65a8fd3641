#include "app/ScanBridge.h"

#include "common/Failure.h"
#include "scanning/ScanRun.h"
#include "scanning/Scanner.h"

#include <QtConcurrent/QtConcurrentRun>

ScanBridge::ScanBridge(QObject *parent) : QObject(parent) {}

ScanBridge::~ScanBridge()
{
    cancel();
    m_job.waitForFinished();
}

void ScanBridge::cancel()
{
    if (m_scanner)
        m_scanner->cancel();
}

void ScanBridge::deliver(std::function<void()> step)
{
    // Queued calls from one thread arrive in the order they were sent.
    QMetaObject::invokeMethod(this, std::move(step), Qt::QueuedConnection);
}

void ScanBridge::run(std::function<std::function<void()>(Scanner &)> job)
{
    m_scanner = std::make_shared<Scanner>();
    m_scanner->setProgress(
        [this](const QString &message) { deliver([this, message] { Q_EMIT progress(message); }); });
    m_job = QtConcurrent::run([this, scanner = m_scanner, job = std::move(job)] {
        // The scanner is released before the outcome is announced, so a new job can start from
        // the handlers.
        auto finish = [this](std::function<void()> announce) {
            deliver([this, announce] {
                m_scanner.reset();
                announce();
            });
        };
        try {
            finish(job(*scanner));
        } catch (const Failure &error) {
            finish([this, text = error.description()] { Q_EMIT failed(text); });
        } catch (const std::exception &error) {
            finish([this, text = QString::fromLocal8Bit(error.what())] { Q_EMIT failed(text); });
        }
    });
}

void ScanBridge::start(Mode mode)
{
    run([this, mode](Scanner &scanner) -> std::function<void()> {
        if (mode == Mode::Load) {
            const Inventory inventory = scanner.load().withStoreColumns();
            return [this, inventory, mode] { Q_EMIT succeeded(inventory, mode); };
        }
        const QStringList identifiers = scanner.connectedDevices();
        if (identifiers.isEmpty())
            throw Scanner::noDevice();
        if (identifiers.size() > 1) {
            QList<ConnectedDevice> devices;
            for (const QString &identifier : identifiers)
                devices.append(scanner.connectedDevice(identifier));
            return [this, devices] { Q_EMIT choose(devices); };
        }
        const Inventory inventory = scanner.scan(identifiers.first()).withStoreColumns();
        return [this, inventory, mode] { Q_EMIT succeeded(inventory, mode); };
    });
}

void ScanBridge::scanEach(const QList<ConnectedDevice> &devices)
{
    run([this, devices](Scanner &scanner) -> std::function<void()> {
        for (qsizetype i = 0; i < devices.size(); ++i) {
            ConnectedDevice device = devices[i];
            try {
                if (!device.name)
                    device.name = scanner.deviceName(device.identifier);
                const QString lead = ScanRun::progressLead(i, devices.size(), device.title());
                scanner.setProgress([this, lead](const QString &message) {
                    deliver([this, text = lead + message] { Q_EMIT progress(text); });
                });
                const Inventory inventory = scanner.scan(device.identifier).withStoreColumns();
                deliver([this, device, inventory] { Q_EMIT scanned(device, inventory); });
            } catch (const Failure &error) {
                // A cancel ends the run; anything else ends this device's scan only.
                if (scanner.isCancelled())
                    return [this] { Q_EMIT runFinished(true); };
                deliver([this, device, text = error.description()] {
                    Q_EMIT deviceFailed(device, text);
                });
            } catch (const std::exception &error) {
                deliver([this, device, text = QString::fromLocal8Bit(error.what())] {
                    Q_EMIT deviceFailed(device, text);
                });
            }
        }
        return [this] { Q_EMIT runFinished(false); };
    });
}
