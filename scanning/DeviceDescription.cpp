#include "scanning/DeviceDescription.h"

#include "common/DecimalText.h"
#include "common/PlainText.h"
#include "scanning/DeviceModels.h"

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
    return result;
}
