#include "scanning/device/DeviceFacts.h"

#include "common/PersonalIdentifiers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QSet>
#include <QTimeZone>

#include <variant>

namespace {

using Text = std::optional<QString> DeviceFacts::*;
using Number = std::optional<qint64> DeviceFacts::*;
using Flag = std::optional<bool> DeviceFacts::*;
using Moment = std::optional<QDateTime> DeviceFacts::*;
using List = std::optional<QStringList> DeviceFacts::*;
using Group = DeviceFacts::Group;

const QString defaultDomain;
const QString diskUsage = QStringLiteral("com.apple.disk_usage");
const QString battery = QStringLiteral("com.apple.mobile.battery");
const QString backup = QStringLiteral("com.apple.mobile.backup");
const QString findMy = QStringLiteral("com.apple.fmip");
const QString amfi = QStringLiteral("com.apple.security.mac.amfi");
const QString &health = DeviceFacts::healthDomain;

// How a fact's value reads.
enum class Shown {
    Together, // with others, in DeviceDescription's line and details
    Plain,
    YesNo,
    OnOff,
    SetOrNot,
    EncryptedOrNot,
    Date,
    MilliampHours,
    Count,
    Problem, // why a part could not be read; no change line
};

// Each fact once: its name (the lockdown name, also its JSON key), where it is read, where it is
// kept, the largest value that makes sense, and how the device sheet and a comparison read it.
struct Fact {
    const char *key;
    const QString &domain;
    std::variant<Text, Number, Flag, Moment, List> member;
    qint64 largest = 0;
    // The name some iOS versions give it: read where the device has no `key`, or first where
    // `aliasFirst` says it is the better answer.
    const char *alias = nullptr;
    Group group = Group::Device;
    Shown shown = Shown::Together;
    // The caption in the device sheet; and how its change starts, where it gets one.
    const char *caption = nullptr;
    const char *change = nullptr;
    bool aliasFirst = false;
    // It identifies a person's phone.
    bool personal = false;
};

// Far beyond any device; a larger number is damage.
constexpr qint64 largestBytes = qint64(1) << 52;
constexpr qint64 largestCapacity = 100'000; // mAh
constexpr qint64 largestCycles = 100'000;
constexpr qsizetype longestText = 200;
constexpr qsizetype mostProfiles = 100;

const Fact facts[] = {
    {"ProductType", defaultDomain, &DeviceFacts::productType},
    {"ProductVersion", defaultDomain, &DeviceFacts::productVersion},
    {"BuildVersion", defaultDomain, &DeviceFacts::buildVersion},
    {"DeviceClass", defaultDomain, &DeviceFacts::deviceClass},
    {"SerialNumber", defaultDomain, &DeviceFacts::serialNumber},
    {"ModelNumber", defaultDomain, &DeviceFacts::modelNumber, 0, nullptr, Group::Device,
     Shown::Plain, "Model number"},
    {"RegionInfo", defaultDomain, &DeviceFacts::regionInfo, 0, nullptr, Group::Device, Shown::Plain,
     "Region"},
    {"ActivationState", defaultDomain, &DeviceFacts::activationState, 0, nullptr, Group::Device,
     Shown::Plain, "Activation", "activation"},
    {"InternationalMobileEquipmentIdentity", defaultDomain, &DeviceFacts::imei, 0, nullptr,
     Group::Device, Shown::Plain, "IMEI", nullptr, false, true},
    {"PhoneNumber", defaultDomain, &DeviceFacts::phoneNumber, 0, nullptr, Group::Device,
     Shown::Plain, "Phone number", nullptr, false, true},
    {"IntegratedCircuitCardIdentity", defaultDomain, &DeviceFacts::iccid, 0, nullptr, Group::Device,
     Shown::Plain, "ICCID", nullptr, false, true},
    {"WiFiAddress", defaultDomain, &DeviceFacts::wifiAddress, 0, nullptr, Group::Device,
     Shown::Plain, "Wi-Fi address", nullptr, false, true},
    {"BluetoothAddress", defaultDomain, &DeviceFacts::bluetoothAddress, 0, nullptr, Group::Device,
     Shown::Plain, "Bluetooth address", nullptr, false, true},
    {"TotalDiskCapacity", diskUsage, &DeviceFacts::totalDiskCapacity, largestBytes},
    {"TotalDataCapacity", diskUsage, &DeviceFacts::totalDataCapacity, largestBytes},
    // Free space. Since iOS 17 the total counts space the system keeps back and is far above
    // what Settings shows; the amount, what is free now, comes nearest (Settings adds what it
    // could purge).
    {"TotalDataAvailable", diskUsage, &DeviceFacts::totalDataAvailable, largestBytes,
     "AmountDataAvailable", Group::Storage, Shown::Together, nullptr, nullptr, true},
    {"BatteryCurrentCapacity", battery, &DeviceFacts::batteryLevel, 100},
    {"BatteryIsCharging", battery, &DeviceFacts::batteryCharging},
    {"CycleCount", health, &DeviceFacts::batteryCycles, largestCycles, nullptr, Group::Battery,
     Shown::Count, "Charge cycles", "battery cycles"},
    {"DesignCapacity", health, &DeviceFacts::batteryDesignCapacity, largestCapacity, nullptr,
     Group::Battery, Shown::MilliampHours, "Design capacity"},
    {"FullChargeCapacity", health, &DeviceFacts::batteryFullChargeCapacity, largestCapacity,
     nullptr, Group::Battery, Shown::MilliampHours, "Full-charge capacity"},
    {"BatteryProblem", health, &DeviceFacts::batteryProblem, 0, nullptr, Group::Battery,
     Shown::Problem, "Battery details"},
    {"PasswordProtected", defaultDomain, &DeviceFacts::passcodeSet, 0, nullptr, Group::Security,
     Shown::SetOrNot, "Passcode", "passcode"},
    {"WillEncrypt", backup, &DeviceFacts::backupsEncrypted, 0, nullptr, Group::Security,
     Shown::EncryptedOrNot, "Computer backups", "computer backups"},
    {"LastiTunesBackupDate", backup, &DeviceFacts::lastComputerBackup, 0, nullptr, Group::Security,
     Shown::Date, "Last computer backup"},
    {"CloudBackupEnabled", backup, &DeviceFacts::cloudBackup, 0, nullptr, Group::Security,
     Shown::OnOff, "iCloud Backup", "iCloud Backup"},
    {"LastCloudBackupDate", backup, &DeviceFacts::lastCloudBackup, 0, nullptr, Group::Security,
     Shown::Date, "Last iCloud backup"},
    {"IsAssociated", findMy, &DeviceFacts::findMy, 0, nullptr, Group::Security, Shown::OnOff,
     "Find My", "Find My"},
    {"DeveloperModeStatus", amfi, &DeviceFacts::developerMode, 0, nullptr, Group::Security,
     Shown::OnOff, "Developer Mode", "Developer Mode"},
    {"IsSupervised", health, &DeviceFacts::supervised, 0, nullptr, Group::Security, Shown::YesNo,
     "Supervised", "supervised"},
    {"OrganizationName", health, &DeviceFacts::supervisingOrganization, 0, nullptr, Group::Security,
     Shown::Plain, "Supervised by", "supervised by"},
    {"Profiles", health, &DeviceFacts::profiles, 0, nullptr, Group::Security, Shown::Plain,
     "Profiles", "profile"},
    {"ProfilesProblem", health, &DeviceFacts::profilesProblem, 0, nullptr, Group::Security,
     Shown::Problem, "Profiles"},
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
            } else if constexpr (std::is_same_v<Member, Flag>) {
                if (value.typeId() == QMetaType::Bool)
                    target.*member = value.toBool();
            } else if constexpr (std::is_same_v<Member, Moment>) {
                // A date from a property list, or as stored: ISO 8601 text.
                QDateTime moment = value.typeId() == QMetaType::QDateTime
                    ? value.toDateTime()
                    : QDateTime::fromString(value.toString(), Qt::ISODate);
                if (moment.isValid() && moment.date().year() >= 2007 &&
                    moment.date().year() <= 2200)
                    target.*member = moment.toUTC();
            } else {
                if (value.typeId() != QMetaType::QStringList &&
                    value.typeId() != QMetaType::QVariantList)
                    return;
                QStringList kept;
                for (const QVariant &each : value.toList()) {
                    if (each.typeId() == QMetaType::QString && sensibleText(each.toString()) &&
                        kept.size() < mostProfiles)
                        kept.append(each.toString());
                }
                target.*member = kept;
            }
        },
        fact.member);
}

// The health helper's answer, flattened into facts: its battery entry, its cloud
// configuration, its profiles as texts and its problems.
QVariantMap healthValues(const QVariantMap &answer)
{
    QVariantMap values;
    const QVariantMap batteryEntry = answer.value(QStringLiteral("Battery")).toMap();
    for (const char *key : {"CycleCount", "DesignCapacity"}) {
        if (batteryEntry.contains(QLatin1StringView(key)))
            values.insert(QLatin1StringView(key), batteryEntry.value(QLatin1StringView(key)));
    }
    // The raw maximum is the measured one; some batteries give only the nominal.
    for (const char *key : {"NominalChargeCapacity", "AppleRawMaxCapacity"}) {
        if (batteryEntry.contains(QLatin1StringView(key)))
            values.insert(QStringLiteral("FullChargeCapacity"),
                          batteryEntry.value(QLatin1StringView(key)));
    }
    const QVariantMap cloud = answer.value(QStringLiteral("CloudConfiguration")).toMap();
    for (const char *key : {"IsSupervised", "OrganizationName"}) {
        if (cloud.contains(QLatin1StringView(key)))
            values.insert(QLatin1StringView(key), cloud.value(QLatin1StringView(key)));
    }
    if (answer.value(QStringLiteral("Profiles")).typeId() == QMetaType::QVariantList) {
        QStringList profiles;
        for (const QVariant &each : answer.value(QStringLiteral("Profiles")).toList()) {
            const QVariantMap profile = each.toMap();
            QString name = profile.value(QStringLiteral("DisplayName")).toString();
            if (name.isEmpty())
                name = profile.value(QStringLiteral("Identifier")).toString();
            const QString organization = profile.value(QStringLiteral("Organization")).toString();
            if (!organization.isEmpty())
                name += QStringLiteral(" (%1)").arg(organization);
            if (!name.isEmpty())
                profiles.append(name);
        }
        values.insert(QStringLiteral("Profiles"), profiles);
    }
    const QVariantMap problems = answer.value(QStringLiteral("Problems")).toMap();
    for (const auto &[part, key] :
         {std::pair("Battery", "BatteryProblem"), std::pair("Profiles", "ProfilesProblem")}) {
        if (problems.contains(QLatin1StringView(part)))
            values.insert(QLatin1StringView(key), problems.value(QLatin1StringView(part)));
    }
    return values;
}

QString dateText(const QDateTime &moment)
{
    return QLocale::system().toString(moment.toLocalTime(), QLocale::ShortFormat);
}

// The fact's value as the device sheet reads it; empty when unknown.
QString readingOf(const DeviceFacts &facts, const Fact &fact)
{
    return std::visit(
        [&](auto member) -> QString {
            const auto &value = facts.*member;
            if (!value)
                return {};
            using Member = decltype(member);
            if constexpr (std::is_same_v<Member, Flag>) {
                switch (fact.shown) {
                case Shown::OnOff:
                    return *value ? QStringLiteral("On") : QStringLiteral("Off");
                case Shown::SetOrNot:
                    return *value ? QStringLiteral("Set") : QStringLiteral("Not set");
                case Shown::EncryptedOrNot:
                    return *value ? QStringLiteral("Encrypted") : QStringLiteral("Not encrypted");
                default:
                    return *value ? QStringLiteral("Yes") : QStringLiteral("No");
                }
            } else if constexpr (std::is_same_v<Member, Number>) {
                const QString number = QLocale::system().toString(*value);
                return fact.shown == Shown::MilliampHours ? number + QStringLiteral(" mAh")
                                                          : number;
            } else if constexpr (std::is_same_v<Member, Moment>) {
                return dateText(*value);
            } else if constexpr (std::is_same_v<Member, List>) {
                return value->isEmpty() ? QStringLiteral("None")
                                        : value->join(QStringLiteral("; "));
            } else {
                return fact.shown == Shown::Problem ? QStringLiteral("Not readable: ") + *value
                                                    : *value;
            }
        },
        fact.member);
}

const QString arrow = QStringLiteral(" \u2192 ");

} // namespace

std::optional<qint64> DeviceFacts::batteryHealth() const
{
    if (!batteryDesignCapacity || !batteryFullChargeCapacity || *batteryDesignCapacity <= 0)
        return std::nullopt;
    const qint64 percent =
        qRound64(100.0 * double(*batteryFullChargeCapacity) / double(*batteryDesignCapacity));
    // Well over the design is a misreading, not a new battery.
    if (percent > 150)
        return std::nullopt;
    return percent;
}

DeviceFacts DeviceFacts::shareable() const
{
    if (PersonalIdentifiers::recorded())
        return *this;
    DeviceFacts kept = *this;
    for (const Fact &fact : facts) {
        if (fact.personal)
            std::visit([&kept](auto member) { (kept.*member).reset(); }, fact.member);
    }
    return kept;
}

const QStringList &DeviceFacts::domains()
{
    static const QStringList list = [] {
        QStringList names;
        for (const Fact &fact : facts) {
            if (fact.domain != health && !names.contains(fact.domain))
                names.append(fact.domain);
        }
        return names;
    }();
    return list;
}

void DeviceFacts::take(const QString &domain, const QVariantMap &answer)
{
    const QVariantMap values = domain == health ? healthValues(answer) : answer;
    for (const Fact &fact : facts) {
        if (fact.domain != domain)
            continue;
        QList<const char *> names{fact.key};
        if (fact.alias)
            names.insert(fact.aliasFirst ? 0 : 1, fact.alias);
        for (const char *name : names) {
            const auto found = values.constFind(QLatin1StringView(name));
            if (found == values.cend())
                continue;
            assign(*this, fact, *found);
            break;
        }
    }
}

QJsonObject DeviceFacts::toJsonObject() const
{
    QJsonObject object;
    for (const Fact &fact : facts) {
        std::visit(
            [&](auto member) {
                const auto &value = this->*member;
                if (!value)
                    return;
                using Member = decltype(member);
                if constexpr (std::is_same_v<Member, Moment>)
                    object.insert(QLatin1StringView(fact.key),
                                  value->toUTC().toString(Qt::ISODate));
                else if constexpr (std::is_same_v<Member, List>)
                    object.insert(QLatin1StringView(fact.key), QJsonArray::fromStringList(*value));
                else
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

QList<DeviceFacts::Reading> DeviceFacts::readings() const
{
    QList<Reading> result;
    if (const std::optional<qint64> percent = batteryHealth())
        result.append({Group::Battery, QStringLiteral("Health"),
                       QStringLiteral("%1% (estimate)").arg(*percent)});
    for (const Fact &fact : facts) {
        if (fact.shown == Shown::Together)
            continue;
        if (const QString text = readingOf(*this, fact); !text.isEmpty())
            result.append({fact.group, QLatin1StringView(fact.caption), text});
    }
    // In the sheet's order of groups, each in the table's order.
    std::stable_sort(result.begin(), result.end(),
                     [](const Reading &a, const Reading &b) { return a.group < b.group; });
    return result;
}

QStringList DeviceFacts::changes(const DeviceFacts &a, const DeviceFacts &b)
{
    QStringList result;
    const std::optional<qint64> healthA = a.batteryHealth();
    const std::optional<qint64> healthB = b.batteryHealth();
    if (healthA && healthB && *healthA != *healthB)
        result.append(QStringLiteral("battery health %1%").arg(*healthA) + arrow +
                      QStringLiteral("%1%").arg(*healthB));
    for (const Fact &fact : facts) {
        if (!fact.change)
            continue;
        const QString label = QLatin1StringView(fact.change);
        if (const List *list = std::get_if<List>(&fact.member)) {
            // Profiles by name: each one added or removed.
            const auto &before = a.**list;
            const auto &after = b.**list;
            if (!before || !after)
                continue;
            const QSet<QString> had(before->begin(), before->end());
            const QSet<QString> has(after->begin(), after->end());
            for (const QString &name : *after) {
                if (!had.contains(name))
                    result.append(label + QStringLiteral(" added: ") + name);
            }
            for (const QString &name : *before) {
                if (!has.contains(name))
                    result.append(label + QStringLiteral(" removed: ") + name);
            }
            continue;
        }
        const QString before = readingOf(a, fact);
        const QString after = readingOf(b, fact);
        if (before.isEmpty() || after.isEmpty() || before == after)
            continue;
        // "passcode set → not set": a truth reads in lower case within the sentence.
        const bool flag = std::holds_alternative<Flag>(fact.member);
        result.append(label + u' ' + (flag ? before.toLower() : before) + arrow +
                      (flag ? after.toLower() : after));
    }
    return result;
}
