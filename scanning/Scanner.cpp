#include "scanning/Scanner.h"

#include "common/DataFile.h"
#include "common/DataFolderLock.h"
#include "common/Failure.h"
#include "common/HostWording.h"
#include "common/Plural.h"
#include "history/HistoryStore.h"
#include "scanning/Column.h"
#include "scanning/ConnectedDevice.h"
#include "scanning/DeviceIcons.h"
#include "scanning/LegacyImport.h"
#include "scanning/PropertyList.h"
#include "scanning/RowBuilder.h"
#include "scanning/ScanError.h"

#include <QStringDecoder>

#include <exception>
#include <thread>

Scanner::Scanner(QString resources, QString storage)
    : m_resources(std::move(resources)),
      m_storage(std::move(storage)),
      m_tools(m_resources),
      m_store(m_storage)
{
    m_store.setCancelled([this] { return m_tools.isCancelled(); });
}

void Scanner::setProgress(Progress progress)
{
    m_progress = std::move(progress);
    m_store.setProgress(m_progress);
}

QStringList Scanner::connectedDevices()
{
    report(QStringLiteral("Finding connected devices\u2026"));
    return QString::fromUtf8(m_tools.run(QStringLiteral("idevice_id"), {QStringLiteral("-l")}))
        .simplified()
        .split(u' ', Qt::SkipEmptyParts);
}

ScanError Scanner::noDevice()
{
    return ScanError(QStringLiteral("No USB device found. Connect your iPhone or iPad with a data "
                                    "cable, unlock it, and %1.")
                         .arg(HostWording::confirmTrust()));
}

ScanError Scanner::multipleDevices()
{
    return ScanError(QStringLiteral("Multiple devices are connected. Disconnect all but the "
                                    "device you want to scan."));
}

QString Scanner::completedText(const QList<Row> &namedRows)
{
    const auto categorized = std::count_if(namedRows.begin(), namedRows.end(), [](const Row &row) {
        return !row.value(Column::category).isEmpty();
    });
    return QStringLiteral("Scan complete. %1; %2 available. Saved on %3.")
        .arg(Plural::apps(namedRows.size()),
             Plural::of(categorized, QStringLiteral("category"), QStringLiteral("categories")),
             HostWording::thisComputer());
}

std::optional<QString> Scanner::deviceName(const QString &device,
                                           std::optional<std::chrono::milliseconds> timeLimit)
{
    try {
        const QByteArray output =
            m_tools.run(QStringLiteral("idevicename"), {QStringLiteral("-u"), device}, timeLimit);
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString name = decoder(output);
        if (!decoder.hasError())
            return name.trimmed();
    } catch (const Failure &) {
        // A device without a readable name is still worth scanning; a cancel still stops it.
        m_tools.checkCancellation();
    }
    return std::nullopt;
}

bool Scanner::answers(const QString &device)
{
    try {
        m_tools.run(QStringLiteral("idevicename"), {QStringLiteral("-u"), device});
        return true;
    } catch (const Failure &) {
        m_tools.checkCancellation();
        return false;
    }
}

ConnectedDevice Scanner::connectedDevice(const QString &device)
{
    // The default domain only: storage and battery are for a scan.
    return {device, deviceName(device, labelTimeLimit), deviceFacts(device, {QString()})};
}

DeviceFacts Scanner::deviceFacts(const QString &device, const QStringList &domains,
                                 std::stop_token stop)
{
    using namespace std::chrono;
    // The facts are worth less than the scan they come with, and must never hold it up long.
    const auto deadline = steady_clock::now() + seconds(4);
    DeviceFacts facts;
    for (const QString &domain : domains) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now());
        if (left <= milliseconds(0) || stop.stop_requested())
            break;
        QStringList arguments{QStringLiteral("-u"), device};
        if (!domain.isEmpty())
            arguments << QStringLiteral("-q") << domain;
        arguments << QStringLiteral("-x");
        try {
            const QVariant answer = PropertyList::parse(
                m_tools.run(QStringLiteral("ideviceinfo"), arguments, left, stop),
                QStringLiteral("The device's information"));
            if (answer.typeId() == QMetaType::QVariantMap)
                facts.take(domain, answer.toMap());
        } catch (const Failure &) {
            // A device that keeps a domain to itself is still scanned.
            m_tools.checkCancellation();
        }
    }
    return facts;
}

namespace {

// The battery's registry and the profiles take two services of their own; a device slow to
// open them costs the scan a few seconds at most.
constexpr std::chrono::seconds healthTimeLimit{8};
// The icon helper prints what it has after 15 seconds; this is for one that hangs before.
constexpr std::chrono::seconds iconsTimeLimit{30};

} // namespace

DeviceFacts Scanner::scanFacts(const QString &device, std::stop_token stop)
{
    const QStringList &domains = DeviceFacts::domains();
    QStringList arguments{QStringLiteral("-u"), device};
    for (const QString &domain : domains)
        arguments << QStringLiteral("--domain") << domain;
    QVariantMap health;
    std::optional<QVariantList> lockdown;
    try {
        const QVariant answer = PropertyList::parse(
            m_tools.run(QStringLiteral("quillet-devicehealth"), arguments, healthTimeLimit, stop),
            QStringLiteral("The device's health"));
        if (answer.typeId() == QMetaType::QVariantMap) {
            health = answer.toMap();
            const QVariant read = health.take(QStringLiteral("Lockdown"));
            if (read.typeId() == QMetaType::QVariantList)
                lockdown = read.toList();
        }
    } catch (const Failure &) {
        // The helper says itself which service refused; one that could not run at all leaves
        // its own facts unknown, as a scan from before them.
        m_tools.checkCancellation();
    }
    // A helper that could not run, or one that reads no domains (an older one, or a demo's),
    // leaves them to ideviceinfo, one session each.
    DeviceFacts facts = lockdown ? DeviceFacts() : deviceFacts(device, domains, stop);
    QStringList taken;
    for (const QVariant &entry : lockdown.value_or(QVariantList())) {
        const QVariantMap read = entry.toMap();
        const QVariant domain = read.value(QStringLiteral("Domain"));
        const QVariant values = read.value(QStringLiteral("Values"));
        // Only the domains asked for, each once: the answer is the device's as much as ours.
        if (domain.typeId() != QMetaType::QString || values.typeId() != QMetaType::QVariantMap ||
            !domains.contains(domain.toString()) || taken.contains(domain.toString()))
            continue;
        taken.append(domain.toString());
        facts.take(domain.toString(), values.toMap());
    }
    facts.take(DeviceFacts::healthDomain, health);
    return facts;
}

Inventory Scanner::scan()
{
    DataFile::makeFolder(m_storage);
    const QStringList devices = connectedDevices();
    if (devices.isEmpty())
        throw noDevice();
    if (devices.size() > 1)
        throw multipleDevices();
    return scan(devices.first());
}

Inventory Scanner::scan(const QString &device)
{
    DataFile::makeFolder(m_storage);
    report(QStringLiteral("Reading installed apps. Keep your device unlocked\u2026"));
    const std::optional<QString> deviceName = this->deviceName(device);
    m_tools.checkCancellation();

    QStringList arguments{QStringLiteral("-u"), device, QStringLiteral("list"),
                          QStringLiteral("--all"), QStringLiteral("--xml")};
    for (const QString &attribute : Column::deviceAttributes())
        arguments << QStringLiteral("--attribute") << attribute;
    // The facts are read while the device lists its apps: both are mostly waiting for it, and
    // the store lookup after them can take minutes. A failed listing abandons them.
    DeviceFacts facts;
    std::exception_ptr factsFailure;
    std::jthread reading([&](std::stop_token stop) {
        try {
            facts = scanFacts(device, stop);
        } catch (...) {
            factsFailure = std::current_exception();
        }
    });
    const QByteArray listing = m_tools.run(QStringLiteral("ideviceinstaller"), arguments);
    const QList<QVariantMap> apps = parseAppList(listing);
    reading.join();
    m_tools.checkCancellation();
    if (factsFailure)
        std::rethrow_exception(factsFailure);
    facts = facts.shareable();
    QStringList identifiers;
    for (const QVariantMap &app : apps) {
        if (const std::optional<QString> identifier = RowBuilder::identifier(app))
            identifiers.append(*identifier);
    }

    const QHash<QString, QString> categories = m_store.categories(identifiers);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<Row> rows = RowBuilder::makeRows(apps, device, categories, now);
    RowBuilder::addStoreColumns(rows, m_store.storeMetadata(), m_store.countryAsked(), now);
    // Only now is it known which apps the store has no icon for.
    readDeviceIcons(device, rows);

    Inventory inventory;
    inventory.fields = Column::scanFields();
    inventory.rows = std::move(rows);
    inventory.deviceName = deviceName;
    inventory.setDeviceFacts(facts);
    inventory.scanID = HistoryStore::newIdentity();
    inventory.scannedAt = now;
    inventory.deviceID = device;
    inventory.storeCountry = m_store.countryAsked();

    m_tools.checkCancellation();
    // Saved, it must also be read back: nothing is written unless all of it can be.
    const QByteArray json = inventory.toJson();
    if (json.size() > DataFile::defaultLimit)
        throw ScanError(QStringLiteral("The scan could not be saved: its inventory would be larger "
                                       "than %1 MB, more than Quillet reads back. The previous "
                                       "inventory is kept.")
                            .arg(DataFile::defaultLimit / 1'000'000));
    // Not while another Quillet gives an earlier release's inventory its identity.
    const DataFolderLock lock(m_storage);
    HistoryStore(m_storage).archive(inventory, json);
    DataFile::write(m_storage + QStringLiteral("/inventory.json"), json);
    return inventory;
}

void Scanner::readDeviceIcons(const QString &device, const QList<Row> &rows)
{
    const QStringList wanted = DeviceIcons::wanted(m_storage, rows);
    if (wanted.isEmpty())
        return;
    QStringList arguments{QStringLiteral("-u"), device, QStringLiteral("--largest"),
                          QString::number(DeviceIcons::sizeLimit)};
    arguments += wanted;
    try {
        const QVariant answer = PropertyList::parse(
            m_tools.run(QStringLiteral("quillet-appicons"), arguments, iconsTimeLimit),
            QStringLiteral("The app icons"));
        DeviceIcons::keep(m_storage, rows, wanted, answer);
    } catch (const Failure &) {
        // Icons that cannot be read now are asked for again by the next scan.
        m_tools.checkCancellation();
    }
}

QList<QVariantMap> Scanner::parseAppList(QByteArray listing)
{
    // Some tool versions print a line of their own before the property list.
    if (const qsizetype start = listing.indexOf("<?xml"); start > 0)
        listing.remove(0, start);
    const QVariant root =
        PropertyList::parse(listing, QStringLiteral("The application list from the device"));
    const ScanError invalidList(QStringLiteral("The device returned an invalid application list."));
    if (root.typeId() != QMetaType::QVariantList)
        throw invalidList;
    QList<QVariantMap> apps;
    const QVariantList entries = root.toList();
    apps.reserve(entries.size());
    for (const QVariant &entry : entries) {
        if (entry.typeId() != QMetaType::QVariantMap)
            throw invalidList;
        apps.append(entry.toMap());
    }
    return apps;
}

void Scanner::removeLeftovers(const QString &storage)
{
    for (const QString &folder : {QString(), QStringLiteral("/History"), QStringLiteral("/Icons")})
        DataFile::removeStaleTemporaries(storage + folder);
}

Inventory Scanner::load() const
{
    DataFile::checkFolder(m_storage);
    removeLeftovers(m_storage);
    const HistoryStore history(m_storage);
    const QString inventoryPath = m_storage + QStringLiteral("/inventory.json");
    if (DataFile::exists(inventoryPath)) {
        const QByteArray json = DataFile::read(inventoryPath);
        return history.migrateLatest(Inventory::fromJson(json, inventoryPath), json);
    }
    // No inventory yet: bring in the newest CSV export of an earlier release, if any.
    if (std::optional<Inventory> imported =
            LegacyImport::newestExport(Locations::legacyExports(m_storage)))
        return history.migrateLatest(*imported);
    // Nothing scanned yet: the window shows a scan's columns, empty.
    Inventory none;
    none.fields = Column::scanFields();
    return none;
}
