#pragma once

#include "app/MainWindow.h"
#include "app/ScanBridge.h"
#include "scanning/ScanRun.h"
#include "widgets/WindowCommand.h"

#include <QObject>
#include <QPointer>

#include <optional>

class DeviceChooser;
class DeviceWatch;
class ShownInventory;

// Scan Device and Scan Devices When Connected: the load of the saved inventory at the start,
// a scan by hand (the device chooser when several devices are connected, then the run over the
// chosen ones) and the background watch. The window is busy while any of them runs, and shows
// each scan as it is saved.
class ScanCommand : public QObject {
    Q_OBJECT

public:
    ScanCommand(MainWindow *window, ShownInventory *shown, bool demo, QObject *parent = nullptr);
    // Scans still running are stopped and waited for.
    ~ScanCommand() override;

    QList<WindowCommand> commands();
    // Loads the saved inventory, and starts the watch if the user left it on.
    void load();
    // Scans, or cancels every scan under way.
    void scanDevice();

    bool isBusy() const { return m_state != MainWindow::ScanState::Idle; }
    bool isWatching() const;

Q_SIGNALS:
    // Busy or idle again, or the watch turned on or off.
    void changed();
    // A scan was saved, or a scan or load ended: the history may list another scan.
    void historyChanged();

private:
    void startJob(ScanBridge::Mode mode);
    // The window while a scan or load runs: Cancel Scan or Loading, the spinner, commands off.
    void showBusy(bool scanning, const QString &status);
    void succeeded(const Inventory &inventory, ScanBridge::Mode mode);
    void failed(const QString &description);
    void finish();
    // Several devices are connected: the user chooses.
    void chooseDevice(const QList<ConnectedDevice> &devices);
    // Scans each device the user chose in turn.
    void scanEach(const QList<ConnectedDevice> &devices);
    void scannedOne(const ConnectedDevice &device, const Inventory &inventory);
    // A scan was saved, by hand or in the background: the window shows it.
    void showSaved(const Inventory &inventory);
    void runFinished(bool cancelled);
    void toggleWatch();
    void setStatus(const QString &text);

    QPointer<MainWindow> m_window;
    ShownInventory *m_shown = nullptr;
    bool m_demo = false;
    ScanBridge *m_bridge = nullptr;
    DeviceWatch *m_watch = nullptr;
    QPointer<DeviceChooser> m_chooser;
    MainWindow::ScanState m_state = MainWindow::ScanState::Idle;
    // The scans of several devices chosen by hand, under way, if any.
    std::optional<ScanRun> m_run;
    // The status before background scans, for when they end with nothing to say.
    QString m_statusBeforeRun;
};
