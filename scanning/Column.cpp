#include "scanning/Column.h"

namespace {

using Source = Column::Source;
using Kind = Column::Kind;

} // namespace

const QList<Column> &Column::all()
{
    const auto text = [](const char *attribute) { return QString::fromLatin1(attribute); };
    static const QList<Column> columns = {
        {.name = appName,
         .attributes = {text("CFBundleDisplayName"), text("CFBundleName")},
         .width = 235},
        {.name = category, .source = Source::Category, .width = 160},
        {.name = bundleIdentifier, .attributes = {text("CFBundleIdentifier")}, .width = 270},
        {.name = version,
         .attributes = {text("CFBundleShortVersionString"), text("CFBundleVersion")}},
        {.name = appType, .attributes = {text("ApplicationType")}},
        {.name = appMB,
         .source = Source::DeviceBytes,
         .attributes = {text("StaticDiskUsage")},
         .kind = Kind::Megabytes},
        {.name = dataMB,
         .source = Source::DeviceBytes,
         .attributes = {text("DynamicDiskUsage")},
         .kind = Kind::Megabytes},
        {.name = totalMB,
         .source = Source::DeviceBytes,
         .attributes = {text("StaticDiskUsage"), text("DynamicDiskUsage")},
         .kind = Kind::Megabytes},
        {.name = scanDate, .source = Source::ScanDate},
        {.name = deviceIdentifier, .source = Source::Device, .width = 240},
        // iOS keeps an offloaded app's data and icon but not its code.
        {.name = offloaded,
         .source = Source::DeviceFlag,
         .attributes = {text("IsDemotedApp")},
         .width = 90},
        {.name = appSource,
         .source = Source::AppSource,
         .attributes = {text("ApplicationType"), text("SignerIdentity")},
         .width = 160},
        {.name = minimumOS, .attributes = {text("MinimumOSVersion")}, .kind = Kind::Version},
        {.name = storePresence, .source = Source::StorePresence, .width = 110},
        {.name = updateAvailable, .source = Source::UpdateVerdict, .listed = false},
        {.name = storeVersion, .source = Source::StoreVersion, .listed = false},
        {.name = storeChecked,
         .source = Source::StoreChecked,
         .kind = Kind::Moment,
         .listed = false},
        {.name = artworkURL, .source = Source::StoreArtwork, .listed = false},
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
        if (column.listed)
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
