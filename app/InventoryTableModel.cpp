#include "app/InventoryTableModel.h"

#include "common/Locations.h"
#include "common/PlainText.h"
#include "features/StoreArtwork.h"
#include "scanning/Column.h"
#include "scanning/DeviceIcons.h"
#include "scanning/Inventory.h"
#include "scanning/RowFilter.h"
#include "widgets/TableCopy.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPainter>
#include <QPalette>
#include <QStyle>

InventoryTableModel::InventoryTableModel(QObject *parent) : QAbstractTableModel(parent)
{
    setFontSize(12);
}

void InventoryTableModel::setColumns(const QStringList &columns)
{
    beginResetModel();
    m_columns = columns;
    m_numeric.clear();
    for (const QString &column : columns)
        m_numeric.append(Column::described(column).isNumeric());
    endResetModel();
}

void InventoryTableModel::setRows(const AppList *apps, const QList<qsizetype> &visible)
{
    beginResetModel();
    // Another scan may have brought icons: they are read again for it, not for a new filter.
    if (!apps || !m_apps || apps != m_apps || apps->rows().constData() != m_iconRows)
        m_icons.clear();
    m_apps = apps;
    m_iconRows = apps ? apps->rows().constData() : nullptr;
    m_visible = visible;
    endResetModel();
}

void InventoryTableModel::setFontSize(double size)
{
    m_font = QApplication::font();
    m_font.setPixelSize(qRound(size));
    m_nameFont = m_font;
    m_nameFont.setWeight(QFont::Medium);
    m_sizeFont = m_font;
    // Figures of equal width keep a column of sizes aligned on the decimal point.
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    m_sizeFont.setFeature(QFont::Tag("tnum"), 1);
#endif
    if (!m_columns.isEmpty())
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::FontRole});
}

const Row &InventoryTableModel::row(int row) const
{
    return m_apps->rows().at(m_visible.at(row));
}

int InventoryTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_visible.size());
}

int InventoryTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant InventoryTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_visible.size() || index.column() >= m_columns.size())
        return {};
    const QString &column = m_columns.at(index.column());
    const bool numeric = m_numeric.at(index.column());
    switch (role) {
    case Qt::DisplayRole: {
        const QString text = row(index.row()).value(column);
        return text.isEmpty() ? QStringLiteral("\u2014") : PlainText::oneLine(text);
    }
    case Qt::ToolTipRole: {
        const Row &shown = row(index.row());
        QStringList lines = notes(shown);
        if (const QString text = shown.value(column); !text.isEmpty())
            lines.prepend(text);
        return PlainText::toolTip(lines.join(u'\n'));
    }
    case Qt::DecorationRole:
        if (column == Column::appName)
            return icon(row(index.row()));
        // Out of the store and offloaded: the one state in which an app is lost for good.
        if (column == Column::storePresence &&
            RowFilter::named(RowFilter::cannotBeRestored)->matches(row(index.row())))
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        return {};
    case TableCopy::textRole:
        return row(index.row()).value(column);
    case Qt::FontRole:
        return column == Column::appName ? m_nameFont : numeric ? m_sizeFont : m_font;
    case Qt::ForegroundRole:
        if (row(index.row()).value(column).isEmpty()) {
            QColor faint = QApplication::palette().color(QPalette::Text);
            faint.setAlphaF(0.3);
            return faint;
        }
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignVCenter | (numeric ? Qt::AlignRight : Qt::AlignLeft));
    default:
        return {};
    }
}

QStringList InventoryTableModel::notes(const Row &row)
{
    QStringList notes;
    if (RowFilter::named(RowFilter::cannotBeRestored)->matches(row))
        notes.append(QStringLiteral("Offloaded and no longer in the store: it cannot be "
                                    "downloaded again."));
    if (const QString store = row.value(Column::storeVersion); !store.isEmpty())
        notes.append(QStringLiteral("Store version: ") + PlainText::oneLine(store) +
                     (RowFilter::named(RowFilter::updatesAvailable)->matches(row)
                          ? QStringLiteral(" (update available)")
                          : QString()));
    return notes;
}

QIcon InventoryTableModel::icon(const Row &row) const
{
    const QString bundle = row.value(Column::bundleIdentifier);
    const QString version = row.value(Column::version);
    const QString artwork = row.value(Column::artworkURL);
    const QString key = bundle + u'\n' + version + u'\n' + artwork;
    if (const auto found = m_icons.constFind(key); found != m_icons.cend())
        return *found;
    const QImage image = artwork.isEmpty()
        ? DeviceIcons::cached(Locations::storage(), bundle, version)
        : StoreArtwork::cached(artwork);
    // Drawn at twice the size for dense screens; the view scales it down elsewhere.
    QPixmap pixmap(iconSide * 2, iconSide * 2);
    pixmap.fill(Qt::transparent);
    if (!image.isNull()) {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QImage scaled =
            image.scaled(pixmap.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        painter.drawImage((pixmap.width() - scaled.width()) / 2,
                          (pixmap.height() - scaled.height()) / 2, scaled);
    }
    const QIcon icon(pixmap);
    m_icons.insert(key, icon);
    return icon;
}

QVariant InventoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_columns.at(section);
    if (role == Qt::TextAlignmentRole && m_numeric.at(section))
        return QVariant::fromValue(Qt::AlignVCenter | Qt::AlignRight);
    return {};
}

void InventoryTableModel::sort(int column, Qt::SortOrder order)
{
    Q_EMIT sortRequested(
        column >= 0 && column < m_columns.size() ? m_columns.at(column) : QString(), order);
}
