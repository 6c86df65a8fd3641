#include "scanning/device/DeviceDescription.h"

#include "common/DecimalText.h"
#include "common/PlainText.h"
#include "scanning/DeviceModels.h"

#include <QMap>

namespace {

const QString separator = QStringLiteral(" \u00B7 ");
const QString arrow = QStringLiteral(" \u2192 ");

// Device text on one line, whatever it holds.
QString shown(const std::optional<QString> &text)
{
    return text ? PlainText::oneLine(*text) : QString();
}

QString systemName(const DeviceFacts &facts)
{
    const int major = shown(facts.productVersion).section(u'.', 0, 0).toInt();
    return facts.deviceClass == u"iPad" && major >= 13 ? QStringLiteral("iPadOS")
                                                       : QStringLiteral("iOS");
}

QString percent(qint64 value)
{
    return QString::number(value) + u'%';
}

} // namespace

QString DeviceDescription::gigabytes(qint64 bytes)
{
    return DecimalText::onePlace(double(bytes) / 1e9) + QStringLiteral(" GB");
}

QString DeviceDescription::model(const DeviceFacts &facts)
{
    return facts.productType ? DeviceModels::shownName(shown(facts.productType)) : QString();
}

QString DeviceDescription::system(const DeviceFacts &facts)
{
    return facts.productVersion ? systemName(facts) + u' ' + shown(facts.productVersion)
                                : QString();
}

QString DeviceDescription::storage(const DeviceFacts &facts)
{
    QStringList parts;
    if (facts.totalDiskCapacity)
        parts.append(gigabytes(*facts.totalDiskCapacity));
    if (facts.totalDataAvailable)
        parts.append(gigabytes(*facts.totalDataAvailable) + QStringLiteral(" free"));
    return parts.join(QStringLiteral(", "));
}

QString DeviceDescription::battery(const DeviceFacts &facts)
{
    if (!facts.batteryLevel)
        return QString();
    return percent(*facts.batteryLevel) +
        (facts.batteryCharging.value_or(false) ? QStringLiteral(", charging") : QString());
}

QString DeviceDescription::line(const DeviceFacts &facts)
{
    QStringList parts{model(facts), system(facts), storage(facts)};
    if (const QString level = battery(facts); !level.isEmpty())
        parts.append(QStringLiteral("battery ") + level);
    parts.removeAll(QString());
    return parts.join(separator);
}

QList<std::pair<QString, QString>> DeviceDescription::details(const DeviceFacts &facts)
{
    QString modelText = model(facts);
    // The product type beside a name, which it identifies exactly.
    if (facts.productType && DeviceModels::name(*facts.productType))
        modelText += QStringLiteral(" (%1)").arg(shown(facts.productType));
    QString systemText = system(facts);
    if (!systemText.isEmpty() && facts.buildVersion)
        systemText += QStringLiteral(" (%1)").arg(shown(facts.buildVersion));
    QList<std::pair<QString, QString>> result;
    for (const auto &[caption, text] :
         {std::pair(QStringLiteral("Model"), modelText),
          std::pair(QStringLiteral("System"), systemText),
          std::pair(QStringLiteral("Storage"), storage(facts)),
          std::pair(QStringLiteral("Battery"), battery(facts)),
          std::pair(QStringLiteral("Serial number"), shown(facts.serialNumber))}) {
        if (!text.isEmpty())
            result.append({caption, text});
    }
    return result;
}

QStringList DeviceDescription::changes(const DeviceFacts &a, const DeviceFacts &b)
{
    QStringList result;
    auto compare = [&result](const QString &label, const QString &before, const QString &after) {
        if (!before.isEmpty() && !after.isEmpty() && before != after)
            result.append(label + before + arrow + after);
    };
    compare(QStringLiteral("model "), model(a), model(b));
    if (a.productVersion && b.productVersion && systemName(a) == systemName(b))
        compare(systemName(a) + u' ', shown(a.productVersion), shown(b.productVersion));
    else
        compare(QString(), system(a), system(b));
    auto free = [](const DeviceFacts &facts) {
        return facts.totalDataAvailable ? gigabytes(*facts.totalDataAvailable) : QString();
    };
    compare(QStringLiteral("free space "), free(a), free(b));
    auto level = [](const DeviceFacts &facts) {
        return facts.batteryLevel ? percent(*facts.batteryLevel) : QString();
    };
    compare(QStringLiteral("battery "), level(a), level(b));
    return result + DeviceFacts::changes(a, b);
}

QString DeviceDescription::storageBreakdown(const DeviceFacts &facts,
                                            std::optional<qint64> appBytes)
{
    if (!facts.totalDataCapacity || !facts.totalDataAvailable)
        return {};
    const qint64 used = std::max<qint64>(0, *facts.totalDataCapacity - *facts.totalDataAvailable);
    QStringList parts;
    if (appBytes) {
        const qint64 apps = std::min(*appBytes, used);
        parts << QStringLiteral("Apps ") + gigabytes(apps)
              << QStringLiteral("Other ") + gigabytes(used - apps);
    } else {
        parts << QStringLiteral("Used ") + gigabytes(used);
    }
    parts << QStringLiteral("Free ") + gigabytes(*facts.totalDataAvailable);
    return parts.join(separator);
}

QList<DeviceDescription::Section> DeviceDescription::sheet(const DeviceFacts &facts,
                                                           std::optional<qint64> appBytes)
{
    using Group = DeviceFacts::Group;
    const QList<std::pair<Group, QString>> groups{
        {Group::Device, QStringLiteral("Device")},
        {Group::Storage, QStringLiteral("Storage")},
        {Group::Battery, QStringLiteral("Battery")},
        {Group::Security, QStringLiteral("Security & management")}};
    // What reads together heads its group.
    QMap<Group, QList<std::pair<QString, QString>>> lines;
    for (const auto &[caption, text] : details(facts)) {
        const Group group = caption == u"Storage" ? Group::Storage
            : caption == u"Battery"               ? Group::Battery
                                                  : Group::Device;
        const QString shownCaption = group == Group::Battery ? QStringLiteral("Charge")
            : group == Group::Storage                        ? QStringLiteral("Capacity")
                                                             : caption;
        lines[group].append({shownCaption, text});
    }
    if (const QString split = storageBreakdown(facts, appBytes); !split.isEmpty())
        lines[Group::Storage].append({QStringLiteral("Used"), split});
    for (const DeviceFacts::Reading &reading : facts.readings())
        lines[reading.group].append({reading.caption, reading.text});
    QList<Section> result;
    for (const auto &[group, title] : groups) {
        if (!lines.value(group).isEmpty())
            result.append({title, lines.value(group)});
    }
    return result;
}
