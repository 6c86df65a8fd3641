#include "app/ScanHistory.h"

#include "app/MainWindow.h"
#include "app/ShownInventory.h"
#include "app/SnapshotEditing.h"
#include "common/Failure.h"
#include "common/HostWording.h"
#include "common/PlainText.h"
#include "history/ComparisonWindow.h"
#include "history/HistoryStore.h"
#include "widgets/Sheet.h"

#include <QComboBox>
#include <QLocale>
#include <QPushButton>

ScanHistory::ScanHistory(MainWindow *window, ShownInventory *shown, std::function<bool()> busy,
                         QObject *parent)
    : QObject(parent),
      m_window(window),
      m_shown(shown),
      m_busy(std::move(busy)),
      m_snapshots(new SnapshotEditing(this))
{
    m_snapshots->setWindow(window);
    connect(m_snapshots, &SnapshotEditing::saved, this, &ScanHistory::snapshotSaved);
    connect(window->historyPicker(), &QComboBox::activated, this, &ScanHistory::select);
}

ScanHistory::~ScanHistory() = default;

QList<WindowCommand> ScanHistory::commands()
{
    using Group = WindowCommand::Group;
    return {
        {.group = Group::Inspect,
         .title = QStringLiteral("Snapshot Name && Notes\u2026"),
         .run = [this] { editSnapshot(); },
         .enabled = [this] { return !m_busy() && showsSavedScan(); },
         .buttons = {m_window->editSnapshotButton()}},
        {.group = Group::Inspect,
         .title = QStringLiteral("Compare Scans\u2026"),
         .run = [this] { compare(); },
         .enabled = [this] { return !m_busy() && m_savedScans.size() >= 2; },
         .buttons = {m_window->compareButton()}},
    };
}

bool ScanHistory::canPick() const
{
    return !m_busy() && !m_savedScans.isEmpty();
}

bool ScanHistory::showsSavedScan() const
{
    const std::optional<QString> &id = m_shown->current().scanID;
    return id && std::any_of(m_savedScans.begin(), m_savedScans.end(), [&](const SavedScan &scan) {
               return scan.id == *id;
           });
}

void ScanHistory::refresh()
{
    HistoryStore::Listing listing;
    try {
        listing = HistoryStore().list();
    } catch (const Failure &error) {
        m_window->setStatus(QStringLiteral("Unable to read scan history: ") + error.description());
        return;
    }
    m_savedScans = listing.scans;
    QComboBox *picker = m_window->historyPicker();
    picker->clear();
    picker->addItem(QStringLiteral("Current inventory"));
    const std::optional<QString> &shownID = m_shown->current().scanID;
    int selected = 0;
    for (int i = 0; i < m_savedScans.size(); ++i) {
        picker->addItem(m_savedScans[i].title());
        if (selected == 0 && shownID && m_savedScans[i].id == *shownID)
            selected = i + 1;
    }
    picker->setCurrentIndex(selected);
    m_shownEntry = selected;
    Q_EMIT changed();
    if (!listing.unreadable.isEmpty())
        m_window->setStatus(listing.unreadableText());
    if (!listing.notesProblem.isEmpty())
        m_window->setStatus(listing.notesProblem);
}

void ScanHistory::select()
{
    if (m_busy())
        return;
    const int index = m_window->historyPicker()->currentIndex();
    if (index < 1 || index > m_savedScans.size()) {
        display(m_shown->latest());
    } else {
        // The listing holds no rows; the chosen scan's are read now.
        try {
            display(HistoryStore().inventory(m_savedScans[index - 1]));
        } catch (const Failure &error) {
            // The table still shows the scan before; so does the picker.
            m_window->historyPicker()->setCurrentIndex(m_shownEntry);
            m_window->setStatus(error.description());
            return;
        }
    }
    m_shownEntry = index;
}

void ScanHistory::display(const Inventory &inventory)
{
    m_shown->showScan(inventory);
    const Inventory &shown = m_shown->current();
    const QString date = shown.scannedAt
        ? QLocale::system().toString(shown.scannedAt->toLocalTime().date(), QLocale::ShortFormat)
        : QStringLiteral("scan date unknown");
    m_window->setStatus(
        QStringLiteral("Viewing %1 \u00B7 %2 \u00B7 %3 apps")
            .arg(PlainText::isolated(shown.deviceName.value_or(QStringLiteral("unnamed device"))),
                 date, QString::number(m_shown->apps().size())));
}

void ScanHistory::compare()
{
    if (m_busy())
        return;
    refresh();
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

void ScanHistory::editSnapshot()
{
    if (m_busy() || !showsSavedScan() || Sheet::isShowing(m_window))
        return;
    m_snapshots->edit(m_shown->current());
}

void ScanHistory::snapshotSaved()
{
    m_shown->applyAnnotations();
    refresh();
    if (m_comparisonWindow)
        m_comparisonWindow->updateScans(m_savedScans);
    m_window->setStatus(
        QStringLiteral("Snapshot name and notes saved on %1.").arg(HostWording::thisComputer()));
}
