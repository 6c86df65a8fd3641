#include "app/AppDelegate.h"

#include "app/BusyIndicator.h"
#include "app/CellDelegate.h"
#include "app/ElidedLabel.h"
#include "app/InventoryHeaderView.h"
#include "app/InventoryTableModel.h"
#include "app/Sheet.h"
#include "app/SnapshotEditor.h"
#include "common/DataFile.h"
#include "common/Failure.h"
#include "common/Locations.h"
#include "features/AppDetailsWindow.h"
#include "features/UpdateCheck.h"
#include "history/ComparisonWindow.h"
#include "history/HistoryStore.h"
#include "reports/CsvExport.h"
#include "reports/ReportDocument.h"
#include "scanning/Column.h"
#include "scanning/DemoDevice.h"
#include "scanning/Scanner.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTableView>
#include <QTextEdit>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>

namespace {

const QString keyFontSize = QStringLiteral("inventoryFontSize");
const QString keyColumnOrder = QStringLiteral("inventoryColumnOrder");
const QString keyHiddenColumns = QStringLiteral("inventoryHiddenColumns");
const QString keyCompletedWelcome = QStringLiteral("completedWelcome");

const QString connectText =
    QStringLiteral("Connect a device and click Scan Device to get started.");

int columnWidth(const QString &column)
{
    if (column == Column::appName)
        return 235;
    if (column == Column::bundleIdentifier)
        return 270;
    if (column == Column::category)
        return 160;
    if (column == Column::deviceIdentifier)
        return 240;
    return 120;
}

// Secondary and tertiary text: the window text, fainter.
void setFaint(QWidget *widget, double alpha)
{
    QPalette palette = widget->palette();
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(alpha);
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

QFont fontOfSize(double pixels, QFont::Weight weight = QFont::Normal)
{
    QFont font = QApplication::font();
    font.setPixelSize(qRound(pixels));
    font.setWeight(weight);
    return font;
}

QHBoxLayout *row(int spacing)
{
    auto *layout = new QHBoxLayout;
    layout->setSpacing(spacing);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

QPushButton *button(const QString &title)
{
    auto *result = new QPushButton(title);
    result->setAutoDefault(false);
    return result;
}

} // namespace

AppDelegate::AppDelegate(QObject *parent) : QObject(parent)
{
    const double stored = QSettings().value(keyFontSize).toDouble();
    m_tableFontSize = stored > 0 ? std::clamp(stored, smallestFontSize, largestFontSize) : 12.0;
}

AppDelegate::~AppDelegate()
{
    // A scan still running is stopped, and its last messages have nobody to go to.
    if (m_scanner)
        m_scanner->cancel();
    m_job.waitForFinished();
    delete m_window;
}

void AppDelegate::launch()
{
    buildWindow();
    buildMenus();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    runBridge(QStringLiteral("load"));
    if (!QSettings().value(keyCompletedWelcome).toBool())
        showGettingStarted();
}

void AppDelegate::buildMenus()
{
    QMenuBar *bar = m_window->menuBar();
    auto add = [this](QMenu *menu, const QString &title, auto slot, const QKeySequence &key = {}) {
        QAction *action = menu->addAction(title);
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };

    QMenu *application = bar->addMenu(QStringLiteral("Quillet"));
    add(application, QStringLiteral("About Quillet\u2026"), &AppDelegate::showAbout)
        ->setMenuRole(QAction::AboutRole);
    add(application, QStringLiteral("Check for Updates\u2026"), &AppDelegate::checkForUpdates)
        ->setMenuRole(QAction::ApplicationSpecificRole);
    application->addSeparator();
    QAction *quit = application->addAction(QStringLiteral("Quit Quillet"));
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, m_window, &QMainWindow::close);

    QMenu *file = bar->addMenu(QStringLiteral("File"));
    add(file, QStringLiteral("Scan Device"), &AppDelegate::scanDevice,
        QKeySequence(QStringLiteral("Ctrl+R")));
    add(file, QStringLiteral("Export CSV\u2026"), &AppDelegate::exportCSV,
        QKeySequence(QStringLiteral("Ctrl+E")));
    add(file, QStringLiteral("Export PDF Report\u2026"), &AppDelegate::exportReport,
        QKeySequence(QStringLiteral("Ctrl+P")));
    add(file, QStringLiteral("App Details\u2026"), &AppDelegate::showSelectedAppDetails,
        QKeySequence(QStringLiteral("Ctrl+I")));
    add(file, QStringLiteral("Snapshot Name && Notes\u2026"), &AppDelegate::editSnapshot);
    add(file, QStringLiteral("Compare Scans\u2026"), &AppDelegate::compareScans);

    // The Edit commands go to whichever field has the keyboard focus.
    QMenu *edit = bar->addMenu(QStringLiteral("Edit"));
    auto forward = [edit](const QString &title, const QKeySequence &key, auto lineEdit,
                          auto textEdit, auto view) {
        QAction *action = edit->addAction(title);
        action->setShortcut(key);
        action->setShortcutContext(Qt::ApplicationShortcut);
        QObject::connect(action, &QAction::triggered, edit, [=] {
            QWidget *focus = QApplication::focusWidget();
            if (auto *line = qobject_cast<QLineEdit *>(focus))
                (line->*lineEdit)();
            else if (auto *text = qobject_cast<QTextEdit *>(focus))
                (text->*textEdit)();
            else if (auto *table = qobject_cast<QAbstractItemView *>(focus); table && view)
                (table->*view)();
        });
    };
    using View = void (QAbstractItemView::*)();
    forward(QStringLiteral("Cut"), QKeySequence::Cut, &QLineEdit::cut, &QTextEdit::cut, View());
    forward(QStringLiteral("Copy"), QKeySequence::Copy, &QLineEdit::copy, &QTextEdit::copy, View());
    forward(QStringLiteral("Paste"), QKeySequence::Paste, &QLineEdit::paste, &QTextEdit::paste,
            View());
    forward(QStringLiteral("Select All"), QKeySequence::SelectAll, &QLineEdit::selectAll,
            &QTextEdit::selectAll, View(&QAbstractItemView::selectAll));

    QMenu *help = bar->addMenu(QStringLiteral("Help"));
    add(help, QStringLiteral("Quillet Help"), &AppDelegate::showHelp,
        QKeySequence(QStringLiteral("Ctrl+?")));
    add(help, QStringLiteral("Getting Started\u2026"), &AppDelegate::showGettingStarted);
}

void AppDelegate::buildWindow()
{
    m_window = new QMainWindow;
    m_window->setWindowTitle(m_demo ? QStringLiteral("Quillet \u2014 Demo Device")
                                    : QStringLiteral("Quillet"));
    m_window->setMinimumSize(860, 540);
    m_window->resize(1190, 760);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        m_window->move(screen->availableGeometry().center() - m_window->rect().center());

    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("content"));
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(24, 25, 24, 18);
    layout->setSpacing(0);

    // 1. Header: title, text size, Scan Device, Export CSV.
    auto *title = new QLabel(QStringLiteral("Your apps, at a glance"));
    title->setFont(fontOfSize(27, QFont::Bold));
    m_smallerText = button(QStringLiteral("\u2212"));
    m_smallerText->setObjectName(QStringLiteral("smallerText"));
    m_smallerText->setToolTip(QStringLiteral("Decrease table text size"));
    m_smallerText->setAccessibleName(QStringLiteral("Decrease table text size"));
    m_largerText = button(QStringLiteral("+"));
    m_largerText->setObjectName(QStringLiteral("largerText"));
    m_largerText->setToolTip(QStringLiteral("Increase table text size"));
    m_largerText->setAccessibleName(QStringLiteral("Increase table text size"));
    for (QPushButton *sizeButton : {m_smallerText, m_largerText})
        sizeButton->setFixedWidth(std::max(32, sizeButton->sizeHint().height() + 6));
    m_scan = button(QStringLiteral("Scan Device"));
    m_scan->setObjectName(QStringLiteral("scan"));
    m_scan->setDefault(true);
    // Wide enough for each of its titles, so that the header does not shift as they change.
    int scanWidth = 0;
    for (const QString &text : {QStringLiteral("Scan Device"), QStringLiteral("Cancel Scan"),
                                QStringLiteral("Loading\u2026")}) {
        m_scan->setText(text);
        scanWidth = std::max(scanWidth, m_scan->sizeHint().width());
    }
    m_scan->setText(QStringLiteral("Scan Device"));
    m_scan->setMinimumWidth(scanWidth);
#ifndef Q_OS_MACOS
    // macOS draws the default button in the accent colour; elsewhere tint it ourselves.
    QPalette accent = m_scan->palette();
    accent.setColor(QPalette::Button, accent.color(QPalette::Highlight));
    accent.setColor(QPalette::ButtonText, accent.color(QPalette::HighlightedText));
    m_scan->setPalette(accent);
#endif
    m_export = button(QStringLiteral("Export CSV\u2026"));
    m_export->setObjectName(QStringLiteral("export"));
    QHBoxLayout *header = row(12);
    header->addWidget(title);
    header->addStretch(1);
    header->addWidget(m_smallerText);
    header->addWidget(m_largerText);
    header->addWidget(m_scan);
    header->addWidget(m_export);
    layout->addLayout(header);
    layout->addSpacing(8);

    // 2. Subtitle.
    auto *subtitle = new QLabel(QStringLiteral(
        "Connect and unlock your iPhone or iPad, then scan to refresh your inventory."));
    setFaint(subtitle, 0.6);
    layout->addWidget(subtitle);
    layout->addSpacing(24);

    // 3. Filters: search, category, count.
    m_search = new QLineEdit;
    m_search->setObjectName(QStringLiteral("search"));
    m_search->setPlaceholderText(QStringLiteral("Search apps or bundle identifiers"));
    m_search->setClearButtonEnabled(true);
    m_search->setMinimumWidth(300);
    m_category = new QComboBox;
    m_category->setObjectName(QStringLiteral("category"));
    m_category->addItem(AppList::allCategories);
    m_category->setFixedWidth(220);
    m_count = new QLabel;
    m_count->setObjectName(QStringLiteral("count"));
    m_count->setFixedWidth(165);
    setFaint(m_count, 0.6);
    QHBoxLayout *filters = row(14);
    filters->addWidget(m_search, 1);
    filters->addWidget(m_category);
    filters->addWidget(m_count);
    layout->addLayout(filters);
    layout->addSpacing(12);

    // 4. Scan history.
    m_historyPicker = new QComboBox;
    m_historyPicker->setObjectName(QStringLiteral("historyPicker"));
    m_historyPicker->addItem(QStringLiteral("Current inventory"));
    m_historyPicker->setAccessibleName(QStringLiteral("Scan history"));
    m_historyPicker->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_historyPicker->setMinimumContentsLength(12);
    m_historyPicker->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // "&&": a single "&" would mark a keyboard mnemonic.
    m_editSnapshotButton = button(QStringLiteral("Name && Notes\u2026"));
    m_editSnapshotButton->setObjectName(QStringLiteral("editSnapshot"));
    m_editSnapshotButton->setEnabled(false);
    m_compareButton = button(QStringLiteral("Compare Scans\u2026"));
    m_compareButton->setObjectName(QStringLiteral("compare"));
    QPushButton *exportPDF = button(QStringLiteral("Export PDF\u2026"));
    QHBoxLayout *history = row(12);
    history->addWidget(new QLabel(QStringLiteral("Scan History")));
    history->addWidget(m_historyPicker, 1);
    history->addWidget(m_editSnapshotButton);
    history->addWidget(m_compareButton);
    history->addWidget(exportPDF);
    layout->addLayout(history);
    layout->addSpacing(12);

    // 5. The table.
    m_model = new InventoryTableModel(this);
    m_table = new QTableView;
    m_table->setObjectName(QStringLiteral("inventory"));
    m_header = new InventoryHeaderView(m_table);
    m_table->setHorizontalHeader(m_header);
    m_table->setModel(m_model);
    m_table->setItemDelegate(new CellDelegate(m_table));
    m_table->setAlternatingRowColors(true);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setShowGrid(false);
    m_table->setWordWrap(false);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_header->setMinimumSectionSize(75);
    m_header->setStretchLastSection(false);
    m_header->setSortIndicator(-1, Qt::AscendingOrder);
    m_table->setSortingEnabled(true);
    QPointer<AppDelegate> self(this);
    m_header->makeMenu = [self](int column) { return self ? self->columnMenu(column) : nullptr; };
    layout->addWidget(m_table, 1);
    layout->addSpacing(14);

    // 6. Status.
    m_spinner = new BusyIndicator;
    m_spinner->setObjectName(QStringLiteral("spinner"));
    m_status = new ElidedLabel;
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setText(QStringLiteral("Loading saved inventory\u2026"));
    setFaint(m_status, 0.6);
    QHBoxLayout *status = row(8);
    status->addWidget(m_spinner);
    status->addWidget(m_status, 1);
    layout->addLayout(status);
    layout->addSpacing(8);

    // 7. Footer.
    auto *footer = new QLabel(QStringLiteral("Sizes are device-reported \u2022 Blank values are "
                                             "unavailable \u2022 Categories use the US App Store"));
    footer->setFont(fontOfSize(11));
    setFaint(footer, 0.35);
    layout->addWidget(footer);

    m_window->setCentralWidget(content);

    connect(m_smallerText, &QPushButton::clicked, this, &AppDelegate::decreaseFont);
    connect(m_largerText, &QPushButton::clicked, this, &AppDelegate::increaseFont);
    connect(m_scan, &QPushButton::clicked, this, &AppDelegate::scanDevice);
    connect(m_export, &QPushButton::clicked, this, &AppDelegate::exportCSV);
    connect(m_search, &QLineEdit::textChanged, this, &AppDelegate::filterChanged);
    connect(m_category, &QComboBox::activated, this, &AppDelegate::filterChanged);
    connect(m_historyPicker, &QComboBox::activated, this, &AppDelegate::selectHistory);
    connect(m_editSnapshotButton, &QPushButton::clicked, this, &AppDelegate::editSnapshot);
    connect(m_compareButton, &QPushButton::clicked, this, &AppDelegate::compareScans);
    connect(exportPDF, &QPushButton::clicked, this, &AppDelegate::exportReport);
    connect(m_model, &InventoryTableModel::sortRequested, this,
            [this](const QString &column, Qt::SortOrder order) {
                m_sortColumn = column;
                m_sortOrder = order;
                applyFilter();
            });
    connect(m_header, &QHeaderView::sectionMoved, this, &AppDelegate::saveColumnOrder);
    connect(m_table, &QTableView::doubleClicked, this, &AppDelegate::showClickedAppDetails);

    updateFontSize();
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
    m_status->setText(text);
}

// --- Table -----------------------------------------------------------------------------------

void AppDelegate::configureTable()
{
    const QStringList &current = m_model->columns();
    if (QSet<QString>(current.begin(), current.end()) ==
        QSet<QString>(m_fields.begin(), m_fields.end()))
        return;
    m_restoringColumns = true;

    const QSettings settings;
    QStringList order;
    for (const QString &name : settings.value(keyColumnOrder).toStringList() + m_fields) {
        if (m_fields.contains(name) && !order.contains(name))
            order.append(name);
    }
    const QStringList hidden = settings.value(keyHiddenColumns).toStringList();

    m_model->setColumns(order);
    for (int logical = 0; logical < order.size(); ++logical) {
        // A fresh set of columns starts in the order just built.
        if (const int visual = m_header->visualIndex(logical); visual != logical)
            m_header->moveSection(visual, logical);
        m_header->resizeSection(logical, columnWidth(order[logical]));
        m_header->setSectionHidden(logical, hidden.contains(order[logical]));
    }
    if (!order.isEmpty() && m_header->hiddenSectionCount() == order.size())
        m_header->showSection(m_header->logicalIndex(0));
    m_header->setSortIndicator(int(order.indexOf(m_sortColumn)), m_sortOrder);
    m_restoringColumns = false;
}

void AppDelegate::configureCategories()
{
    const QString selected = m_category->currentText();
    const QStringList choices = m_apps.categoryChoices();
    m_category->clear();
    m_category->addItems(choices);
    m_category->setCurrentIndex(std::max(0, int(choices.indexOf(selected))));
}

void AppDelegate::applyFilter()
{
    const QString category =
        m_category->currentIndex() >= 0 ? m_category->currentText() : AppList::allCategories;
    const QString sortColumn = m_model->columns().contains(m_sortColumn) ? m_sortColumn : QString();
    m_visible = m_apps.visible(m_search->text(), category, sortColumn, m_sortOrder);
    m_model->setRows(&m_apps, m_visible);
    m_count->setText(AppList::countText(m_visible.size(), m_apps.rows().size()));
    m_export->setEnabled(!m_visible.isEmpty() && !m_busy);
}

void AppDelegate::filterChanged()
{
    applyFilter();
}

void AppDelegate::saveColumnOrder()
{
    if (m_restoringColumns)
        return;
    QStringList order;
    for (int visual = 0; visual < m_header->count(); ++visual)
        order.append(m_model->columns().at(m_header->logicalIndex(visual)));
    QSettings().setValue(keyColumnOrder, order);
}

void AppDelegate::saveHiddenColumns()
{
    QStringList hidden;
    for (int visual = 0; visual < m_header->count(); ++visual) {
        const int logical = m_header->logicalIndex(visual);
        if (m_header->isSectionHidden(logical))
            hidden.append(m_model->columns().at(logical));
    }
    QSettings().setValue(keyHiddenColumns, hidden);
}

QMenu *AppDelegate::columnMenu(int column)
{
    auto *menu = new QMenu(m_window);
    const QStringList &columns = m_model->columns();
    const int visibleCount = m_header->count() - m_header->hiddenSectionCount();
    if (column >= 0 && column < columns.size()) {
        const QString name = columns.at(column);
        QAction *hide = menu->addAction(QStringLiteral("Hide \u201C%1\u201D").arg(name));
        hide->setEnabled(visibleCount > 1);
        connect(hide, &QAction::triggered, this, [this, name] { toggleColumn(name); });
        menu->addSeparator();
    }
    for (int visual = 0; visual < m_header->count(); ++visual) {
        const int logical = m_header->logicalIndex(visual);
        const QString name = columns.at(logical);
        const bool shown = !m_header->isSectionHidden(logical);
        QAction *item = menu->addAction(name);
        item->setCheckable(true);
        item->setChecked(shown);
        item->setEnabled(visibleCount >= 2 || !shown);
        connect(item, &QAction::triggered, this, [this, name] { toggleColumn(name); });
    }
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Show All Columns")), &QAction::triggered, this,
            &AppDelegate::showAllColumns);
    return menu;
}

void AppDelegate::toggleColumn(const QString &column)
{
    const int logical = int(m_model->columns().indexOf(column));
    if (logical < 0)
        return;
    const bool shown = !m_header->isSectionHidden(logical);
    if (shown && m_header->count() - m_header->hiddenSectionCount() < 2)
        return;
    m_header->setSectionHidden(logical, shown);
    saveHiddenColumns();
}

void AppDelegate::showAllColumns()
{
    for (int logical = 0; logical < m_header->count(); ++logical)
        m_header->showSection(logical);
    saveHiddenColumns();
}

void AppDelegate::decreaseFont()
{
    m_tableFontSize = std::max(m_tableFontSize - 1, smallestFontSize);
    updateFontSize();
}

void AppDelegate::increaseFont()
{
    m_tableFontSize = std::min(m_tableFontSize + 1, largestFontSize);
    updateFontSize();
}

void AppDelegate::updateFontSize()
{
    QSettings().setValue(keyFontSize, m_tableFontSize);
    const int height = std::max(int(std::ceil(m_tableFontSize * 1.5)) + 10, 29);
    m_table->verticalHeader()->setMinimumSectionSize(std::min(height, 29));
    m_table->verticalHeader()->setDefaultSectionSize(height);
    m_smallerText->setEnabled(m_tableFontSize > smallestFontSize);
    m_largerText->setEnabled(m_tableFontSize < largestFontSize);
    m_model->setFontSize(m_tableFontSize);
}

// --- Loading and scanning -------------------------------------------------------------------

void AppDelegate::scanDevice()
{
    if (m_busy) {
        if (m_scanner)
            m_scanner->cancel();
        setStatus(QStringLiteral("Cancelling scan\u2026"));
        return;
    }
    runBridge(QStringLiteral("scan"));
}

void AppDelegate::runBridge(const QString &mode)
{
    const bool scanning = mode == u"scan";
    m_busy = true;
    m_scan->setText(scanning ? QStringLiteral("Cancel Scan") : QStringLiteral("Loading\u2026"));
    m_scan->setEnabled(scanning);
    m_export->setEnabled(false);
    m_spinner->start();
    setStatus(scanning ? QStringLiteral("Reading device\u2026 The first category lookup can take "
                                        "a few minutes.")
                       : QStringLiteral("Loading saved inventory\u2026"));
    m_historyPicker->setEnabled(false);
    m_compareButton->setEnabled(false);
    m_editSnapshotButton->setEnabled(false);

    m_scanner = std::make_shared<Scanner>();
    // Progress, then the result, arrive on the main thread in the order they were sent.
    m_scanner->setProgress([this](const QString &message) {
        QMetaObject::invokeMethod(
            this, [this, message] { setStatus(message); }, Qt::QueuedConnection);
    });
    m_job = QtConcurrent::run([this, scanner = m_scanner, mode, scanning] {
        try {
            const Inventory inventory =
                (scanning ? scanner->scan() : scanner->load()).withStoreColumns();
            QMetaObject::invokeMethod(
                this, [this, inventory, mode] { succeeded(inventory, mode); },
                Qt::QueuedConnection);
        } catch (const Failure &error) {
            QMetaObject::invokeMethod(
                this, [this, text = error.description()] { failed(text); }, Qt::QueuedConnection);
        } catch (const std::exception &error) {
            QMetaObject::invokeMethod(
                this, [this, text = QString::fromLocal8Bit(error.what())] { failed(text); },
                Qt::QueuedConnection);
        }
    });
}

void AppDelegate::succeeded(const Inventory &inventory, const QString &mode)
{
    m_currentInventory = inventory;
    m_latestInventory = inventory;
    showInventory(inventory);
    const QList<Row> &rows = m_apps.rows();
    const auto categorized = std::count_if(rows.begin(), rows.end(), [](const Row &row) {
        return !row.value(Column::category).isEmpty();
    });
    // A newcomer trying the demo should not take its apps for their own.
    if (m_demo && mode != u"scan")
        setStatus(DemoDevice::description + QStringLiteral(" Click Scan Device to scan it."));
    else if (rows.isEmpty())
        setStatus(connectText);
    else if (mode == u"scan")
        setStatus(QStringLiteral("Scan complete. %1 apps; %2 categories available. Saved on this "
                                 "Mac.")
                      .arg(rows.size())
                      .arg(categorized));
    else
        setStatus(QStringLiteral("Saved inventory loaded. Scan your device to refresh it."));
    finish();
    // A first look at the demo should show apps at once, not an empty table.
    if (m_demo && mode != u"scan" && rows.isEmpty())
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
    m_scanner.reset();
    m_scan->setText(QStringLiteral("Scan Device"));
    m_scan->setEnabled(true);
    m_spinner->stop();
    m_export->setEnabled(!m_visible.isEmpty());
    refreshHistory();
}

void AppDelegate::showInventory(const Inventory &shown)
{
    m_fields = shown.fields;
    m_apps = AppList(shown.namedRows());
    m_deviceName = shown.deviceName;
    configureTable();
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
    m_historyPicker->clear();
    m_historyPicker->addItem(QStringLiteral("Current inventory"));
    int selected = 0;
    for (int i = 0; i < m_savedScans.size(); ++i) {
        m_historyPicker->addItem(m_savedScans[i].title());
        if (selected == 0 && m_currentInventory.scanID &&
            m_savedScans[i].id == *m_currentInventory.scanID)
            selected = i + 1;
    }
    m_historyPicker->setCurrentIndex(selected);
    m_historyPicker->setEnabled(!m_busy && !m_savedScans.isEmpty());
    m_compareButton->setEnabled(!m_busy && m_savedScans.size() >= 2);
    m_editSnapshotButton->setEnabled(!m_busy && selected > 0);
    if (listing.unreadable > 0)
        setStatus(QStringLiteral("%1 saved scans could not be read. Their files have been "
                                 "preserved.")
                      .arg(listing.unreadable));
}

void AppDelegate::selectHistory()
{
    if (m_busy)
        return;
    const int index = m_historyPicker->currentIndex();
    displayInventory(index >= 1 && index <= m_savedScans.size() ? m_savedScans[index - 1].inventory
                                                                : m_latestInventory);
}

void AppDelegate::displayInventory(const Inventory &inventory)
{
    const Inventory shown = inventory.withStoreColumns();
    m_currentInventory = shown;
    showInventory(shown);
    m_editSnapshotButton->setEnabled(!m_busy && shown.scanID.has_value());
    const QString date = shown.scannedAt
        ? QLocale::system().toString(shown.scannedAt->toLocalTime().date(), QLocale::ShortFormat)
        : QStringLiteral("scan date unknown");
    setStatus(QStringLiteral("Viewing %1 \u00B7 %2 \u00B7 %3 apps")
                  .arg(shown.deviceName.value_or(QStringLiteral("unnamed device")), date)
                  .arg(m_apps.rows().size()));
}

// --- Commands of later parts of the window ---------------------------------------------------

void AppDelegate::showSelectedAppDetails()
{
    const QModelIndex current = m_table->currentIndex();
    const QModelIndexList selected = m_table->selectionModel()->selectedRows();
    if (!selected.isEmpty())
        presentAppDetails(selected.contains(current.siblingAtColumn(0)) ? current.row()
                                                                        : selected.first().row());
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
    m_appDetailsWindow->open();
}

void AppDelegate::checkForUpdates()
{
    if (m_checkingUpdates)
        return;
    const std::optional<UpdateSettings> settings =
        UpdateSettings::read(Locations::resources() + QStringLiteral("/Updates.json"));
    if (!settings) {
        showUpdateMessage(QStringLiteral("Update settings unavailable"),
                          QStringLiteral("Visit %1 for current releases.")
                              .arg(QUrl(UpdateCheck::publisherWebsite).host()),
                          UpdateCheck::publisherWebsite);
        return;
    }
    const QString installed = QCoreApplication::applicationVersion();
    const QUrl feed(settings->feedURL.value_or(QString()), QUrl::StrictMode);
    if (!settings->feedURL || !feed.isValid() ||
        !settings->feedURL->startsWith(QStringLiteral("https:"))) {
        showUpdateMessage(QStringLiteral("Check the Marrowby website"),
                          QStringLiteral("Installed version: %1. Online version checking is not "
                                         "yet configured. Visit Marrowby for available releases.")
                              .arg(installed.isEmpty() ? QStringLiteral("Unknown") : installed),
                          settings->websiteURL);
        return;
    }
    m_checkingUpdates = true;
    setStatus(QStringLiteral("Checking for updates\u2026"));
    const QString website = settings->websiteURL;
    const QString compared = installed.isEmpty() ? QStringLiteral("0") : installed;
    UpdateCheck::run(
        feed, website, compared, this,
        [this, website, compared](const UpdateCheck::Outcome &outcome) {
            m_checkingUpdates = false;
            if (!outcome.release) {
                setStatus(QStringLiteral("Could not check for updates."));
                showUpdateMessage(QStringLiteral("Unable to check for updates"), outcome.error,
                                  website);
            } else if (outcome.newer) {
                const UpdateRelease &release = *outcome.release;
                setStatus(QStringLiteral("Quillet %1 is available.").arg(release.version));
                showUpdateMessage(QStringLiteral("Quillet %1 is available").arg(release.version),
                                  QStringLiteral("Installed: %1. Requires macOS %2 or later.\n\n%3")
                                      .arg(compared, release.minimumMacOS, release.notes),
                                  release.downloadURL);
            } else {
                setStatus(QStringLiteral("Quillet is up to date."));
                showUpdateMessage(QStringLiteral("You\u2019re up to date"),
                                  QStringLiteral("You have Quillet %1.").arg(compared), QString());
            }
        });
}

void AppDelegate::showUpdateMessage(const QString &title, const QString &detail, const QString &url)
{
    QMessageBox *message = Sheet::alert(m_window, QMessageBox::Information, title, detail);
    message->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    if (url.startsWith(QStringLiteral("https:"))) {
        QPushButton *visit =
            message->addButton(QStringLiteral("Visit Website"), QMessageBox::ActionRole);
        connect(visit, &QPushButton::clicked, this,
                [url] { QDesktopServices::openUrl(QUrl(url)); });
    }
    message->open();
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
    const QString scanID = *m_currentInventory.scanID;
    auto *editor =
        new SnapshotEditor(m_currentInventory.snapshotName.value_or(QString()),
                           m_currentInventory.snapshotNotes.value_or(QString()), m_window);
    connect(editor, &QDialog::accepted, this, [this, editor, scanID] {
        const HistoryStore history;
        try {
            history.saveAnnotation(scanID, editor->name(), editor->notes());
            m_currentInventory = history.applyingAnnotations(m_currentInventory);
            m_latestInventory = history.applyingAnnotations(m_latestInventory);
        } catch (const Failure &error) {
            // The editor is closing; the alert follows it as the window's next sheet.
            QMetaObject::invokeMethod(
                this, [this, text = error.description()] { showError(text); },
                Qt::QueuedConnection);
            return;
        }
        refreshHistory();
        if (m_comparisonWindow)
            m_comparisonWindow->updateScans(m_savedScans);
        setStatus(QStringLiteral("Snapshot name and notes saved on this Mac."));
    });
    editor->open();
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
    Sheet::askForSavePath(m_window, QStringLiteral("Export visible apps"),
                          CsvExport::unusedPath(Locations::downloads(), stem), QString(),
                          [this](const QString &path) {
                              // What is exported is what the table shows when the panel closes.
                              const QList<Row> rows = visibleRows();
                              try {
                                  DataFile::write(path, CsvExport::content(m_fields, rows));
                              } catch (const Failure &error) {
                                  showError(error.description());
                                  return;
                              }
                              setStatus(QStringLiteral("Exported %1 apps to %2.")
                                            .arg(rows.size())
                                            .arg(QFileInfo(path).fileName()));
                          });
}

void AppDelegate::exportReport()
{
    if (m_busy || m_visible.isEmpty())
        return;
    QString filter = QStringLiteral("Category: ") +
        (m_category->currentIndex() >= 0 ? m_category->currentText() : AppList::allCategories);
    if (!m_search->text().isEmpty())
        filter += QStringLiteral(" \u00B7 Search: ") + m_search->text();
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
    QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty())
        version = QStringLiteral("1.0");
    QMessageBox *about = Sheet::alert(
        m_window, QMessageBox::NoIcon, QStringLiteral("Quillet"),
        QStringLiteral("Version %1 \u2022 Marrowby\n\nYour iPhone and iPad app inventory, on your "
                       "Mac.\nBrowse categories, compare storage sizes, and export a CSV.\n\n"
                       "https://marrowby.example/quillet\n\nIncludes open-source device tools. "
                       "License notices are available in Help.")
            .arg(version));
    about->setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    about->setStandardButtons(QMessageBox::Ok);
    about->open();
}

void AppDelegate::showHelp()
{
    const QString path = Locations::resources() + QStringLiteral("/Help/index.html");
    if (!QFileInfo::exists(path)) {
        Sheet::alert(
            m_window, QMessageBox::Warning, QStringLiteral("Quillet Help is not available"),
            QStringLiteral("The help file is missing from \u201C%1\u201D. Reinstall Quillet "
                           "to restore it.")
                .arg(QFileInfo(path).absolutePath()))
            ->open();
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        Sheet::alert(m_window, QMessageBox::Warning,
                     QStringLiteral("Quillet Help could not be opened"),
                     QStringLiteral("No web browser is set up to show it. The help is the file "
                                    "\u201C%1\u201D.")
                         .arg(path))
            ->open();
}

void AppDelegate::showGettingStarted()
{
    QMessageBox *welcome = Sheet::alert(
        m_window, QMessageBox::NoIcon, QStringLiteral("Welcome to Quillet"),
        QStringLiteral(
            "1. Connect one iPhone or iPad with a USB data cable. Unlock it and approve Trust This "
            "Computer on the device or in Finder.\n\n2. Click Scan Device. Each successful scan is "
            "saved in Scan History, ready to browse while disconnected.\n\n3. Use Compare Scans to "
            "compare dates or devices. Export the displayed apps as CSV or a PDF report.\n\n"
            "Inventories stay on this Mac. Category lookup sends app bundle identifiers to "
            "Apple."));
    QPushButton *start = welcome->addButton(QStringLiteral("Get Started"), QMessageBox::AcceptRole);
    QPushButton *help = welcome->addButton(QStringLiteral("Read Help"), QMessageBox::HelpRole);
    welcome->setDefaultButton(start);
    connect(welcome, &QMessageBox::finished, this, [this, welcome, help] {
        QSettings().setValue(keyCompletedWelcome, true);
        if (welcome->clickedButton() == help)
            showHelp();
    });
    welcome->open();
}
