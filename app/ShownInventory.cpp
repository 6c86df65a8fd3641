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
    m_window->setStoreName(scanned ? m_current.storeName() : StoreCountry::storeName());
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
                               m_table->sortOrder());
    m_table->setRows(&m_apps, m_visible);
    m_window->count()->setText(AppList::countText(m_visible.size(), m_apps.rows().size()));
    Q_EMIT changed();
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
    QString filter = QStringLiteral("Category: ") + categoryChosen();
    if (const QString search = m_window->search()->text(); !search.isEmpty())
        filter += QStringLiteral(" \u00B7 Search: ") + search;
    return filter;
}
