#include "scanning/RowBuilder.h"

#include "common/Collation.h"
#include "common/DecimalText.h"
#include "scanning/Column.h"
#include "scanning/Inventory.h"
#include "scanning/ScanError.h"

#include <QLocale>
#include <QTimeZone>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// The text of a property-list value, if it is text at all.
std::optional<QString> textValue(const QVariantMap &app, const QString &key)
{
    const auto found = app.constFind(key);
    if (found == app.cend() || found->typeId() != QMetaType::QString)
        return std::nullopt;
    return found->toString();
}

double secondsSince1970(const QDateTime &date)
{
    return double(date.toMSecsSinceEpoch()) / 1000.0;
}

QList<Column> columnsWhere(bool fromStore)
{
    QList<Column> columns;
    for (const Column &column : Column::all()) {
        if (column.isStoreColumn() == fromStore)
            columns.append(column);
    }
    return columns;
}

// A device column's text for one app.
QString deviceCell(const Column &column, const QVariantMap &app, const QString &identifier,
                   const QString &device, const QHash<QString, QString> &categories,
                   const QString &scanDate)
{
    switch (column.source) {
    case Column::Source::DeviceText: {
        // A blank first choice (an empty display name, an empty short version) gives way to the
        // next: a blank name would leave the app out of the table, the exports and the count.
        std::optional<QString> first;
        for (const QString &attribute : column.attributes) {
            std::optional<QString> text = textValue(app, attribute);
            if (Inventory::hasVisibleName(text))
                return *text;
            if (!first)
                first = std::move(text);
        }
        return first.value_or(QString());
    }
    case Column::Source::DeviceBytes: {
        double bytes = 0;
        for (const QString &attribute : column.attributes) {
            const std::optional<double> part = RowBuilder::size(app.value(attribute));
            if (!part)
                return QString();
            bytes += *part;
        }
        if (bytes > Row::largestMegabytes * 1e6)
            return QString();
        return RowBuilder::megabytes(bytes);
    }
    case Column::Source::Category:
        return categories.value(identifier);
    case Column::Source::ScanDate:
        return scanDate;
    case Column::Source::Device:
        return device;
    case Column::Source::DeviceFlag: {
        const QVariant flag = app.value(column.attributes.value(0));
        return flag.typeId() == QMetaType::Bool && flag.toBool() ? QStringLiteral("Yes")
                                                                 : QString();
    }
    case Column::Source::AppSource:
        return RowBuilder::appSource(
            textValue(app, column.attributes.value(0)).value_or(QString()),
            textValue(app, column.attributes.value(1)).value_or(QString()));
    default:
        return QString();
    }
}

// A store column's text for one row; `entry` is the store's metadata for it, if any.
QString storeCell(const Column &column, const Row &row, const CategoryEntry *entry,
                  const QString &country, const QDateTime &now)
{
    switch (column.source) {
    case Column::Source::StorePresence:
        return RowBuilder::storePresence(row, entry, country, now);
    case Column::Source::UpdateVerdict:
        return RowBuilder::updateAvailability(
            row.value(Column::version), entry ? entry->version : std::nullopt,
            entry ? std::optional<double>(entry->checked) : std::nullopt, now);
    case Column::Source::StoreVersion:
        return entry ? entry->version.value_or(QString()) : QString();
    case Column::Source::StoreChecked:
        return entry ? RowBuilder::storeCheckedText(entry->checked) : QString();
    case Column::Source::StoreArtwork:
        return entry ? entry->iconURL.value_or(QString()) : QString();
    default:
        return QString();
    }
}

} // namespace

QString RowBuilder::appSource(const QString &type, const QString &signer)
{
    if (type == u"System" || type == u"Internal")
        return QStringLiteral("System");
    // The signers' common names as devices report them; a developer's or company's own name
    // follows the colon.
    static const std::pair<QString, QString> signers[] = {
        {QStringLiteral("Apple iPhone OS Application Signing"), QStringLiteral("App Store")},
        {QStringLiteral("TestFlight Beta Distribution"), QStringLiteral("TestFlight")},
        {QStringLiteral("Apple Development:"), QStringLiteral("Developer")},
        {QStringLiteral("iPhone Developer:"), QStringLiteral("Developer")},
        {QStringLiteral("Apple Distribution:"), QStringLiteral("Enterprise or ad hoc")},
        {QStringLiteral("iPhone Distribution:"), QStringLiteral("Enterprise or ad hoc")},
    };
    for (const auto &[start, source] : signers) {
        if (start.endsWith(u':') ? signer.startsWith(start) : signer == start)
            return source;
    }
    return signer.trimmed();
}

std::optional<QString> RowBuilder::identifier(const QVariantMap &app)
{
    static const QString key = Column::deviceAttributes().constFirst();
    std::optional<QString> text = textValue(app, key);
    if (text && text->isEmpty())
        return std::nullopt;
    return text;
}

QList<Row> RowBuilder::makeRows(const QList<QVariantMap> &apps, const QString &device,
                                const QHash<QString, QString> &categories, const QDateTime &now)
{
    const QString scanDate = QLocale::c().toString(now.toTimeZone(QTimeZone::utc()), u"MM/dd/yyyy");
    const QList<Column> columns = columnsWhere(false);

    QList<Row> rows;
    rows.reserve(apps.size());
    for (const QVariantMap &app : apps) {
        const std::optional<QString> bundle = identifier(app);
        if (!bundle)
            throw ScanError(QStringLiteral("The device returned an app without an identifier. "
                                           "Previous inventory preserved."));
        Row row;
        row.reserve(Column::all().size());
        for (const Column &column : columns)
            row.append(column.name, deviceCell(column, app, *bundle, device, categories, scanDate));
        rows.append(std::move(row));
    }

    QStringList names;
    names.reserve(rows.size());
    for (const Row &row : rows)
        names.append(row.value(Column::appName));
    QList<Row> sorted;
    sorted.reserve(rows.size());
    for (qsizetype index : Collation::stableOrder(names))
        sorted.append(std::move(rows[index]));
    return sorted;
}

void RowBuilder::addStoreColumns(QList<Row> &rows, const CategoryEntry::Map &storeMetadata,
                                 const QString &country, const QDateTime &now)
{
    const QList<Column> columns = columnsWhere(true);
    for (Row &row : rows) {
        const auto found = storeMetadata.constFind(row.value(Column::bundleIdentifier));
        const CategoryEntry *entry = found != storeMetadata.cend() ? &*found : nullptr;
        for (const Column &column : columns)
            row.insert(column.name, storeCell(column, row, entry, country, now));
    }
}

QString RowBuilder::storePresence(const Row &row, const CategoryEntry *entry,
                                  const QString &country, const QDateTime &now)
{
    // Only the store's own apps can be missing from it; a blank source is an app of a scan
    // that did not record it, which may well be one.
    const QString source = row.value(Column::appSource);
    if (!entry || (!source.isEmpty() && source != u"App Store"))
        return Column::notChecked;
    // An answer from another store, older rules or an older day was not this scan's: its
    // lookup failed or did not come to the app, which never means the app is gone.
    const double age = secondsSince1970(now) - entry->checked;
    if (entry->countryCode() != country ||
        entry->metadataRevision != CategoryEntry::currentRevision ||
        !(age >= -300 && age <= CategoryEntry::freshForSeconds))
        return Column::notChecked;
    return entry->isListed() ? Column::inStore : Column::notInStore;
}

std::optional<double> RowBuilder::size(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double: {
        const double number = value.toDouble();
        if (std::isfinite(number) && number >= 0 && number <= Row::largestMegabytes * 1e6)
            return number;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

QString RowBuilder::updateAvailability(const QString &installed,
                                       const std::optional<QString> &store,
                                       std::optional<double> checked, const QDateTime &now)
{
    const QString unknown = QStringLiteral("Unknown");
    if (!store || !checked)
        return unknown;
    const double age = secondsSince1970(now) - *checked;
    // A check from the future beyond clock skew, or older than a day, says nothing about now.
    if (!(age >= -300 && age <= CategoryEntry::freshForSeconds))
        return unknown;
    std::optional<QList<qint64>> mine = versionComponents(installed);
    std::optional<QList<qint64>> theirs = versionComponents(*store);
    if (!mine || !theirs)
        return unknown;
    const qsizetype length = std::max(mine->size(), theirs->size());
    mine->resize(length, 0);
    theirs->resize(length, 0);
    return std::lexicographical_compare(mine->begin(), mine->end(), theirs->begin(), theirs->end())
        ? QStringLiteral("Yes")
        : QStringLiteral("No");
}

std::optional<QList<qint64>> RowBuilder::versionComponents(QStringView version)
{
    QList<qint64> components;
    for (QStringView piece : version.split(u'.')) {
        if (piece.isEmpty())
            return std::nullopt;
        const QByteArray digits = piece.toLatin1();
        for (char c : digits) {
            if (c < '0' || c > '9')
                return std::nullopt;
        }
        // Latin-1 conversion turns anything outside it into '?', so only real digits get here.
        qint64 value = 0;
        const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (result.ec != std::errc() || result.ptr != digits.data() + digits.size())
            return std::nullopt;
        components.append(value);
    }
    return components;
}

QString RowBuilder::megabytes(std::optional<double> bytes)
{
    return bytes ? DecimalText::twoPlaces(*bytes / 1000000.0) : QString();
}

QString RowBuilder::storeCheckedText(double seconds)
{
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (!text.contains(u'.'))
        text += QStringLiteral(".0");
    return text;
}
