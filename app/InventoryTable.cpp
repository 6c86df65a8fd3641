#include "app/InventoryTable.h"

#include "app/InventoryHeaderView.h"
#include "app/InventoryTableModel.h"
#include "scanning/Column.h"
#include "widgets/CellDelegate.h"

#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPointer>
#include <QSettings>
#include <QTableView>

#include <cmath>

namespace {

const QString keyFontSize = QStringLiteral("inventoryFontSize");
const QString keyColumnOrder = QStringLiteral("inventoryColumnOrder");
const QString keyHiddenColumns = QStringLiteral("inventoryHiddenColumns");

} // namespace

InventoryTable::InventoryTable(QObject *parent)
    : QObject(parent), m_table(new QTableView), m_model(new InventoryTableModel(this))
{
    m_table->setObjectName(QStringLiteral("inventory"));
    m_table->setAccessibleName(QStringLiteral("Apps"));
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
    m_table->setIconSize(QSize(InventoryTableModel::iconSide, InventoryTableModel::iconSide));
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_header->setMinimumSectionSize(75);
    m_header->setStretchLastSection(false);
    m_header->setSortIndicator(-1, Qt::AscendingOrder);
    m_table->setSortingEnabled(true);

    QPointer<InventoryTable> self(this);
    m_header->makeMenu = [self](int column) {
        return self ? self->columnMenu(column, self->m_table->window()) : nullptr;
    };
    connect(m_model, &InventoryTableModel::sortRequested, this,
            [this](const QString &column, Qt::SortOrder order) {
                // Rebuilding the columns moves the indicator; the user's choice stays, so that
                // it applies again once its column is back.
                if (m_restoringColumns)
                    return;
                m_sortColumn = column;
                m_sortOrder = order;
                Q_EMIT sortChanged();
            });
    connect(m_header, &QHeaderView::sectionMoved, this, &InventoryTable::saveColumnOrder);
    // Tab moves on to the next control, as in any list; the arrow keys move inside.
    m_table->setTabKeyNavigation(false);
    // A double-click, or Return on the current row, as the platform activates an item.
    connect(m_table, &QTableView::activated, this,
            [this](const QModelIndex &index) { Q_EMIT rowActivated(index.row()); });

    const double stored = QSettings().value(keyFontSize).toDouble();
    setFontSize(stored > 0 ? std::clamp(stored, smallestFontSize, largestFontSize) : 12.0);
}

InventoryTable::~InventoryTable()
{
    if (m_table && !m_table->parent())
        delete m_table;
}

const QStringList &InventoryTable::columns() const
{
    return m_model->columns();
}

void InventoryTable::setColumns(const QStringList &fields)
{
    const QStringList &current = m_model->columns();
    if (QSet<QString>(current.begin(), current.end()) ==
        QSet<QString>(fields.begin(), fields.end()))
        return;
    m_restoringColumns = true;

    // Sets, not lists: an inventory may name a hundred thousand columns.
    const QSettings settings;
    const QSet<QString> present(fields.begin(), fields.end());
    QSet<QString> placed;
    QStringList order;
    for (const QString &name : settings.value(keyColumnOrder).toStringList() + fields) {
        if (present.contains(name) && !placed.contains(name)) {
            placed.insert(name);
            order.append(name);
        }
    }
    const QStringList hiddenList = settings.value(keyHiddenColumns).toStringList();
    const QSet<QString> hidden(hiddenList.begin(), hiddenList.end());

    // Each change to a section makes the header place every section again: only the sections
    // that differ from the default are touched, or a hundred thousand columns take minutes.
    m_header->setDefaultSectionSize(Column().width);
    m_model->setColumns(order);
    for (int logical = 0; logical < order.size(); ++logical) {
        // A fresh set of columns starts in the order just built.
        if (const int visual = m_header->visualIndex(logical); visual != logical)
            m_header->moveSection(visual, logical);
        if (const int width = Column::described(order[logical]).width;
            m_header->sectionSize(logical) != width)
            m_header->resizeSection(logical, width);
        if (const bool hide = hidden.contains(order[logical]);
            m_header->isSectionHidden(logical) != hide)
            m_header->setSectionHidden(logical, hide);
    }
    if (!order.isEmpty() && m_header->hiddenSectionCount() == order.size())
        m_header->showSection(m_header->logicalIndex(0));
    m_header->setSortIndicator(int(order.indexOf(m_sortColumn)), m_sortOrder);
    m_restoringColumns = false;
}

void InventoryTable::setRows(const AppList *apps, const QList<qsizetype> &visible)
{
    m_model->setRows(apps, visible);
}

QString InventoryTable::sortColumn() const
{
    return m_model->columns().contains(m_sortColumn) ? m_sortColumn : QString();
}

int InventoryTable::chosenRow() const
{
    const QModelIndex current = m_table->currentIndex();
    const QModelIndexList selected = m_table->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return -1;
    return selected.contains(current.siblingAtColumn(0)) ? current.row() : selected.first().row();
}

int InventoryTable::shownCount() const
{
    return m_header->count() - m_header->hiddenSectionCount();
}

void InventoryTable::saveColumnOrder()
{
    if (m_restoringColumns)
        return;
    QStringList order;
    for (int visual = 0; visual < m_header->count(); ++visual)
        order.append(m_model->columns().at(m_header->logicalIndex(visual)));
    QSettings().setValue(keyColumnOrder, order);
}

void InventoryTable::saveHiddenColumns()
{
    QStringList hidden;
    for (int visual = 0; visual < m_header->count(); ++visual) {
        const int logical = m_header->logicalIndex(visual);
        if (m_header->isSectionHidden(logical))
            hidden.append(m_model->columns().at(logical));
    }
    QSettings().setValue(keyHiddenColumns, hidden);
}

QMenu *InventoryTable::columnMenu(int column, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    const QStringList &columns = m_model->columns();
    if (column >= 0 && column < columns.size()) {
        const QString name = columns.at(column);
        QAction *hide = menu->addAction(QStringLiteral("Hide \u201C%1\u201D").arg(name));
        hide->setEnabled(shownCount() > 1);
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
        item->setEnabled(shownCount() >= 2 || !shown);
        connect(item, &QAction::triggered, this, [this, name] { toggleColumn(name); });
    }
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Show All Columns")), &QAction::triggered, this,
            &InventoryTable::showAllColumns);
    return menu;
}

void InventoryTable::toggleColumn(const QString &column)
{
    const int logical = int(m_model->columns().indexOf(column));
    if (logical < 0)
        return;
    const bool shown = !m_header->isSectionHidden(logical);
    // The last column shown stays.
    if (shown && shownCount() < 2)
        return;
    m_header->setSectionHidden(logical, shown);
    saveHiddenColumns();
}

void InventoryTable::showAllColumns()
{
    for (int logical = 0; logical < m_header->count(); ++logical)
        m_header->showSection(logical);
    saveHiddenColumns();
}

void InventoryTable::decreaseFont()
{
    setFontSize(std::max(m_fontSize - 1, smallestFontSize));
}

void InventoryTable::increaseFont()
{
    setFontSize(std::min(m_fontSize + 1, largestFontSize));
}

void InventoryTable::setFontSize(double size)
{
    m_fontSize = size;
    QSettings().setValue(keyFontSize, size);
    const int height = std::max(int(std::ceil(size * 1.5)) + 10, 29);
    m_table->verticalHeader()->setMinimumSectionSize(std::min(height, 29));
    m_table->verticalHeader()->setDefaultSectionSize(height);
    m_model->setFontSize(size);
    Q_EMIT fontSizeChanged(size);
}
