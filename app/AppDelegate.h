#pragma once

#include "app/AppDetailsCommand.h"
#include "app/DeviceSheetCommand.h"
#include "app/ExportCommand.h"
#include "app/InventoryTable.h"
#include "app/PersonalIdentifiersCommand.h"
#include "app/ScanCommand.h"
#include "app/ScanHistory.h"
#include "app/ShownInventory.h"
#include "app/UpdateCommand.h"

#include <QDialog>
#include <QMainWindow>
#include <QObject>
#include <QPointer>

#include <optional>

class CommandTable;
class ComparisonWindow;
class MainWindow;
class QMenu;
class QModelIndex;
class StoreCountryCommand;

// The application: it builds the main window, gives each part of it (the shown inventory, the
// scans, the history row, the exports, App Details, the sheets of the Quillet and Help menus)
// its controls and takes their commands for the menu bar, which follows their state. Everything
// here runs on the main thread. The accessors serve after launch().
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
    bool isBusy() const { return m_scans->isBusy(); }
    const Inventory &currentInventory() const { return m_shown->current(); }
    const Inventory &latestInventory() const { return m_shown->latest(); }
    const QList<SavedScan> &savedScans() const { return m_history->savedScans(); }
    // Scan Devices When Connected is on.
    bool isWatchingDevices() const { return m_scans->isWatching(); }
    ComparisonWindow *comparisonWindow() const { return m_history->comparisonWindow(); }
    QDialog *appDetailsWindow() const { return m_details->sheet(); }
    QDialog *deviceDetailsWindow() const { return m_device->sheet(); }
    bool isCheckingUpdates() const { return m_updates->isChecking(); }
    // The rows the table shows, in order.
    QList<Row> visibleRows() const { return m_shown->visibleRows(); }
    double tableFontSize() const { return m_table->fontSize(); }
    QMenu *columnMenu(int column);
    // Whether a window-modal dialog is showing on the main window.
    bool hasSheet() const;

    static constexpr double smallestFontSize = InventoryTable::smallestFontSize;
    static constexpr double largestFontSize = InventoryTable::largestFontSize;

public Q_SLOTS:
    void scanDevice() { m_scans->scanDevice(); }
    void exportCSV() { m_exports->csv(); }
    void exportSpreadsheet() { m_exports->spreadsheet(); }
    void exportReport() { m_exports->report(); }
    void showSelectedAppDetails() { m_details->showChosen(); }
    void showClickedAppDetails(const QModelIndex &index);
    void editSnapshot() { m_history->editSnapshot(); }
    void compareScans() { m_history->compare(); }
    void selectHistory() { m_history->select(); }
    void checkForUpdates() { m_updates->run(); }
    void chooseStoreCountry();
    void filterChanged() { m_shown->applyFilter(); }
    void toggleColumn(const QString &column) { m_table->toggleColumn(column); }
    void showAllColumns() { m_table->showAllColumns(); }
    void showAbout();
    void showHelp();
    void showGettingStarted();

private:
    // Commands of the application rather than of a part of the window: Quit and Close Window.
    QList<WindowCommand> commands();
    void connectTextSize();
    // Enables the commands and the controls that go with them as the window's state says.
    void refreshCommands();

    InventoryTable *m_table = nullptr;
    QPointer<MainWindow> m_window;
    CommandTable *m_commands = nullptr;
    ShownInventory *m_shown = nullptr;
    ScanCommand *m_scans = nullptr;
    ScanHistory *m_history = nullptr;
    std::optional<ExportCommand> m_exports;
    AppDetailsCommand *m_details = nullptr;
    DeviceSheetCommand *m_device = nullptr;
    UpdateCommand *m_updates = nullptr;
    StoreCountryCommand *m_storeCountry = nullptr;
    PersonalIdentifiersCommand *m_identifiers = nullptr;
    bool m_demo = false;
};
