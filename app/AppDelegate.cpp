#include "app/AppDelegate.h"

#include "app/CommandTable.h"
#include "app/DeviceChooser.h"
#include "app/DeviceWatch.h"
#include "app/HelpSheets.h"
#include "app/MainWindow.h"
#include "app/SnapshotEditing.h"
#include "app/StoreCountryCommand.h"
#include "app/UpdateCommand.h"
#include "common/Failure.h"
#include "common/HostWording.h"
#include "common/PlainText.h"
#include "features/AppDetailsWindow.h"
#include "history/ComparisonWindow.h"
#include "history/HistoryStore.h"
#include "reports/ReportDocument.h"
#include "scanning/Column.h"
#include "scanning/DemoDevice.h"
#include "scanning/DeviceDescription.h"
#include "scanning/ScanError.h"
#include "scanning/Scanner.h"
#include "widgets/Sheet.h"

#include <QApplication>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>

namespace {

const QString connectText =
    QStringLiteral("Connect a device and click Scan Device to get started.");

} // namespace

AppDelegate::AppDelegate(QObject *parent)
    : QObject(parent),
      m_table(new InventoryTable(this)),
      m_bridge(new ScanBridge(this)),
      m_watch(new DeviceWatch(this)),
      m_snapshots(new SnapshotEditing(this))
{
    connect(m_bridge, &ScanBridge::progress, this, &AppDelegate::setStatus);
    connect(m_bridge, &ScanBridge::succeeded, this, &AppDelegate::succeeded);
    connect(m_bridge, &ScanBridge::failed, this, &AppDelegate::failed);
    connect(m_bridge, &ScanBridge::choose, this, &AppDelegate::chooseDevice);
    connect(m_bridge, &ScanBridge::scanned, this, &AppDelegate::scannedOne);
    connect(m_bridge, &ScanBridge::deviceFailed, this, &AppDelegate::failedOne);
    connect(m_bridge, &ScanBridge::runFinished, this, &AppDelegate::runFinished);
    connect(m_watch, &DeviceWatch::started, this, [this](const QString &status) {
        m_statusBeforeRun = m_window->status();
        showBusy(true, status);
    });
    connect(m_watch, &DeviceWatch::progress, this, &AppDelegate::setStatus);
    connect(m_watch, &DeviceWatch::saved, this, &AppDelegate::showSaved);
    connect(m_watch, &DeviceWatch::finished, this, [this](const QString &summary) {
        finish();
        setStatus(summary.isEmpty() ? m_statusBeforeRun : summary);
    });
    connect(m_watch, &DeviceWatch::lookFailed, this, &AppDelegate::setStatus);
    // Not while a scan by hand or the device chooser is under way: due again at a later look.
    m_watch->setMayScan([this] { return !m_bridge->isRunning() && !m_chooser; });
    connect(m_snapshots, &SnapshotEditing::saved, this, &AppDelegate::snapshotSaved);
}

AppDelegate::~AppDelegate()
{
    // A scan still running is stopped before the window it reports to goes.
    delete m_watch;
    delete m_bridge;
    delete m_window;
}

void AppDelegate::launch()
{
    m_window = new MainWindow(m_table->view(), m_demo);
    m_snapshots->setWindow(m_window);
    const auto status = [this](const QString &text) { setStatus(text); };
    m_updates = new UpdateCommand(m_window, status, this);
    m_storeCountry = new StoreCountryCommand(m_window, m_demo, this);
    connect(m_updates, &UpdateCommand::checkingChanged, this, &AppDelegate::refreshCommands);
    m_exports.emplace(m_window, status);
    connectControls();
    buildMenus();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    startJob(ScanBridge::Mode::Load);
    if (DeviceWatch::isRemembered())
        m_watch->setOn(true);
    if (!HelpSheets::welcomeCompleted())
        showGettingStarted();
}

QMainWindow *AppDelegate::window() const
{
    return m_window;
}

void AppDelegate::buildMenus()
{
    using Group = Command::Group;
    auto key = [](const char *text) { return QKeySequence(QLatin1StringView(text)); };
    const auto hasApps = [this] { return !isBusy() && !m_visible.isEmpty(); };
    MainWindow *window = m_window;
    m_commands = new CommandTable(window);
    m_commands->add({
        m_updates->command(),
        m_storeCountry->command(),
        {.group = Group::Quit,
         .title = QStringLiteral("Quit Quillet"),
         .run = [this] { m_window->close(); },
         .standardKey = QKeySequence::Quit,
         .shortcut = key("Ctrl+Q"),
         .role = QAction::QuitRole,
         .reach = Command::Reach::OverSheets},
        {.group = Group::Scan,
         .title = QStringLiteral("Scan Device"),
         .run = [this] { scanDevice(); },
         .shortcut = key("Ctrl+R"),
         // While the saved inventory loads there is nothing to scan or cancel.
         .enabled = [this] { return m_scanState != MainWindow::ScanState::Loading; },
         .retitle =
             [this] {
                 return m_scanState == MainWindow::ScanState::Scanning
                     ? QStringLiteral("Cancel Scan")
                     : QStringLiteral("Scan Device");
             },
         .buttons = {window->scanButton()}},
        {.group = Group::Scan,
         .title = QStringLiteral("Scan Devices When Connected"),
         .run = [this] { toggleScanWhenConnected(); },
         .checked = [this] { return m_watch->isOn(); }},
        {.group = Group::Export,
         .title = QStringLiteral("Export CSV\u2026"),
         .run = [this] { exportCSV(); },
         .shortcut = key("Ctrl+E"),
         .enabled = hasApps,
         .buttons = {window->exportButton()}},
        {.group = Group::Export,
         .title = QStringLiteral("Export Spreadsheet\u2026"),
         .run = [this] { exportSpreadsheet(); },
         .shortcut = key("Ctrl+Shift+E"),
         .enabled = hasApps,
         .buttons = {window->exportSpreadsheetButton()}},
        {.group = Group::Export,
         .title = QStringLiteral("Export PDF Report\u2026"),
         .run = [this] { exportReport(); },
         .shortcut = key("Ctrl+P"),
         .enabled = hasApps,
         .buttons = {window->exportPDFButton()}},
        {.group = Group::Inspect,
         .title = QStringLiteral("App Details\u2026"),
         .run = [this] { showSelectedAppDetails(); },
         .shortcut = key("Ctrl+I"),
         .enabled = [this] { return !isBusy() && m_table->chosenRow() >= 0; }},
        {.group = Group::Inspect,
         .title = QStringLiteral("Snapshot Name && Notes\u2026"),
         .run = [this] { editSnapshot(); },
         .enabled = [this] { return !isBusy() && showsSavedScan(); },
         .buttons = {window->editSnapshotButton()}},
        {.group = Group::Inspect,
         .title = QStringLiteral("Compare Scans\u2026"),
         .run = [this] { compareScans(); },
         .enabled = [this] { return !isBusy() && m_savedScans.size() >= 2; },
         .buttons = {window->compareButton()}},
        {.group = Group::Close,
         .title = QStringLiteral("Close Window"),
         .run =
             [] {
                 if (QWidget *active = QApplication::activeWindow())
                     active->close();
             },
         .standardKey = QKeySequence::Close,
         .shortcut = key("Ctrl+W"),
         .reach = Command::Reach::OverSheets},
    });
    m_commands->add(HelpSheets::commands(window));
    m_commands->add(window->commands());
    m_commands->buildMenuBar();
    window->setCommandKeys(m_commands->keys());
}

void AppDelegate::refreshCommands()
{
    m_commands->refresh();
    // The picker is no command, but goes by the same state.
    m_window->historyPicker()->setEnabled(!isBusy() && !m_savedScans.isEmpty());
}

bool AppDelegate::showsSavedScan() const
{
    const std::optional<QString> &id = m_currentInventory.scanID;
    return id && std::any_of(m_savedScans.begin(), m_savedScans.end(), [&](const SavedScan &scan) {
               return scan.id == *id;
           });
}

void AppDelegate::connectControls()
{
    MainWindow *window = m_window;
    connect(window->smallerText(), &QPushButton::clicked, m_table, &InventoryTable::decreaseFont);
    connect(window->largerText(), &QPushButton::clicked, m_table, &InventoryTable::increaseFont);
    connect(window->search(), &QLineEdit::textChanged, this, &AppDelegate::filterChanged);
    connect(window->category(), &QComboBox::activated, this, &AppDelegate::filterChanged);
    connect(window->historyPicker(), &QComboBox::activated, this, &AppDelegate::selectHistory);
    connect(m_table, &InventoryTable::sortChanged, this, &AppDelegate::applyFilter);
    connect(m_table, &InventoryTable::rowActivated, this, &AppDelegate::presentAppDetails);
    connect(m_table->view()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &AppDelegate::refreshCommands);
    auto showFontSize = [window](double size) {
        window->smallerText()->setEnabled(size > smallestFontSize);
        window->largerText()->setEnabled(size < largestFontSize);
    };
    connect(m_table, &InventoryTable::fontSizeChanged, window, showFontSize);
    showFontSize(m_table->fontSize());
}

QList<Row> AppDelegate::visibleRows() const
{
    QList<Row> rows;
    rows.reserve(m_visible.size());
    for (qsizetype index : m_visible)
        rows.append(m_apps.rows().at(index));
    return rows;
}

bool AppDelegate::hasSheet() const
{
    return Sheet::isShowing(m_window);
}

void AppDelegate::setStatus(const QString &text)
{
    m_window->setStatus(text);
}

// --- Table -----------------------------------------------------------------------------------

double AppDelegate::tableFontSize() const
{
    return m_table->fontSize();
}

QMenu *AppDelegate::columnMenu(int column)
{
    return m_table->columnMenu(column, m_window);
}

void AppDelegate::toggleColumn(const QString &column)
{
    m_table->toggleColumn(column);
}

void AppDelegate::showAllColumns()
{
    m_table->showAllColumns();
}

void AppDelegate::configureCategories()
{
    QComboBox *category = m_window->category();
    const QString selected = category->currentText();
    const QStringList choices = m_apps.categoryChoices();
    category->clear();
    category->addItems(choices);
    category->setCurrentIndex(std::max(0, int(choices.indexOf(selected))));
}

void AppDelegate::applyFilter()
{
    const QComboBox *category = m_window->category();
    m_visible = m_apps.visible(m_window->search()->text(),
                               category->currentIndex() >= 0 ? category->currentText()
                                                             : AppList::allCategories,
                               m_table->sortColumn(), m_table->sortOrder());
    m_table->setRows(&m_apps, m_visible);
    m_window->count()->setText(AppList::countText(m_visible.size(), m_apps.rows().size()));
    refreshCommands();
}

void AppDelegate::filterChanged()
{
    applyFilter();
}

// --- Loading and scanning -------------------------------------------------------------------

void AppDelegate::scanDevice()
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

void AppDelegate::startJob(ScanBridge::Mode mode)
{
    const bool scanning = mode == ScanBridge::Mode::Scan;
    showBusy(scanning,
             scanning ? QStringLiteral("Reading device\u2026 The first category lookup "
                                       "can take a few minutes.")
                      : QStringLiteral("Loading saved inventory\u2026"));
    m_bridge->start(mode);
}

void AppDelegate::showBusy(bool scanning, const QString &status)
{
    m_scanState = scanning ? MainWindow::ScanState::Scanning : MainWindow::ScanState::Loading;
    m_window->setScanState(m_scanState);
    setStatus(status);
    refreshCommands();
}

void AppDelegate::succeeded(const Inventory &inventory, ScanBridge::Mode mode)
{
    const bool scanned = mode == ScanBridge::Mode::Scan;
    // Scanned by hand, a connected device is not scanned again as if it were new.
    if (scanned && inventory.deviceID)
        m_watch->watcher().scanned(*inventory.deviceID);
    m_currentInventory = inventory;
    m_latestInventory = inventory;
    showInventory(inventory);
    const QList<Row> &rows = m_apps.rows();
    // A newcomer trying the demo should not take its apps for their own.
    if (m_demo && !scanned)
        setStatus(DemoDevice::description + QStringLiteral(" Click Scan Device to scan it."));
    else if (rows.isEmpty())
        setStatus(connectText);
    else if (scanned)
        setStatus(Scanner::completedText(rows));
    else
        setStatus(QStringLiteral("Saved inventory loaded. Scan your device to refresh it."));
    finish();
    // A first look at the demo should show apps at once, not an empty table.
    if (m_demo && !scanned && rows.isEmpty())
        QMetaObject::invokeMethod(this, &AppDelegate::scanDevice, Qt::QueuedConnection);
}

void AppDelegate::failed(const QString &description)
{
    setStatus(description);
    finish();
    if (description.startsWith(QStringLiteral("Scan cancelled")) || hasSheet())
        return;
    Sheet::alert(m_window, QMessageBox::Warning, QStringLiteral("Unable to load inventory"),
                 description)
        ->open();
}

void AppDelegate::finish()
{
    m_scanState = MainWindow::ScanState::Idle;
    m_window->setScanState(m_scanState);
    refreshHistory();
}

void AppDelegate::showInventory(const Inventory &shown)
{
    m_fields = shown.fields;
    m_apps = AppList(shown.namedRows());
    m_deviceName = shown.deviceName;
    m_window->setDeviceLine(DeviceDescription::line(shown.deviceFacts));
    m_table->setColumns(m_fields);
    configureCategories();
    applyFilter();
}

// --- Several devices ------------------------------------------------------------------------

bool AppDelegate::isWatchingDevices() const
{
    return m_watch->isOn();
}

void AppDelegate::toggleScanWhenConnected()
{
    m_watch->setOn(!m_watch->isOn());
    refreshCommands();
    setStatus(m_watch->isOn() ? QStringLiteral("Each device is scanned when it is connected, while "
                                               "Quillet is open.")
                              : QStringLiteral("Devices are scanned only when you click Scan "
                                               "Device."));
}

void AppDelegate::chooseDevice(const QList<ConnectedDevice> &devices)
{
    finish();
    setStatus(QStringLiteral("%1 devices are connected. Choose the one to scan, or scan them all.")
                  .arg(devices.size()));
    if (hasSheet())
        return;
    m_chooser =
        new DeviceChooser(devices, m_latestInventory.deviceID.value_or(QString()), m_window);
    connect(m_chooser, &DeviceChooser::chosen, this,
            [this](const QList<ConnectedDevice> &chosen) { scanEach(chosen); });
    connect(m_chooser, &QDialog::rejected, this,
            [this] { setStatus(ScanError::cancelledMessage()); });
    m_chooser->open();
}

void AppDelegate::scanEach(const QList<ConnectedDevice> &devices)
{
    m_run = ScanRun(devices.size());
    showBusy(true, ScanRun::progressLead(0, devices.size(), devices.first().title()));
    m_bridge->scanEach(devices);
}

void AppDelegate::scannedOne(const ConnectedDevice &device, const Inventory &inventory)
{
    m_run->saved(device.title(), inventory);
    m_watch->watcher().scanned(device.identifier);
    showSaved(inventory);
}

void AppDelegate::showSaved(const Inventory &inventory)
{
    // Each scan is on screen as soon as it is saved.
    m_currentInventory = inventory;
    m_latestInventory = inventory;
    showInventory(inventory);
    refreshHistory();
}

void AppDelegate::failedOne(const ConnectedDevice &device, const QString &description)
{
    m_run->failed(device.title(), description);
}

void AppDelegate::runFinished(bool cancelled)
{
    const ScanRun run = *m_run;
    m_run.reset();
    // One device chosen by hand fails as a scan of the one connected device does.
    if (!cancelled && run.total() == 1 && !run.failures().isEmpty())
        return failed(run.failures().first().second);
    finish();
    setStatus(run.summary(cancelled));
    if (cancelled || run.failures().isEmpty() || hasSheet())
        return;
    const auto [message, explanation] = run.failureAlert();
    Sheet::alert(m_window, QMessageBox::Warning, message, explanation)->open();
}

// --- History ---------------------------------------------------------------------------------

void AppDelegate::refreshHistory()
{
    HistoryStore::Listing listing;
    try {
        listing = HistoryStore().list();
    } catch (const Failure &error) {
        setStatus(QStringLiteral("Unable to read scan history: ") + error.description());
        return;
    }
    m_savedScans = listing.scans;
    m_window->historyPicker()->clear();
    m_window->historyPicker()->addItem(QStringLiteral("Current inventory"));
    int selected = 0;
    for (int i = 0; i < m_savedScans.size(); ++i) {
        m_window->historyPicker()->addItem(m_savedScans[i].title());
        if (selected == 0 && m_currentInventory.scanID &&
            m_savedScans[i].id == *m_currentInventory.scanID)
            selected = i + 1;
    }
    m_window->historyPicker()->setCurrentIndex(selected);
    m_shownEntry = selected;
    refreshCommands();
    if (listing.unreadable > 0)
        setStatus(QStringLiteral("%1 saved scans could not be read. Their files have been "
                                 "preserved.")
                      .arg(listing.unreadable));
    if (!listing.notesProblem.isEmpty())
        setStatus(listing.notesProblem);
}

void AppDelegate::selectHistory()
{
    if (isBusy())
        return;
    const int index = m_window->historyPicker()->currentIndex();
    if (index < 1 || index > m_savedScans.size()) {
        displayInventory(m_latestInventory);
    } else {
        // The listing holds no rows; the chosen scan's are read now.
        try {
            displayInventory(HistoryStore().inventory(m_savedScans[index - 1]));
        } catch (const Failure &error) {
            // The table still shows the scan before; so does the picker.
            m_window->historyPicker()->setCurrentIndex(m_shownEntry);
            setStatus(error.description());
            return;
        }
    }
    m_shownEntry = index;
}

void AppDelegate::displayInventory(const Inventory &inventory)
{
    const Inventory shown = inventory.withStoreColumns();
    m_currentInventory = shown;
    showInventory(shown);
    const QString date = shown.scannedAt
        ? QLocale::system().toString(shown.scannedAt->toLocalTime().date(), QLocale::ShortFormat)
        : QStringLiteral("scan date unknown");
    setStatus(
        QStringLiteral("Viewing %1 \u00B7 %2 \u00B7 %3 apps")
            .arg(PlainText::isolated(shown.deviceName.value_or(QStringLiteral("unnamed device"))),
                 date, QString::number(m_apps.rows().size())));
}

// --- Commands of later parts of the window ---------------------------------------------------

void AppDelegate::showSelectedAppDetails()
{
    presentAppDetails(m_table->chosenRow());
}

void AppDelegate::showClickedAppDetails(const QModelIndex &index)
{
    presentAppDetails(index.isValid() ? index.row() : -1);
}

void AppDelegate::presentAppDetails(int row)
{
    if (isBusy() || row < 0 || row >= m_visible.size() || hasSheet())
        return;
    m_appDetailsWindow =
        new AppDetailsWindow(m_apps.rows().at(m_visible.at(row)), m_currentInventory, m_window);
    // The sheet blocks the main window's shortcuts; Quit, Close Window and Help work from it.
    m_appDetailsWindow->addActions(m_commands->overSheetActions());
    m_appDetailsWindow->open();
}

void AppDelegate::chooseStoreCountry()
{
    m_storeCountry->run();
}

void AppDelegate::checkForUpdates()
{
    if (m_updates)
        m_updates->run();
}

bool AppDelegate::isCheckingUpdates() const
{
    return m_updates && m_updates->isChecking();
}

void AppDelegate::compareScans()
{
    if (isBusy())
        return;
    refreshHistory();
    if (m_savedScans.size() < 2) {
        Sheet::alert(m_window, QMessageBox::Information,
                     QStringLiteral("Save two scans to compare"),
                     QStringLiteral("Scan a device twice to see changes, or scan each of two "
                                    "devices to compare their apps. Each successful scan is saved "
                                    "automatically."))
            ->open();
        return;
    }
    // One comparison at a time: a new one replaces the old.
    m_comparisonWindow = std::make_unique<ComparisonWindow>(m_savedScans);
    m_comparisonWindow->show();
    m_comparisonWindow->raise();
    m_comparisonWindow->activateWindow();
}

void AppDelegate::editSnapshot()
{
    if (isBusy() || !showsSavedScan() || hasSheet())
        return;
    m_snapshots->edit(m_currentInventory);
}

void AppDelegate::snapshotSaved()
{
    const HistoryStore history;
    m_currentInventory = history.applyingAnnotations(m_currentInventory);
    m_latestInventory = history.applyingAnnotations(m_latestInventory);
    refreshHistory();
    if (m_comparisonWindow)
        m_comparisonWindow->updateScans(m_savedScans);
    setStatus(
        QStringLiteral("Snapshot name and notes saved on %1.").arg(HostWording::thisComputer()));
}

// --- Exports -------------------------------------------------------------------------------

void AppDelegate::exportCSV()
{
    if (!isBusy() && !m_visible.isEmpty())
        m_exports->csv(
            m_fields, [this] { return visibleRows(); }, m_deviceName);
}

void AppDelegate::exportSpreadsheet()
{
    if (!isBusy() && !m_visible.isEmpty())
        m_exports->spreadsheet(m_currentInventory, m_fields, [this] { return visibleRows(); });
}

void AppDelegate::exportReport()
{
    if (isBusy() || m_visible.isEmpty())
        return;
    const QComboBox *category = m_window->category();
    QString filter = QStringLiteral("Category: ") +
        (category->currentIndex() >= 0 ? category->currentText() : AppList::allCategories);
    if (const QString search = m_window->search()->text(); !search.isEmpty())
        filter += QStringLiteral(" \u00B7 Search: ") + search;
    m_exports->report(ReportDocument::inventory(m_currentInventory, visibleRows(), filter),
                      m_deviceName);
}

// --- About, help, welcome --------------------------------------------------------------------

void AppDelegate::showAbout()
{
    HelpSheets::showAbout(m_window);
}

void AppDelegate::showHelp()
{
    // Help is asked for from any window; what goes wrong is said there.
    QWidget *active = QApplication::activeWindow();
    HelpSheets::showHelp(active ? active : m_window.data());
}

void AppDelegate::showGettingStarted()
{
    HelpSheets::showGettingStarted(m_window);
}
