#include "scanning/Column.h"

#include <algorithm>

namespace {

using Source = Column::Source;
using Kind = Column::Kind;
using Details = Column::Details;

} // namespace

const QList<Column> &Column::all()
{
    const auto text = [](const char *attribute) { return QString::fromLatin1(attribute); };
    static const QList<Column> columns = {
        {.name = appName,
         .attributes = {text("CFBundleDisplayName"), text("CFBundleName")},
         .width = 235,
         .details = Details::Title},
        {.name = category,
         .source = Source::Category,
         .width = 160,
         .details = Details::Information,
         .detailsOnRight = true,
         .detailsLine = 5},
        {.name = bundleIdentifier,
         .attributes = {text("CFBundleIdentifier")},
         .width = 270,
         .details = Details::Identifier,
         .detailsLine = 7},
        {.name = version,
         .attributes = {text("CFBundleShortVersionString"), text("CFBundleVersion")},
         .details = Details::Information,
         .detailsLine = 1},
        {.name = appType,
         .attributes = {text("ApplicationType")},
         .details = Details::Information,
         .detailsOnRight = true,
         .detailsLine = 6},
        {.name = appMB,
         .source = Source::DeviceBytes,
         .attributes = {text("StaticDiskUsage")},
         .kind = Kind::Megabytes,
         .details = Details::Size,
         .detailsCaption = text("App"),
         .detailsLine = 8},
        {.name = dataMB,
         .source = Source::DeviceBytes,
         .attributes = {text("DynamicDiskUsage")},
         .kind = Kind::Megabytes,
         .details = Details::Size,
         .detailsCaption = text("Data"),
         .detailsLine = 9},
        {.name = totalMB,
         .source = Source::DeviceBytes,
         .attributes = {text("StaticDiskUsage"), text("DynamicDiskUsage")},
         .kind = Kind::Megabytes,
         .details = Details::Size,
         .detailsCaption = text("Total"),
         .detailsLine = 10},
        {.name = scanDate,
         .source = Source::ScanDate,
         .details = Details::DeviceAndScan,
         .detailsLine = 11},
        {.name = deviceIdentifier,
         .source = Source::Device,
         .width = 240,
         .details = Details::DeviceAndScan,
         .detailsLine = 12},
        {.name = updateAvailable,
         .source = Source::UpdateVerdict,
         .details = Details::Information,
         .detailsOnRight = true,
         .detailsLine = 2},
        {.name = storeVersion,
         .source = Source::StoreVersion,
         .details = Details::Information,
         .detailsLine = 3},
        {.name = storeChecked,
         .source = Source::StoreChecked,
         .kind = Kind::Moment,
         .details = Details::Information,
         .detailsLine = 4},
        {.name = artworkURL, .source = Source::StoreArtwork},
    };
    return columns;
}

Column Column::described(QStringView name)
{
    for (const Column &column : all()) {
        if (column.name == name)
            return column;
    }
    Column other;
    other.name = name.toString();
    if (name.endsWith(u" MB"))
        other.kind = Kind::Megabytes;
    return other;
}

QStringList Column::scanFields()
{
    QStringList fields;
    for (const Column &column : all()) {
        if (!column.isStoreColumn())
            fields.append(column.name);
    }
    return fields;
}

QStringList Column::deviceAttributes()
{
    QStringList attributes = described(bundleIdentifier).attributes;
    for (const Column &column : all()) {
        for (const QString &attribute : column.attributes) {
            if (!attributes.contains(attribute))
                attributes.append(attribute);
        }
    }
    return attributes;
}

QList<Column> Column::inDetails()
{
    QList<Column> shown;
    for (const Column &column : all()) {
        if (column.details != Details::None)
            shown.append(column);
    }
    std::stable_sort(shown.begin(), shown.end(), [](const Column &a, const Column &b) {
        return a.detailsLine < b.detailsLine;
    });
    return shown;
}
