#pragma once

#include "history/SavedScan.h"
#include "scanning/AppList.h"
#include "scanning/Inventory.h"

#include <QDialog>
#include <QFuture>
#include <QMainWindow>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class BusyIndicator;
class ComparisonWindow;
class ElidedLabel;
class InventoryHeaderView;
class InventoryTableModel;
class QAction;
class QComboBox;

class QModelIndex;
class QLabel;
class QLineEdit;

class QMenu;
class QPushButton;
class QTableView;
class Scanner;

// The application's shell: the main window with its controls and menus, the displayed
// inventory and the background load or scan. Everything here runs on the main thread.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    explicit AppDelegate(QObject *parent = nullptr);
    ~AppDelegate() override;

    // Builds the menus and the window, shows it and starts loading the saved inventory.
    void launch();
    // The window says that it shows the demo device (DemoDevice::prepare()). Before launch().
    void setDemo(bool demo) { m_demo = demo; }

    QMainWindow *window() const { return m_window; }
    bool isBusy() const { return m_busy; }
    const Inventory &currentInventory() const { return m_currentInventory; }
    const Inventory &latestInventory() const { return m_latestInventory; }
    const QList<SavedScan> &savedScans() const { return m_savedScans; }
    ComparisonWindow *comparisonWindow() const { return m_comparisonWindow.get(); }
    QDialog *appDetailsWindow() const { return m_appDetailsWindow; }
    bool isCheckingUpdates() const { return m_checkingUpdates; }
    // The rows the table shows, in order.
    QList<Row> visibleRows() const;
    double tableFontSize() const { return m_tableFontSize; }
    QMenu *columnMenu(int column);
    // Whether a window-modal dialog is showing on the main window.
    bool hasSheet() const;

    static constexpr double smallestFontSize = 10;
    static constexpr double largestFontSize = 24;

public Q_SLOTS:
    void scanDevice();
    void exportCSV();
    void exportReport();
    void showSelectedAppDetails();
    void showClickedAppDetails(const QModelIndex &index);
    void editSnapshot();
    void compareScans();
    void selectHistory();
    void checkForUpdates();
    void filterChanged();
    void decreaseFont();
    void increaseFont();
    void toggleColumn(const QString &column);
    void showAllColumns();
    void showAbout();
    void showHelp();
    void showGettingStarted();
    void showUpdateMessage(const QString &title, const QString &detail, const QString &url);

private:
    void buildMenus();
    void buildWindow();
    void configureTable();
    void configureCategories();
    void applyFilter();
    void updateFontSize();
    void saveColumnOrder();
    void saveHiddenColumns();
    void runBridge(const QString &mode);
    void succeeded(const Inventory &inventory, const QString &mode);
    void failed(const QString &description);
    void finish();
    void refreshHistory();
    void displayInventory(const Inventory &inventory);
    void setStatus(const QString &text);
    void showError(const QString &description);
    void showInventory(const Inventory &shown);
    void presentAppDetails(int row);

    // Controls.
    QPointer<QMainWindow> m_window;
    QTableView *m_table = nullptr;
    InventoryTableModel *m_model = nullptr;
    InventoryHeaderView *m_header = nullptr;
    QLineEdit *m_search = nullptr;
    QComboBox *m_category = nullptr;
    QPushButton *m_scan = nullptr;
    QPushButton *m_export = nullptr;
    ElidedLabel *m_status = nullptr;
    QLabel *m_count = nullptr;
    BusyIndicator *m_spinner = nullptr;
    QComboBox *m_historyPicker = nullptr;
    QPushButton *m_editSnapshotButton = nullptr;
    QPushButton *m_compareButton = nullptr;
    QPushButton *m_smallerText = nullptr;
    QPushButton *m_largerText = nullptr;

    // The displayed inventory.
    QStringList m_fields;
    AppList m_apps;
    std::optional<QString> m_deviceName;
    QList<qsizetype> m_visible;
    QString m_sortColumn;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;

    bool m_busy = false;
    std::shared_ptr<Scanner> m_scanner;
    QFuture<void> m_job;
    Inventory m_currentInventory;
    Inventory m_latestInventory;
    QList<SavedScan> m_savedScans;
    std::unique_ptr<ComparisonWindow> m_comparisonWindow;
    QPointer<QDialog> m_appDetailsWindow;
    bool m_checkingUpdates = false;
    double m_tableFontSize = 12;
    bool m_restoringColumns = false;
    bool m_demo = false;
};
