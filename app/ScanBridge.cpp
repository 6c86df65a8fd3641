#include "app/ScanBridge.h"

#include "common/Failure.h"
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

void ScanBridge::start(Mode mode)
{
    m_scanner = std::make_shared<Scanner>();
    m_scanner->setProgress(
        [this](const QString &message) { deliver([this, message] { Q_EMIT progress(message); }); });
    m_job = QtConcurrent::run([this, scanner = m_scanner, mode] {
        // The scanner is released before the outcome is announced, so a new job can start from
        // the handlers.
        auto finish = [this](auto announce) {
            deliver([this, announce] {
                m_scanner.reset();
                announce();
            });
        };
        try {
            const Inventory inventory =
                (mode == Mode::Scan ? scanner->scan() : scanner->load()).withStoreColumns();
            finish([this, inventory, mode] { Q_EMIT succeeded(inventory, mode); });
        } catch (const Failure &error) {
            finish([this, text = error.description()] { Q_EMIT failed(text); });
        } catch (const std::exception &error) {
            finish([this, text = QString::fromLocal8Bit(error.what())] { Q_EMIT failed(text); });
        }
    });
}
