#include "app/ShownInventory.h"

#include "app/InventoryTable.h"
#include "app/MainWindow.h"
#include "common/StoreCountry.h"
#include "history/DeviceReview.h"
#include "history/HistoryStore.h"
#include "scanning/device/DeviceDescription.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

ShownInventory::ShownInventory(MainWindow *window, InventoryTable *table, QObject *parent)
    : QObject(parent), m_window(window), m_table(table)
{
    connect(window->search(), &QLineEdit::textChanged, this, &ShownInventory::applyFilter);
    connect(window->category(), &QComboBox::activated, this, &ShownInventory::applyFilter);
    connect(window->showChoice(), &QComboBox::currentIndexChanged, this,
            &ShownInventory::applyFilter);
    connect(table, &InventoryTable::sortChanged, this, &ShownInventory::applyFilter);
}

void ShownInventory::showLatest(const Inventory &inventory)
{
    m_latest = inventory;
    m_current = inventory;
    show(inventory);
}

void ShownInventory::showScan(const Inventory &inventory)
{
    m_current = inventory.withStoreColumns();
    show(m_current);
}

void ShownInventory::applyAnnotations()
{
    const HistoryStore history;
    m_current = history.applyingAnnotations(m_current);
    m_latest = history.applyingAnnotations(m_latest);
}

void ShownInventory::show(const Inventory &shown)
{
    m_apps = AppList(shown.namedRows());
    m_window->setDeviceLine(DeviceDescription::line(shown.deviceFacts()),
                            DeviceReview(shown).warningsCount());
    m_table->setColumns(shown.fields);
    showStore();
    configureCategories();
    applyFilter();
}

void ShownInventory::showStore()
{
    const bool scanned = m_current.scannedAt || !m_current.rows.isEmpty();
    const RowFilter *updates = RowFilter::named(RowFilter::updatesAvailable);
    const auto updated = std::count_if(m_apps.rows().cbegin(), m_apps.rows().cend(),
                                       [updates](const Row &row) { return updates->matches(row); });
    m_window->setStoreName(scanned ? m_current.storeName() : StoreCountry::storeName(), updated);
}

void ShownInventory::configureCategories()
{
    QComboBox *category = m_window->category();
    const QString selected = category->currentText();
    const QStringList choices = m_apps.categoryChoices();
    category->clear();
    category->addItems(choices);
    category->setCurrentIndex(std::max(0, int(choices.indexOf(selected))));
}

QString ShownInventory::categoryChosen() const
{
    const QComboBox *category = m_window->category();
    return category->currentIndex() >= 0 ? category->currentText() : AppList::allCategories;
}

void ShownInventory::applyFilter()
{
    m_visible = m_apps.visible(m_window->search()->text(), categoryChosen(), m_table->sortColumn(),
                               m_table->sortOrder(), filterChosen());
    m_table->setRows(&m_apps, m_visible);
    m_window->count()->setText(AppList::countText(m_visible.size(), m_apps.rows().size()));
    Q_EMIT changed();
}

const RowFilter *ShownInventory::filterChosen() const
{
    return RowFilter::named(m_window->showChoice()->currentText());
}

QList<Row> ShownInventory::visibleRows() const
{
    QList<Row> rows;
    rows.reserve(m_visible.size());
    for (qsizetype index : m_visible)
        rows.append(m_apps.rows().at(index));
    return rows;
}

std::optional<Row> ShownInventory::visibleRow(int row) const
{
    if (row < 0 || row >= m_visible.size())
        return std::nullopt;
    return m_apps.rows().at(m_visible.at(row));
}

QString ShownInventory::filterDescription() const
{
    return AppList::filterText(categoryChosen(), {m_window->showChoice()->currentText()},
                               m_window->search()->text());
}
