#include "app/AppDelegate.h"

#include "app/HelpSheets.h"
#include "app/MainWindow.h"
#include "app/Sheet.h"
#include "app/SnapshotEditor.h"
#include "app/StoreCountrySheet.h"
#include "app/UpdateCommand.h"
#include "common/DataFile.h"
#include "common/Failure.h"
#include "common/HostWording.h"
#include "common/Locations.h"
#include "common/PlainText.h"
#include "common/StoreCountry.h"
#include "features/AppDetailsWindow.h"
#include "history/ComparisonWindow.h"
#include "history/HistoryStore.h"
#include "reports/CsvExport.h"
#include "reports/ReportDocument.h"
#include "scanning/Column.h"
#include "scanning/DemoDevice.h"
#include "scanning/DeviceDescription.h"
#include "scanning/Scanner.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
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
    : QObject(parent), m_table(new InventoryTable(this)), m_bridge(new ScanBridge(this))
{
    connect(m_bridge, &ScanBridge::progress, this, &AppDelegate::setStatus);
    connect(m_bridge, &ScanBridge::succeeded, this, &AppDelegate::succeeded);
    connect(m_bridge, &ScanBridge::failed, this, &AppDelegate::failed);
}

AppDelegate::~AppDelegate()
{
    // A scan still running is stopped before the window it reports to goes.
    delete m_bridge;
    delete m_window;
}

void AppDelegate::launch()
{
    m_window = new MainWindow(m_table->view(), m_demo);
    m_updates = new UpdateCommand(
        m_window, [this](const QString &text) { setStatus(text); }, this);
    connectControls();
    buildMenus();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    startJob(ScanBridge::Mode::Load);
    if (!HelpSheets::welcomeCompleted())
        showGettingStarted();
}

QMainWindow *AppDelegate::window() const
{
    return m_window;
}

void AppDelegate::buildMenus()
{
    auto key = [](const char *text) { return QKeySequence(QLatin1StringView(text)); };
    m_window->addMenu(
        QStringLiteral("Quillet"),
        {{QStringLiteral("About Quillet\u2026"), {}, QAction::AboutRole, [this] { showAbout(); }},
         {QStringLiteral("Check for Updates\u2026"),
          {},
          QAction::ApplicationSpecificRole,
          [this] { checkForUpdates(); }},
         {QStringLiteral("App Store Country\u2026"),
          {},
          QAction::ApplicationSpecificRole,
          [this] { chooseStoreCountry(); }},
         {},
         {QStringLiteral("Quit Quillet"), key("Ctrl+Q"), QAction::QuitRole,
          [this] { m_window->close(); }, true}});
    m_window->addMenu(
        QStringLiteral("File"),
        {{QStringLiteral("Scan Device"), key("Ctrl+R"), {}, [this] { scanDevice(); }},
         {QStringLiteral("Export CSV\u2026"), key("Ctrl+E"), {}, [this] { exportCSV(); }},
         {QStringLiteral("Export PDF Report\u2026"), key("Ctrl+P"), {}, [this] { exportReport(); }},
         {QStringLiteral("App Details\u2026"),
          key("Ctrl+I"),
          {},
          [this] { showSelectedAppDetails(); }},
         {QStringLiteral("Snapshot Name && Notes\u2026"), {}, {}, [this] { editSnapshot(); }},
         {QStringLiteral("Compare Scans\u2026"), {}, {}, [this] { compareScans(); }},
         {},
         {QStringLiteral("Close Window"),
          key("Ctrl+W"),
          {},
          [] {
              if (QWidget *window = QApplication::activeWindow())
                  window->close();
          },
          true}});
    m_window->addEditMenu();
    m_window->addMenu(
        QStringLiteral("Help"),
        {{QStringLiteral("Quillet Help"), key("Ctrl+?"), {}, [this] { showHelp(); }, true},
         {QStringLiteral("Getting Started\u2026"), {}, {}, [this] { showGettingStarted(); }}});
}

void AppDelegate::connectControls()
{
    MainWindow *window = m_window;
    connect(window->smallerText(), &QPushButton::clicked, m_table, &InventoryTable::decreaseFont);
    connect(window->largerText(), &QPushButton::clicked, m_table, &InventoryTable::increaseFont);
    connect(window->scanButton(), &QPushButton::clicked, this, &AppDelegate::scanDevice);
    connect(window->exportButton(), &QPushButton::clicked, this, &AppDelegate::exportCSV);
    connect(window->search(), &QLineEdit::textChanged, this, &AppDelegate::filterChanged);
    connect(window->category(), &QComboBox::activated, this, &AppDelegate::filterChanged);
    connect(window->historyPicker(), &QComboBox::activated, this, &AppDelegate::selectHistory);
    connect(window->editSnapshotButton(), &QPushButton::clicked, this, &AppDelegate::editSnapshot);
    connect(window->compareButton(), &QPushButton::clicked, this, &AppDelegate::compareScans);
    connect(window->exportPDFButton(), &QPushButton::clicked, this, &AppDelegate::exportReport);
    connect(m_table, &InventoryTable::sortChanged, this, &AppDelegate::applyFilter);
    connect(m_table, &InventoryTable::rowActivated, this, &AppDelegate::presentAppDetails);
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
    m_window->exportButton()->setEnabled(!m_visible.isEmpty() && !m_busy);
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
    if (m_busy) {
        m_bridge->cancel();
        setStatus(QStringLiteral("Cancelling scan\u2026"));
        return;
    }
    startJob(ScanBridge::Mode::Scan);
}

void AppDelegate::startJob(ScanBridge::Mode mode)
{
    const bool scanning = mode == ScanBridge::Mode::Scan;
    m_busy = true;
    m_window->setScanState(scanning ? MainWindow::ScanState::Scanning
                                    : MainWindow::ScanState::Loading);
    m_window->exportButton()->setEnabled(false);
    setStatus(scanning ? QStringLiteral("Reading device\u2026 The first category lookup can take "
                                        "a few minutes.")
                       : QStringLiteral("Loading saved inventory\u2026"));
    m_window->historyPicker()->setEnabled(false);
    m_window->compareButton()->setEnabled(false);
    m_window->editSnapshotButton()->setEnabled(false);
    m_bridge->start(mode);
}

void AppDelegate::succeeded(const Inventory &inventory, ScanBridge::Mode mode)
{
    const bool scanned = mode == ScanBridge::Mode::Scan;
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
    m_busy = false;
    m_window->setScanState(MainWindow::ScanState::Idle);
    m_window->exportButton()->setEnabled(!m_visible.isEmpty());
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
    m_window->historyPicker()->setEnabled(!m_busy && !m_savedScans.isEmpty());
    m_window->compareButton()->setEnabled(!m_busy && m_savedScans.size() >= 2);
    m_window->editSnapshotButton()->setEnabled(!m_busy && selected > 0);
    if (listing.unreadable > 0)
        setStatus(QStringLiteral("%1 saved scans could not be read. Their files have been "
                                 "preserved.")
                      .arg(listing.unreadable));
    if (!listing.notesProblem.isEmpty())
        setStatus(listing.notesProblem);
}

void AppDelegate::selectHistory()
{
    if (m_busy)
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
    m_window->editSnapshotButton()->setEnabled(!m_busy && shown.scanID.has_value());
    const QString date = shown.scannedAt
        ? QLocale::system().toString(shown.scannedAt->toLocalTime().date(), QLocale::ShortFormat)
        : QStringLiteral("scan date unknown");
    setStatus(QStringLiteral("Viewing %1 \u00B7 %2 \u00B7 %3 apps")
                  .arg(shown.deviceName.value_or(QStringLiteral("unnamed device")), date,
                       QString::number(m_apps.rows().size())));
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
    if (m_busy || row < 0 || row >= m_visible.size() || hasSheet())
        return;
    m_appDetailsWindow =
        new AppDetailsWindow(m_apps.rows().at(m_visible.at(row)), m_currentInventory, m_window);
    // The sheet blocks the main window's shortcuts; Quit, Close Window and Help work from it.
    m_appDetailsWindow->addActions(m_window->everyWindowActions());
    m_appDetailsWindow->open();
}

void AppDelegate::chooseStoreCountry()
{
    if (hasSheet())
        return;
    auto *sheet = new StoreCountrySheet(StoreCountry::current(), m_window);
    connect(sheet, &QDialog::accepted, this, [this, sheet] {
        const QString country = sheet->country();
        if (country.isEmpty() || country == StoreCountry::current())
            return;
        StoreCountry::save(country);
        // The demo's store answers are made here, never asked for: made again as that store's.
        if (m_demo) {
            try {
                DemoDevice::prepare();
            } catch (const Failure &error) {
                showError(error.description());
            }
        }
        m_window->setStoreName(StoreCountry::storeName(country));
        setStatus(QStringLiteral("The next scan asks %1.").arg(StoreCountry::storeName(country)));
    });
    sheet->open();
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
    if (m_busy)
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
    if (m_busy || !m_currentInventory.scanID || hasSheet())
        return;
    // As saved now: quillet-cli or another window may have changed them since the scan was read.
    const Inventory saved = HistoryStore().applyingAnnotations(m_currentInventory);
    const SnapshotAnnotation seen{saved.snapshotName.value_or(QString()),
                                  saved.snapshotNotes.value_or(QString())};
    openSnapshotEditor(*m_currentInventory.scanID, seen, seen);
}

void AppDelegate::openSnapshotEditor(const QString &scanID, const SnapshotAnnotation &seen,
                                     const SnapshotAnnotation &typed)
{
    auto *editor = new SnapshotEditor(typed.name, typed.notes, m_window);
    connect(editor, &QDialog::accepted, this, [this, editor, scanID, seen] {
        // Only the fields the user changed: the other keeps what is saved, whoever saved it.
        HistoryStore::AnnotationChange change{std::nullopt, std::nullopt, seen};
        if (editor->name() != seen.name)
            change.name = editor->name();
        if (editor->notes() != seen.notes)
            change.notes = editor->notes();
        saveSnapshot(scanID, change, {editor->name(), editor->notes()});
    });
    editor->open();
}

void AppDelegate::saveSnapshot(const QString &scanID, const HistoryStore::AnnotationChange &change,
                               const SnapshotAnnotation &typed)
{
    const HistoryStore history;
    try {
        history.saveAnnotation(scanID, change);
        m_currentInventory = history.applyingAnnotations(m_currentInventory);
        m_latestInventory = history.applyingAnnotations(m_latestInventory);
    } catch (const HistoryStore::AnnotationConflict &conflict) {
        // The editor or the last alert is closing; the next sheet follows it.
        QMetaObject::invokeMethod(
            this, [=, this] { resolveConflict(scanID, change, typed, conflict); },
            Qt::QueuedConnection);
        return;
    } catch (const Failure &error) {
        QMetaObject::invokeMethod(
            this, [this, text = error.description()] { showError(text); }, Qt::QueuedConnection);
        return;
    }
    refreshHistory();
    if (m_comparisonWindow)
        m_comparisonWindow->updateScans(m_savedScans);
    setStatus(
        QStringLiteral("Snapshot name and notes saved on %1.").arg(HostWording::thisComputer()));
}

void AppDelegate::resolveConflict(const QString &scanID,
                                  const HistoryStore::AnnotationChange &change,
                                  const SnapshotAnnotation &typed,
                                  const HistoryStore::AnnotationConflict &conflict)
{
    const SnapshotAnnotation &saved = conflict.saved;
    // Never silently over the other writer's text: the user sees it and chooses.
    auto excerpt = [](const QString &text) {
        const QString line = PlainText::oneLine(text);
        if (line.isEmpty())
            return QStringLiteral("(empty)");
        return line.size() > 200 ? line.left(200) + QChar(0x2026) : line;
    };
    QMessageBox *alert = Sheet::alert(
        m_window, QMessageBox::Warning, conflict.description(),
        QStringLiteral("While you were editing, another Quillet window or quillet-cli saved this "
                       "scan's name and notes:\n\nName: %1\nNotes: %2\n\nReplace them with your "
                       "text, or edit again to combine the two.")
            .arg(excerpt(saved.name), excerpt(saved.notes)));
    QPushButton *replace = alert->addButton(QStringLiteral("Replace"), QMessageBox::AcceptRole);
    QPushButton *edit = alert->addButton(QStringLiteral("Edit Again"), QMessageBox::ActionRole);
    alert->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    alert->setDefaultButton(edit);
    connect(alert, &QMessageBox::finished, this, [=, this] {
        if (alert->clickedButton() == replace) {
            HistoryStore::AnnotationChange forced = change;
            forced.seen.reset();
            saveSnapshot(scanID, forced, typed);
        } else if (alert->clickedButton() == edit) {
            // The user's text where they changed it, the saved text elsewhere; notes that
            // both changed hold both, to be combined.
            SnapshotAnnotation merged{change.name ? typed.name : saved.name,
                                      change.notes ? typed.notes : saved.notes};
            if (change.notes && change.seen && saved.notes != change.seen->notes &&
                saved.notes != typed.notes && !saved.notes.isEmpty())
                merged.notes = typed.notes + QStringLiteral("\n\n") + saved.notes;
            QMetaObject::invokeMethod(
                this, [=, this] { openSnapshotEditor(scanID, saved, merged); },
                Qt::QueuedConnection);
        }
    });
    alert->open();
}

// --- Exports -------------------------------------------------------------------------------

void AppDelegate::showError(const QString &description)
{
    Sheet::alert(m_window, QMessageBox::Warning, description, QString())->open();
}

void AppDelegate::exportCSV()
{
    if (m_busy || m_visible.isEmpty())
        return;
    const QString stem = Inventory::exportStem(m_deviceName);
    Sheet::askForSavePath(
        m_window, QStringLiteral("Export visible apps"),
        CsvExport::unusedPath(Locations::downloads(), stem), QString(),
        [this](const QString &path) {
            // What is exported is what the table shows when the panel closes.
            const QList<Row> rows = visibleRows();
            try {
                DataFile::writeExport(path, CsvExport::content(m_fields, rows));
            } catch (const Failure &error) {
                showError(error.description());
                return;
            }
            setStatus(QStringLiteral("Exported %1 apps to %2.")
                          .arg(QString::number(rows.size()), QFileInfo(path).fileName()));
        });
}

void AppDelegate::exportReport()
{
    if (m_busy || m_visible.isEmpty())
        return;
    const QComboBox *category = m_window->category();
    QString filter = QStringLiteral("Category: ") +
        (category->currentIndex() >= 0 ? category->currentText() : AppList::allCategories);
    if (const QString search = m_window->search()->text(); !search.isEmpty())
        filter += QStringLiteral(" \u00B7 Search: ") + search;
    const ReportDocument report =
        ReportDocument::inventory(m_currentInventory, visibleRows(), filter);
    Sheet::askForSavePath(
        m_window, QStringLiteral("Export App Inventory Report"),
        Locations::downloads() + u'/' + Inventory::exportStem(m_deviceName) +
            QStringLiteral(".pdf"),
        QStringLiteral("PDF documents (*.pdf)"), [this, report](const QString &path) {
            try {
                report.write(path);
            } catch (const Failure &error) {
                showError(error.description());
                return;
            }
            setStatus(QStringLiteral("Saved report to %1.").arg(QFileInfo(path).fileName()));
        });
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
