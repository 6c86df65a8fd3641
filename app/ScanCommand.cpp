#include "app/ScanCommand.h"

#include "app/DeviceChooser.h"
#include "app/DeviceWatch.h"
#include "app/ShownInventory.h"
#include "scanning/DemoDevice.h"
#include "scanning/ScanError.h"
#include "scanning/Scanner.h"
#include "widgets/Sheet.h"

#include <QPushButton>

ScanCommand::ScanCommand(MainWindow *window, ShownInventory *shown, bool demo, QObject *parent)
    : QObject(parent),
      m_window(window),
      m_shown(shown),
      m_demo(demo),
      m_bridge(new ScanBridge(this)),
      m_watch(new DeviceWatch(this))
{
    connect(m_bridge, &ScanBridge::progress, this, &ScanCommand::setStatus);
    connect(m_bridge, &ScanBridge::succeeded, this, &ScanCommand::succeeded);
    connect(m_bridge, &ScanBridge::failed, this, &ScanCommand::failed);
    connect(m_bridge, &ScanBridge::choose, this, &ScanCommand::chooseDevice);
    connect(m_bridge, &ScanBridge::scanned, this, &ScanCommand::scannedOne);
    connect(m_bridge, &ScanBridge::deviceFailed, this,
            [this](const ConnectedDevice &device, const QString &description) {
                m_run->failed(device.title(), description);
            });
    connect(m_bridge, &ScanBridge::runFinished, this, &ScanCommand::runFinished);
    connect(m_watch, &DeviceWatch::started, this, [this](const QString &status) {
        m_statusBeforeRun = m_window->status();
        showBusy(true, status);
    });
    connect(m_watch, &DeviceWatch::progress, this, &ScanCommand::setStatus);
    connect(m_watch, &DeviceWatch::saved, this, &ScanCommand::showSaved);
    connect(m_watch, &DeviceWatch::finished, this, [this](const QString &summary) {
        finish();
        setStatus(summary.isEmpty() ? m_statusBeforeRun : summary);
    });
    connect(m_watch, &DeviceWatch::lookFailed, this, &ScanCommand::setStatus);
    // Not while a scan by hand or the device chooser is under way: due again at a later look.
    m_watch->setMayScan([this] { return !m_bridge->isRunning() && !m_chooser; });
}

ScanCommand::~ScanCommand()
{
    // Their last messages must not reach a half-destroyed command.
    delete m_watch;
    delete m_bridge;
}

QList<WindowCommand> ScanCommand::commands()
{
    using State = MainWindow::ScanState;
    return {
        {.group = WindowCommand::Group::Scan,
         .title = QStringLiteral("Scan Device"),
         .run = [this] { scanDevice(); },
         .shortcut = QKeySequence(QStringLiteral("Ctrl+R")),
         // While the saved inventory loads there is nothing to scan or cancel.
         .enabled = [this] { return m_state != State::Loading; },
         .retitle =
             [this] {
                 return m_state == State::Scanning ? QStringLiteral("Cancel Scan")
                                                   : QStringLiteral("Scan Device");
             },
         .buttons = {m_window->scanButton()}},
        {.group = WindowCommand::Group::Scan,
         .title = QStringLiteral("Scan Devices When Connected"),
         .run = [this] { toggleWatch(); },
         .checked = [this] { return isWatching(); }},
    };
}

bool ScanCommand::isWatching() const
{
    return m_watch->isOn();
}

void ScanCommand::setStatus(const QString &text)
{
    m_window->setStatus(text);
}

void ScanCommand::load()
{
    startJob(ScanBridge::Mode::Load);
    if (DeviceWatch::isRemembered()) {
        m_watch->setOn(true);
        Q_EMIT changed();
    }
}

void ScanCommand::scanDevice()
{
    if (!m_window)
        return;
    if (isBusy()) {
        m_bridge->cancel();
        m_watch->cancel();
        setStatus(QStringLiteral("Cancelling scan\u2026"));
        return;
    }
    startJob(ScanBridge::Mode::Scan);
}

void ScanCommand::startJob(ScanBridge::Mode mode)
{
    const bool scanning = mode == ScanBridge::Mode::Scan;
    showBusy(scanning,
             scanning ? QStringLiteral("Reading device\u2026 The first category lookup "
                                       "can take a few minutes.")
                      : QStringLiteral("Loading saved inventory\u2026"));
    m_bridge->start(mode);
}

void ScanCommand::showBusy(bool scanning, const QString &status)
{
    m_state = scanning ? MainWindow::ScanState::Scanning : MainWindow::ScanState::Loading;
    m_window->setScanState(m_state);
    setStatus(status);
    Q_EMIT changed();
}

void ScanCommand::finish()
{
    m_state = MainWindow::ScanState::Idle;
    m_window->setScanState(m_state);
    Q_EMIT changed();
    Q_EMIT historyChanged();
}

void ScanCommand::succeeded(const Inventory &inventory, ScanBridge::Mode mode)
{
    const bool scanned = mode == ScanBridge::Mode::Scan;
    // Scanned by hand, a connected device is not scanned again as if it were new.
    if (scanned && inventory.deviceID)
        m_watch->watcher().scanned(*inventory.deviceID);
    m_shown->showLatest(inventory);
    const QList<Row> &apps = m_shown->apps();
    // A newcomer trying the demo should not take its apps for their own.
    if (m_demo && !scanned)
        setStatus(DemoDevice::description + QStringLiteral(" Click Scan Device to scan it."));
    else if (apps.isEmpty())
        setStatus(QStringLiteral("Connect a device and click Scan Device to get started."));
    else if (scanned)
        setStatus(Scanner::completedText(apps));
    else
        setStatus(QStringLiteral("Saved inventory loaded. Scan your device to refresh it."));
    finish();
    // A first look at the demo should show apps at once, not an empty table.
    if (m_demo && !scanned && apps.isEmpty())
        QMetaObject::invokeMethod(this, &ScanCommand::scanDevice, Qt::QueuedConnection);
}

void ScanCommand::failed(const QString &description)
{
    setStatus(description);
    finish();
    if (description.startsWith(QStringLiteral("Scan cancelled")) || Sheet::isShowing(m_window))
        return;
    Sheet::alert(m_window, QMessageBox::Warning, QStringLiteral("Unable to load inventory"),
                 description)
        ->open();
}

void ScanCommand::toggleWatch()
{
    m_watch->setOn(!m_watch->isOn());
    Q_EMIT changed();
    setStatus(m_watch->isOn() ? QStringLiteral("Each device is scanned when it is connected, while "
                                               "Quillet is open.")
                              : QStringLiteral("Devices are scanned only when you click Scan "
                                               "Device."));
}

void ScanCommand::chooseDevice(const QList<ConnectedDevice> &devices)
{
    finish();
    setStatus(QStringLiteral("%1 devices are connected. Choose the one to scan, or scan them all.")
                  .arg(devices.size()));
    if (Sheet::isShowing(m_window))
        return;
    m_chooser =
        new DeviceChooser(devices, m_shown->latest().deviceID.value_or(QString()), m_window);
    connect(m_chooser, &DeviceChooser::chosen, this,
            [this](const QList<ConnectedDevice> &chosen) { scanEach(chosen); });
    connect(m_chooser, &QDialog::rejected, this,
            [this] { setStatus(ScanError::cancelledMessage()); });
    m_chooser->open();
}

void ScanCommand::scanEach(const QList<ConnectedDevice> &devices)
{
    m_run = ScanRun(devices.size());
    showBusy(true, ScanRun::progressLead(0, devices.size(), devices.first().title()));
    m_bridge->scanEach(devices);
}

void ScanCommand::scannedOne(const ConnectedDevice &device, const Inventory &inventory)
{
    m_run->saved(device.title(), inventory);
    m_watch->watcher().scanned(device.identifier);
    showSaved(inventory);
}

void ScanCommand::showSaved(const Inventory &inventory)
{
    // Each scan is on screen as soon as it is saved.
    m_shown->showLatest(inventory);
    Q_EMIT historyChanged();
}

void ScanCommand::runFinished(bool cancelled)
{
    const ScanRun run = *m_run;
    m_run.reset();
    // One device chosen by hand fails as a scan of the one connected device does.
    if (!cancelled && run.total() == 1 && !run.failures().isEmpty())
        return failed(run.failures().first().second);
    finish();
    setStatus(run.summary(cancelled));
    if (cancelled || run.failures().isEmpty() || Sheet::isShowing(m_window))
        return;
    const auto [message, explanation] = run.failureAlert();
    Sheet::alert(m_window, QMessageBox::Warning, message, explanation)->open();
}
