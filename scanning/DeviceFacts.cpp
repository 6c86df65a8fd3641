#include "scanning/DeviceFacts.h"

#include <QJsonDocument>

#include <variant>

namespace {

using Text = std::optional<QString> DeviceFacts::*;
using Number = std::optional<qint64> DeviceFacts::*;
using Flag = std::optional<bool> DeviceFacts::*;

const QString diskUsage = QStringLiteral("com.apple.disk_usage");
const QString battery = QStringLiteral("com.apple.mobile.battery");

// Each fact once: its lockdown name (also its JSON key), its domain, where it goes and the
// largest value that makes sense.
struct Fact {
    const char *key;
    const QString &domain;
    std::variant<Text, Number, Flag> member;
    qint64 largest = 0;
    // The name some iOS versions give it.
    const char *alias = nullptr;
};

const QString defaultDomain;
// Far beyond any device; a larger number is damage.
constexpr qint64 largestBytes = qint64(1) << 52;
constexpr qsizetype longestText = 200;

const Fact facts[] = {
    {"ProductType", defaultDomain, &DeviceFacts::productType},
    {"ProductVersion", defaultDomain, &DeviceFacts::productVersion},
    {"BuildVersion", defaultDomain, &DeviceFacts::buildVersion},
    {"DeviceClass", defaultDomain, &DeviceFacts::deviceClass},
    {"SerialNumber", defaultDomain, &DeviceFacts::serialNumber},
    {"TotalDiskCapacity", diskUsage, &DeviceFacts::totalDiskCapacity, largestBytes},
    {"TotalDataCapacity", diskUsage, &DeviceFacts::totalDataCapacity, largestBytes},
    {"TotalDataAvailable", diskUsage, &DeviceFacts::totalDataAvailable, largestBytes,
     "AmountDataAvailable"},
    {"BatteryCurrentCapacity", battery, &DeviceFacts::batteryLevel, 100},
    {"BatteryIsCharging", battery, &DeviceFacts::batteryCharging},
};

bool sensibleText(const QString &text)
{
    if (text.isEmpty() || text.size() > longestText)
        return false;
    return std::none_of(text.begin(), text.end(), [](QChar c) {
        return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
    });
}

// Sets the fact from a value of the right kind; anything else leaves it unknown.
void assign(DeviceFacts &target, const Fact &fact, const QVariant &value)
{
    std::visit(
        [&](auto member) {
            using Member = decltype(member);
            if constexpr (std::is_same_v<Member, Text>) {
                if (value.typeId() == QMetaType::QString && sensibleText(value.toString()))
                    target.*member = value.toString();
            } else if constexpr (std::is_same_v<Member, Number>) {
                const int type = value.typeId();
                if (type != QMetaType::LongLong && type != QMetaType::Int &&
                    type != QMetaType::Double)
                    return;
                const double number = value.toDouble();
                if (number >= 0 && number <= double(fact.largest) && number == qint64(number))
                    target.*member = qint64(number);
            } else {
                if (value.typeId() == QMetaType::Bool)
                    target.*member = value.toBool();
            }
        },
        fact.member);
}

} // namespace

const QStringList &DeviceFacts::domains()
{
    static const QStringList list{defaultDomain, diskUsage, battery};
    return list;
}

void DeviceFacts::take(const QString &domain, const QVariantMap &values)
{
    for (const Fact &fact : facts) {
        if (fact.domain != domain)
            continue;
        auto found = values.constFind(QLatin1StringView(fact.key));
        if (found == values.cend() && fact.alias)
            found = values.constFind(QLatin1StringView(fact.alias));
        if (found != values.cend())
            assign(*this, fact, *found);
    }
}

QJsonObject DeviceFacts::toJsonObject() const
{
    QJsonObject object;
    for (const Fact &fact : facts) {
        std::visit(
            [&](auto member) {
                if (const auto &value = this->*member)
                    object.insert(QLatin1StringView(fact.key), *value);
            },
            fact.member);
    }
    return object;
}

QByteArray DeviceFacts::toJson() const
{
    return QJsonDocument(toJsonObject()).toJson(QJsonDocument::Compact);
}

void DeviceFacts::takeStored(QByteArrayView key, const QVariant &value)
{
    const auto fact = std::find_if(std::begin(facts), std::end(facts),
                                   [key](const Fact &each) { return key == each.key; });
    if (fact != std::end(facts) && value.isValid())
        assign(*this, *fact, value);
}
