#pragma once

#include "app/ExportCommand.h"
#include "app/InventoryTable.h"
#include "app/MainWindow.h"
#include "app/ScanBridge.h"
#include "history/HistoryStore.h"
#include "history/SavedScan.h"
#include "scanning/AppList.h"
#include "scanning/Inventory.h"
#include "scanning/ScanRun.h"

#include <QDialog>
#include <QMainWindow>
#include <QObject>
#include <QPointer>

#include <memory>

class CommandTable;
class ComparisonWindow;
class QMenu;
class DeviceChooser;
class DeviceWatch;
class SnapshotEditing;
class StoreCountryCommand;
class QModelIndex;
class UpdateCommand;

// The application: it builds the main window and its menus, and keeps what the window shows (the
// displayed inventory, its filter, the scan history) in step with scans, loads and the user's
// commands. Everything here runs on the main thread.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    explicit AppDelegate(QObject *parent = nullptr);
    ~AppDelegate() override;

    // Builds the menus and the window, shows it and starts loading the saved inventory.
    void launch();
    // The window says that it shows the demo device (DemoDevice::prepare()). Before launch().
    void setDemo(bool demo) { m_demo = demo; }

    QMainWindow *window() const;
    bool isBusy() const { return m_scanState != MainWindow::ScanState::Idle; }
    const Inventory &currentInventory() const { return m_currentInventory; }
    const Inventory &latestInventory() const { return m_latestInventory; }
    const QList<SavedScan> &savedScans() const { return m_savedScans; }
    // Scan Devices When Connected is on.
    bool isWatchingDevices() const;
    ComparisonWindow *comparisonWindow() const { return m_comparisonWindow.get(); }
    QDialog *appDetailsWindow() const { return m_appDetailsWindow; }
    bool isCheckingUpdates() const;
    // The rows the table shows, in order.
    QList<Row> visibleRows() const;
    double tableFontSize() const;
    QMenu *columnMenu(int column);
    // Whether a window-modal dialog is showing on the main window.
    bool hasSheet() const;

    static constexpr double smallestFontSize = InventoryTable::smallestFontSize;
    static constexpr double largestFontSize = InventoryTable::largestFontSize;

public Q_SLOTS:
    void scanDevice();
    void exportCSV();
    void exportSpreadsheet();
    void exportReport();
    void showSelectedAppDetails();
    void showClickedAppDetails(const QModelIndex &index);
    void editSnapshot();
    void compareScans();
    void selectHistory();
    void checkForUpdates();
    void chooseStoreCountry();
    void filterChanged();
    void toggleColumn(const QString &column);
    void showAllColumns();
    void showAbout();
    void showHelp();
    void showGettingStarted();

private:
    void buildMenus();
    // Enables the commands and the controls that go with them as the window's state says.
    void refreshCommands();
    // What the table shows is one of the saved scans, whose name and notes can be edited.
    bool showsSavedScan() const;
    void connectControls();
    void applyFilter();
    void configureCategories();
    void startJob(ScanBridge::Mode mode);
    // The window while a scan or load runs: Cancel Scan, the spinner, history controls off.
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
    void failedOne(const ConnectedDevice &device, const QString &description);
    void runFinished(bool cancelled);
    void toggleScanWhenConnected();
    void refreshHistory();
    void displayInventory(const Inventory &inventory);
    void setStatus(const QString &text);
    // The name and notes of a scan were saved: what shows them follows.
    void snapshotSaved();
    void showInventory(const Inventory &shown);
    void presentAppDetails(int row);

    InventoryTable *m_table = nullptr;
    QPointer<MainWindow> m_window;
    CommandTable *m_commands = nullptr;
    ScanBridge *m_bridge = nullptr;
    UpdateCommand *m_updates = nullptr;
    StoreCountryCommand *m_storeCountry = nullptr;
    std::optional<ExportCommand> m_exports;
    DeviceWatch *m_watch = nullptr;
    SnapshotEditing *m_snapshots = nullptr;
    QPointer<DeviceChooser> m_chooser;
    // The scans of several devices chosen by hand, under way, if any.
    std::optional<ScanRun> m_run;
    // The status before background scans, for when they end with nothing to say.
    QString m_statusBeforeRun;

    // The displayed inventory.
    QStringList m_fields;
    AppList m_apps;
    std::optional<QString> m_deviceName;
    QList<qsizetype> m_visible;

    MainWindow::ScanState m_scanState = MainWindow::ScanState::Idle;
    Inventory m_currentInventory;
    Inventory m_latestInventory;
    QList<SavedScan> m_savedScans;
    // The history picker's entry for what the table shows.
    int m_shownEntry = 0;
    std::unique_ptr<ComparisonWindow> m_comparisonWindow;
    QPointer<QDialog> m_appDetailsWindow;
    bool m_demo = false;
};
