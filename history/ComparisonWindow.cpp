#include "history/ComparisonWindow.h"

#include "common/Failure.h"
#include "common/Locations.h"
#include "common/PlainText.h"
#include "history/HistoryStore.h"
#include "reports/ReportDocument.h"
#include "reports/SpreadsheetExport.h"
#include "widgets/CellDelegate.h"
#include "widgets/CommandTable.h"
#include "widgets/Sheet.h"
#include "widgets/TableCopy.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

const QStringList ComparisonWindow::keys = {
    QStringLiteral("App"),        QStringLiteral("Category"),
    QStringLiteral("Difference"), QStringLiteral("Version A"),
    QStringLiteral("Version B"),  QStringLiteral("MB change (B \u2212 A)"),
};

namespace {

const int columnWidths[] = {245, 140, 140, 140, 140, 160};
const QString dash = QStringLiteral("\u2014");

QString field(const ScanDifference &difference, int column)
{
    switch (column) {
    case 0:
        return difference.name;
    case 1:
        return difference.category;
    case 2:
        return difference.status;
    case 3:
        return difference.versionA;
    case 4:
        return difference.versionB;
    default:
        return difference.sizeDelta;
    }
}

} // namespace

ComparisonWindow::ComparisonWindow(const QList<SavedScan> &scans, QWidget *parent)
    : QWidget(parent, Qt::Window), m_scans(scans)
{
    setWindowTitle(QStringLiteral("Compare Scans and Devices"));
    // Without a name of its own, a screen reader calls the window "filler".
    setAccessibleName(windowTitle());
    // The main window alone keeps the application running: closing it, or Quit, ends it even
    // while this window is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    setMinimumSize(760, 480);
    resize(1000, 620);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    m_first = new QComboBox;
    m_first->setObjectName(QStringLiteral("scanA"));
    m_first->setAccessibleName(QStringLiteral("Scan A"));
    m_second = new QComboBox;
    m_second->setObjectName(QStringLiteral("scanB"));
    m_second->setAccessibleName(QStringLiteral("Scan B"));
    for (QComboBox *popUp : {m_first, m_second}) {
        popUp->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        popUp->setMinimumContentsLength(12);
        popUp->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    fillPopUps();
    if (m_scans.size() >= 2)
        m_first->setCurrentIndex(1);

    m_changesOnly = new QCheckBox(QStringLiteral("Hide apps with no measured change"));
    m_changesOnly->setObjectName(QStringLiteral("changesOnly"));
    m_changesOnly->setChecked(true);
    auto *swap = new QPushButton(QStringLiteral("Swap A and B"));
    swap->setObjectName(QStringLiteral("swap"));
    m_export = new QPushButton(QStringLiteral("Export PDF\u2026"));
    m_export->setObjectName(QStringLiteral("exportPDF"));
    m_exportSpreadsheet = new QPushButton(QStringLiteral("Export Spreadsheet\u2026"));
    m_exportSpreadsheet->setObjectName(QStringLiteral("exportSpreadsheet"));

    m_summary = new QLabel;
    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setWordWrap(true);
    QPalette faint = m_summary->palette();
    QColor secondary = faint.color(QPalette::WindowText);
    secondary.setAlphaF(0.6f);
    faint.setColor(QPalette::WindowText, secondary);
    m_summary->setPalette(faint);

    m_model = new QStandardItemModel(0, int(keys.size()), this);
    m_model->setHorizontalHeaderLabels(keys);
    m_table = new QTableView;
    m_table->setObjectName(QStringLiteral("differences"));
    m_table->setAccessibleName(QStringLiteral("Differences"));
    m_table->setTabKeyNavigation(false);
    m_table->setModel(m_model);
    m_table->setItemDelegate(new CellDelegate(m_table));
    m_table->setAlternatingRowColors(true);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setShowGrid(false);
    m_table->setWordWrap(false);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(30);
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_table->horizontalHeader()->setStyleSheet(
        QStringLiteral("QHeaderView::section { padding-left: 7px; padding-right: 7px; }"));
    for (int column = 0; column < keys.size(); ++column)
        m_table->horizontalHeader()->resizeSection(column, columnWidths[column]);
    // Every status is short; none is cut, whatever the font.
    int statusWidth = columnWidths[2];
    for (const QString &status : ScanDifference::statuses())
        statusWidth = std::max(statusWidth, m_table->fontMetrics().horizontalAdvance(status) + 24);
    m_table->horizontalHeader()->resizeSection(2, statusWidth);

    auto *selectors = new QHBoxLayout;
    selectors->setSpacing(8);
    selectors->addWidget(new QLabel(QStringLiteral("A")));
    selectors->addWidget(m_first, 1);
    selectors->addWidget(new QLabel(QStringLiteral("B")));
    selectors->addWidget(m_second, 1);
    auto *options = new QHBoxLayout;
    options->setSpacing(12);
    options->addWidget(m_changesOnly);
    options->addStretch(1);
    options->addWidget(swap);
    options->addWidget(m_export);
    options->addWidget(m_exportSpreadsheet);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(14);
    layout->addLayout(selectors);
    layout->addWidget(m_summary);
    layout->addLayout(options);
    layout->addWidget(m_table, 1);

    connect(m_first, &QComboBox::activated, this, &ComparisonWindow::refresh);
    connect(m_second, &QComboBox::activated, this, &ComparisonWindow::refresh);
    connect(m_changesOnly, &QCheckBox::toggled, this, &ComparisonWindow::filterChanges);
    addCommands(swap);

    refresh();
}

void ComparisonWindow::addCommands(QPushButton *swap)
{
    using Group = WindowCommand::Group;
    auto key = [](const char *text) { return QKeySequence(QLatin1StringView(text)); };
    // Without a comparison there is nothing to export.
    const auto compared = [this] { return m_comparison.has_value(); };
    m_commands = new CommandTable(this);
    m_commands->add({
        {.group = Group::Inspect,
         .title = swap->text(),
         .run = [this] { swapScans(); },
         .shortcut = key("Ctrl+Shift+S"),
         .enabled =
             [this] {
                 int a = 0;
                 int b = 0;
                 return selection(a, b);
             },
         .buttons = {swap}},
        {.group = Group::Export,
         .title = m_export->text(),
         .run = [this] { exportPDF(); },
         .shortcut = key("Ctrl+P"),
         .enabled = compared,
         .buttons = {m_export}},
        {.group = Group::Export,
         .title = m_exportSpreadsheet->text(),
         .run = [this] { exportSpreadsheet(); },
         .shortcut = key("Ctrl+Shift+E"),
         .enabled = compared,
         .buttons = {m_exportSpreadsheet}},
    });
}

void ComparisonWindow::fillPopUps()
{
    m_first->clear();
    m_second->clear();
    for (const SavedScan &scan : m_scans) {
        m_first->addItem(scan.title());
        m_second->addItem(scan.title());
    }
}

bool ComparisonWindow::selection(int &a, int &b) const
{
    a = m_first->currentIndex();
    b = m_second->currentIndex();
    return a >= 0 && a < m_scans.size() && b >= 0 && b < m_scans.size();
}

QString ComparisonWindow::summaryText() const
{
    return m_summary->text();
}

void ComparisonWindow::refresh()
{
    m_comparison.reset();
    m_results.clear();
    int a = 0;
    int b = 0;
    if (selection(a, b)) {
        try {
            // The two compared are kept, read from their archives when first chosen.
            QHash<QString, Inventory> loaded;
            for (const SavedScan *scan : {&m_scans[a], &m_scans[b]}) {
                const QString key = scan->id + u'/' + scan->file;
                loaded.insert(key,
                              m_loaded.contains(key) ? m_loaded.value(key)
                                                     : HistoryStore().inventory(*scan));
            }
            m_loaded = loaded;
            const Inventory &inventoryA = m_loaded[m_scans[a].id + u'/' + m_scans[a].file];
            const Inventory &inventoryB = m_loaded[m_scans[b].id + u'/' + m_scans[b].file];
            m_comparison = ScanComparison::compare(inventoryA, inventoryB);
            m_results = m_comparison->shown(m_changesOnly->isChecked());
            m_summary->setText(m_comparison->summary(inventoryA, inventoryB));
        } catch (const Failure &error) {
            m_comparison.reset();
            m_results.clear();
            m_summary->setText(error.description());
        }
    } else {
        m_summary->setText(QStringLiteral("Choose two saved scans to compare."));
    }
    m_commands->refresh();
    showResults();
}

void ComparisonWindow::filterChanges()
{
    // The same two scans: only which of their apps show changes.
    if (!m_comparison) {
        refresh();
        return;
    }
    m_results = m_comparison->shown(m_changesOnly->isChecked());
    showResults();
}

void ComparisonWindow::showResults()
{
    m_model->setRowCount(0);
    m_model->setRowCount(int(m_results.size()));
    QColor faint = palette().color(QPalette::Text);
    faint.setAlphaF(0.3f);
    for (int row = 0; row < m_results.size(); ++row) {
        const ScanDifference &difference = m_results[row];
        for (int column = 0; column < keys.size(); ++column) {
            const QString value = field(difference, column);
            auto *item = new QStandardItem(value.isEmpty() ? dash : PlainText::oneLine(value));
            item->setData(value, TableCopy::textRole);
            // The name may be shared by several apps; the bundle identifier tells them apart.
            item->setToolTip(PlainText::toolTip(column == 0 ? difference.bundle : value));
            if (value.isEmpty())
                item->setForeground(faint);
            m_model->setItem(row, column, item);
        }
    }
}

void ComparisonWindow::swapScans()
{
    const int a = m_first->currentIndex();
    const int b = m_second->currentIndex();
    m_first->setCurrentIndex(b);
    m_second->setCurrentIndex(a);
    refresh();
}

void ComparisonWindow::updateScans(const QList<SavedScan> &scans)
{
    auto chosenID = [this](const QComboBox *popUp) {
        const int index = popUp->currentIndex();
        return index >= 0 && index < m_scans.size() ? m_scans[index].id : QString();
    };
    auto choose = [this](QComboBox *popUp, const QString &id) {
        for (int i = 0; i < m_scans.size(); ++i) {
            if (!id.isEmpty() && m_scans[i].id == id) {
                popUp->setCurrentIndex(i);
                return;
            }
        }
    };
    const QString idA = chosenID(m_first);
    const QString idB = chosenID(m_second);
    m_scans = scans;
    // Names and notes may have changed; the inventories are read again.
    m_loaded.clear();
    fillPopUps();
    choose(m_first, idA);
    choose(m_second, idB);
    refresh();
}

void ComparisonWindow::exportPDF()
{
    int a = 0;
    int b = 0;
    if (!selection(a, b) || !m_comparison)
        return;
    // Built now, so that it shows the table as it is when the command is chosen.
    const ReportDocument report =
        ReportDocument::comparison(m_scans[a].title(), m_scans[b].title(), *m_comparison, m_results,
                                   m_changesOnly->isChecked());
    Sheet::askForSavePath(
        this, QStringLiteral("Export Comparison"),
        Locations::downloads() + QStringLiteral("/Quillet Comparison.pdf"),
        QStringLiteral("PDF documents (*.pdf)"), [this, report](const QString &path) {
            try {
                report.write(path);
            } catch (const Failure &error) {
                Sheet::alert(this, QMessageBox::Warning, error.description())->open();
            }
        });
}

void ComparisonWindow::exportSpreadsheet()
{
    int a = 0;
    int b = 0;
    if (!selection(a, b) || !m_comparison)
        return;
    // The rows as the table shows them when the command is chosen.
    const SavedScan scanA = m_scans[a];
    const SavedScan scanB = m_scans[b];
    const Inventory inventoryA = m_loaded.value(scanA.id + u'/' + scanA.file);
    const Inventory inventoryB = m_loaded.value(scanB.id + u'/' + scanB.file);
    const QList<ScanDifference> rows = m_results;
    const ScanComparison comparison = *m_comparison;
    const bool changesOnly = m_changesOnly->isChecked();
    Sheet::askForSavePath(
        this, QStringLiteral("Export Comparison"),
        Locations::downloads() + QStringLiteral("/Quillet Comparison.xlsx"),
        QStringLiteral("Spreadsheets (*.xlsx)"), [=, this](const QString &path) {
            try {
                SpreadsheetExport::comparison(path, scanA.title(), scanB.title(), inventoryA,
                                              inventoryB, comparison, rows, changesOnly);
            } catch (const Failure &error) {
                Sheet::alert(this, QMessageBox::Warning, error.description())->open();
            }
        });
}
